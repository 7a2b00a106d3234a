// Compiler-specific spellings behind one name each, so that neutral code
// builds with GCC, clang and MSVC alike.
#pragma once

#include <cstdint>
#include <limits>

// Keeps a function out of line (a cold path whose frame would burden its caller).
#if defined(_MSC_VER) && !defined(__clang__)
#define CORVANE_NOINLINE __declspec(noinline)
#else
#define CORVANE_NOINLINE __attribute__((noinline))
#endif

// Exempts a function from the sanitizer's vptr check: it calls through tables
// of functions written in C, which carry no C++ type information.
#if defined(__GNUC__) || defined(__clang__)
#define CORVANE_NO_SANITIZE_VPTR __attribute__((no_sanitize("vptr")))
#else
#define CORVANE_NO_SANITIZE_VPTR
#endif

namespace corvane::detail {

// a - b into `difference`, or true (and `difference` untouched) when the
// result does not fit.
constexpr bool subtract_overflows(int64_t a, int64_t b, int64_t& difference) {
    if (b < 0 ? a > std::numeric_limits<int64_t>::max() + b
              : a < std::numeric_limits<int64_t>::min() + b) {
        return true;
    }
    difference = a - b;
    return false;
}

}  // namespace corvane::detail

// Formatted length on Windows. msvcrt's _vsnprintf reports -1 for a text that
// does not fit and writes three-digit exponents (1e+005), and mingw-w64's own
// formatter writes an unconvertible %ls as nothing instead of failing. The
// Universal CRT's formatter, asked for the standard snprintf behaviour, gives
// the same answers as glibc. It is found at run time, so the library still
// links only msvcrt; it formats into no buffer and touches no stream or
// descriptor, so no object of one runtime reaches the other.

#include <windows.h>

#include <cstdint>

#include "text/text_platform.hpp"

namespace corvane::detail {

namespace {

// The Universal CRT's option: return the full length, as C's vsnprintf does.
constexpr uint64_t standard_snprintf_behaviour = uint64_t{1} << 1;

using common_vsprintf = int(__cdecl*)(uint64_t options, char* buffer, std::size_t count, const char* format,
                                      void* locale, va_list args);

// ucrtbase.dll is loaded once and kept for the life of the process: the
// formatter may be in use on another thread at any moment.
common_vsprintf find_formatter() {
    HMODULE ucrt = GetModuleHandleA("ucrtbase.dll");
    if (ucrt == nullptr) {
        ucrt = LoadLibraryA("ucrtbase.dll");
    }
    if (ucrt == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<common_vsprintf>(
        reinterpret_cast<void*>(GetProcAddress(ucrt, "__stdio_common_vsprintf")));
}

}  // namespace

int formatted_length(const char* format, va_list args) {
    static const common_vsprintf formatter = find_formatter();
    if (formatter == nullptr) {
        return -1;
    }
    return formatter(standard_snprintf_behaviour, nullptr, 0, format, nullptr, args);
}

}  // namespace corvane::detail

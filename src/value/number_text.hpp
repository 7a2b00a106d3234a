// Numbers to decimal text and back, exactly as the C library does in the "C"
// locale, whatever locale the process has chosen: a program that switched to a
// locale with a decimal comma must still store 1.500000 and read 1.5 as 1.5.
// Nothing here allocates or reads past the text it is given.
#pragma once

#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

namespace corvane::detail {

// Room for the longest text the format functions write: "%f" of -DBL_MAX is a
// sign, 309 digits, a point and 6 decimals. No NUL is written.
inline constexpr std::size_t number_text_capacity = 1 + (DBL_MAX_10_EXP + 1) + 1 + 6;

// "%lld" / "%llu": writes at `first` (number_text_capacity bytes) and returns
// the end of the text.
template <typename Int>
char* format_decimal(Int value, char* first) noexcept {
    return std::to_chars(first, first + number_text_capacity, value).ptr;
}

// "%f": six decimals, every integer digit however large, and nan, -nan, inf,
// -inf for the values that have no digits.
char* format_fixed(double value, char* first) noexcept;

// The integer at the start of `text` read as strtol / strtoul do with base 0,
// at the width of Int (int32_t, uint32_t, int64_t or uint64_t): leading white
// space, an optional sign, 0x or 0X for hexadecimal, a leading 0 for octal
// (so 08 reads 0). Signed results clamp to Int's range; unsigned results clamp
// to its maximum and a minus sign negates modulo 2^N. No number reads as 0.
template <typename Int>
Int parse_integer(std::string_view text) noexcept;

// The parts of the integer at the start of `text` by the grammar above, with
// its magnitude saturated at 64 bits; parse_integer clamps it to a width.
struct scanned_integer {
    uint64_t magnitude = 0;
    bool negative = false;
    bool beyond_64_bits = false;
};
scanned_integer scan_integer(std::string_view text) noexcept;

template <typename Int>
Int parse_integer(std::string_view text) noexcept {
    static_assert(std::is_integral_v<Int> && sizeof(Int) >= 4);
    using unsigned_int = std::make_unsigned_t<Int>;
    constexpr uint64_t max = std::numeric_limits<Int>::max();
    const scanned_integer scanned = scan_integer(text);
    const auto low_bits = static_cast<unsigned_int>(scanned.magnitude);
    const auto negated = static_cast<unsigned_int>(unsigned_int{0} - low_bits);
    if constexpr (std::is_signed_v<Int>) {
        if (scanned.negative) {
            const bool fits = !scanned.beyond_64_bits && scanned.magnitude <= max + 1;
            return fits ? static_cast<Int>(negated) : std::numeric_limits<Int>::min();
        }
    }
    if (scanned.beyond_64_bits || scanned.magnitude > max) {
        return std::numeric_limits<Int>::max();
    }
    return static_cast<Int>(scanned.negative ? negated : low_bits);
}

// The number at the start of `text` read as strtod does: leading white space,
// an optional sign, decimal or 0x hexadecimal digits with an exponent, inf,
// infinity and nan in any case. Magnitudes beyond the range read as infinity,
// below it as zero; no number reads as 0.
double parse_double(std::string_view text) noexcept;

}  // namespace corvane::detail

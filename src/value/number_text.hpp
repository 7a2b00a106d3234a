// Numbers to decimal text and back, exactly as the C library does in the "C"
// locale, whatever locale the process has chosen: a program that switched to a
// locale with a decimal comma must still store 1.500000 and read 1.5 as 1.5.
// Nothing here allocates or reads outside the bytes it is given.
#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <type_traits>

namespace corvane::detail {

// Room for the longest text format_fixed writes: "%f" of -DBL_MAX is a sign,
// 309 digits, a point and 6 decimals. No NUL is written.
inline constexpr std::size_t number_text_capacity = 1 + (DBL_MAX_10_EXP + 1) + 1 + 6;

namespace number_text_tables {

// 10^n for n = 1 to 19, with 0 in place of 10^0 so that 0 counts one digit.
inline constexpr uint64_t powers_of_ten[] = {0,
                                             10,
                                             100,
                                             1000,
                                             10000,
                                             100000,
                                             1000000,
                                             10000000,
                                             100000000,
                                             1000000000,
                                             10000000000,
                                             100000000000,
                                             1000000000000,
                                             10000000000000,
                                             100000000000000,
                                             1000000000000000,
                                             10000000000000000,
                                             100000000000000000,
                                             1000000000000000000,
                                             10000000000000000000u};

// "00" to "99", two characters each.
inline constexpr auto digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the two digits of `pair` (below 100) just before `last`.
inline char* write_pair_backward(std::size_t pair, char* last) noexcept {
    last -= 2;
    last[0] = digit_pairs[2 * pair];
    last[1] = digit_pairs[2 * pair + 1];
    return last;
}

// Writes the digits of `value` backward so that they end just before `last`.
inline void write_digits_backward(uint32_t value, char* last) noexcept {
    while (value >= 100) {
        last = write_pair_backward(value % 100, last);
        value /= 100;
    }
    if (value >= 10) {
        write_pair_backward(value, last);
    } else {
        last[-1] = static_cast<char>('0' + value);
    }
}

}  // namespace number_text_tables

// An integer as "%lld" / "%llu" print it: a minus sign when `negative`, then
// the digits of `magnitude`. Its length is known before it is written, so the
// text can go straight into a block of the exact size.
struct decimal_text {
    bool negative = false;
    uint64_t magnitude = 0;

    template <typename Int>
    static constexpr decimal_text of(Int value) noexcept {
        static_assert(std::is_integral_v<Int> && sizeof(Int) <= sizeof(uint64_t));
        const auto bits = static_cast<uint64_t>(value);
        if constexpr (std::is_signed_v<Int>) {
            if (value < 0) {
                return {true, uint64_t{0} - bits};
            }
        }
        return {false, bits};
    }

    constexpr uint32_t length() const noexcept {
        // floor(log10(2^width)) by 1233 / 4096, then one more digit when the
        // magnitude reaches the next power of ten.
        const auto estimate = static_cast<uint32_t>(std::bit_width(magnitude | 1) * 1233) >> 12;
        return uint32_t{negative} + estimate + uint32_t{magnitude >= number_text_tables::powers_of_ten[estimate]};
    }

    // Writes the text at `first`, which has room for exactly length() bytes.
    void write(char* first, uint32_t text_length) const noexcept {
        if (negative) {
            *first = '-';
        }
        char* last = first + text_length;
        uint64_t rest = magnitude;
        // Pairs of a value beyond 32 bits take 64-bit divisions; the rest go
        // by cheaper 32-bit ones.
        while (rest > std::numeric_limits<uint32_t>::max()) {
            last = number_text_tables::write_pair_backward(rest % 100, last);
            rest /= 100;
        }
        number_text_tables::write_digits_backward(static_cast<uint32_t>(rest), last);
    }
};

// "%f": six decimals, every integer digit however large, and nan, -nan, inf,
// -inf for the values that have no digits.
char* format_fixed(double value, char* first) noexcept;

// The width an integer parse reads at: the largest magnitude its result may
// have with either sign (a signed width reaches one further below zero), and
// the bits of the result that are kept.
struct integer_range {
    uint64_t above_zero = 0;
    uint64_t below_zero = 0;
    uint64_t kept_bits = 0;
};

// The integer at the start of `text` read as strtol / strtoul do with base 0:
// leading white space, an optional sign, 0x or 0X for hexadecimal, a leading 0
// for octal (so 08 reads 0). A magnitude past the range gives the limit for
// its sign (below zero, a signed width's is max + 1, whose bits are its
// minimum); one within it is negated modulo 2^64 by a minus sign. No number
// reads as 0. The result is cut to the kept bits. `readable_before` bytes just
// before the text belong to the same object and may be read as well (a unit's
// length field), which lets short texts be loaded whole; their values do not
// matter.
uint64_t parse_integer(std::string_view text, std::size_t readable_before, const integer_range& range) noexcept;

// The number at the start of `text` read as strtod does: leading white space,
// an optional sign, decimal or 0x hexadecimal digits with an exponent, inf,
// infinity and nan in any case. Magnitudes beyond the range read as infinity,
// below it as zero; no number reads as 0.
double parse_double(std::string_view text) noexcept;

}  // namespace corvane::detail

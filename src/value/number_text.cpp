#include "value/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace corvane::detail {
namespace {

// isspace in the "C" locale.
constexpr bool is_c_space(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of a digit in bases up to 36; not_a_digit for anything else.
constexpr unsigned not_a_digit = 36;
constexpr unsigned digit_value(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return static_cast<unsigned>(c - '0');
    }
    const char lower = static_cast<char>(c | 0x20);
    if (lower >= 'a' && lower <= 'z') {
        return static_cast<unsigned>(lower - 'a') + 10;
    }
    return not_a_digit;
}

constexpr bool is_hex_prefix(const char* p, const char* end) noexcept {
    return end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

const char* skip_space(const char* p, const char* end) noexcept {
    while (p != end && is_c_space(*p)) {
        ++p;
    }
    return p;
}

// Consumes one optional sign; true for a minus.
bool take_sign(const char*& p, const char* end) noexcept {
    if (p != end && (*p == '+' || *p == '-')) {
        return *p++ == '-';
    }
    return false;
}

// The digit's value when it is a digit of Base, else Base or more.
template <unsigned Base>
constexpr unsigned digit_in_base(char c) noexcept {
    if constexpr (Base <= 10) {
        return static_cast<unsigned char>(c - '0');
    } else {
        return digit_value(c);
    }
}

template <unsigned Base>
void accumulate_digits(const char* p, const char* end, scanned_integer& out) noexcept {
    // So many digits cannot exceed 64 bits: they go without an overflow test.
    constexpr std::ptrdiff_t unchecked_digits = Base == 16 ? 16 : Base == 10 ? 19 : 21;
    const char* unchecked_end = end - p > unchecked_digits ? p + unchecked_digits : end;
    for (; p != unchecked_end; ++p) {
        const unsigned digit = digit_in_base<Base>(*p);
        if (digit >= Base) {
            return;
        }
        out.magnitude = out.magnitude * Base + digit;
    }
    constexpr uint64_t max = std::numeric_limits<uint64_t>::max();
    for (; p != end; ++p) {
        const unsigned digit = digit_in_base<Base>(*p);
        if (digit >= Base) {
            return;
        }
        if (out.magnitude > (max - digit) / Base) {
            out.beyond_64_bits = true;
        } else {
            out.magnitude = out.magnitude * Base + digit;
        }
    }
}


// Whether a number that from_chars found out of range lies above the range
// rather than below it. Such numbers are hundreds of powers away from 1, so
// the place of the first significant digit plus the exponent tells them apart.
bool above_range(const char* p, const char* end, bool hex) noexcept {
    const unsigned base = hex ? 16 : 10;
    int64_t place = 0;
    bool significant = false;
    bool after_point = false;
    for (; p != end; ++p) {
        if (*p == '.') {
            after_point = true;
            continue;
        }
        const unsigned digit = digit_value(*p);
        if (digit >= base) {
            break;
        }
        significant = significant || digit != 0;
        if (significant && !after_point) {
            ++place;
        } else if (!significant && after_point) {
            --place;
        }
    }
    int64_t exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        const bool negative = take_sign(p, end);
        constexpr int64_t saturation = int64_t{1} << 40;
        for (; p != end && digit_value(*p) < 10 && exponent < saturation; ++p) {
            exponent = exponent * 10 + digit_value(*p);
        }
        exponent = negative ? -exponent : exponent;
    }
    return (hex ? place * 4 : place) + exponent > 0;
}

// The unsigned number at `p`; false when there is none.
bool parse_magnitude(const char* p, const char* end, double& out) noexcept {
    // from_chars takes a minus sign of its own, which would let "--1" through.
    if (p == end || *p == '-') {
        return false;
    }
    const bool hex = is_hex_prefix(p, end);
    if (hex) {
        p += 2;
        // Without a digit or point after it, 0x is the number 0 followed by an
        // x; from_chars would also take a sign, inf or nan there.
        if (p == end || (*p != '.' && digit_value(*p) >= 16)) {
            out = 0.0;
            return true;
        }
    }
    const auto [last, error] = std::from_chars(p, end, out, hex ? std::chars_format::hex : std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        out = above_range(p, last, hex) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (error != std::errc{}) {
        out = 0.0;
        return hex;  // "0x." still read its 0
    }
    return true;
}

char* copy_text(std::string_view text, char* first) noexcept {
    std::memcpy(first, text.data(), text.size());
    return first + text.size();
}

}  // namespace

scanned_integer scan_integer(std::string_view text) noexcept {
    const char* end = text.data() + text.size();
    const char* p = skip_space(text.data(), end);
    scanned_integer out;
    out.negative = take_sign(p, end);
    if (is_hex_prefix(p, end) && end - p > 2 && digit_value(p[2]) < 16) {
        accumulate_digits<16>(p + 2, end, out);
    } else if (p != end && *p == '0') {
        // 0x without a hexadecimal digit reads as the 0 alone, like 08.
        accumulate_digits<8>(p, end, out);
    } else {
        accumulate_digits<10>(p, end, out);
    }
    return out;
}

char* format_fixed(double value, char* first) noexcept {
    // Spelled out: standard libraries disagree on how to_chars writes a NaN.
    if (std::isnan(value)) {
        return copy_text(std::signbit(value) ? "-nan" : "nan", first);
    }
    if (std::isinf(value)) {
        return copy_text(value < 0 ? "-inf" : "inf", first);
    }
    return std::to_chars(first, first + number_text_capacity, value, std::chars_format::fixed, 6).ptr;
}

double parse_double(std::string_view text) noexcept {
    const char* end = text.data() + text.size();
    const char* p = skip_space(text.data(), end);
    const bool negative = take_sign(p, end);
    double magnitude = 0.0;
    if (!parse_magnitude(p, end, magnitude)) {
        return 0.0;  // strtod's zero for text without a number has no sign
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace corvane::detail

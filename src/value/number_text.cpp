#include "value/number_text.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/portability.hpp"

namespace corvane::detail {
namespace {

// The digits of an integer: their magnitude, saturated at 64 bits.
struct scanned_integer {
    uint64_t magnitude = 0;
    bool beyond_64_bits = false;
};

// isspace in the "C" locale. The first test sends most characters away.
constexpr bool is_c_space(char c) noexcept {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' && (u == ' ' || (u >= '\t' && u <= '\r'));
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

// Consumes one optional sign; true for a minus. Counted rather than
// branched on: signs come and go from one number to the next.
bool take_sign(const char*& p, const char* end) noexcept {
    if (p == end) {
        return false;
    }
    const char c = *p;
    p += static_cast<int>(c == '+') | static_cast<int>(c == '-');
    return c == '-';
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

// So many digits of Base cannot carry a magnitude past 64 bits.
template <unsigned Base>
constexpr std::ptrdiff_t digits_within_64_bits = Base == 16 ? 16 : Base == 10 ? 19 : 21;

// Digits of Base go onto out.magnitude, which holds `digits_before` digits
// already. Those that cannot carry it past 64 bits go without an overflow test.
template <unsigned Base>
void accumulate_digits(const char* p, const char* end, scanned_integer& out,
                       std::ptrdiff_t digits_before = 0) noexcept {
    const std::ptrdiff_t unchecked_digits = digits_within_64_bits<Base> - digits_before;
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

// The bytes at p as a word, the first lowest, whatever the host's byte order.
template <typename Word>
Word load_low_first(const char* p) noexcept {
    Word word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, p, sizeof word);
    } else {
        for (std::size_t i = 0; i < sizeof word; ++i) {
            word |= static_cast<Word>(static_cast<unsigned char>(p[i])) << (8 * i);
        }
    }
    return word;
}

// The bytes from p up to eight of them, 0 in place of those past `end`: a
// 0 byte is no digit, so a run of digits stops there. Nothing before
// `readable_from` or from `end` on is read. When the eight bytes that end at
// `end` may be read, one load serves every length without a branch on it
// (lengths vary from number to number, so such a branch is mispredicted
// often); shorter texts are read in overlapping pieces.
uint64_t load_up_to_word(const char* p, const char* end, const char* readable_from) noexcept {
    const auto available = static_cast<std::size_t>(end - p);
    if (available == 0) {
        return 0;
    }
    if (end - readable_from >= 8) {
        // Short of eight bytes, the word ends at `end` and the bytes before
        // p are shifted out.
        const std::size_t shortfall = 8 - std::min<std::size_t>(available, 8);
        return load_low_first<uint64_t>(p - shortfall) >> (8 * shortfall);
    }
    if (available >= 4) {
        return load_low_first<uint32_t>(p) | uint64_t{load_low_first<uint32_t>(end - 4)} << (8 * (available - 4));
    }
    const std::size_t middle = available / 2;
    return uint64_t{static_cast<unsigned char>(p[0])} |
           uint64_t{static_cast<unsigned char>(p[middle])} << (8 * middle) |
           uint64_t{static_cast<unsigned char>(p[available - 1])} << (8 * (available - 1));
}

struct digit_run {
    uint32_t count = 0;  // 0 to 8
    uint32_t value = 0;
};

// The decimal digits at the start of a word and their value.
digit_run leading_digits(uint64_t word) noexcept {
    constexpr uint64_t high_nibbles = 0xF0F0F0F0F0F0F0F0;
    const uint64_t values = word ^ 0x3030303030303030;  // '0'..'9' become 0..9
    // A byte is no digit when its high nibble is set or its low nibble is
    // past 9 (adding 6 carries into the high nibble, never into the next byte).
    const uint64_t non_digits = (values | ((values & ~high_nibbles) + 0x0606060606060606)) & high_nibbles;
    const auto count = static_cast<uint32_t>(std::countr_zero(non_digits)) / 8;
    if (count == 0) {
        return {};
    }
    // Bytes past the run leave at the top and zeros come in at the bottom, as
    // leading zeros of the number. Then pairs, fours and eights combine.
    uint64_t digits = values << (8 * (8 - count));
    digits = digits * 10 + (digits >> 8);
    constexpr uint64_t mask = 0x000000FF000000FF;
    constexpr uint64_t hundreds_and_millions = 100 + (uint64_t{1000000} << 32);
    constexpr uint64_t ones_and_ten_thousands = 1 + (uint64_t{10000} << 32);
    digits = ((digits & mask) * hundreds_and_millions + ((digits >> 16) & mask) * ones_and_ten_thousands) >> 32;
    return {count, static_cast<uint32_t>(digits)};
}

// Decimal digits go eight at a time: one word is loaded and its leading
// digits are found and combined by a few multiplications, with no branch per
// digit.
void accumulate_decimal(const char* p, const char* end, const char* readable_from,
                        scanned_integer& out) noexcept {
    const digit_run run = leading_digits(load_up_to_word(p, end, readable_from));
    out.magnitude = run.value;
    // Numbers of more than eight digits, rarer, go on digit by digit.
    if (run.count == 8) {
        accumulate_digits<10>(p + 8, end, out, 8);
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

// Where the hexadecimal number at `p` ends for from_chars. A binary exponent
// needs a digit after its one optional sign, where strtod stops before the p;
// the standard library's hexadecimal from_chars also takes "p+-2" as "p-2".
const char* hex_number_end(const char* p, const char* end) noexcept {
    while (p != end && (*p == '.' || digit_value(*p) < 16)) {
        ++p;
    }
    if (p == end || (*p != 'p' && *p != 'P')) {
        return end;
    }
    const char* exponent = p + 1;
    if (exponent != end && (*exponent == '+' || *exponent == '-')) {
        ++exponent;
    }
    return exponent != end && digit_value(*exponent) < 10 ? end : p;
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
    const char* number_end = hex ? hex_number_end(p, end) : end;
    const auto [last, error] =
        std::from_chars(p, number_end, out, hex ? std::chars_format::hex : std::chars_format::general);
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

// parse_double by the whole grammar. Kept out of line so that the short way
// of parse_double needs no stack frame.
CORVANE_NOINLINE double parse_double_by_grammar(std::string_view text) noexcept {
    const char* end = text.data() + text.size();
    const char* p = skip_space(text.data(), end);
    const bool negative = take_sign(p, end);
    double magnitude = 0.0;
    if (!parse_magnitude(p, end, magnitude)) {
        return 0.0;  // strtod's zero for text without a number has no sign
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace

uint64_t parse_integer(std::string_view text, std::size_t readable_before, const integer_range& range) noexcept {
    const char* end = text.data() + text.size();
    const char* p = skip_space(text.data(), end);
    const bool negative = take_sign(p, end);
    scanned_integer out;
    if (p == end || *p != '0') {
        accumulate_decimal(p, end, text.data() - readable_before, out);
    } else if (is_hex_prefix(p, end) && end - p > 2 && digit_value(p[2]) < 16) {
        accumulate_digits<16>(p + 2, end, out);
    } else {
        // 0x without a hexadecimal digit reads as the 0 alone, like 08.
        accumulate_digits<8>(p, end, out);
    }
    // Nothing here branches on the sign: it would be mispredicted as often as
    // signs change. The magnitude is negated by mask, and both outcomes of
    // the clamp are formed and one is chosen. The limit below zero of a signed
    // width, max + 1, has the bits of its minimum.
    const uint64_t sign = uint64_t{0} - uint64_t{negative};
    const uint64_t value = (out.magnitude ^ sign) - sign;
    const uint64_t limit = negative ? range.below_zero : range.above_zero;
    const bool fits = !out.beyond_64_bits && out.magnitude <= limit;
    return (fits ? value : limit) & range.kept_bits;
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
    const char* first = text.data();
    const char* end = first + text.size();
    // With at most a minus sign before its first digit, decimal text reads
    // the same by from_chars, which takes the sign itself. 0x must take the
    // long way, and so must numbers out of range.
    const char* digit = first != end && *first == '-' ? first + 1 : first;
    if (digit != end && digit_value(*digit) < 10 && !is_hex_prefix(digit, end)) {
        double value = 0.0;
        if (std::from_chars(first, end, value).ec == std::errc{}) {
            return value;
        }
    }
    return parse_double_by_grammar(text);
}

}  // namespace corvane::detail

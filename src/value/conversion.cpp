// Conversion of a variant record between its types: numbers of every width
// into each other, numbers to decimal text and text to numbers. Numbers
// convert in place without allocating; text is formed on the stack and
// becomes exactly one unit.
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>

#include "common/portability.hpp"
#include "value/bstrunit.hpp"
#include "value/number_text.hpp"
#include "value/variant_record.hpp"

namespace corvane::detail {
namespace {

constexpr double two_to_31 = 2147483648.0;
constexpr double two_to_63 = 9223372036854775808.0;
constexpr double two_to_64 = 18446744073709551616.0;
constexpr uint64_t bit_63 = uint64_t{1} << 63;

// A source value at its own width: integers widened to 64 bits (sign- or
// zero-extended as their type says), floats widened to double.
struct number {
    enum class kind_type { signed_integer, unsigned_integer, floating } kind;
    uint64_t bits = 0;
    double real = 0.0;
};

number read_number(const variant_record& v) noexcept {
    switch (v.type) {
    case VARIANT_TYPE_FLOAT:
        return {number::kind_type::floating, 0, v.value.f32};
    case VARIANT_TYPE_DOUBLE:
        return {number::kind_type::floating, 0, v.value.f64};
    default:
        return {is_signed_integer_type(v.type) ? number::kind_type::signed_integer
                                               : number::kind_type::unsigned_integer,
                integer_bits(v.value, v.type)};
    }
}

// The bytes a parse may read. Units from outside need not end in a NUL, so
// the length bounds them; where there is a NUL the parse stops there by
// itself, since a NUL fits no part of a number.
std::string_view unit_bytes(const bstrunit* unit) noexcept {
    if (unit == nullptr) {
        return {};
    }
    return {reinterpret_cast<const char*>(unit->bytes), has_negative_length(unit) ? 0 : unit->length};
}

// The unit's length field lies just before its bytes; an integer parse may
// read it along with them.
std::size_t readable_before(const bstrunit* unit) noexcept {
    return unit == nullptr ? 0 : sizeof(bstrunit);
}

// Truncation toward zero with the results of the x86 conversion instructions,
// spelled out because a C++ cast of an out-of-range value or a NaN is
// undefined: a value that does not fit gives the most negative integer.
int32_t truncate_to_int32(double d) noexcept {
    return d > -two_to_31 - 1.0 && d < two_to_31 ? static_cast<int32_t>(d) : std::numeric_limits<int32_t>::min();
}

int64_t truncate_to_int64(double d) noexcept {
    return d >= -two_to_63 && d < two_to_63 ? static_cast<int64_t>(d) : std::numeric_limits<int64_t>::min();
}

// Below 2^63 (NaN included) the signed truncation, taken as unsigned; from
// 2^63 on, the signed truncation of d - 2^63 with 2^63 added back, whose
// failure from 2^64 on leaves 2^63.
uint64_t truncate_to_uint64(double d) noexcept {
    if (!(d >= two_to_63)) {
        return static_cast<uint64_t>(truncate_to_int64(d));
    }
    if (d >= two_to_64) {
        return bit_63;
    }
    return static_cast<uint64_t>(static_cast<int64_t>(d - two_to_63)) + bit_63;
}

// Float and double to integer codes: the narrow signed codes and the 32-bit
// signed codes go through a 32-bit truncation, the 32-bit unsigned codes and
// long long through a 64-bit one.
uint64_t truncated_bits(double d, variant_type target) noexcept {
    switch (target) {
    case VARIANT_TYPE_UINT:
    case VARIANT_TYPE_ULONG:
    case VARIANT_TYPE_LONGLONG:
        return static_cast<uint64_t>(truncate_to_int64(d));
    case VARIANT_TYPE_ULONGLONG:
        return truncate_to_uint64(d);
    default:
        return static_cast<uint64_t>(int64_t{truncate_to_int32(d)});
    }
}

// Unsigned 64-bit values from 2^63 on convert in two roundings: value - 2^64
// to the nearest Float, then 2^64 added in Float. Stored values rely on this
// result, which can differ from a single rounding.
template <typename Float>
Float unsigned_to_floating(uint64_t value) noexcept {
    const auto as_signed = static_cast<int64_t>(value);
    if (as_signed >= 0) {
        return static_cast<Float>(as_signed);
    }
    return static_cast<Float>(as_signed) + static_cast<Float>(two_to_64);
}

// Double to float, nearest, as IEEE 754 rounds: magnitudes beyond FLT_MAX
// round down to it up to half its last place, and to infinity from there on.
// They are handled here because C++ leaves the cast of a value beyond float's
// range undefined.
float narrow_to_float(double d) noexcept {
    constexpr float largest = std::numeric_limits<float>::max();
    constexpr double rounds_to_infinity = 0x1.ffffffp127;
    const double magnitude = std::fabs(d);
    if (magnitude > static_cast<double>(largest)) {
        const float rounded = magnitude >= rounds_to_infinity ? std::numeric_limits<float>::infinity() : largest;
        return std::signbit(d) ? -rounded : rounded;
    }
    return static_cast<float>(d);
}

template <typename Float>
Float to_floating(const number& n) noexcept {
    switch (n.kind) {
    case number::kind_type::signed_integer:
        return static_cast<Float>(static_cast<int64_t>(n.bits));
    case number::kind_type::unsigned_integer:
        return unsigned_to_floating<Float>(n.bits);
    default:
        if constexpr (std::is_same_v<Float, float>) {
            return narrow_to_float(n.real);
        } else {
            return n.real;
        }
    }
}

// Stores `n` as the number or bool `target`; bytes above the target's member
// keep what they held, so a narrowing only changes the type.
void store_number(const number& n, variant_type target, variant_value& out) noexcept {
    const bool floating = n.kind == number::kind_type::floating;
    switch (target) {
    case VARIANT_TYPE_FLOAT:
        out.f32 = to_floating<float>(n);
        break;
    case VARIANT_TYPE_DOUBLE:
        out.f64 = to_floating<double>(n);
        break;
    case VARIANT_TYPE_BOOL:
        // A NaN is not zero, so it converts to true.
        out.u8 = floating ? n.real != 0.0 : n.bits != 0;
        break;
    default:
        store_integer_bits(out, target, floating ? truncated_bits(n.real, target) : n.bits);
        break;
    }
}

// The width text is read at, by integer code and bool: strtol's 32 bits for
// the signed narrow codes, int, long and bool, strtoul's for the unsigned
// ones, the 64-bit parses' for long long. A narrow code keeps the low bits of
// the 32-bit result, bool the whole result, which it then tests against 0.
constexpr auto parse_widths = [] {
    std::array<integer_range, VARIANT_TYPE_BOOL + 1> widths{};
    for (variant_type target = VARIANT_TYPE_CHAR; target <= VARIANT_TYPE_BOOL; ++target) {
        const bool is_signed = is_signed_integer_type(target) || target == VARIANT_TYPE_BOOL;
        const uint32_t bits = target == VARIANT_TYPE_BOOL ? 32 : type_bit_size(target);
        const uint64_t max = bits == 64 ? (is_signed ? uint64_t{INT64_MAX} : UINT64_MAX)
                                        : (is_signed ? uint64_t{INT32_MAX} : uint64_t{UINT32_MAX});
        widths[target] = {max, max + uint64_t{is_signed}, bits == 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1};
    }
    return widths;
}();

// A narrower member is the low-order bytes of the value, so the value's 64
// bits cut to a code's width hold its member with zero bytes above.
static_assert(std::endian::native == std::endian::little);

// Text read by strtod for float and double. Kept out of line, so that the
// integers need no room for it.
CORVANE_NOINLINE variant_value parsed_real(const bstrunit* unit, variant_type target) noexcept {
    const double value = parse_double(unit_bytes(unit));
    variant_value out{};
    if (target == VARIANT_TYPE_FLOAT) {
        out.f32 = narrow_to_float(value);
    } else {
        out.f64 = value;
    }
    return out;
}

// Text read by the parse of the number or bool `target`. A narrow code keeps
// the low bits of the 32-bit result; bytes above the result are 0.
variant_value parsed_value(const bstrunit* unit, variant_type target) noexcept {
    if (target == VARIANT_TYPE_FLOAT || target == VARIANT_TYPE_DOUBLE) {
        return parsed_real(unit, target);
    }
    variant_value out{};
    out.u64 = parse_integer(unit_bytes(unit), readable_before(unit), parse_widths[target]);
    if (target == VARIANT_TYPE_BOOL) {
        out.u64 = out.u64 != 0;
    }
    return out;
}

// "%f" of float and double. Kept out of line so that its buffer of hundreds
// of bytes stays off the path of the integers.
CORVANE_NOINLINE bstrunit* fixed_unit(double value) {
    char text[number_text_capacity + 1];
    char* end = format_fixed(value, text);
    *end = '\0';
    return make_unit(text, static_cast<uint32_t>(end - text + 1));
}

bstrunit* decimal_unit(const decimal_text& text) {
    const uint32_t length = text.length();
    bstrunit* unit = allocate_unit(length + 1);
    auto* first = reinterpret_cast<char*>(unit->bytes);
    text.write(first, length);
    first[length] = '\0';
    return unit;
}

// "%f" of float and double; "%lld" / "%llu" of the integers and bool widened
// to 64 bits, which prints the same digits as their own width would.
bstrunit* text_unit(const variant_record& v) {
    switch (v.type) {
    case VARIANT_TYPE_FLOAT:
        return fixed_unit(v.value.f32);
    case VARIANT_TYPE_DOUBLE:
        return fixed_unit(v.value.f64);
    default: {
        const uint64_t bits = integer_bits(v.value, v.type);
        return decimal_unit(is_signed_integer_type(v.type) ? decimal_text::of(static_cast<int64_t>(bits))
                                                           : decimal_text::of(bits));
    }
    }
}

// Text to a number or bool: the unit is read, then released.
CORVANE_NOINLINE bool change_from_text(variant_record& v, variant_type target) noexcept {
    bstrunit* const unit = v.value.unit;
    v.type = target;
    v.value = parsed_value(unit, target);
    release_unit(unit);
    return true;
}

// Every change but one from text, which goes its own way: neither then
// burdens the other with its registers and frame.
CORVANE_NOINLINE bool change_other(variant_record& v, variant_type target) {
    // An empty record (or one with an invalid code) takes the target's code
    // over its value bytes: zeroed bytes read as 0, false, 0.0 or a null unit.
    if (!is_value_type(v.type)) {
        v.type = target;
        return true;
    }
    if (!is_value_type(target)) {
        return false;
    }
    if (target == VARIANT_TYPE_STRING) {
        v.value.unit = text_unit(v);
    } else {
        store_number(read_number(v), target, v.value);
    }
    v.type = target;
    return true;
}

}  // namespace

variant_value value_as(const variant_record& v, variant_type target) noexcept {
    if (v.type == target || !is_value_type(v.type)) {
        return v.value;
    }
    if (v.type == VARIANT_TYPE_STRING) {
        return parsed_value(v.value.unit, target);
    }
    variant_value out = v.value;
    store_number(read_number(v), target, out);
    return out;
}

bool change_type(variant_record& v, variant_type target) {
    if (v.type == target) {
        return true;
    }
    if (v.type == VARIANT_TYPE_STRING && is_value_type(target)) {
        return change_from_text(v, target);
    }
    return change_other(v, target);
}

}  // namespace corvane::detail

extern "C" CORVANE_API bool variant_change_type(variant_record* v, variant_type target) {
    return corvane::detail::change_type(*v, target);
}

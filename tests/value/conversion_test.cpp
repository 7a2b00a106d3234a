#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "allocation_support.hpp"
#include "value_test_support.hpp"

using namespace corvane::test;

namespace {

// A member of type T as text: integers in decimal, floats with enough digits
// to tell every value apart.
template <typename T>
std::string number_text(const variant_record& r) {
    T value;
    std::memcpy(&value, &r.value, sizeof value);
    if constexpr (std::is_integral_v<T>) return std::to_string(value);
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", sizeof value == 4 ? 9 : 17, static_cast<double>(value));
    return text;
}

// Per type code, its member as text, and a record holding what its getter
// reads from another record.
struct type_view {
    std::string (*member)(const variant_record&);
    variant_record (*read)(const variant_record&);
};
template <auto getter, typename T = decltype(getter(nullptr))>
constexpr type_view view_of = {number_text<T>, [](const variant_record& s) { return typed(0, getter(&s)); }};
const type_view views[] = {
    {}, view_of<variant_resolve_as_char>, view_of<variant_resolve_as_byte>, view_of<variant_resolve_as_short>,
    view_of<variant_resolve_as_ushort>, view_of<variant_resolve_as_int>, view_of<variant_resolve_as_uint>,
    view_of<variant_resolve_as_long>, view_of<variant_resolve_as_ulong>, view_of<variant_resolve_as_longlong>,
    view_of<variant_resolve_as_ulonglong>, view_of<variant_resolve_as_float>, view_of<variant_resolve_as_double>,
    {}, view_of<variant_resolve_as_bool>};

std::string member_text(const variant_record& r) {
    return r.type == VARIANT_TYPE_STRING ? text_of(r.value.unit) : views[r.type].member(r);
}

// `source` converted to `target`, as text. The getter of the target reads
// the same. Conversions between numbers, parses and getters never allocate;
// text takes exactly one unit, ending in a NUL that it counts.
std::string converted(const variant_record& source, variant_type target) {
    scoped_record v;
    variant_set_variant(&v.r, &source);
    const long before = allocations_so_far();
    EXPECT_TRUE(variant_change_type(&v.r, target));
    const variant_record read = target == VARIANT_TYPE_STRING ? v.r : views[target].read(source);
    const bool to_text = target == VARIANT_TYPE_STRING;
    EXPECT_EQ(allocations_so_far() - before, to_text ? 1 : 0);
    EXPECT_EQ(v.r.type, target);
    EXPECT_TRUE(!to_text || v.r.value.unit->bytes[v.r.value.unit->length - 1] == '\0');
    const std::string text = member_text(v.r);
    EXPECT_EQ(target == VARIANT_TYPE_STRING ? text : views[target].member(read), text) << "getter of " << target;
    return text;
}

// A source and its conversions to every target 1 to 14, joined by blanks
// (text sources leave out their own type, which keeps the text).
const struct { variant_record source; const char* expected; } matrix_rows[] = {
    {typed<int8_t>(1, -56), "-56 200 -56 65480 -56 4294967240 -56 4294967240 -56 18446744073709551560 -56 -56 -56 1"},
    {typed<uint8_t>(2, 200), "-56 200 200 200 200 200 200 200 200 200 200 200 200 1"},
    {typed<int16_t>(3, -300), "-44 212 -300 65236 -300 4294966996 -300 4294966996 -300 18446744073709551316 -300 -300 -300 1"},
    {typed<uint16_t>(4, 65000), "-24 232 -536 65000 65000 65000 65000 65000 65000 65000 65000 65000 65000 1"},
    {typed<int32_t>(5, -70000), "-112 144 -4464 61072 -70000 4294897296 -70000 4294897296 -70000 18446744073709481616 -70000 -70000 -70000 1"},
    {typed<uint32_t>(6, 4000000000u), "0 0 10240 10240 -294967296 4000000000 -294967296 4000000000 4000000000 4000000000 4e+09 4000000000 4000000000 1"},
    {typed<int32_t>(7, 2147483647), "-1 255 -1 65535 2147483647 2147483647 2147483647 2147483647 2147483647 2147483647 2.14748365e+09 2147483647 2147483647 1"},
    {typed<uint32_t>(8, 4294967295u), "-1 255 -1 65535 -1 4294967295 -1 4294967295 4294967295 4294967295 4.2949673e+09 4294967295 4294967295 1"},
    {typed<int64_t>(9, -1099511627781), "-5 251 -5 65531 -5 4294967291 -5 4294967291 -1099511627781 18446742974197923835 -1.09951163e+12 -1099511627781 -1099511627781 1"},
    // 2^63 + 1280 lies nearer 2^63 + 2048, but value - 2^64 first rounds to
    // -(2^63 - 1024), and adding 2^64 then ties to the even 2^63. Its low
    // byte is 0: only the nonzero rule makes it true.
    {typed<uint64_t>(10, 9223372036854777088u), "0 0 1280 1280 1280 1280 1280 1280 -9223372036854774528 9223372036854777088 9.22337204e+18 9.2233720368547758e+18 9223372036854777088 1"},
    {typed<float>(11, -2.75f), "-2 254 -2 65534 -2 4294967294 -2 4294967294 -2 18446744073709551614 -2.75 -2.75 -2.750000 1"},
    {typed<uint8_t>(14, 2), "2 2 2 2 2 2 2 2 2 2 2 2 2 2"},
    // Doubles truncate with the x86 results on every processor: beyond the
    // 32- or 64-bit truncation, or a NaN, gives the most negative integer.
    {typed(12, -3.99), "-3 253 -3 65533 -3 4294967293 -3 4294967293 -3 18446744073709551613 -3.99000001 -3.9900000000000002 -3.990000 1"},
    {typed(12, -0.0), "0 0 0 0 0 0 0 0 0 0 -0 -0 -0.000000 0"},
    {typed(12, 1e-320), "0 0 0 0 0 0 0 0 0 0 0 9.9998886718268301e-321 0.000000 1"},
    {typed(12, 3000000000.5), "0 0 0 0 -2147483648 3000000000 -2147483648 3000000000 3000000000 3000000000 3e+09 3000000000.5 3000000000.500000 1"},
    {typed(12, -2147483649.0), "0 0 0 0 -2147483648 2147483647 -2147483648 2147483647 -2147483649 18446744071562067967 -2.14748365e+09 -2147483649 -2147483649.000000 1"},
    {typed(12, 0x1p63), "0 0 0 0 -2147483648 0 -2147483648 0 -9223372036854775808 9223372036854775808 9.22337204e+18 9.2233720368547758e+18 9223372036854775808.000000 1"},
    {typed(12, 0x1p64 - 2048), "0 0 0 0 -2147483648 0 -2147483648 0 -9223372036854775808 18446744073709549568 1.84467441e+19 1.844674407370955e+19 18446744073709549568.000000 1"},
    {typed(12, 0x1p64), "0 0 0 0 -2147483648 0 -2147483648 0 -9223372036854775808 9223372036854775808 1.84467441e+19 1.8446744073709552e+19 18446744073709551616.000000 1"},
    {typed(12, std::numeric_limits<double>::quiet_NaN()), "0 0 0 0 -2147483648 0 -2147483648 0 -9223372036854775808 9223372036854775808 nan nan nan 1"},
};

// Cells where one target matters: the floating targets round to nearest,
// unsigned 64-bit values in two steps.
const struct { variant_record source; variant_type target; const char* expected; } cell_rows[] = {
    {typed<uint64_t>(10, (1ull << 63) + (1ull << 39) + 1), VARIANT_TYPE_FLOAT, "9.22337204e+18"},
    {typed<uint64_t>(10, ~0ull), VARIANT_TYPE_DOUBLE, "1.8446744073709552e+19"},
    {typed<int32_t>(5, 16777217), VARIANT_TYPE_FLOAT, "16777216"},
    {typed(12, 0x1.fffffefffffffp127), VARIANT_TYPE_FLOAT, "3.40282347e+38"},
    {typed(12, 0x1.ffffffp127), VARIANT_TYPE_FLOAT, "inf"},
    {typed(12, -1e300), VARIANT_TYPE_FLOAT, "-inf"},
    {typed(11, std::nanf("")), VARIANT_TYPE_INT, "-2147483648"},
};

std::string joined(const variant_record& source) {
    std::string text;
    for (variant_type target = 1; target <= VARIANT_TYPE_BOOL; ++target) {
        text += (text.empty() ? "" : " ") + converted(source, target);
    }
    return text;
}

}  // namespace

// Outside the rows: a string keeps its own unit, and an empty record of zero
// bytes becomes a null unit.
TEST(ConversionMatrix, EveryCellOfEveryRow) {
    for (const auto& row : matrix_rows) EXPECT_EQ(joined(row.source), row.expected) << "type " << row.source.type;
    for (const auto& row : cell_rows) {
        EXPECT_EQ(converted(row.source, row.target), row.expected) << row.source.type << " to " << row.target;
    }
    scoped_record text("12");
    const bstrunit* unit = text.r.value.unit;
    variant_record empty{};
    EXPECT_TRUE(variant_change_type(&text.r, VARIANT_TYPE_STRING) && text.r.value.unit == unit);
    EXPECT_TRUE(variant_change_type(&empty, VARIANT_TYPE_STRING) && empty.type == 13 && empty.value.unit == nullptr);
}

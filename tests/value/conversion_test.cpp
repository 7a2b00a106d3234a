#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "corvane/value.h"
#include "record_test_support.hpp"
#include "test_support.hpp"

using corvane::test::make_string;
using corvane::test::scoped_record;
using corvane::test::unit_text;

// Every allocation of the program, the library's included, is counted here:
// the library's operator new resolves to this one.
namespace {
std::atomic<long> allocation_count{0};
}  // namespace

void* operator new(std::size_t size) {
    ++allocation_count;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
// GCC sees free() meet a block from operator new once these are inlined; here
// both sides are this file's own malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

namespace {

template <typename Body>
long allocations_during(Body body) {
    const long before = allocation_count.load();
    body();
    return allocation_count.load() - before;
}

template <typename T>
variant_record typed(variant_type type, T value) {
    variant_record r{};
    r.type = type;
    std::memcpy(&r.value, &value, sizeof value);
    return r;
}

// The record's value as text: integers in decimal, floats with enough digits
// to tell every value apart, strings as their text.
std::string member_text(const variant_record& r) {
    char text[64];
    switch (r.type) {
    case VARIANT_TYPE_CHAR:
        return std::to_string(r.value.i8);
    case VARIANT_TYPE_UCHAR:
    case VARIANT_TYPE_BOOL:
        return std::to_string(r.value.u8);
    case VARIANT_TYPE_SHORT:
        return std::to_string(r.value.i16);
    case VARIANT_TYPE_USHORT:
        return std::to_string(r.value.u16);
    case VARIANT_TYPE_INT:
    case VARIANT_TYPE_LONG:
        return std::to_string(r.value.i32);
    case VARIANT_TYPE_UINT:
    case VARIANT_TYPE_ULONG:
        return std::to_string(r.value.u32);
    case VARIANT_TYPE_LONGLONG:
        return std::to_string(r.value.i64);
    case VARIANT_TYPE_ULONGLONG:
        return std::to_string(r.value.u64);
    case VARIANT_TYPE_FLOAT:
        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(r.value.f32));
        return text;
    case VARIANT_TYPE_DOUBLE:
        std::snprintf(text, sizeof text, "%.17g", r.value.f64);
        return text;
    case VARIANT_TYPE_STRING:
        return unit_text(r);
    default:
        return "?";
    }
}

// One source value and the text of its conversion to each target 1 to 14.
struct matrix_row {
    variant_record source;
    std::array<const char*, 14> expected;
};

const matrix_row number_rows[] = {
    {typed<int8_t>(VARIANT_TYPE_CHAR, -56),
     {"-56", "200", "-56", "65480", "-56", "4294967240", "-56", "4294967240", "-56", "18446744073709551560", "-56",
      "-56", "-56", "1"}},
    {typed<uint8_t>(VARIANT_TYPE_UCHAR, 200),
     {"-56", "200", "200", "200", "200", "200", "200", "200", "200", "200", "200", "200", "200", "1"}},
    {typed<int16_t>(VARIANT_TYPE_SHORT, -300),
     {"-44", "212", "-300", "65236", "-300", "4294966996", "-300", "4294966996", "-300", "18446744073709551316",
      "-300", "-300", "-300", "1"}},
    {typed<uint16_t>(VARIANT_TYPE_USHORT, 65000),
     {"-24", "232", "-536", "65000", "65000", "65000", "65000", "65000", "65000", "65000", "65000", "65000", "65000",
      "1"}},
    {typed<int32_t>(VARIANT_TYPE_INT, -70000),
     {"-112", "144", "-4464", "61072", "-70000", "4294897296", "-70000", "4294897296", "-70000",
      "18446744073709481616", "-70000", "-70000", "-70000", "1"}},
    {typed<uint32_t>(VARIANT_TYPE_UINT, 4000000000u),
     {"0", "0", "10240", "10240", "-294967296", "4000000000", "-294967296", "4000000000", "4000000000", "4000000000",
      "4e+09", "4000000000", "4000000000", "1"}},
    {typed<int32_t>(VARIANT_TYPE_LONG, 2147483647),
     {"-1", "255", "-1", "65535", "2147483647", "2147483647", "2147483647", "2147483647", "2147483647", "2147483647",
      "2.14748365e+09", "2147483647", "2147483647", "1"}},
    {typed<uint32_t>(VARIANT_TYPE_ULONG, 4294967295u),
     {"-1", "255", "-1", "65535", "-1", "4294967295", "-1", "4294967295", "4294967295", "4294967295",
      "4.2949673e+09", "4294967295", "4294967295", "1"}},
    {typed<int64_t>(VARIANT_TYPE_LONGLONG, -1099511627781),
     {"-5", "251", "-5", "65531", "-5", "4294967291", "-5", "4294967291", "-1099511627781", "18446742974197923835",
      "-1.09951163e+12", "-1099511627781", "-1099511627781", "1"}},
    // 2^63 + 1025: both floating targets show the two-step rounding.
    {typed<uint64_t>(VARIANT_TYPE_ULONGLONG, 9223372036854776833u),
     {"1", "1", "1025", "1025", "1025", "1025", "1025", "1025", "-9223372036854774783", "9223372036854776833",
      "9.22337204e+18", "9.2233720368547758e+18", "9223372036854776833", "1"}},
    {typed<float>(VARIANT_TYPE_FLOAT, -2.75f),
     {"-2", "254", "-2", "65534", "-2", "4294967294", "-2", "4294967294", "-2", "18446744073709551614", "-2.75",
      "-2.75", "-2.750000", "1"}},
    // Beyond 2^31: the 32-bit truncation fails, the 64-bit one does not.
    {typed<double>(VARIANT_TYPE_DOUBLE, 3000000000.5),
     {"0", "0", "0", "0", "-2147483648", "3000000000", "-2147483648", "3000000000", "3000000000", "3000000000",
      "3e+09", "3000000000.5", "3000000000.500000", "1"}},
    {typed<uint8_t>(VARIANT_TYPE_BOOL, 2),
     {"2", "2", "2", "2", "2", "2", "2", "2", "2", "2", "2", "2", "2", "2"}},
};

// Text parsed as each target 1 to 14 (the string target keeps the text).
struct text_row {
    const char* text;
    std::array<const char*, 14> expected;
};

const text_row text_rows[] = {
    {" -0x1F",
     {"-31", "225", "-31", "65505", "-31", "4294967265", "-31", "4294967265", "-31", "18446744073709551585", "-31",
      "-31", " -0x1F", "1"}},
    // Clamped at 32 bits by the signed parse, exact in the unsigned one.
    {"3000000000",
     {"-1", "0", "-1", "24064", "2147483647", "3000000000", "2147483647", "3000000000", "3000000000", "3000000000",
      "3e+09", "3000000000", "3000000000", "1"}},
    {"-1",
     {"-1", "255", "-1", "65535", "-1", "4294967295", "-1", "4294967295", "-1", "18446744073709551615", "-1", "-1",
      "-1", "1"}},
    {"\t\n 1.9e1x", {"1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "19", "19", "\t\n 1.9e1x", "1"}},
    {"08", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "8", "8", "08", "0"}},
    {"true", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "true", "0"}},
    {"", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "", "0"}},
};

void expect_row(const variant_record& source, const std::array<const char*, 14>& expected) {
    for (variant_type target = 1; target <= VARIANT_TYPE_BOOL; ++target) {
        SCOPED_TRACE("target " + std::to_string(target));
        scoped_record v;
        variant_set_variant(&v.r, &source);
        ASSERT_TRUE(variant_change_type(&v.r, target));
        EXPECT_EQ(v.r.type, target);
        EXPECT_EQ(member_text(v.r), expected[target - 1]);
    }
}

std::string c_printf_fixed(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

std::string text_of(const variant_record& source) {
    scoped_record v;
    v.r = source;
    EXPECT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
    return unit_text(v.r);
}

template <typename T>
T parsed_as(const char* text, variant_type target) {
    scoped_record v;
    make_string(v, text);
    EXPECT_TRUE(variant_change_type(&v.r, target));
    T value;
    std::memcpy(&value, &v.r.value, sizeof value);
    return value;
}

double double_of(const char* text) {
    return parsed_as<double>(text, VARIANT_TYPE_DOUBLE);
}

// A getter applied to a record made on the spot.
template <auto Getter>
auto read_as(variant_record r) {
    return Getter(&r);
}

bool same_double(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) ||
           (std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b));
}

}  // namespace

TEST(ConversionMatrix, EveryNumberAndBoolCell) {
    for (const auto& row : number_rows) {
        SCOPED_TRACE("source type " + std::to_string(row.source.type));
        expect_row(row.source, row.expected);
    }
}

TEST(ConversionMatrix, EveryTextCell) {
    for (const auto& row : text_rows) {
        SCOPED_TRACE(std::string("text '") + row.text + "'");
        scoped_record source;
        make_string(source, row.text);
        expect_row(source.r, row.expected);
    }
}

TEST(ConversionMatrix, RefusedTargetsLeaveTheRecordExactlyAsItWas) {
    std::vector<variant_record> sources;
    for (const auto& row : number_rows) {
        sources.push_back(row.source);
    }
    scoped_record text;
    make_string(text, "12");
    sources.push_back(text.r);
    for (const auto& source : sources) {
        for (variant_type target : {0, 15, 0xFFFF}) {
            variant_record v = source;
            EXPECT_FALSE(variant_change_type(&v, target)) << source.type << " to " << target;
            EXPECT_EQ(std::memcmp(&v, &source, sizeof v), 0);
        }
    }
}

TEST(ConversionMatrix, ConvertingToTheOwnTypeChangesNothing) {
    scoped_record text;
    make_string(text, "abc");
    const bstrunit* unit = text.r.value.unit;
    EXPECT_TRUE(variant_change_type(&text.r, VARIANT_TYPE_STRING));
    EXPECT_EQ(text.r.value.unit, unit);
    for (variant_type type : {0, 1, 9, 11, 14, 15, 200}) {
        variant_record v = typed<uint64_t>(type, 0x0123456789ABCDEFu);
        const variant_record before = v;
        EXPECT_TRUE(variant_change_type(&v, type));
        EXPECT_EQ(std::memcmp(&v, &before, sizeof v), 0) << type;
    }
}

TEST(ConversionMatrix, EmptyAndInvalidRecordsTakeTheTargetOverTheirBytes) {
    scoped_record v;
    ASSERT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
    EXPECT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit, nullptr);

    variant_record cleared{};
    EXPECT_TRUE(variant_change_type(&cleared, VARIANT_TYPE_INT));
    EXPECT_EQ(cleared.type, VARIANT_TYPE_INT);
    EXPECT_EQ(cleared.value.i32, 0);

    variant_record initialised = typed<uint64_t>(VARIANT_TYPE_DOUBLE, 0x1122334455667788u);
    variant_init(&initialised);
    EXPECT_TRUE(variant_change_type(&initialised, VARIANT_TYPE_UINT));
    EXPECT_EQ(initialised.value.u32, 0x55667788u);

    variant_record invalid = typed<uint64_t>(20, 0x1122334455667788u);
    EXPECT_TRUE(variant_change_type(&invalid, VARIANT_TYPE_ULONGLONG));
    EXPECT_EQ(invalid.type, VARIANT_TYPE_ULONGLONG);
    EXPECT_EQ(invalid.value.u64, 0x1122334455667788u);
}

TEST(NumberConversion, FloatingToIntegerTruncatesWithTheSameResultsOnEveryProcessor) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr int32_t int32_min = std::numeric_limits<int32_t>::min();
    constexpr int64_t int64_min = std::numeric_limits<int64_t>::min();
    constexpr uint64_t bit_63 = uint64_t{1} << 63;
    struct case_row {
        double value;
        int8_t as_char;
        int32_t as_int;
        uint32_t as_uint;
        int64_t as_longlong;
        uint64_t as_ulonglong;
    };
    const case_row cases[] = {
        {3.99, 3, 3, 3, 3, 3},
        {-3.99, -3, -3, 4294967293u, -3, 18446744073709551613u},
        {-1.0, -1, -1, 4294967295u, -1, 18446744073709551615u},
        {-2147483648.5, 0, int32_min, 2147483648u, -2147483648, 18446744071562067968u},
        {-2147483649.0, 0, int32_min, 2147483647u, -2147483649, 18446744071562067967u},
        {2147483648.0, 0, int32_min, 2147483648u, 2147483648, 2147483648u},
        {4294967296.0, 0, int32_min, 0, 4294967296, 4294967296u},
        {1e19, 0, int32_min, 0, int64_min, 10000000000000000000u},
        {9223372036854775808.0, 0, int32_min, 0, int64_min, bit_63},
        {-9223372036854775808.0, 0, int32_min, 0, int64_min, bit_63},
        {18446744073709549568.0, 0, int32_min, 0, int64_min, 18446744073709549568u},
        {18446744073709551616.0, 0, int32_min, 0, int64_min, bit_63},
        {-1e19, 0, int32_min, 0, int64_min, bit_63},
        {inf, 0, int32_min, 0, int64_min, bit_63},
        {-inf, 0, int32_min, 0, int64_min, bit_63},
        {nan, 0, int32_min, 0, int64_min, bit_63},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        for (variant_type source : {VARIANT_TYPE_DOUBLE, VARIANT_TYPE_FLOAT}) {
            const variant_record record = source == VARIANT_TYPE_DOUBLE
                                              ? typed<double>(source, c.value)
                                              : typed<float>(source, static_cast<float>(c.value));
            if (source == VARIANT_TYPE_FLOAT && static_cast<double>(record.value.f32) != c.value && !std::isnan(c.value)) {
                continue;  // not a float value
            }
            EXPECT_EQ(variant_resolve_as_char(&record), c.as_char);
            EXPECT_EQ(variant_resolve_as_int(&record), c.as_int);
            EXPECT_EQ(variant_resolve_as_long(&record), c.as_int);
            EXPECT_EQ(variant_resolve_as_uint(&record), c.as_uint);
            EXPECT_EQ(variant_resolve_as_ulong(&record), c.as_uint);
            EXPECT_EQ(variant_resolve_as_longlong(&record), c.as_longlong);
            EXPECT_EQ(variant_resolve_as_ulonglong(&record), c.as_ulonglong);
        }
    }
}

TEST(NumberConversion, UnsignedLongLongFromTwoToTheSixtyThreeRoundsInTwoSteps) {
    // 2^63 + 1025 lies nearer 2^63 + 2048, but value - 2^64 first rounds to
    // -(2^63 - 1024), and adding 2^64 then ties to the even 2^63.
    const auto twice_rounded = typed<uint64_t>(VARIANT_TYPE_ULONGLONG, 9223372036854776833u);
    EXPECT_EQ(variant_resolve_as_double(&twice_rounded), 9223372036854775808.0);
    // The same effect one float place (2^39 below 2^63) up.
    const auto float_case = typed<uint64_t>(VARIANT_TYPE_ULONGLONG, (uint64_t{1} << 63) + (uint64_t{1} << 39) + 1);
    EXPECT_EQ(variant_resolve_as_float(&float_case), 9223372036854775808.0f);

    const auto largest = typed<uint64_t>(VARIANT_TYPE_ULONGLONG, std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(variant_resolve_as_double(&largest), 18446744073709551616.0);
    EXPECT_EQ(variant_resolve_as_float(&largest), 18446744073709551616.0f);
    const auto below = typed<uint64_t>(VARIANT_TYPE_ULONGLONG, (uint64_t{1} << 53) + 1);
    EXPECT_EQ(variant_resolve_as_double(&below), 9007199254740992.0);
}

TEST(NumberConversion, NarrowingToFloatRoundsToNearestAndOverflowsToInfinity) {
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<int32_t>(VARIANT_TYPE_INT, 16777217)), 16777216.0f);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<int64_t>(VARIANT_TYPE_LONGLONG, 16777219)), 16777220.0f);
    EXPECT_EQ(read_as<variant_resolve_as_double>(typed<int64_t>(VARIANT_TYPE_LONGLONG, (int64_t{1} << 53) + 1)),
              9007199254740992.0);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<double>(VARIANT_TYPE_DOUBLE, 0.1)), 0.1f);

    constexpr float flt_max = std::numeric_limits<float>::max();
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<double>(VARIANT_TYPE_DOUBLE, 0x1.fffffefffffffp127)), flt_max);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<double>(VARIANT_TYPE_DOUBLE, 0x1.ffffffp127)),
              std::numeric_limits<float>::infinity());
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed<double>(VARIANT_TYPE_DOUBLE, -1e300)),
              -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(read_as<variant_resolve_as_float>(typed<double>(VARIANT_TYPE_DOUBLE, std::nan("")))));
    EXPECT_EQ(read_as<variant_resolve_as_double>(typed<float>(VARIANT_TYPE_FLOAT, 0.1f)), static_cast<double>(0.1f));
}

TEST(NumberConversion, EveryNumberBecomesBoolByTheNonzeroRule) {
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<int64_t>(VARIANT_TYPE_LONGLONG, 256)), 1);
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<uint64_t>(VARIANT_TYPE_ULONGLONG, uint64_t{1} << 63)), 1);
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<int64_t>(VARIANT_TYPE_LONGLONG, 0)), 0);
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<double>(VARIANT_TYPE_DOUBLE, -0.0)), 0);
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<double>(VARIANT_TYPE_DOUBLE, 1e-320)), 1);
    EXPECT_EQ(read_as<variant_resolve_as_bool>(typed<double>(VARIANT_TYPE_DOUBLE, std::nan(""))), 1);
}

TEST(NumberText, UnitsCountTheTextAndItsNul) {
    scoped_record v;
    v.r = typed<uint8_t>(VARIANT_TYPE_BOOL, 1);
    ASSERT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
    EXPECT_EQ(v.r.value.unit->length, 2u);
    EXPECT_EQ(std::memcmp(v.r.value.unit->bytes, "1", 2), 0);

    variant_set_longlong(&v.r, std::numeric_limits<int64_t>::min(), 1);
    ASSERT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
    EXPECT_EQ(unit_text(v.r), "-9223372036854775808");
    EXPECT_EQ(v.r.value.unit->length, 21u);
    EXPECT_EQ(text_of(typed<uint64_t>(VARIANT_TYPE_ULONGLONG, std::numeric_limits<uint64_t>::max())),
              "18446744073709551615");
}

TEST(NumberText, FixedTextIsWhatPrintfWritesInTheCLocale) {
    EXPECT_EQ(text_of(typed<float>(VARIANT_TYPE_FLOAT, 0.5f)), "0.500000");
    EXPECT_EQ(text_of(typed<double>(VARIANT_TYPE_DOUBLE, -0.0)), "-0.000000");
    const double specials[] = {
        std::numeric_limits<double>::quiet_NaN(),
        -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        1e24,  // the first magnitudes that no longer fit in 31 characters
        -1e24,
        -std::numeric_limits<double>::max(),
        std::numeric_limits<double>::denorm_min(),
        0.0000005,
        2.5e-6,
        1.0000005,
    };
    for (double value : specials) {
        EXPECT_EQ(text_of(typed<double>(VARIANT_TYPE_DOUBLE, value)), c_printf_fixed(value));
    }
    const std::string largest = text_of(typed<double>(VARIANT_TYPE_DOUBLE, -std::numeric_limits<double>::max()));
    EXPECT_EQ(largest.size(), 317u);
    EXPECT_EQ(text_of(typed<float>(VARIANT_TYPE_FLOAT, std::numeric_limits<float>::max())),
              c_printf_fixed(std::numeric_limits<float>::max()));

    std::mt19937_64 random(12345);
    for (int i = 0; i < 20000; ++i) {
        const double value = std::bit_cast<double>(random());
        ASSERT_EQ(text_of(typed<double>(VARIANT_TYPE_DOUBLE, value)), c_printf_fixed(value)) << value;
    }
}

TEST(TextConversion, DoublesAreReadAsStrtodReadsThemInTheCLocale) {
    const char* texts[] = {
        "  +1.5", "-.5e-3", "1e400", "-1e400", "1e-400", "-1e-400", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "0.0000000000000000000000000000001e330", "100000e-330", "inf", "-Infinity",
        "INFINIT", "nan", "-nan", "NAN(123)", "0x1p-1074", "0x1.fffffffffffffp1023", "0x1p1024", "-0x1p-1080",
        "0X.8", "0x", "0x.", "0x.p1", "0xg", "-0x", "0x-1", "0xinf", "--1", "+-1", "- 1", ".", "e5", "1e", "1e+",
        "0x1p", "\v\f 7", "1,5", "0.1", "123456789012345678901234567890", "4.9406564584124654e-324",
    };
    for (const char* text : texts) {
        EXPECT_PRED2(same_double, double_of(text), std::strtod(text, nullptr)) << "'" << text << "'";
    }
    EXPECT_EQ(parsed_as<float>("0.1", VARIANT_TYPE_FLOAT), 0.1f);

    std::mt19937_64 random(54321);
    char text[64];
    const char* formats[] = {"%.17g", "%a", "%.3e", "%.25g"};
    for (int i = 0; i < 20000; ++i) {
        std::snprintf(text, sizeof text, formats[i % 4], std::bit_cast<double>(random()));
        ASSERT_PRED2(same_double, double_of(text), std::strtod(text, nullptr)) << text;
    }
}

TEST(TextConversion, IntegersFollowTheBaseZeroGrammar) {
    EXPECT_EQ(parsed_as<int32_t>("0x1F", VARIANT_TYPE_INT), 31);
    EXPECT_EQ(parsed_as<int32_t>("0X1f", VARIANT_TYPE_INT), 31);
    EXPECT_EQ(parsed_as<int32_t>("010", VARIANT_TYPE_INT), 8);
    EXPECT_EQ(parsed_as<int32_t>("08", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<int32_t>("0x", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<int32_t>("0xg1", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<int32_t>("  42abc", VARIANT_TYPE_INT), 42);
    EXPECT_EQ(parsed_as<int32_t>("\t\n\v\f\r+7", VARIANT_TYPE_INT), 7);
    EXPECT_EQ(parsed_as<int32_t>("-0x10", VARIANT_TYPE_INT), -16);
    EXPECT_EQ(parsed_as<int32_t>("abc", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<int32_t>("- 5", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<int32_t>("+-5", VARIANT_TYPE_INT), 0);
    EXPECT_EQ(parsed_as<uint8_t>("2", VARIANT_TYPE_BOOL), 1);
}

TEST(TextConversion, ThirtyTwoBitParsesClampAtThirtyTwoBits) {
    // Where long is 64 bits wide, strtol would read 4294967296 and keep its
    // low 32 bits, 0.
    EXPECT_EQ(parsed_as<int32_t>("4294967296", VARIANT_TYPE_INT), 2147483647);
    EXPECT_EQ(parsed_as<int32_t>("2147483648", VARIANT_TYPE_LONG), 2147483647);
    EXPECT_EQ(parsed_as<int32_t>("-2147483648", VARIANT_TYPE_INT), -2147483647 - 1);
    EXPECT_EQ(parsed_as<int32_t>("-2147483649", VARIANT_TYPE_INT), -2147483647 - 1);
    EXPECT_EQ(parsed_as<uint32_t>("4294967296", VARIANT_TYPE_UINT), 4294967295u);
    EXPECT_EQ(parsed_as<uint32_t>("0x100000000", VARIANT_TYPE_ULONG), 4294967295u);
    EXPECT_EQ(parsed_as<uint32_t>("-1", VARIANT_TYPE_UINT), 4294967295u);
    EXPECT_EQ(parsed_as<uint32_t>("-4294967295", VARIANT_TYPE_UINT), 1u);
    EXPECT_EQ(parsed_as<uint32_t>("-4294967296", VARIANT_TYPE_UINT), 4294967295u);
    EXPECT_EQ(parsed_as<int8_t>("4294967296", VARIANT_TYPE_CHAR), -1);
    EXPECT_EQ(parsed_as<uint16_t>("-4294967296", VARIANT_TYPE_USHORT), 65535);
    EXPECT_EQ(parsed_as<uint8_t>("4294967296", VARIANT_TYPE_BOOL), 1);
}

TEST(TextConversion, SixtyFourBitParsesMatchTheCLibrary) {
    // long long is 64 bits wide here, so strtoll and strtoull are the
    // reference, and strtoll clamped again gives the 32-bit signed parse.
    const char* spaces[] = {"", " ", "\t\n"};
    const char* signs[] = {"", "-", "+"};
    const char* prefixes[] = {"", "0", "0x", "0X", "00"};
    const char digits[] = "0123456789abcdefxX9";
    std::mt19937 random(777);
    for (int i = 0; i < 30000; ++i) {
        std::string text = std::string(spaces[random() % 3]) + signs[random() % 3] + prefixes[random() % 5];
        const unsigned length = random() % 24;
        for (unsigned k = 0; k < length; ++k) {
            text += digits[random() % (sizeof digits - 1)];
        }
        SCOPED_TRACE(text);
        const long long signed_64 = std::strtoll(text.c_str(), nullptr, 0);
        ASSERT_EQ(parsed_as<int64_t>(text.c_str(), VARIANT_TYPE_LONGLONG), signed_64);
        ASSERT_EQ(parsed_as<uint64_t>(text.c_str(), VARIANT_TYPE_ULONGLONG),
                  std::strtoull(text.c_str(), nullptr, 0));
        const long long clamped = std::clamp<long long>(signed_64, INT32_MIN, INT32_MAX);
        ASSERT_EQ(parsed_as<int32_t>(text.c_str(), VARIANT_TYPE_INT), clamped);
    }
    EXPECT_EQ(parsed_as<int64_t>("-9223372036854775809", VARIANT_TYPE_LONGLONG), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(parsed_as<uint64_t>("-18446744073709551615", VARIANT_TYPE_ULONGLONG), 1u);
    EXPECT_EQ(parsed_as<uint64_t>("-18446744073709551616", VARIANT_TYPE_ULONGLONG),
              std::numeric_limits<uint64_t>::max());
}

TEST(TextConversion, IntegersSurviveTheTripThroughText) {
    auto round_trip = [](variant_record source) {
        scoped_record v;
        v.r = source;
        EXPECT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
        EXPECT_TRUE(variant_change_type(&v.r, source.type));
        return std::memcmp(&v.r.value, &source.value, sizeof v.r.value) == 0;
    };
    for (int value = -32768; value <= 65535; ++value) {
        ASSERT_TRUE(round_trip(typed<int16_t>(VARIANT_TYPE_SHORT, static_cast<int16_t>(value)))) << value;
        ASSERT_TRUE(round_trip(typed<uint16_t>(VARIANT_TYPE_USHORT, static_cast<uint16_t>(value)))) << value;
    }
    std::mt19937_64 random(99);
    std::vector<uint64_t> samples = {0, 1, uint64_t{1} << 31, uint64_t{1} << 32, uint64_t{1} << 63, ~uint64_t{0}};
    for (int i = 0; i < 50000; ++i) {
        samples.push_back(random() >> (random() % 64));
    }
    for (uint64_t bits : samples) {
        for (variant_type type : {VARIANT_TYPE_INT, VARIANT_TYPE_UINT, VARIANT_TYPE_LONG, VARIANT_TYPE_ULONG,
                                  VARIANT_TYPE_LONGLONG, VARIANT_TYPE_ULONGLONG}) {
            variant_record source = typed<uint64_t>(type, bits);
            if (type < VARIANT_TYPE_LONGLONG) {
                source.value.u64 = static_cast<uint32_t>(bits);
            }
            ASSERT_TRUE(round_trip(source)) << type << " " << bits;
        }
        const auto as_signed = static_cast<int64_t>(bits);
        ASSERT_EQ(text_of(typed<int64_t>(VARIANT_TYPE_LONGLONG, as_signed)), std::to_string(as_signed));
    }
}

TEST(TextConversion, TextIsBoundedByItsUnit) {
    scoped_record v;
    make_string(v, "42");
    v.r.value.unit->bytes[2] = '7';  // the unit no longer holds a NUL
    EXPECT_EQ(variant_resolve_as_int(&v.r), 427);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 427.0);
    make_string(v, "1.5");
    v.r.value.unit->bytes[3] = 'e';
    EXPECT_EQ(variant_resolve_as_double(&v.r), 1.5);
    make_string(v, "12 9");
    v.r.value.unit->bytes[2] = '\0';
    EXPECT_EQ(variant_resolve_as_longlong(&v.r), 12);

    variant_set_bstrunit(&v.r, nullptr);
    EXPECT_EQ(variant_resolve_as_int(&v.r), 0);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 0.0);
    EXPECT_EQ(variant_resolve_as_bool(&v.r), 0);
    ASSERT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_ULONGLONG));
    EXPECT_EQ(v.r.value.u64, 0u);

    const uint32_t empty_unit = 0;
    variant_set_bstrunit(&v.r, reinterpret_cast<const bstrunit*>(&empty_unit));
    EXPECT_EQ(variant_resolve_as_short(&v.r), 0);
}

TEST(ConversionCost, NumbersConvertWithoutAllocatingAndTextTakesOneUnit) {
    for (const auto& row : number_rows) {
        for (variant_type target = 1; target <= VARIANT_TYPE_BOOL; ++target) {
            variant_record v = row.source;
            const long count = allocations_during([&] { variant_change_type(&v, target); });
            EXPECT_EQ(count, target == VARIANT_TYPE_STRING ? 1 : 0) << row.source.type << " to " << target;
            variant_clear(&v);
        }
    }
    scoped_record huge;
    huge.r = typed<double>(VARIANT_TYPE_DOUBLE, 1e300);
    EXPECT_EQ(allocations_during([&] { variant_change_type(&huge.r, VARIANT_TYPE_STRING); }), 1);
    EXPECT_EQ(huge.r.value.unit->length, 309u);

    scoped_record text;
    make_string(text, "123.5");
    double parsed = 0.0;
    EXPECT_EQ(allocations_during([&] { parsed = variant_resolve_as_double(&text.r); }), 0);
    EXPECT_EQ(parsed, 123.5);
    EXPECT_EQ(allocations_during([&] { variant_change_type(&text.r, VARIANT_TYPE_INT); }), 0);
    EXPECT_EQ(text.r.value.i32, 123);
}

namespace {

// Switches the process to a locale that writes and reads a decimal comma, and
// back to "C" at the end.
class decimal_comma_locale {
public:
    explicit decimal_comma_locale(const corvane::test::temp_folder& folder) {
        const int status = corvane::test::wait_child(corvane::test::spawn_program(
            {"localedef", "-i", "de_DE", "-f", "UTF-8", folder.join("de_DE.UTF-8")}));
        if (status != 0) {
            problem_ = "localedef exited with " + std::to_string(status);
            return;
        }
        setenv("LOCPATH", folder.path().c_str(), 1);
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
            problem_ = "setlocale refused the locale made by localedef";
        }
    }
    ~decimal_comma_locale() {
        std::setlocale(LC_ALL, "C");
        unsetenv("LOCPATH");
    }
    decimal_comma_locale(const decimal_comma_locale&) = delete;
    decimal_comma_locale& operator=(const decimal_comma_locale&) = delete;

    const std::string& problem() const { return problem_; }

private:
    std::string problem_;
};

}  // namespace

TEST(TextConversion, NumbersAndTextIgnoreTheProcessLocale) {
    std::mt19937_64 random(2024);
    std::vector<double> values = {1.5, -0.25, 1e24, 123456.789};
    for (int i = 0; i < 2000; ++i) {
        values.push_back(std::bit_cast<double>(random()));
    }
    // The expectations come from the C library in the "C" locale.
    std::vector<std::string> fixed_texts;
    std::vector<std::string> exact_texts;
    std::vector<double> parsed;
    for (double value : values) {
        fixed_texts.push_back(c_printf_fixed(value));
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value);
        exact_texts.push_back(text);
        parsed.push_back(std::strtod(text, nullptr));
    }

    corvane::test::temp_folder folder;
    decimal_comma_locale locale(folder);
    if (!locale.problem().empty()) {
        GTEST_SKIP() << "no decimal-comma locale could be made: " << locale.problem();
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale is not in effect";

    EXPECT_EQ(text_of(typed<float>(VARIANT_TYPE_FLOAT, 1.5f)), "1.500000");
    EXPECT_EQ(double_of("1.5"), 1.5);
    EXPECT_EQ(double_of("1,5"), 1.0);
    EXPECT_EQ(parsed_as<float>(" 2.5e3", VARIANT_TYPE_FLOAT), 2500.0f);
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(text_of(typed<double>(VARIANT_TYPE_DOUBLE, values[i])), fixed_texts[i]);
        ASSERT_PRED2(same_double, double_of(exact_texts[i].c_str()), parsed[i]) << exact_texts[i];
    }
}

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
#include <utility>
#include <vector>

#include "test_support.hpp"
#include "value_test_support.hpp"

using corvane::test::scoped_record;
using corvane::test::typed;
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

// The record's value as text: integers in decimal, floats with enough digits
// to tell every value apart, strings as their text.
std::string member_text(const variant_record& r) {
    const auto& v = r.value;
    char text[64];
    switch (r.type) {
    case VARIANT_TYPE_CHAR: return std::to_string(v.i8);
    case VARIANT_TYPE_UCHAR: case VARIANT_TYPE_BOOL: return std::to_string(v.u8);
    case VARIANT_TYPE_SHORT: return std::to_string(v.i16);
    case VARIANT_TYPE_USHORT: return std::to_string(v.u16);
    case VARIANT_TYPE_INT: case VARIANT_TYPE_LONG: return std::to_string(v.i32);
    case VARIANT_TYPE_UINT: case VARIANT_TYPE_ULONG: return std::to_string(v.u32);
    case VARIANT_TYPE_LONGLONG: return std::to_string(v.i64);
    case VARIANT_TYPE_ULONGLONG: return std::to_string(v.u64);
    case VARIANT_TYPE_FLOAT: std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v.f32)); return text;
    case VARIANT_TYPE_DOUBLE: std::snprintf(text, sizeof text, "%.17g", v.f64); return text;
    default: return unit_text(r);
    }
}

// `source` converted to `target`, as text. Conversions between numbers and
// parses never allocate; text takes exactly one unit, ending in a NUL that
// it counts.
std::string converted(const variant_record& source, variant_type target) {
    scoped_record v;
    variant_set_variant(&v.r, &source);
    const long allocations = allocations_during([&] { EXPECT_TRUE(variant_change_type(&v.r, target)); });
    EXPECT_EQ(v.r.type, target);
    if (source.type != VARIANT_TYPE_STRING && target == VARIANT_TYPE_STRING) {
        EXPECT_EQ(allocations, 1);
        EXPECT_EQ(v.r.value.unit->bytes[v.r.value.unit->length - 1], '\0');
    } else {
        EXPECT_EQ(allocations, 0);
    }
    return member_text(v.r);
}

std::string parsed(const char* text, variant_type target) {
    return converted(scoped_record(text).r, target);
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
    // 2^63 + 1280 lies nearer 2^63 + 2048, but value - 2^64 first rounds to
    // -(2^63 - 1024), and adding 2^64 then ties to the even 2^63. Its low
    // byte is 0: only the nonzero rule makes it true.
    {typed<uint64_t>(VARIANT_TYPE_ULONGLONG, 9223372036854777088u),
     {"0", "0", "1280", "1280", "1280", "1280", "1280", "1280", "-9223372036854774528", "9223372036854777088",
      "9.22337204e+18", "9.2233720368547758e+18", "9223372036854777088", "1"}},
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
    // Where long is 64 bits wide, strtol would keep the low 32 bits, 0.
    {"4294967296",
     {"-1", "255", "-1", "65535", "2147483647", "4294967295", "2147483647", "4294967295", "4294967296", "4294967296",
      "4.2949673e+09", "4294967296", "4294967296", "1"}},
    // The 32-bit unsigned parse negates modulo 2^32 a magnitude clamped first.
    {"-4294967295",
     {"0", "1", "0", "1", "-2147483648", "1", "-2147483648", "1", "-4294967295", "18446744069414584321",
      "-4.2949673e+09", "-4294967295", "-4294967295", "1"}},
    {"-4294967296",
     {"0", "255", "0", "65535", "-2147483648", "4294967295", "-2147483648", "4294967295", "-4294967296",
      "18446744069414584320", "-4.2949673e+09", "-4294967296", "-4294967296", "1"}},
    {"\t\n 1.9e1x", {"1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "19", "19", "\t\n 1.9e1x", "1"}},
    {"08", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "8", "8", "08", "0"}},
    {"true", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "true", "0"}},
    {"", {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "", "0"}},
};

void expect_row(const variant_record& source, const std::array<const char*, 14>& expected) {
    for (variant_type target = 1; target <= VARIANT_TYPE_BOOL; ++target) {
        EXPECT_EQ(converted(source, target), expected[target - 1]) << "target " << target;
    }
}

std::string c_printf_fixed(double value) {
    char text[400];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

// A getter applied to a copy of `r`; getters never allocate.
template <auto Getter>
auto read_as(variant_record r) {
    decltype(Getter(&r)) value{};
    EXPECT_EQ(allocations_during([&] { value = Getter(&r); }), 0);
    return value;
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
        expect_row(scoped_record(row.text).r, row.expected);
    }
}

TEST(ConversionMatrix, RecordsOutsideTheMatrixAreRefusedOrOnlyRetyped) {
    scoped_record text("12");
    std::vector<variant_record> sources = {text.r};
    for (const auto& row : number_rows) {
        sources.push_back(row.source);
    }
    for (const auto& source : sources) {
        for (variant_type target : {0, 15, 0xFFFF}) {
            variant_record v = source;
            EXPECT_FALSE(variant_change_type(&v, target)) << source.type << " to " << target;
            EXPECT_EQ(std::memcmp(&v, &source, sizeof v), 0);
        }
    }
    // The own type, and empty or invalid records: the bytes stay, the code
    // changes; zero bytes become a null unit.
    const bstrunit* unit = text.r.value.unit;
    EXPECT_TRUE(variant_change_type(&text.r, VARIANT_TYPE_STRING));
    EXPECT_EQ(text.r.value.unit, unit);
    const std::pair<variant_type, variant_type> retyped[] = {
        {1, 1}, {9, 9}, {11, 11}, {0, 0}, {15, 15}, {0, VARIANT_TYPE_UINT}, {20, VARIANT_TYPE_DOUBLE}};
    for (auto [from, to] : retyped) {
        variant_record v = typed(from, 0x0123456789ABCDEFull);
        EXPECT_TRUE(variant_change_type(&v, to)) << from << " to " << to;
        EXPECT_EQ(v.type, to);
        EXPECT_EQ(v.value.u64, 0x0123456789ABCDEFull);
    }
    variant_record empty{};
    ASSERT_TRUE(variant_change_type(&empty, VARIANT_TYPE_STRING));
    EXPECT_EQ(empty.value.unit, nullptr);
}

TEST(NumberConversion, DoubleToIntegerTruncatesWithTheSameResultsOnEveryProcessor) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr int32_t int32_min = std::numeric_limits<int32_t>::min();
    constexpr int64_t int64_min = std::numeric_limits<int64_t>::min();
    constexpr uint64_t bit_63 = uint64_t{1} << 63;
    // The value and its char, int (and long), unsigned int (and unsigned
    // long), long long, unsigned long long and bool results.
    const struct {
        double value;
        int8_t as_char;
        int32_t as_int;
        uint32_t as_uint;
        int64_t as_longlong;
        uint64_t as_ulonglong;
        uint8_t as_bool;
    } cases[] = {
        {-3.99, -3, -3, 4294967293u, -3, 18446744073709551613u, 1},
        {-0.0, 0, 0, 0, 0, 0, 0},
        {1e-320, 0, 0, 0, 0, 0, 1},
        {-2147483648.5, 0, int32_min, 2147483648u, -2147483648, 18446744071562067968u, 1},
        {-2147483649.0, 0, int32_min, 2147483647u, -2147483649, 18446744071562067967u, 1},
        {2147483648.0, 0, int32_min, 2147483648u, 2147483648, 2147483648u, 1},
        {4294967296.0, 0, int32_min, 0, 4294967296, 4294967296u, 1},
        {0x1p63, 0, int32_min, 0, int64_min, bit_63, 1},
        {-0x1p63, 0, int32_min, 0, int64_min, bit_63, 1},
        {0x1p64 - 2048, 0, int32_min, 0, int64_min, 18446744073709549568u, 1},
        {0x1p64, 0, int32_min, 0, int64_min, bit_63, 1},
        {-1e19, 0, int32_min, 0, int64_min, bit_63, 1},
        {std::numeric_limits<double>::infinity(), 0, int32_min, 0, int64_min, bit_63, 1},
        {nan, 0, int32_min, 0, int64_min, bit_63, 1},  // a NaN is not zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const variant_record record = typed(VARIANT_TYPE_DOUBLE, c.value);
        EXPECT_EQ(variant_resolve_as_char(&record), c.as_char);
        EXPECT_EQ(variant_resolve_as_int(&record), c.as_int);
        EXPECT_EQ(variant_resolve_as_long(&record), c.as_int);
        EXPECT_EQ(variant_resolve_as_uint(&record), c.as_uint);
        EXPECT_EQ(variant_resolve_as_ulong(&record), c.as_uint);
        EXPECT_EQ(variant_resolve_as_longlong(&record), c.as_longlong);
        EXPECT_EQ(variant_resolve_as_ulonglong(&record), c.as_ulonglong);
        EXPECT_EQ(variant_resolve_as_bool(&record), c.as_bool);
    }
}

TEST(NumberConversion, FloatingTargetsRoundToNearestOrInTheTwoUnsignedSteps) {
    constexpr float infinity = std::numeric_limits<float>::infinity();
    // The two steps of the matrix, one float place (2^40 at 2^63) up.
    const uint64_t nearer_above = (1ull << 63) + (1ull << 39) + 1;
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_ULONGLONG, nearer_above)), 0x1p63f);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_ULONGLONG, ~0ull)), 0x1p64f);
    EXPECT_EQ(read_as<variant_resolve_as_double>(typed(VARIANT_TYPE_ULONGLONG, ~0ull)), 0x1p64);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_INT, 16777217)), 16777216.0f);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_DOUBLE, 0x1.fffffefffffffp127)),
              std::numeric_limits<float>::max());
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_DOUBLE, 0x1.ffffffp127)), infinity);
    EXPECT_EQ(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_DOUBLE, -1e300)), -infinity);
    EXPECT_TRUE(std::isnan(read_as<variant_resolve_as_float>(typed(VARIANT_TYPE_DOUBLE, std::nan("")))));
    EXPECT_EQ(read_as<variant_resolve_as_int>(typed(VARIANT_TYPE_FLOAT, std::nanf(""))), INT32_MIN);
}

TEST(NumberText, FixedTextIsWhatPrintfWritesInTheCLocaleHoweverLong) {
    using limits = std::numeric_limits<double>;
    EXPECT_EQ(converted(typed(VARIANT_TYPE_FLOAT, std::numeric_limits<float>::max()), VARIANT_TYPE_STRING),
              c_printf_fixed(std::numeric_limits<float>::max()));
    // 1e24 is the first magnitude whose text no longer fits in 31 characters.
    std::vector<double> values = {-0.0,  limits::quiet_NaN(), -limits::quiet_NaN(), limits::infinity(),
                                  -limits::infinity(), 1e24, -1e24, -limits::max(), limits::denorm_min(),
                                  0.0000005, 2.5e-6, 1.0000005};
    std::mt19937_64 random(12345);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(std::bit_cast<double>(random()));
    }
    for (double value : values) {
        ASSERT_EQ(converted(typed(VARIANT_TYPE_DOUBLE, value), VARIANT_TYPE_STRING), c_printf_fixed(value)) << value;
    }
}

TEST(TextConversion, DoublesAreReadAsStrtodReadsThemInTheCLocale) {
    std::vector<std::string> texts = {
        "  +1.5", "-.5e-3", "1e400", "-1e400", "1e-400", "-1e-400", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "0.0000000000000000000000000000001e330", "100000e-330", "inf", "-Infinity",
        "INFINIT", "nan", "-nan", "NAN(123)", "0x1p-1074", "0x1.fffffffffffffp1023", "0x1p1024", "-0x1p-1080",
        "0X.8", "0x", "0x.", "0x.p1", "0xg", "-0x", "0x-1", "0xinf", "--1", "+-1", "- 1", ".", "e5", "1e", "1e+",
        "0x1p", "\v\f 7", "1,5", "0.1", "123456789012345678901234567890", "4.9406564584124654e-324",
    };
    std::mt19937_64 random(54321);
    const char* formats[] = {"%.17g", "%a", "%.3e", "%.25g"};
    for (int i = 0; i < 20000; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, formats[i % 4], std::bit_cast<double>(random()));
        texts.emplace_back(text);
    }
    for (const auto& text : texts) {
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(parsed(text.c_str(), VARIANT_TYPE_DOUBLE), member_text(typed(VARIANT_TYPE_DOUBLE, expected)))
            << "'" << text << "'";
    }
    EXPECT_EQ(read_as<variant_resolve_as_float>(scoped_record("0.1").r), 0.1f);
}

TEST(TextConversion, IntegerParsesFollowTheBaseZeroGrammarOfTheCLibrary) {
    // long long is 64 bits wide here, so strtoll and strtoull are the
    // reference, and strtoll clamped again gives the 32-bit signed parse.
    const char* spaces[] = {"", " ", "\t\n\v\f\r"};
    const char* signs[] = {"", "-", "+", "+-", "- "};
    const char* prefixes[] = {"", "0", "0x", "0X", "00"};
    const char digits[] = "0123456789abcdefgxX9";
    std::mt19937 random(777);
    for (int i = 0; i < 30000; ++i) {
        std::string text = std::string(spaces[random() % 3]) + signs[random() % 5] + prefixes[random() % 5];
        for (unsigned k = random() % 24; k > 0; --k) {
            text += digits[random() % (sizeof digits - 1)];
        }
        SCOPED_TRACE(text);
        const long long signed_64 = std::strtoll(text.c_str(), nullptr, 0);
        ASSERT_EQ(parsed(text.c_str(), VARIANT_TYPE_LONGLONG), std::to_string(signed_64));
        const unsigned long long unsigned_64 = std::strtoull(text.c_str(), nullptr, 0);
        ASSERT_EQ(parsed(text.c_str(), VARIANT_TYPE_ULONGLONG), std::to_string(unsigned_64));
        ASSERT_EQ(parsed(text.c_str(), VARIANT_TYPE_INT),
                  std::to_string(std::clamp<long long>(signed_64, INT32_MIN, INT32_MAX)));
    }
}

TEST(TextConversion, IntegersSurviveTheTripThroughText) {
    auto round_trip = [](variant_type type, uint64_t bits) {
        const variant_record source = typed(type, bits);
        scoped_record v;
        v.r = source;
        EXPECT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_STRING));
        EXPECT_TRUE(variant_change_type(&v.r, type));
        return member_text(v.r) == member_text(source);
    };
    for (uint64_t value = 0; value <= 0xFFFF; ++value) {
        ASSERT_TRUE(round_trip(VARIANT_TYPE_SHORT, value) && round_trip(VARIANT_TYPE_USHORT, value)) << value;
    }
    std::mt19937_64 random(99);
    std::vector<uint64_t> samples = {0, 1, 1ull << 31, 1ull << 32, 1ull << 63, ~0ull};
    for (int i = 0; i < 50000; ++i) {
        samples.push_back(random() >> (random() % 64));
    }
    for (uint64_t bits : samples) {
        for (variant_type type = VARIANT_TYPE_INT; type <= VARIANT_TYPE_ULONGLONG; ++type) {
            ASSERT_TRUE(round_trip(type, bits)) << type << " " << bits;
        }
        const auto as_signed = static_cast<int64_t>(bits);
        ASSERT_EQ(converted(typed(VARIANT_TYPE_LONGLONG, as_signed), VARIANT_TYPE_STRING), std::to_string(as_signed));
    }
}

TEST(TextConversion, TextIsBoundedByItsUnit) {
    scoped_record v("42");
    v.r.value.unit->bytes[2] = '7';  // the unit no longer holds a NUL
    EXPECT_EQ(variant_resolve_as_int(&v.r), 427);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 427.0);
    variant_set_string(&v.r, "1.5", 1);
    v.r.value.unit->bytes[3] = 'e';
    EXPECT_EQ(variant_resolve_as_double(&v.r), 1.5);
    variant_set_string(&v.r, "12 9", 1);
    v.r.value.unit->bytes[2] = '\0';
    EXPECT_EQ(variant_resolve_as_longlong(&v.r), 12);

    variant_set_bstrunit(&v.r, nullptr);
    EXPECT_EQ(variant_resolve_as_int(&v.r), 0);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 0.0);
    ASSERT_TRUE(variant_change_type(&v.r, VARIANT_TYPE_ULONGLONG));
    EXPECT_EQ(v.r.value.u64, 0u);
    const uint32_t empty_unit = 0;
    variant_set_bstrunit(&v.r, reinterpret_cast<const bstrunit*>(&empty_unit));
    EXPECT_EQ(variant_resolve_as_short(&v.r), 0);
}

TEST(TextConversion, NumbersAndTextIgnoreTheProcessLocale) {
    corvane::test::temp_folder folder;
    struct back_to_c_locale {
        ~back_to_c_locale() {
            std::setlocale(LC_ALL, "C");
            unsetenv("LOCPATH");
        }
    } restore;
    const int status = corvane::test::child_process::program(
        {"localedef", "-i", "de_DE", "-f", "UTF-8", folder.join("de_DE.UTF-8")}).wait();
    setenv("LOCPATH", folder.path().c_str(), 1);
    if (status != 0 || std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no decimal-comma locale could be made (localedef exited with " << status << ")";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_STREQ(probe, "1,5") << "the locale is not in effect";

    EXPECT_EQ(converted(typed(VARIANT_TYPE_FLOAT, 1.5f), VARIANT_TYPE_STRING), "1.500000");
    EXPECT_EQ(converted(typed(VARIANT_TYPE_DOUBLE, -1e24), VARIANT_TYPE_STRING), "-999999999999999983222784.000000");
    EXPECT_EQ(read_as<variant_resolve_as_double>(scoped_record("123456.789e-3").r), 123.456789);
    EXPECT_EQ(read_as<variant_resolve_as_double>(scoped_record("1,5").r), 1.0);
    EXPECT_EQ(read_as<variant_resolve_as_float>(scoped_record(" 2.5e3").r), 2500.0f);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "corvane/value.h"
#include "record_test_support.hpp"

using corvane::test::make_string;
using corvane::test::scoped_record;
using corvane::test::unit_text;

namespace {

const char* const type_names[] = {"char",         "unsigned char", "short",     "unsigned short",     "int",
                                  "unsigned int", "long",          "unsigned long", "long long", "unsigned long long",
                                  "float",        "double",        "string",    "bool"};

variant_record record_of(variant_type type, uint64_t bits) {
    variant_record r{};
    r.type = type;
    r.value.u64 = bits;
    return r;
}

// A unit in caller storage: its length and bytes.
std::vector<uint32_t> caller_unit(const std::string& bytes) {
    std::vector<uint32_t> storage(1 + (bytes.size() + 3) / 4);
    storage[0] = static_cast<uint32_t>(bytes.size());
    std::memcpy(storage.data() + 1, bytes.data(), bytes.size());
    return storage;
}

const bstrunit* as_unit(const std::vector<uint32_t>& storage) {
    return reinterpret_cast<const bstrunit*>(storage.data());
}

}  // namespace

TEST(VariantRecord, InitSetsOnlyTheTypeAndClearZeroesEverything) {
    variant_record v = record_of(VARIANT_TYPE_DOUBLE, 0x1234);
    v.reserved[0] = 9;
    variant_init(&v);
    EXPECT_EQ(v.type, VARIANT_TYPE_EMPTY);
    EXPECT_EQ(v.value.u64, 0x1234u);
    EXPECT_EQ(v.reserved[0], 9);

    const variant_record zero{};
    variant_clear(&v);
    EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);

    variant_set_string(&v, "text", 1);
    variant_clear(&v);
    EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);
    variant_record null_string = record_of(VARIANT_TYPE_STRING, 0);
    variant_clear(&null_string);
    EXPECT_EQ(null_string.type, VARIANT_TYPE_EMPTY);
}

TEST(VariantRecord, EqualityComparesTheTypesOwnValue) {
    auto equal = [](variant_record a, variant_record b) { return variant_equal_variant(&a, &b); };
    EXPECT_TRUE(equal(record_of(0, 1), record_of(0, 2)));
    EXPECT_FALSE(equal(record_of(VARIANT_TYPE_INT, 1), record_of(VARIANT_TYPE_LONG, 1)));
    EXPECT_FALSE(equal(record_of(15, 1), record_of(15, 1)));
    // Bytes above the member carry no meaning.
    EXPECT_TRUE(equal(record_of(VARIANT_TYPE_CHAR, 0xAA05), record_of(VARIANT_TYPE_CHAR, 0xBB05)));
    EXPECT_TRUE(equal(record_of(VARIANT_TYPE_USHORT, 0xAA0005), record_of(VARIANT_TYPE_USHORT, 0xBB0005)));
    EXPECT_TRUE(equal(record_of(VARIANT_TYPE_UINT, 0xAA'0000'0005), record_of(VARIANT_TYPE_UINT, 0x0005)));
    EXPECT_FALSE(equal(record_of(VARIANT_TYPE_UINT, 0x0100'0005), record_of(VARIANT_TYPE_UINT, 0x0005)));
    EXPECT_FALSE(equal(record_of(VARIANT_TYPE_LONGLONG, uint64_t{1} << 40), record_of(VARIANT_TYPE_LONGLONG, 0)));
    EXPECT_FALSE(equal(record_of(VARIANT_TYPE_BOOL, 1), record_of(VARIANT_TYPE_BOOL, 2)));

    variant_record a{};
    variant_record b{};
    variant_set_float(&a, std::nanf(""), 1);
    EXPECT_FALSE(variant_equal_variant(&a, &a));
    variant_set_double(&a, 0.0, 1);
    variant_set_double(&b, -0.0, 1);
    EXPECT_TRUE(variant_equal_variant(&a, &b));
    variant_set_double(&b, std::nan(""), 1);
    EXPECT_FALSE(variant_equal_variant(&b, &b));
}

TEST(VariantRecord, StringsCompareLengthAndBytes) {
    scoped_record null_a;
    scoped_record null_b;
    variant_set_bstrunit(&null_a.r, nullptr);
    variant_set_bstrunit(&null_b.r, nullptr);
    EXPECT_TRUE(variant_equal_variant(&null_a.r, &null_b.r));

    scoped_record empty;
    const auto zero_length = caller_unit("");
    variant_set_bstrunit(&empty.r, as_unit(zero_length));
    EXPECT_FALSE(variant_equal_variant(&null_a.r, &empty.r));
    EXPECT_FALSE(variant_equal_variant(&empty.r, &null_a.r));

    scoped_record x;
    scoped_record y;
    const auto bytes_x = caller_unit("abcde");
    const auto bytes_y = caller_unit("abcXe");
    variant_set_bstrunit(&x.r, as_unit(bytes_x));
    variant_set_bstrunit(&y.r, as_unit(bytes_y));
    EXPECT_FALSE(variant_equal_variant(&x.r, &y.r));

    scoped_record text;
    make_string(text, "abc");
    const auto with_nul = caller_unit(std::string("abc", 4));
    variant_set_bstrunit(&x.r, as_unit(with_nul));
    EXPECT_TRUE(variant_equal_variant(&text.r, &x.r));
    const auto without_nul = caller_unit("abc");
    variant_set_bstrunit(&y.r, as_unit(without_nul));
    EXPECT_FALSE(variant_equal_variant(&text.r, &y.r));
}

TEST(VariantRecord, DatatypeSizes) {
    const uint32_t sizes[] = {0, 8, 8, 16, 16, 32, 32, 32, 32, 64, 64, 32, 64, 0, 8, 0};
    for (variant_type type = 0; type < std::size(sizes); ++type) {
        uint32_t bits = 77;
        EXPECT_EQ(variant_get_datatype_size(type, &bits), sizes[type] != 0) << type;
        EXPECT_EQ(bits, sizes[type]) << type;
    }
}

TEST(VariantRecord, DisplayTypeFollowsTheSizeQueryProtocol) {
    for (variant_type type = 1; type <= VARIANT_TYPE_BOOL; ++type) {
        const std::string name = type_names[type - 1];
        const auto needed = static_cast<uint32_t>(name.size() + 1);
        uint32_t size = 1000;
        ASSERT_TRUE(variant_resolve_display_type(type, nullptr, &size));
        EXPECT_EQ(size, needed);

        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        size = needed - 1;
        EXPECT_FALSE(variant_resolve_display_type(type, buffer, &size));
        EXPECT_EQ(size, needed - 1);
        EXPECT_EQ(buffer[0], '#');

        size = needed;
        ASSERT_TRUE(variant_resolve_display_type(type, buffer, &size));
        EXPECT_EQ(size, needed);
        EXPECT_EQ(std::string(buffer), name);
        EXPECT_EQ(buffer[needed], '#');

        variant_type code = 0;
        EXPECT_TRUE(variant_resolve_type(buffer, &code));
        EXPECT_EQ(code, type);
    }
    for (variant_type type : {0, 15, 0xFFFF}) {
        uint32_t size = 5;
        char buffer[8] = "keep";
        EXPECT_FALSE(variant_resolve_display_type(type, nullptr, &size));
        EXPECT_FALSE(variant_resolve_display_type(type, buffer, &size));
        EXPECT_EQ(size, 5u);
        EXPECT_STREQ(buffer, "keep");
    }
}

TEST(VariantRecord, TypeNamesMatchExactly) {
    variant_type code = 99;
    EXPECT_FALSE(variant_resolve_type(nullptr, &code));
    EXPECT_EQ(code, 99);
    for (const char* name : {"Int", "int ", " int", "unsigned", "long long long", "", "chars"}) {
        code = 99;
        EXPECT_FALSE(variant_resolve_type(name, &code)) << name;
        EXPECT_EQ(code, 0) << name;
    }
    EXPECT_TRUE(variant_resolve_type("unsigned long long", &code));
    EXPECT_EQ(code, VARIANT_TYPE_ULONGLONG);
}

TEST(VariantRecord, CopiesOwnTheirUnits) {
    scoped_record source;
    scoped_record destination;
    make_string(source, "hello");
    make_string(destination, "replaced");  // released by the copy
    variant_set_variant(&destination.r, &source.r);
    EXPECT_NE(destination.r.value.unit, source.r.value.unit);
    variant_clear(&source.r);
    EXPECT_EQ(unit_text(destination.r), "hello");

    variant_set_bstrunit(&source.r, nullptr);
    variant_set_variant(&destination.r, &source.r);
    EXPECT_EQ(destination.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(destination.r.value.unit, nullptr);

    const variant_record number = record_of(VARIANT_TYPE_ULONGLONG, 0xFEDCBA9876543210u);
    variant_set_variant(&destination.r, &number);
    EXPECT_EQ(std::memcmp(&destination.r, &number, sizeof number), 0);
}

TEST(VariantRecord, CopyingARecordOntoItselfKeepsItsValue) {
    scoped_record v;
    make_string(v, "self");
    variant_set_variant(&v.r, &v.r);
    EXPECT_EQ(unit_text(v.r), "self");

    // The record's own unit handed back to it.
    variant_set_bstrunit(&v.r, v.r.value.unit);
    EXPECT_EQ(unit_text(v.r), "self");

    variant_set_int(&v.r, 5, 1);
    variant_set_variant(&v.r, &v.r);
    EXPECT_EQ(v.r.value.i32, 5);
}

TEST(VariantRecord, SetBstrunitCopiesTheCallersUnit) {
    scoped_record v;
    make_string(v, "old");
    const auto bytes = caller_unit("xy");
    variant_set_bstrunit(&v.r, as_unit(bytes));
    ASSERT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_NE(v.r.value.unit, as_unit(bytes));
    EXPECT_EQ(v.r.value.unit->length, 2u);
    EXPECT_EQ(std::memcmp(v.r.value.unit->bytes, "xy", 2), 0);

    variant_set_bstrunit(&v.r, nullptr);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit, nullptr);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

#include "value_test_support.hpp"

using corvane::test::caller_unit;
using corvane::test::scoped_record;
using corvane::test::typed;
using corvane::test::unit_text;

TEST(VariantRecord, InitSetsOnlyTheTypeAndClearReleasesAndZeroesEverything) {
    variant_record v = typed<uint64_t>(VARIANT_TYPE_DOUBLE, 0x1234);
    v.reserved[0] = 9;
    variant_init(&v);
    EXPECT_EQ(v.type, VARIANT_TYPE_EMPTY);
    EXPECT_EQ(v.value.u64, 0x1234u);
    EXPECT_EQ(v.reserved[0], 9);

    const variant_record zero{};
    variant_set_string(&v, "text", 1);
    variant_clear(&v);
    EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);
}

TEST(VariantRecord, EqualityComparesTheTypesOwnMember) {
    auto equal = [](variant_record a, variant_record b) { return variant_equal_variant(&a, &b); };
    EXPECT_TRUE(equal(typed<uint64_t>(0, 1), typed<uint64_t>(0, 2)));
    EXPECT_FALSE(equal(typed(VARIANT_TYPE_INT, 1), typed(VARIANT_TYPE_LONG, 1)));
    EXPECT_FALSE(equal(typed(15, 1), typed(15, 1)));
    // Bytes above the member carry no meaning.
    EXPECT_TRUE(equal(typed<uint64_t>(VARIANT_TYPE_CHAR, 0xAA05), typed<uint64_t>(VARIANT_TYPE_CHAR, 0xBB05)));
    EXPECT_TRUE(equal(typed<uint64_t>(VARIANT_TYPE_UINT, 0xAA'0000'0005), typed<uint64_t>(VARIANT_TYPE_UINT, 5)));
    EXPECT_FALSE(equal(typed<uint64_t>(VARIANT_TYPE_UINT, 0x0100'0005), typed<uint64_t>(VARIANT_TYPE_UINT, 5)));
    EXPECT_FALSE(equal(typed<uint64_t>(VARIANT_TYPE_LONGLONG, 1ull << 40), typed<uint64_t>(9, 0)));
    EXPECT_FALSE(equal(typed(VARIANT_TYPE_DOUBLE, std::nan("")), typed(VARIANT_TYPE_DOUBLE, std::nan(""))));
    EXPECT_TRUE(equal(typed(VARIANT_TYPE_FLOAT, 0.0f), typed(VARIANT_TYPE_FLOAT, -0.0f)));

    // Strings: a null unit equals only a null unit; the NUL counts.
    caller_unit zero_length("");
    caller_unit without_nul("abc");
    scoped_record null_unit, empty, text("abc"), other("abd"), unterminated;
    variant_set_bstrunit(&null_unit.r, nullptr);
    variant_set_bstrunit(&empty.r, zero_length.get());
    variant_set_bstrunit(&unterminated.r, without_nul.get());
    EXPECT_TRUE(equal(null_unit.r, typed<bstrunit*>(VARIANT_TYPE_STRING, nullptr)));
    EXPECT_FALSE(equal(null_unit.r, empty.r));
    EXPECT_FALSE(equal(empty.r, null_unit.r));
    EXPECT_TRUE(equal(text.r, scoped_record("abc").r));
    EXPECT_FALSE(equal(text.r, unterminated.r));
    EXPECT_FALSE(equal(text.r, other.r));
}

TEST(VariantRecord, DatatypeSizes) {
    const uint32_t sizes[] = {0, 8, 8, 16, 16, 32, 32, 32, 32, 64, 64, 32, 64, 0, 8, 0};
    for (variant_type type = 0; type < std::size(sizes); ++type) {
        uint32_t bits = 77;
        EXPECT_EQ(variant_get_datatype_size(type, &bits), sizes[type] != 0) << type;
        EXPECT_EQ(bits, sizes[type]) << type;
    }
}

TEST(VariantRecord, TypeNamesFollowTheSizeQueryProtocolAndMatchExactly) {
    const char* const names[] = {"char", "unsigned char", "short", "unsigned short", "int", "unsigned int", "long",
                                 "unsigned long", "long long", "unsigned long long", "float", "double", "string",
                                 "bool"};
    for (variant_type type = 1; type <= VARIANT_TYPE_BOOL; ++type) {
        const auto needed = static_cast<uint32_t>(std::strlen(names[type - 1]) + 1);
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        uint32_t size = 1000;
        ASSERT_TRUE(variant_resolve_display_type(type, nullptr, &size));
        EXPECT_EQ(size, needed);
        size = needed - 1;
        EXPECT_FALSE(variant_resolve_display_type(type, buffer, &size));
        EXPECT_EQ(size, needed - 1);
        EXPECT_EQ(buffer[0], '#');
        size = needed;
        ASSERT_TRUE(variant_resolve_display_type(type, buffer, &size));
        EXPECT_STREQ(buffer, names[type - 1]);
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
    variant_type code = 99;
    EXPECT_FALSE(variant_resolve_type(nullptr, &code));
    EXPECT_EQ(code, 99);
    for (const char* name : {"Int", "int ", " int", "unsigned", "long long long", "", "chars"}) {
        EXPECT_FALSE(variant_resolve_type(name, &code)) << name;
        EXPECT_EQ(code, 0) << name;
    }
}

TEST(VariantRecord, CopiesOwnTheirUnitsAndSelfCopiesKeepTheValue) {
    scoped_record source("hello");
    scoped_record destination("replaced");  // released by the copy
    variant_set_variant(&destination.r, &source.r);
    EXPECT_NE(destination.r.value.unit, source.r.value.unit);
    variant_clear(&source.r);
    EXPECT_EQ(unit_text(destination.r), "hello");

    caller_unit bytes("xy");
    variant_set_bstrunit(&source.r, bytes.get());
    EXPECT_NE(source.r.value.unit, bytes.get());
    EXPECT_EQ(unit_text(source.r), "xy");
    variant_set_bstrunit(&source.r, nullptr);
    variant_set_variant(&destination.r, &source.r);
    EXPECT_EQ(destination.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(destination.r.value.unit, nullptr);

    scoped_record self("self");
    variant_set_variant(&self.r, &self.r);
    variant_set_bstrunit(&self.r, self.r.value.unit);
    EXPECT_EQ(unit_text(self.r), "self");
}

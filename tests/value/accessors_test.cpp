#include <gtest/gtest.h>

#include <limits>

#include "value_test_support.hpp"

using corvane::test::scoped_record;
using corvane::test::unit_text;

// Each setter's own type with flag 1 is checked slot by slot from C.
TEST(Accessors, UnforcedSettersConvertIntoTheRecordsType) {
    scoped_record v("old");
    variant_set_int(&v.r, 7, 0);
    ASSERT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(unit_text(v.r), "7");
    EXPECT_EQ(v.r.value.unit->length, 2u);

    variant_set_double(&v.r, 0.0, 1);
    variant_set_int(&v.r, 7, 2);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_DOUBLE);
    EXPECT_EQ(v.r.value.f64, 7.0);

    variant_set_ulonglong(&v.r, 0, 1);
    variant_set_char(&v.r, -1, 0);
    EXPECT_EQ(v.r.value.u64, std::numeric_limits<uint64_t>::max());

    variant_set_bool(&v.r, 0, 1);
    variant_set_longlong(&v.r, 256, 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_BOOL);
    EXPECT_EQ(v.r.value.u8, 1);

    // Empty and invalid records take the setter's type.
    for (variant_type code : {0, 20}) {
        v.r.type = code;
        variant_set_ushort(&v.r, 65535, 0);
        EXPECT_EQ(v.r.type, VARIANT_TYPE_USHORT);
        EXPECT_EQ(v.r.value.u16, 65535);
    }
}

TEST(Accessors, StringSetterParsesIntoNumbersAndIgnoresNull) {
    scoped_record v;
    variant_set_int(&v.r, 1, 1);
    variant_set_string(&v.r, "12", 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_INT);
    EXPECT_EQ(v.r.value.i32, 12);
    variant_set_string(&v.r, nullptr, 1);
    EXPECT_EQ(v.r.value.i32, 12);

    variant_set_string(&v.r, "12", 1);
    ASSERT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit->length, 3u);
    const bstrunit* unit = v.r.value.unit;
    variant_set_string(&v.r, nullptr, 0);
    EXPECT_EQ(v.r.value.unit, unit);
    // The record's own text handed back to it.
    variant_set_string(&v.r, reinterpret_cast<const char*>(v.r.value.unit->bytes), 0);
    EXPECT_EQ(unit_text(v.r), "12");
}

TEST(Accessors, GettersReadAPrivateCopyAndEmptyRecordsAsRawBits) {
    scoped_record v("0x10");
    const bstrunit* unit = v.r.value.unit;
    EXPECT_EQ(variant_resolve_as_int(&v.r), 16);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit, unit);
    EXPECT_EQ(unit_text(v.r), "0x10");

    variant_set_bool(&v.r, 2, 1);
    EXPECT_EQ(variant_resolve_as_bool(&v.r), 2);
    variant_set_double(&v.r, 0.1, 1);
    EXPECT_EQ(variant_resolve_as_float(&v.r), 0.1f);
    EXPECT_EQ(v.r.value.f64, 0.1);

    variant_clear(&v.r);
    v.r.value.u64 = 0x1122334455667788u;
    EXPECT_EQ(variant_resolve_as_int(&v.r), 0x55667788);
    EXPECT_EQ(variant_resolve_as_ulonglong(&v.r), 0x1122334455667788u);
}

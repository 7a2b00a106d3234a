#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "corvane/value.h"
#include "record_test_support.hpp"

using corvane::test::make_string;
using corvane::test::scoped_record;
using corvane::test::unit_text;

namespace {

// One typed setter and getter with the value used to exercise them and the
// value's bits in the record.
struct accessor {
    variant_type type;
    std::function<void(variant_record*, uint8_t)> set;
    std::function<uint64_t(const variant_record*)> get;
    uint64_t bits;
};

template <typename T>
uint64_t bits_of(T value) {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return bits;
}

template <typename T>
accessor make_accessor(variant_type type, void (*set)(variant_record*, T, uint8_t),
                       T (*get)(const variant_record*), T value) {
    return {type, [set, value](variant_record* v, uint8_t force) { set(v, value, force); },
            [get](const variant_record* v) { return bits_of(get(v)); }, bits_of(value)};
}

const accessor accessors[] = {
    make_accessor<int8_t>(VARIANT_TYPE_CHAR, variant_set_char, variant_resolve_as_char, -7),
    make_accessor<uint8_t>(VARIANT_TYPE_UCHAR, variant_set_byte, variant_resolve_as_byte, 250),
    make_accessor<int16_t>(VARIANT_TYPE_SHORT, variant_set_short, variant_resolve_as_short, -30000),
    make_accessor<uint16_t>(VARIANT_TYPE_USHORT, variant_set_ushort, variant_resolve_as_ushort, 60000),
    make_accessor<int32_t>(VARIANT_TYPE_INT, variant_set_int, variant_resolve_as_int, -2000000000),
    make_accessor<uint32_t>(VARIANT_TYPE_UINT, variant_set_uint, variant_resolve_as_uint, 4000000000u),
    make_accessor<int32_t>(VARIANT_TYPE_LONG, variant_set_long, variant_resolve_as_long, -123456789),
    make_accessor<uint32_t>(VARIANT_TYPE_ULONG, variant_set_ulong, variant_resolve_as_ulong, 3000000000u),
    make_accessor<int64_t>(VARIANT_TYPE_LONGLONG, variant_set_longlong, variant_resolve_as_longlong, -(int64_t{1} << 50)),
    make_accessor<uint64_t>(VARIANT_TYPE_ULONGLONG, variant_set_ulonglong, variant_resolve_as_ulonglong,
                            ~uint64_t{0} - 3),
    make_accessor<float>(VARIANT_TYPE_FLOAT, variant_set_float, variant_resolve_as_float, 0.1f),
    make_accessor<double>(VARIANT_TYPE_DOUBLE, variant_set_double, variant_resolve_as_double, -2.5e-300),
    make_accessor<uint8_t>(VARIANT_TYPE_BOOL, variant_set_bool, variant_resolve_as_bool, 2),
};

uint64_t member_bits(const variant_record& v) {
    uint32_t width = 0;
    variant_get_datatype_size(v.type, &width);
    return width == 64 ? v.value.u64 : v.value.u64 & ((uint64_t{1} << width) - 1);
}

}  // namespace

TEST(Accessors, ForcedSettersStoreTheirOwnTypeAndGettersReadItBack) {
    for (const auto& a : accessors) {
        SCOPED_TRACE(a.type);
        scoped_record v;
        make_string(v, "was a string");  // released by the setter
        a.set(&v.r, 1);
        EXPECT_EQ(v.r.type, a.type);
        EXPECT_EQ(member_bits(v.r), a.bits);
        EXPECT_EQ(a.get(&v.r), a.bits);

        // Any force_type but 1 keeps a type; an empty record takes the setter's.
        variant_clear(&v.r);
        a.set(&v.r, 2);
        EXPECT_EQ(v.r.type, a.type);
        EXPECT_EQ(member_bits(v.r), a.bits);
    }
}

TEST(Accessors, UnforcedSettersConvertIntoTheRecordsType) {
    scoped_record v;
    make_string(v, "old");
    variant_set_int(&v.r, 7, 0);
    ASSERT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(unit_text(v.r), "7");
    EXPECT_EQ(v.r.value.unit->length, 2u);

    variant_set_double(&v.r, 0.0, 1);
    variant_set_int(&v.r, 7, 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_DOUBLE);
    EXPECT_EQ(v.r.value.f64, 7.0);

    variant_set_int(&v.r, 0, 1);
    variant_set_double(&v.r, 3.7, 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_INT);
    EXPECT_EQ(v.r.value.i32, 3);

    variant_set_ulonglong(&v.r, 0, 1);
    variant_set_char(&v.r, -1, 0);
    EXPECT_EQ(v.r.value.u64, std::numeric_limits<uint64_t>::max());

    // 64-bit values become a bool by the nonzero rule.
    variant_set_bool(&v.r, 0, 1);
    variant_set_longlong(&v.r, 256, 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_BOOL);
    EXPECT_EQ(v.r.value.u8, 1);

    v.r.type = 20;  // an invalid code takes the setter's type
    variant_set_short(&v.r, -2, 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_SHORT);
    EXPECT_EQ(v.r.value.i16, -2);
}

TEST(Accessors, StringSetterParsesIntoNumbersAndIgnoresNull) {
    scoped_record v;
    variant_set_int(&v.r, 1, 1);
    variant_set_string(&v.r, "12", 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_INT);
    EXPECT_EQ(v.r.value.i32, 12);

    variant_set_string(&v.r, nullptr, 1);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_INT);
    EXPECT_EQ(v.r.value.i32, 12);

    variant_set_string(&v.r, "12", 1);
    ASSERT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit->length, 3u);
    const bstrunit* unit = v.r.value.unit;
    variant_set_string(&v.r, nullptr, 0);
    EXPECT_EQ(v.r.value.unit, unit);

    variant_set_string(&v.r, "replaced", 0);
    EXPECT_EQ(unit_text(v.r), "replaced");
    // The record's own text handed back to it.
    variant_set_string(&v.r, reinterpret_cast<const char*>(v.r.value.unit->bytes), 0);
    EXPECT_EQ(unit_text(v.r), "replaced");

    variant_clear(&v.r);
    variant_set_string(&v.r, "9", 0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(unit_text(v.r), "9");
}

TEST(Accessors, GettersConvertAPrivateCopy) {
    scoped_record v;
    make_string(v, "0x10");
    const bstrunit* unit = v.r.value.unit;
    EXPECT_EQ(variant_resolve_as_int(&v.r), 16);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 16.0);
    EXPECT_EQ(v.r.type, VARIANT_TYPE_STRING);
    EXPECT_EQ(v.r.value.unit, unit);
    EXPECT_EQ(unit_text(v.r), "0x10");

    variant_set_int(&v.r, -1, 1);
    EXPECT_EQ(variant_resolve_as_uint(&v.r), 4294967295u);
    variant_set_short(&v.r, 300, 1);
    EXPECT_EQ(variant_resolve_as_char(&v.r), 44);
    variant_set_bool(&v.r, 2, 1);
    EXPECT_EQ(variant_resolve_as_int(&v.r), 2);
    EXPECT_EQ(variant_resolve_as_bool(&v.r), 2);
    variant_set_int(&v.r, 5, 1);
    EXPECT_EQ(variant_resolve_as_bool(&v.r), 1);
    variant_set_longlong(&v.r, 256, 1);
    EXPECT_EQ(variant_resolve_as_bool(&v.r), 1);
    variant_set_float(&v.r, 0.5f, 1);
    EXPECT_EQ(variant_resolve_as_double(&v.r), 0.5);
    variant_set_double(&v.r, 0.1, 1);
    EXPECT_EQ(variant_resolve_as_float(&v.r), 0.1f);
    EXPECT_EQ(v.r.value.f64, 0.1);
}

TEST(Accessors, GettersReadAnEmptyRecordAsItsRawBits) {
    variant_record v{};
    v.value.u64 = 0x1122334455667788u;
    variant_init(&v);
    EXPECT_EQ(variant_resolve_as_int(&v), 0x55667788);
    EXPECT_EQ(variant_resolve_as_ulonglong(&v), 0x1122334455667788u);
    variant_clear(&v);
    EXPECT_EQ(variant_resolve_as_double(&v), 0.0);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "value_test_support.hpp"

using namespace corvane::test;

TEST(VariantRecord, EqualityComparesTheTypesOwnMember) {
    caller_unit zero_length(""), without_nul("abc");
    const variant_record null_unit = typed<bstrunit*>(VARIANT_TYPE_STRING, nullptr),
                         empty = typed(VARIANT_TYPE_STRING, zero_length.get());
    scoped_record text("abc"), same("abc"), other("abd");
    const double nan = std::nan("");
    const struct { variant_record a, b; bool equal; const char* reason; } rows[] = {
        {typed<uint64_t>(0, 1), typed<uint64_t>(0, 2), true, "empty records, whatever their bytes"},
        {typed(VARIANT_TYPE_INT, 1), typed(VARIANT_TYPE_LONG, 1), false, "types differ"},
        {typed(15, 1), typed(15, 1), false, "invalid code"},
        {typed<uint64_t>(VARIANT_TYPE_CHAR, 0xAA05), typed<uint64_t>(VARIANT_TYPE_CHAR, 0xBB05), true, "above the member"},
        {typed<uint64_t>(VARIANT_TYPE_UINT, 0xAA'0000'0005), typed<uint64_t>(VARIANT_TYPE_UINT, 5), true, "above 32 bits"},
        {typed<uint64_t>(VARIANT_TYPE_UINT, 0x0100'0005), typed<uint64_t>(VARIANT_TYPE_UINT, 5), false, "bit 24"},
        {typed<uint64_t>(9, 1ull << 40), typed<uint64_t>(9, 0), false, "bit 40 of a long long"},
        {typed<uint8_t>(VARIANT_TYPE_BOOL, 1), typed<uint8_t>(VARIANT_TYPE_BOOL, 2), false, "bool bytes as stored"},
        {typed(VARIANT_TYPE_DOUBLE, nan), typed(VARIANT_TYPE_DOUBLE, nan), false, "NaN equals nothing"},
        {typed(VARIANT_TYPE_FLOAT, 0.0f), typed(VARIANT_TYPE_FLOAT, -0.0f), true, "0.0 equals -0.0"},
        {null_unit, null_unit, true, "two null units"},
        {null_unit, empty, false, "null unit against length 0"},
        {empty, null_unit, false, "length 0 against null unit"},
        {text.r, same.r, true, "equal units"},
        {text.r, typed(VARIANT_TYPE_STRING, without_nul.get()), false, "the NUL counts"},
        {text.r, other.r, false, "one byte differs"},
    };
    for (const auto& row : rows) EXPECT_EQ(variant_equal_variant(&row.a, &row.b), row.equal) << row.reason;
}

// Init sets only the type, clear releases and zeroes everything, copies own
// their units and self-copies keep the value.
TEST(VariantRecord, InitClearAndCopies) {
    variant_record v = typed<uint64_t>(VARIANT_TYPE_DOUBLE, 0x1234), zero{};
    v.reserved[0] = 9;
    variant_init(&v);
    EXPECT_TRUE(v.type == VARIANT_TYPE_EMPTY && v.value.u64 == 0x1234u && v.reserved[0] == 9);
    variant_set_string(&v, "text", 1);
    variant_clear(&v);
    EXPECT_EQ(std::memcmp(&v, &zero, sizeof v), 0);
    scoped_record source("hello"), destination("replaced"), self("self");  // replaced: released by the copy
    variant_set_variant(&destination.r, &source.r);
    EXPECT_NE(destination.r.value.unit, source.r.value.unit);
    variant_clear(&source.r);
    EXPECT_EQ(text_of(destination.r.value.unit), "hello");
    caller_unit bytes("xy");
    variant_set_bstrunit(&source.r, bytes.get());
    EXPECT_TRUE(source.r.value.unit != bytes.get() && text_of(source.r.value.unit) == "xy");
    variant_set_bstrunit(&destination.r, nullptr);
    EXPECT_TRUE(destination.r.type == VARIANT_TYPE_STRING && destination.r.value.unit == nullptr);
    variant_set_variant(&self.r, &self.r);
    variant_set_bstrunit(&self.r, self.r.value.unit);
    variant_set_string(&self.r, reinterpret_cast<const char*>(self.r.value.unit->bytes), 0);
    EXPECT_EQ(text_of(self.r.value.unit), "self");
}

// Setters without flag 1 convert into the record's type (each setter's own
// type with flag 1 is checked slot by slot from C).
TEST(Accessors, UnforcedSettersConvertIntoTheRecordsType) {
    scoped_record v;
    const auto set = [&v](variant_record before, auto setter, auto value, uint8_t flag = 0) {
        variant_clear(&v.r);
        v.r = before;
        setter(&v.r, value, flag);
        return v.r;
    };
    const struct { variant_record after, expected; const char* reason; } rows[] = {
        {set(typed(VARIANT_TYPE_DOUBLE, 0.0), variant_set_int, 7, 2), typed(VARIANT_TYPE_DOUBLE, 7.0), "flag 2 converts"},
        {set(typed(VARIANT_TYPE_DOUBLE, 0.0), variant_set_int, 7, 1), typed(VARIANT_TYPE_INT, 7), "flag 1 retypes"},
        {set(typed(VARIANT_TYPE_ULONGLONG, 0), variant_set_char, -1), typed(VARIANT_TYPE_ULONGLONG, ~0ull), "sign-extended"},
        {set(typed(VARIANT_TYPE_BOOL, 0), variant_set_longlong, 256), typed<uint8_t>(VARIANT_TYPE_BOOL, 1), "nonzero"},
        {set(typed(0, 0), variant_set_ushort, 65535), typed<uint16_t>(VARIANT_TYPE_USHORT, 65535), "empty takes it"},
        {set(typed(VARIANT_TYPE_INT, 1), variant_set_string, "12"), typed(VARIANT_TYPE_INT, 12), "text parsed"},
        {set(typed(VARIANT_TYPE_INT, 12), variant_set_string, nullptr), typed(VARIANT_TYPE_INT, 12), "null ignored"},
        {set(typed(VARIANT_TYPE_FLOAT, 0.0f), variant_set_bool, 2), typed(VARIANT_TYPE_FLOAT, 2.0f), "bool 2 is 2"},
    };
    for (const auto& row : rows) EXPECT_TRUE(variant_equal_variant(&row.after, &row.expected)) << row.reason;
    variant_set_string(&v.r, "old", 1);
    variant_set_int(&v.r, 7, 0);
    const bstrunit* unit = v.r.value.unit;
    EXPECT_TRUE(v.r.type == VARIANT_TYPE_STRING && text_of(unit) == "7" && unit->length == 2);
    variant_set_string(&v.r, nullptr, 1);
    EXPECT_EQ(v.r.value.unit, unit);
}

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "corvane/value.h"

namespace {

struct adjustment {
    variant_type type;
    uint64_t before;  // the member's bits
    int32_t bits;
    uint64_t after;
};

variant_record record_of(variant_type type, uint64_t bits) {
    variant_record r{};
    r.type = type;
    r.value.u64 = bits;
    return r;
}

}  // namespace

TEST(BitWidth, SignedFieldsAreSignExtendedAndUnsignedFieldsMasked) {
    constexpr uint64_t all = std::numeric_limits<uint64_t>::max();
    const adjustment cases[] = {
        {VARIANT_TYPE_CHAR, 8, 4, 0xF8},            // -8
        {VARIANT_TYPE_CHAR, 7, 4, 7},
        {VARIANT_TYPE_CHAR, 23, 4, 23},             // bit 3 clear: the bits above stay
        {VARIANT_TYPE_SHORT, 4095, 12, 0xFFFF},     // -1
        {VARIANT_TYPE_INT, 2048, 12, 0xFFFFF800},   // -2048
        {VARIANT_TYPE_LONG, 1, 1, 0xFFFFFFFF},      // -1
        {VARIANT_TYPE_LONGLONG, uint64_t{1} << 40, 41, all << 40},
        {VARIANT_TYPE_LONGLONG, uint64_t{1} << 62, 63, all << 62},
        {VARIANT_TYPE_UCHAR, 255, 4, 15},
        {VARIANT_TYPE_USHORT, 65535, 8, 255},
        {VARIANT_TYPE_UINT, 0xFFFFFFFF, 12, 4095},
        {VARIANT_TYPE_ULONG, 0xFFFFFFFF, 31, 0x7FFFFFFF},
        {VARIANT_TYPE_ULONGLONG, all, 64, all},
        {VARIANT_TYPE_ULONGLONG, all, 1, 1},
        {VARIANT_TYPE_ULONGLONG, all, 63, all >> 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " n " << c.bits);
        variant_record v = record_of(c.type, c.before);
        EXPECT_TRUE(variant_ajust_data_value(&v, c.bits));
        EXPECT_EQ(v.type, c.type);
        EXPECT_EQ(v.value.u64, c.after);
    }
}

TEST(BitWidth, OnlyTheTypesOwnBytesChange) {
    variant_record v = record_of(VARIANT_TYPE_SHORT, 0xAAAA'0000'0000'0F00u);
    ASSERT_TRUE(variant_ajust_data_value(&v, 12));
    EXPECT_EQ(v.value.u64, 0xAAAA'0000'0000'FF00u);
}

TEST(BitWidth, CountsOutsideTheTypesWidthChangeNothing) {
    for (variant_type type = VARIANT_TYPE_CHAR; type <= VARIANT_TYPE_ULONGLONG; ++type) {
        uint32_t width = 0;
        ASSERT_TRUE(variant_get_datatype_size(type, &width));
        for (int32_t bits : {0, -1, static_cast<int32_t>(width), static_cast<int32_t>(width) + 1, 64, 65,
                             std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()}) {
            variant_record v = record_of(type, 0x8F8F'8F8F'8F8F'8F8Fu);
            EXPECT_TRUE(variant_ajust_data_value(&v, bits));
            EXPECT_EQ(v.value.u64, 0x8F8F'8F8F'8F8F'8F8Fu) << type << " " << bits;
        }
    }
}

TEST(BitWidth, NonIntegerRecordsAreRefusedAndKept) {
    variant_record text{};
    variant_set_string(&text, "abc", 1);
    const variant_record records[] = {
        record_of(VARIANT_TYPE_EMPTY, 0xFF),
        record_of(VARIANT_TYPE_FLOAT, 0xFF),
        record_of(VARIANT_TYPE_DOUBLE, 0xFF),
        record_of(VARIANT_TYPE_BOOL, 0xFF),
        record_of(15, 0xFF),
        text,
    };
    for (const auto& record : records) {
        variant_record v = record;
        EXPECT_FALSE(variant_ajust_data_value(&v, 4)) << record.type;
        EXPECT_EQ(std::memcmp(&v, &record, sizeof v), 0);
    }
    variant_clear(&text);
}

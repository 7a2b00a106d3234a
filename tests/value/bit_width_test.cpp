#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "value_test_support.hpp"

using corvane::test::typed;

TEST(BitWidth, SignedFieldsAreSignExtendedAndUnsignedFieldsMaskedInTheirOwnBytes) {
    constexpr uint64_t all = std::numeric_limits<uint64_t>::max();
    const struct {
        variant_type type;
        uint64_t before;
        int32_t bits;
        uint64_t after;
    } cases[] = {
        {VARIANT_TYPE_CHAR, 8, 4, 0xF8},  // -8
        {VARIANT_TYPE_CHAR, 23, 4, 23},   // bit 3 clear: the bits above stay
        {VARIANT_TYPE_SHORT, 0xAAAA'0000'0000'0F00u, 12, 0xAAAA'0000'0000'FF00u},  // bytes 2 to 7 stay
        {VARIANT_TYPE_LONG, 1, 1, 0xFFFFFFFF},
        {VARIANT_TYPE_LONGLONG, 1ull << 62, 63, all << 62},
        {VARIANT_TYPE_UCHAR, 255, 4, 15},
        {VARIANT_TYPE_ULONG, 0xFFFFFFFF, 31, 0x7FFFFFFF},
        {VARIANT_TYPE_ULONGLONG, all, 63, all >> 1},
    };
    for (const auto& c : cases) {
        variant_record v = typed(c.type, c.before);
        EXPECT_TRUE(variant_ajust_data_value(&v, c.bits));
        EXPECT_EQ(v.value.u64, c.after) << "type " << c.type << " n " << c.bits;
    }
}

TEST(BitWidth, NonIntegerRecordsAreRefusedAndCountsOutsideTheWidthChangeNothing) {
    for (variant_type type = VARIANT_TYPE_CHAR; type <= VARIANT_TYPE_ULONGLONG; ++type) {
        uint32_t width = 0;
        ASSERT_TRUE(variant_get_datatype_size(type, &width));
        for (int32_t bits : {0, -1, static_cast<int32_t>(width), static_cast<int32_t>(width) + 1, 65,
                             std::numeric_limits<int32_t>::min()}) {
            variant_record v = typed(type, 0x8F8F'8F8F'8F8F'8F8Fu);
            EXPECT_TRUE(variant_ajust_data_value(&v, bits));
            EXPECT_EQ(v.value.u64, 0x8F8F'8F8F'8F8F'8F8Fu) << type << " " << bits;
        }
    }
    corvane::test::scoped_record text("abc");
    for (const variant_record& record : {typed(VARIANT_TYPE_EMPTY, 0xFF), typed(VARIANT_TYPE_FLOAT, 0xFF),
                                         typed(VARIANT_TYPE_DOUBLE, 0xFF), typed(VARIANT_TYPE_BOOL, 0xFF),
                                         typed(15, 0xFF), text.r}) {
        variant_record v = record;
        EXPECT_FALSE(variant_ajust_data_value(&v, 4)) << record.type;
        EXPECT_EQ(std::memcmp(&v, &record, sizeof v), 0);
    }
}

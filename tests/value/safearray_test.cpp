#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "corvane/value.h"
#include "value_test_units.hpp"

using corvane::test::caller_unit;
using corvane::test::release_library_unit;
using corvane::test::text_of;

namespace {

std::vector<int32_t> ints_of(const safearray_handle* array) {
    std::vector<int32_t> values(safearray_get_element_count(array));
    for (uint32_t i = 0; i < values.size(); ++i) {
        EXPECT_TRUE(safearray_get_element(array, i, &values[i]));
    }
    return values;
}

safearray_handle* int_array(std::initializer_list<int32_t> values) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, static_cast<uint32_t>(values.size()));
    uint32_t index = 0;
    for (int32_t value : values) {
        EXPECT_TRUE(safearray_set_element(array, index++, &value));
    }
    return array;
}

// Sets a string slot from caller memory; the array keeps its own duplicate.
void set_text(safearray_handle* array, uint32_t index, const char* text) {
    caller_unit unit(text, static_cast<uint32_t>(std::strlen(text) + 1));
    const bstrunit* pointer = unit.get();
    ASSERT_TRUE(safearray_set_element(array, index, &pointer));
}

// The text of a string slot, read through a duplicate that is released here.
std::string text_at(const safearray_handle* array, uint32_t index) {
    bstrunit* unit = nullptr;
    EXPECT_TRUE(safearray_get_element(array, index, &unit));
    std::string text = unit == nullptr ? "(null)" : text_of(unit);
    release_library_unit(unit);
    return text;
}

}  // namespace

TEST(SafeArray, NewElementsOfEveryTypeReadZeroInExactlyTheirWidth) {
    const size_t widths[] = {0, 1, 1, 2, 2, 4, 4, 4, 4, 8, 8, 4, 8, sizeof(void*), 1};
    for (variant_type type = VARIANT_TYPE_CHAR; type <= VARIANT_TYPE_BOOL; ++type) {
        safearray_handle* array = safearray_create(type, 3);
        EXPECT_EQ(safearray_get_element_count(array), 3u);
        EXPECT_EQ(safearray_get_element_type(array), type);
        unsigned char room[16];
        std::memset(room, 0xAB, sizeof room);
        ASSERT_TRUE(safearray_get_element(array, 2, room)) << "type " << type;
        for (size_t b = 0; b < sizeof room; ++b) {
            EXPECT_EQ(room[b], b < widths[type] ? 0 : 0xAB) << "type " << type << " byte " << b;
        }
        safearray_destroy(&array);
        EXPECT_EQ(array, nullptr);
    }
}

TEST(SafeArray, TypesWithoutStorageCountButRefuseElements) {
    for (variant_type type : {variant_type{VARIANT_TYPE_EMPTY}, variant_type{15}}) {
        safearray_handle* array = safearray_create(type, 4);
        EXPECT_EQ(safearray_get_element_count(array), 4u);
        int64_t element = 0;
        void* snapshot = &element;
        EXPECT_FALSE(safearray_get_element(array, 0, &element));
        EXPECT_FALSE(safearray_set_element(array, 0, &element));
        EXPECT_FALSE(safearray_access_element(array, &snapshot));
        EXPECT_EQ(snapshot, &element);
        EXPECT_TRUE(safearray_resize(array, 4));
        EXPECT_FALSE(safearray_resize(array, 2));
        EXPECT_EQ(safearray_get_element_count(array), 2u);
        safearray_destroy(&array);
    }
}

TEST(SafeArray, ResizeKeepsThePrefixAndZeroFillsTheRest) {
    safearray_handle* array = int_array({1, 2, 3});
    ASSERT_TRUE(safearray_resize(array, 5));
    EXPECT_EQ(ints_of(array), (std::vector<int32_t>{1, 2, 3, 0, 0}));
    ASSERT_TRUE(safearray_resize(array, 2));
    ASSERT_TRUE(safearray_resize(array, 2));
    EXPECT_EQ(ints_of(array), (std::vector<int32_t>{1, 2}));
    int32_t value = -1;
    EXPECT_FALSE(safearray_get_element(array, 2, &value));
    EXPECT_FALSE(safearray_set_element(array, 2, &value));
    EXPECT_FALSE(safearray_get_element(array, 0, nullptr));
    EXPECT_FALSE(safearray_set_element(array, 0, nullptr));
    EXPECT_EQ(value, -1);
    safearray_clear(array);
    EXPECT_EQ(safearray_get_element_count(array), 0u);
    EXPECT_EQ(safearray_get_element_type(array), VARIANT_TYPE_INT);
    safearray_destroy(&array);
}

TEST(SafeArray, NullHandleAnswersFalseOrZero) {
    int32_t value = 0;
    void* snapshot = nullptr;
    EXPECT_FALSE(safearray_get_element(nullptr, 0, &value));
    EXPECT_FALSE(safearray_set_element(nullptr, 0, &value));
    EXPECT_FALSE(safearray_resize(nullptr, 1));
    EXPECT_FALSE(safearray_access_element(nullptr, &snapshot));
    EXPECT_FALSE(safearray_unaccess_element(nullptr));
    EXPECT_EQ(safearray_get_element_count(nullptr), 0u);
    EXPECT_EQ(safearray_get_element_type(nullptr), VARIANT_TYPE_EMPTY);
    safearray_clear(nullptr);
}

TEST(SafeArray, ElementsMoveThroughUnalignedCallerMemory) {
    alignas(8) unsigned char room[sizeof(double) + 1] = {};
    safearray_handle* doubles = safearray_create(VARIANT_TYPE_DOUBLE, 1);
    const double stored = 2.75;
    std::memcpy(room + 1, &stored, sizeof stored);
    ASSERT_TRUE(safearray_set_element(doubles, 0, room + 1));
    ASSERT_TRUE(safearray_get_element(doubles, 0, room));
    EXPECT_EQ(std::memcmp(room, &stored, sizeof stored), 0);
    safearray_destroy(&doubles);

    safearray_handle* strings = safearray_create(VARIANT_TYPE_STRING, 1);
    caller_unit unit("odd", 4);
    const bstrunit* pointer = unit.get();
    std::memcpy(room + 1, &pointer, sizeof pointer);
    ASSERT_TRUE(safearray_set_element(strings, 0, room + 1));
    ASSERT_TRUE(safearray_get_element(strings, 0, room + 1));
    bstrunit* copy = nullptr;
    std::memcpy(&copy, room + 1, sizeof copy);
    EXPECT_STREQ(text_of(copy), "odd");
    release_library_unit(copy);
    safearray_destroy(&strings);
}

TEST(SafeArray, StringSlotsHoldTheArraysOwnDuplicates) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_STRING, 3);
    EXPECT_EQ(text_at(array, 0), "(null)");
    caller_unit mine("first", 6);
    const bstrunit* pointer = mine.get();
    ASSERT_TRUE(safearray_set_element(array, 0, &pointer));
    mine.get()->bytes[0] = 'F';
    EXPECT_EQ(text_at(array, 0), "first");
    set_text(array, 0, "second");  // the first duplicate is released here
    set_text(array, 1, "other");

    bstrunit* a = nullptr;
    bstrunit* b = nullptr;
    ASSERT_TRUE(safearray_get_element(array, 0, &a));
    ASSERT_TRUE(safearray_get_element(array, 0, &b));
    EXPECT_NE(a, b);
    EXPECT_STREQ(text_of(b), "second");
    release_library_unit(a);
    release_library_unit(b);

    const bstrunit* none = nullptr;
    ASSERT_TRUE(safearray_set_element(array, 0, &none));
    EXPECT_EQ(text_at(array, 0), "(null)");

    // Shrinking releases the cut-off units and keeps the others.
    set_text(array, 2, "cut off");
    ASSERT_TRUE(safearray_resize(array, 2));
    ASSERT_TRUE(safearray_resize(array, 4));
    EXPECT_EQ(text_at(array, 1), "other");
    EXPECT_EQ(text_at(array, 2), "(null)");
    safearray_clear(array);
    EXPECT_FALSE(safearray_set_element(array, 0, &pointer));
    safearray_destroy(&array);
}

TEST(SafeArray, SnapshotsAreIndependentCopiesEndedTogether) {
    safearray_handle* array = int_array({1, 2, 3});
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_TRUE(safearray_access_element(array, &first));
    ASSERT_TRUE(safearray_access_element(array, &second));
    EXPECT_NE(first, second);
    auto* view = static_cast<int32_t*>(first);
    EXPECT_EQ(view[2], 3);
    view[0] = 100;
    EXPECT_EQ(ints_of(array)[0], 1);
    const int32_t later = 50;
    ASSERT_TRUE(safearray_set_element(array, 1, &later));
    EXPECT_EQ(static_cast<int32_t*>(second)[1], 2);
    // One unaccess ends both (ASan reports any snapshot left behind).
    EXPECT_TRUE(safearray_unaccess_element(array));
    EXPECT_TRUE(safearray_unaccess_element(array));

    // Destruction ends the snapshots still outstanding.
    ASSERT_TRUE(safearray_access_element(array, &first));
    safearray_destroy(&array);

    safearray_handle* empty = safearray_create(VARIANT_TYPE_INT, 0);
    void* snapshot = &snapshot;
    EXPECT_TRUE(safearray_access_element(empty, &snapshot));
    EXPECT_EQ(snapshot, nullptr);
    EXPECT_FALSE(safearray_access_element(empty, nullptr));
    safearray_destroy(&empty);
}

TEST(SafeArray, StringSnapshotsHandTheCallerItsOwnUnits) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_STRING, 2);
    set_text(array, 0, "zero");
    void* snapshot = nullptr;
    ASSERT_TRUE(safearray_access_element(array, &snapshot));
    auto** units = static_cast<bstrunit**>(snapshot);
    EXPECT_EQ(units[1], nullptr);
    bstrunit* kept = units[0];
    set_text(array, 0, "changed");
    EXPECT_TRUE(safearray_unaccess_element(array));
    safearray_destroy(&array);
    EXPECT_STREQ(text_of(kept), "zero");  // outlives the snapshot and the array
    release_library_unit(kept);
}

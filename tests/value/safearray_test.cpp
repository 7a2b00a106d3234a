#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "value_test_support.hpp"

using corvane::test::caller_unit;
using corvane::test::release_library_unit;
using corvane::test::text_of;

namespace {

// Sets a string slot from caller memory; the array keeps its own duplicate.
void set_text(safearray_handle* array, uint32_t index, const char* text) {
    caller_unit unit(std::string_view(text, std::strlen(text) + 1));
    const bstrunit* pointer = unit.get();
    ASSERT_TRUE(safearray_set_element(array, index, &pointer));
}

// The text of a string slot, read through a duplicate released here.
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

TEST(SafeArray, ResizeKeepsThePrefixAndBadArgumentsAreRefused) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 1);
    int32_t element = 7;
    ASSERT_TRUE(safearray_set_element(array, 0, &element));
    ASSERT_TRUE(safearray_resize(array, 3));
    ASSERT_TRUE(safearray_get_element(array, 0, &element));
    EXPECT_EQ(element, 7);
    ASSERT_TRUE(safearray_get_element(array, 2, &element));
    EXPECT_EQ(element, 0);
    element = -1;
    EXPECT_FALSE(safearray_get_element(array, 3, &element));
    EXPECT_FALSE(safearray_set_element(array, 3, &element));
    EXPECT_FALSE(safearray_get_element(array, 0, nullptr));
    EXPECT_FALSE(safearray_set_element(array, 0, nullptr));
    EXPECT_FALSE(safearray_access_element(array, nullptr));
    EXPECT_EQ(element, -1);
    safearray_clear(array);
    EXPECT_EQ(safearray_get_element_count(array), 0u);
    EXPECT_EQ(safearray_get_element_type(array), VARIANT_TYPE_INT);
    safearray_destroy(&array);

    void* snapshot = &element;
    EXPECT_FALSE(safearray_get_element(nullptr, 0, &element));
    EXPECT_FALSE(safearray_set_element(nullptr, 0, &element));
    EXPECT_FALSE(safearray_resize(nullptr, 1));
    EXPECT_FALSE(safearray_access_element(nullptr, &snapshot));
    EXPECT_FALSE(safearray_unaccess_element(nullptr));
    EXPECT_EQ(safearray_get_element_count(nullptr), 0u);
    EXPECT_EQ(safearray_get_element_type(nullptr), VARIANT_TYPE_EMPTY);
    safearray_clear(nullptr);
    // Types without storage keep a count but refuse every element.
    for (variant_type type : {0, 15}) {
        array = safearray_create(type, 4);
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
    caller_unit unit(std::string_view("odd", 4));
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
    caller_unit mine(std::string_view("first", 6));
    const bstrunit* pointer = mine.get();
    ASSERT_TRUE(safearray_set_element(array, 0, &pointer));
    mine.get()->bytes[0] = 'F';
    EXPECT_EQ(text_at(array, 0), "first");
    set_text(array, 0, "second");  // the first duplicate is released here
    set_text(array, 1, "other");
    const bstrunit* none = nullptr;
    ASSERT_TRUE(safearray_set_element(array, 0, &none));
    EXPECT_EQ(text_at(array, 0), "(null)");

    // Shrinking releases the cut-off units and keeps the others.
    set_text(array, 2, "cut off");
    ASSERT_TRUE(safearray_resize(array, 2));
    ASSERT_TRUE(safearray_resize(array, 4));
    EXPECT_EQ(text_at(array, 1), "other");
    EXPECT_EQ(text_at(array, 2), "(null)");
    safearray_destroy(&array);
}

TEST(SafeArray, SnapshotsAreIndependentCopiesEndedTogether) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 3);
    const int32_t three = 3;
    ASSERT_TRUE(safearray_set_element(array, 2, &three));
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_TRUE(safearray_access_element(array, &first));
    ASSERT_TRUE(safearray_access_element(array, &second));
    EXPECT_NE(first, second);
    EXPECT_EQ(static_cast<int32_t*>(first)[2], 3);
    static_cast<int32_t*>(first)[0] = 100;
    ASSERT_TRUE(safearray_set_element(array, 1, &three));
    EXPECT_EQ(static_cast<int32_t*>(second)[0], 0);
    EXPECT_EQ(static_cast<int32_t*>(second)[1], 0);
    // One unaccess ends both (ASan reports any snapshot left behind), and
    // destruction ends those still outstanding.
    EXPECT_TRUE(safearray_unaccess_element(array));
    EXPECT_TRUE(safearray_unaccess_element(array));
    ASSERT_TRUE(safearray_access_element(array, &first));
    safearray_destroy(&array);

    array = safearray_create(VARIANT_TYPE_INT, 0);
    EXPECT_TRUE(safearray_access_element(array, &first));
    EXPECT_EQ(first, nullptr);
    safearray_destroy(&array);

    // String units inside a snapshot are the caller's own.
    array = safearray_create(VARIANT_TYPE_STRING, 2);
    set_text(array, 0, "zero");
    ASSERT_TRUE(safearray_access_element(array, &first));
    bstrunit* kept = static_cast<bstrunit**>(first)[0];
    EXPECT_EQ(static_cast<bstrunit**>(first)[1], nullptr);
    set_text(array, 0, "changed");
    safearray_destroy(&array);
    EXPECT_STREQ(text_of(kept), "zero");
    release_library_unit(kept);
}

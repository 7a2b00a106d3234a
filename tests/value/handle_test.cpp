#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "value_test_support.hpp"

using corvane::test::caller_unit;
using corvane::test::release_library_unit;
using corvane::test::text_of;

namespace {

// The unit a handle holds, found from its bytes.
const bstrunit* unit_of(const bstr_handle* handle) {
    const char* bytes = bstr_get_string(handle);
    return bytes == nullptr ? nullptr : reinterpret_cast<const bstrunit*>(bytes - offsetof(bstrunit, bytes));
}

// Sets a string slot from caller memory (null: no unit); the array keeps its own duplicate.
bool set_text(safearray_handle* array, uint32_t index, const char* text) {
    caller_unit unit(std::string_view(text ? text : "", text ? std::strlen(text) + 1 : 0));
    const bstrunit* pointer = text ? unit.get() : nullptr;
    return safearray_set_element(array, index, &pointer);
}

// The text of a string slot, read through a duplicate released here.
std::string text_at(const safearray_handle* array, uint32_t index) {
    bstrunit* unit = nullptr;
    EXPECT_TRUE(safearray_get_element(array, index, &unit));
    std::string text = text_of(unit);
    release_library_unit(unit);
    return text;
}

}  // namespace

TEST(BstrHandle, SetFunctionsCopyTheirSourceAndUnitsMoveOutAndIn) {
    bstr_handle *handle = bstr_create(), *copy = bstr_create();
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    ASSERT_TRUE(bstr_set_string(handle, "abc"));
    EXPECT_TRUE(unit_of(handle)->length == 4 && text_of(unit_of(handle)) == "abc");
    caller_unit empty(""), binary(std::string_view("a\0b\xff", 4));
    ASSERT_TRUE(bstr_set_bstrunit(handle, empty.get()));
    EXPECT_TRUE(unit_of(handle) != nullptr && unit_of(handle)->length == 0) << "length 0 is a unit, not none";
    ASSERT_TRUE(bstr_set_bstrunit(handle, binary.get()));
    binary.get()->bytes[0] = 'z';
    EXPECT_EQ(std::memcmp(bstr_get_string(handle), "a\0b\xff", 4), 0);
    ASSERT_TRUE(bstr_set_bstr(copy, handle));
    EXPECT_TRUE(unit_of(copy) != unit_of(handle) && bstr_equal_bstr(copy, handle));
    // A handle set from itself, or its own unit attached again, keeps it.
    bstrunit* unit = bstr_detach_bstrunit(handle);
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    bstr_attach_bstrunit(copy, unit);  // its former unit is released
    bstr_attach_bstrunit(copy, unit);
    EXPECT_TRUE(bstr_set_bstr(copy, copy) && bstr_set_bstrunit(copy, unit_of(copy)));
    EXPECT_TRUE(bstr_set_string(copy, bstr_get_string(copy)) && text_of(unit_of(copy)) == "a");
    ASSERT_TRUE(bstr_set_bstr(copy, handle));
    EXPECT_EQ(bstr_get_string(copy), nullptr);
    bstr_destroy(&handle);
    EXPECT_EQ(handle, nullptr);
    bstr_destroy(&handle);
    bstr_destroy(&copy);
}

// Null handles answer nothing; equality goes by null, empty, length and bytes.
TEST(BstrHandle, NullHandlesAndEquality) {
    bstr_handle *a = bstr_create(), *b = bstr_create();
    caller_unit abc(std::string_view("abc", 4)), unterminated("abc");
    EXPECT_TRUE(bstr_set_string(nullptr, nullptr) && bstr_set_bstrunit(nullptr, nullptr) && bstr_set_bstr(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_string(nullptr, "x") || bstr_set_bstrunit(nullptr, abc.get()) || bstr_set_bstr(nullptr, a));
    EXPECT_TRUE(bstr_get_string(nullptr) == nullptr && bstr_detach_bstrunit(nullptr) == nullptr);
    bstr_clear(nullptr);
    bstr_attach_bstrunit(nullptr, abc.get());  // takes nothing
    EXPECT_TRUE(bstr_equal_bstr(nullptr, nullptr) && bstr_equal_bstr(a, b) && bstr_equal_bstrunit(nullptr, nullptr));
    EXPECT_FALSE(bstr_equal_bstr(nullptr, a) || bstr_equal_bstrunit(nullptr, abc.get()) || bstr_equal_bstrunit(a, abc.get()));
    ASSERT_TRUE(bstr_set_string(a, "abc") && bstr_equal_bstrunit(a, abc.get()) && bstr_set_string(b, "abd"));
    EXPECT_FALSE(bstr_equal_bstr(b, a) || bstr_equal_bstrunit(a, nullptr) || bstr_equal_bstrunit(a, unterminated.get()));
    bstr_clear(a);
    EXPECT_FALSE(bstr_get_string(a) != nullptr || bstr_equal_bstr(a, b));
    for (auto* handle : {a, b}) bstr_destroy(&handle);
}

TEST(SafeArray, NewElementsOfEveryTypeReadZeroInExactlyTheirWidth) {
    const size_t widths[] = {0, 1, 1, 2, 2, 4, 4, 4, 4, 8, 8, 4, 8, sizeof(void*), 1};
    for (variant_type type = VARIANT_TYPE_CHAR; type <= VARIANT_TYPE_BOOL; ++type) {
        safearray_handle* array = safearray_create(type, 3);
        EXPECT_TRUE(safearray_get_element_count(array) == 3 && safearray_get_element_type(array) == type);
        unsigned char room[16];
        std::memset(room, 0xAB, sizeof room);
        ASSERT_TRUE(safearray_get_element(array, 2, room)) << "type " << type;
        for (size_t b = 0; b < sizeof room; ++b) EXPECT_EQ(room[b], b < widths[type] ? 0 : 0xAB) << type << " byte " << b;
        safearray_destroy(&array);
        EXPECT_EQ(array, nullptr);
    }
}

TEST(SafeArray, ResizeKeepsThePrefixAndBadArgumentsAreRefused) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 1);
    int32_t element = 7;
    void* snapshot = &element;
    ASSERT_TRUE(safearray_set_element(array, 0, &element) && safearray_resize(array, 3));
    ASSERT_TRUE(safearray_get_element(array, 0, &element) && element == 7);
    ASSERT_TRUE(safearray_get_element(array, 2, &element) && element == 0);
    element = -1;
    EXPECT_FALSE(safearray_get_element(array, 3, &element) || safearray_set_element(array, 3, &element));
    EXPECT_FALSE(safearray_get_element(array, 0, nullptr) || safearray_set_element(array, 0, nullptr));
    EXPECT_FALSE(safearray_access_element(array, nullptr) || element != -1);
    safearray_clear(array);
    EXPECT_TRUE(safearray_get_element_count(array) == 0 && safearray_get_element_type(array) == VARIANT_TYPE_INT);
    safearray_destroy(&array);
    EXPECT_FALSE(safearray_get_element(nullptr, 0, &element) || safearray_set_element(nullptr, 0, &element));
    EXPECT_FALSE(safearray_resize(nullptr, 1) || safearray_access_element(nullptr, &snapshot));
    EXPECT_FALSE(safearray_unaccess_element(nullptr) || safearray_get_element_count(nullptr) != 0);
    EXPECT_EQ(safearray_get_element_type(nullptr), VARIANT_TYPE_EMPTY);
    safearray_clear(nullptr);
    // Types without storage keep a count but refuse every element.
    for (variant_type type : {0, 15}) {
        array = safearray_create(type, 4);
        EXPECT_FALSE(safearray_get_element(array, 0, &element) || safearray_set_element(array, 0, &element));
        EXPECT_FALSE(safearray_access_element(array, &snapshot) || snapshot != &element || !safearray_resize(array, 4));
        EXPECT_FALSE(safearray_resize(array, 2) || safearray_get_element_count(array) != 2);
        safearray_destroy(&array);
    }
}

TEST(SafeArray, ElementsMoveThroughUnalignedCallerMemory) {
    alignas(8) unsigned char room[sizeof(double) + 1] = {};
    safearray_handle *doubles = safearray_create(VARIANT_TYPE_DOUBLE, 1), *strings = safearray_create(13, 1);
    const double stored = 2.75;
    std::memcpy(room + 1, &stored, sizeof stored);
    ASSERT_TRUE(safearray_set_element(doubles, 0, room + 1) && safearray_get_element(doubles, 0, room));
    EXPECT_EQ(std::memcmp(room, &stored, sizeof stored), 0);
    caller_unit unit(std::string_view("odd", 4));
    bstrunit* pointer = unit.get();
    std::memcpy(room + 1, &pointer, sizeof pointer);
    ASSERT_TRUE(safearray_set_element(strings, 0, room + 1) && safearray_get_element(strings, 0, room + 1));
    std::memcpy(&pointer, room + 1, sizeof pointer);
    EXPECT_EQ(text_of(pointer), "odd");
    release_library_unit(pointer);
    safearray_destroy(&doubles);
    safearray_destroy(&strings);
}

// String slots hold the array's own duplicates: a later set releases the
// former, shrinking releases the cut-off units and keeps the others.
TEST(SafeArray, StringSlotsHoldTheArraysOwnDuplicates) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_STRING, 3);
    EXPECT_EQ(text_at(array, 0), "<null>");
    caller_unit mine(std::string_view("first", 6));
    const bstrunit* pointer = mine.get();
    ASSERT_TRUE(safearray_set_element(array, 0, &pointer));
    mine.get()->bytes[0] = 'F';
    EXPECT_EQ(text_at(array, 0), "first");
    ASSERT_TRUE(set_text(array, 0, "second") && set_text(array, 1, "other") && set_text(array, 2, "cut off"));
    ASSERT_TRUE(set_text(array, 0, nullptr) && safearray_resize(array, 2) && safearray_resize(array, 4));
    EXPECT_TRUE(text_at(array, 0) == "<null>" && text_at(array, 1) == "other" && text_at(array, 2) == "<null>");
    safearray_destroy(&array);
}

TEST(SafeArray, SnapshotsAreIndependentCopiesEndedTogether) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 3);
    const int32_t three = 3;
    void *first = nullptr, *second = nullptr;
    ASSERT_TRUE(safearray_set_element(array, 2, &three) && safearray_access_element(array, &first));
    ASSERT_TRUE(safearray_access_element(array, &second));
    EXPECT_TRUE(first != second && static_cast<int32_t*>(first)[2] == 3);
    static_cast<int32_t*>(first)[0] = 100;
    ASSERT_TRUE(safearray_set_element(array, 1, &three));
    EXPECT_TRUE(static_cast<int32_t*>(second)[0] == 0 && static_cast<int32_t*>(second)[1] == 0);
    // One unaccess ends both (ASan reports any snapshot left behind), and
    // destruction ends those still outstanding.
    EXPECT_TRUE(safearray_unaccess_element(array) && safearray_unaccess_element(array));
    ASSERT_TRUE(safearray_access_element(array, &first));
    safearray_destroy(&array);
    array = safearray_create(VARIANT_TYPE_INT, 0);
    EXPECT_TRUE(safearray_access_element(array, &first) && first == nullptr);
    safearray_destroy(&array);
    // String units inside a snapshot are the caller's own.
    array = safearray_create(VARIANT_TYPE_STRING, 2);
    ASSERT_TRUE(set_text(array, 0, "zero") && safearray_access_element(array, &first));
    bstrunit* kept = static_cast<bstrunit**>(first)[0];
    EXPECT_TRUE(static_cast<bstrunit**>(first)[1] == nullptr && set_text(array, 0, "changed"));
    safearray_destroy(&array);
    EXPECT_EQ(text_of(kept), "zero");
    release_library_unit(kept);
}

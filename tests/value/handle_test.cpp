#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "value_test_support.hpp"

using namespace corvane::test;

namespace {

// The unit a handle holds, found from its bytes.
const bstrunit* unit_of(const bstr_handle* handle) {
    const char* bytes = bstr_get_string(handle);
    return bytes == nullptr ? nullptr : reinterpret_cast<const bstrunit*>(bytes - offsetof(bstrunit, bytes));
}

}  // namespace

// Set functions copy their source and units move out and in; equality goes
// by length and bytes, the NUL included; a handle set from itself keeps its
// unit; null handles answer nothing.
TEST(BstrHandle, SetFunctionsCopyUnitsMoveAndEqualityGoesByBytes) {
    bstr_handle *handle = bstr_create(), *copy = bstr_create();
    caller_unit empty(""), binary(std::string_view("a\0b\xff", 4)), abc(std::string_view("abc", 4)), unterminated("abc");
    ASSERT_TRUE(bstr_get_string(handle) == nullptr && bstr_set_string(handle, "abc") && unit_of(handle)->length == 4);
    EXPECT_TRUE(bstr_equal_bstrunit(handle, abc.get()) && !bstr_equal_bstrunit(handle, unterminated.get()));
    ASSERT_TRUE(bstr_set_bstrunit(copy, empty.get()) && unit_of(copy) != nullptr) << "length 0 is a unit, not none";
    EXPECT_FALSE(bstr_equal_bstr(copy, handle) || unit_of(copy)->length != 0);
    bstr_clear(copy);
    ASSERT_TRUE(bstr_get_string(copy) == nullptr && bstr_set_bstrunit(handle, binary.get()));
    binary.get()->bytes[0] = 'z';
    ASSERT_TRUE(std::memcmp(bstr_get_string(handle), "a\0b\xff", 4) == 0 && bstr_set_bstr(copy, handle));
    EXPECT_TRUE(unit_of(copy) != unit_of(handle) && bstr_equal_bstr(copy, handle));
    bstrunit* unit = bstr_detach_bstrunit(handle);
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    bstr_attach_bstrunit(copy, unit);  // its former unit is released
    bstr_attach_bstrunit(copy, unit);  // and its own one kept
    EXPECT_TRUE(bstr_set_bstr(copy, copy) && bstr_set_bstrunit(copy, unit_of(copy)));
    EXPECT_TRUE(bstr_set_string(copy, bstr_get_string(copy)) && text_of(unit_of(copy)) == "a");
    EXPECT_TRUE(bstr_set_bstr(copy, handle) && bstr_get_string(copy) == nullptr);
    bstr_clear(nullptr);
    bstr_attach_bstrunit(nullptr, abc.get());  // takes nothing
    EXPECT_TRUE(bstr_set_string(nullptr, nullptr) && bstr_equal_bstr(nullptr, nullptr) && !bstr_set_string(nullptr, "x"));
    EXPECT_FALSE(bstr_set_bstr(nullptr, copy) || bstr_equal_bstrunit(nullptr, abc.get()) || bstr_get_string(nullptr));
    for (bstr_handle** variable : {&handle, &handle, &copy}) bstr_destroy(variable);  // the second finds null
}

// Resizing keeps the prefix; snapshots are independent copies, all ended by
// one unaccess (ASan reports any left behind); bad arguments are refused.
TEST(SafeArray, ResizeKeepsThePrefixSnapshotsAreCopiesAndBadArgumentsAreRefused) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_INT, 1);
    int32_t element = 7;
    void *snapshot = &element, *none = &element, *first = nullptr, *second = nullptr;
    ASSERT_TRUE(safearray_set_element(array, 0, &element) && safearray_resize(array, 3));
    ASSERT_TRUE(safearray_get_element(array, 0, &element) && element == 7);
    ASSERT_TRUE(safearray_get_element(array, 2, &element) && element == 0);
    ASSERT_TRUE(safearray_access_element(array, &first) && safearray_access_element(array, &second) && first != second);
    static_cast<int32_t*>(first)[1] = 100;  // the caller's copy
    ASSERT_TRUE(safearray_get_element(array, 1, &element) && element == 0 && static_cast<int32_t*>(second)[0] == 7);
    EXPECT_TRUE(safearray_unaccess_element(array) && safearray_unaccess_element(array));
    element = -1;
    EXPECT_FALSE(safearray_get_element(array, 3, &element) || safearray_set_element(array, 3, &element));
    EXPECT_FALSE(safearray_get_element(array, 0, nullptr) || safearray_set_element(array, 0, nullptr));
    EXPECT_FALSE(safearray_access_element(array, nullptr) || element != -1);
    safearray_clear(array);
    EXPECT_TRUE(safearray_get_element_count(array) == 0 && safearray_get_element_type(array) == VARIANT_TYPE_INT);
    EXPECT_TRUE(safearray_access_element(array, &none) && none == nullptr) << "no elements, no snapshot";
    safearray_destroy(&array);
    EXPECT_FALSE(safearray_get_element(nullptr, 0, &element) || safearray_set_element(nullptr, 0, &element));
    EXPECT_FALSE(safearray_resize(nullptr, 1) || safearray_access_element(nullptr, &snapshot));
    EXPECT_FALSE(safearray_unaccess_element(nullptr) || safearray_get_element_count(nullptr) != 0);
    EXPECT_EQ(safearray_get_element_type(nullptr), VARIANT_TYPE_EMPTY);
    safearray_clear(nullptr);
    // Every type code: a new element reads zero in exactly its width; codes
    // without storage keep a count but refuse every element.
    const size_t widths[] = {0, 1, 1, 2, 2, 4, 4, 4, 4, 8, 8, 4, 8, sizeof(void*), 1, 0};
    for (variant_type type = 0; type <= 15; ++type) {
        array = safearray_create(type, 4);
        unsigned char room[16];
        std::memset(room, 0xAB, sizeof room);
        const bool stored = widths[type] != 0;
        void* taken = &element;
        EXPECT_EQ(safearray_get_element(array, 3, room) && safearray_access_element(array, &taken), stored) << type;
        for (size_t b = 0; b < sizeof room; ++b) EXPECT_EQ(room[b], b < widths[type] ? 0 : 0xAB) << type << " byte " << b;
        EXPECT_TRUE(stored ? safearray_unaccess_element(array)
                           : !safearray_set_element(array, 0, &element) && taken == &element) << type;
        EXPECT_TRUE(safearray_resize(array, 4) && safearray_resize(array, 2) == stored) << type;
        EXPECT_TRUE(safearray_get_element_count(array) == 2 && safearray_get_element_type(array) == type) << type;
        safearray_destroy(&array);
    }
}

// String slots hold the array's own duplicates and hand out new ones; a set
// releases the former unit and shrinking the cut-off ones (ASan reports a
// leak).
TEST(SafeArray, StringSlotsHoldTheArraysOwnDuplicates) {
    safearray_handle* array = safearray_create(VARIANT_TYPE_STRING, 2);
    caller_unit mine(std::string_view("first", 6));
    const bstrunit* pointer = mine.get();
    bstrunit* read = nullptr;
    ASSERT_TRUE(safearray_set_element(array, 1, &pointer) && safearray_set_element(array, 1, &pointer));
    mine.get()->bytes[0] = 'F';
    ASSERT_TRUE(safearray_get_element(array, 1, &read) && read != pointer && safearray_resize(array, 1));
    variant_record released = typed(VARIANT_TYPE_STRING, read);  // the library's unit, given back
    EXPECT_EQ(text_of(read), "first");
    variant_clear(&released);
    safearray_destroy(&array);
}

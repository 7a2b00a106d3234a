#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "corvane/value.h"
#include "value_test_units.hpp"

using corvane::test::caller_unit;
using corvane::test::library_unit;
using corvane::test::release_library_unit;
using corvane::test::text_of;

namespace {

// The unit a handle holds, found from its bytes.
const bstrunit* unit_of(const bstr_handle* handle) {
    const char* bytes = bstr_get_string(handle);
    return bytes == nullptr ? nullptr : reinterpret_cast<const bstrunit*>(bytes - offsetof(bstrunit, bytes));
}

}  // namespace

TEST(BstrHandle, SetStringStoresTheTextWithItsNulAndDestroyNullsTheVariable) {
    bstr_handle* handle = bstr_create();
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    ASSERT_TRUE(bstr_set_string(handle, "abc"));
    ASSERT_EQ(unit_of(handle)->length, 4u);
    EXPECT_EQ(std::memcmp(bstr_get_string(handle), "abc", 4), 0);
    ASSERT_TRUE(bstr_set_string(handle, ""));
    ASSERT_EQ(unit_of(handle)->length, 1u);
    EXPECT_EQ(bstr_get_string(handle)[0], '\0');
    ASSERT_TRUE(bstr_set_string(handle, nullptr));
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    ASSERT_TRUE(bstr_set_string(handle, "released by destroy"));
    bstr_destroy(&handle);
    EXPECT_EQ(handle, nullptr);
    bstr_destroy(&handle);
}

TEST(BstrHandle, NullHandleSucceedsOnlyForANullSourceAndTakesNothing) {
    caller_unit unit("xyz", 3);
    bstr_handle* source = bstr_create();
    EXPECT_TRUE(bstr_set_string(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_string(nullptr, "text"));
    EXPECT_TRUE(bstr_set_bstrunit(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_bstrunit(nullptr, unit.get()));
    EXPECT_TRUE(bstr_set_bstr(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_bstr(nullptr, source));
    EXPECT_EQ(bstr_get_string(nullptr), nullptr);
    EXPECT_EQ(bstr_detach_bstrunit(nullptr), nullptr);
    bstr_clear(nullptr);
    bstrunit* mine = library_unit("kept");
    bstr_attach_bstrunit(nullptr, mine);
    EXPECT_STREQ(text_of(mine), "kept");
    release_library_unit(mine);
    bstr_destroy(&source);
}

TEST(BstrHandle, SetFunctionsCopyTheirSourceExactly) {
    bstr_handle* handle = bstr_create();
    caller_unit empty("", 0);
    ASSERT_TRUE(bstr_set_bstrunit(handle, empty.get()));
    ASSERT_NE(unit_of(handle), nullptr);  // length 0 is a unit, not none
    EXPECT_EQ(unit_of(handle)->length, 0u);

    caller_unit binary("a\0b\xff", 4);
    ASSERT_TRUE(bstr_set_bstrunit(handle, binary.get()));
    EXPECT_TRUE(bstr_equal_bstrunit(handle, binary.get()));
    binary.get()->bytes[0] = 'z';
    EXPECT_EQ(bstr_get_string(handle)[0], 'a');

    bstr_handle* copy = bstr_create();
    ASSERT_TRUE(bstr_set_bstr(copy, handle));
    EXPECT_NE(unit_of(copy), unit_of(handle));
    EXPECT_TRUE(bstr_equal_bstr(copy, handle));
    bstr_handle* empty_source = bstr_create();
    ASSERT_TRUE(bstr_set_bstr(copy, empty_source));
    EXPECT_EQ(bstr_get_string(copy), nullptr);
    bstr_destroy(&empty_source);
    bstr_destroy(&copy);
    bstr_destroy(&handle);
}

TEST(BstrHandle, EqualityFollowsNullEmptyLengthAndBytes) {
    bstr_handle* a = bstr_create();
    bstr_handle* b = bstr_create();
    caller_unit abc("abc", 4);
    EXPECT_TRUE(bstr_equal_bstr(nullptr, nullptr));
    EXPECT_FALSE(bstr_equal_bstr(nullptr, a));
    EXPECT_TRUE(bstr_equal_bstr(a, b));
    EXPECT_TRUE(bstr_equal_bstrunit(nullptr, nullptr));
    EXPECT_FALSE(bstr_equal_bstrunit(nullptr, abc.get()));
    EXPECT_FALSE(bstr_equal_bstrunit(a, abc.get()));

    ASSERT_TRUE(bstr_set_string(a, "abc"));
    EXPECT_FALSE(bstr_equal_bstr(b, a));
    EXPECT_FALSE(bstr_equal_bstrunit(a, nullptr));
    EXPECT_TRUE(bstr_equal_bstrunit(a, abc.get()));
    EXPECT_FALSE(bstr_equal_bstrunit(a, caller_unit("abc", 3).get()));
    ASSERT_TRUE(bstr_set_bstrunit(b, caller_unit("abd", 4).get()));
    EXPECT_FALSE(bstr_equal_bstr(a, b));
    bstr_destroy(&a);
    bstr_destroy(&b);
}

TEST(BstrHandle, DetachedUnitsOutliveTheHandleAndComeBackByAttach) {
    bstr_handle* handle = bstr_create();
    ASSERT_TRUE(bstr_set_string(handle, "moved"));
    bstrunit* unit = bstr_detach_bstrunit(handle);
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    bstr_destroy(&handle);
    EXPECT_STREQ(text_of(unit), "moved");

    bstr_handle* owner = bstr_create();
    ASSERT_TRUE(bstr_set_string(owner, "released on attach"));
    bstr_attach_bstrunit(owner, unit);
    bstr_attach_bstrunit(owner, unit);  // the same unit again stays alive
    EXPECT_EQ(unit_of(owner), unit);
    EXPECT_STREQ(bstr_get_string(owner), "moved");
    bstr_attach_bstrunit(owner, nullptr);
    EXPECT_EQ(bstr_get_string(owner), nullptr);
    bstr_destroy(&owner);
}

TEST(BstrHandle, SettingAHandleFromItsOwnContentKeepsIt) {
    bstr_handle* handle = bstr_create();
    ASSERT_TRUE(bstr_set_string(handle, "self"));
    EXPECT_TRUE(bstr_set_bstr(handle, handle));
    EXPECT_STREQ(bstr_get_string(handle), "self");
    EXPECT_TRUE(bstr_set_string(handle, bstr_get_string(handle)));
    EXPECT_STREQ(bstr_get_string(handle), "self");
    EXPECT_TRUE(bstr_set_bstrunit(handle, unit_of(handle)));
    EXPECT_STREQ(bstr_get_string(handle), "self");
    bstr_destroy(&handle);
}

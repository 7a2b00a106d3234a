#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

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

}  // namespace

TEST(BstrHandle, SetFunctionsCopyTheirSourceExactly) {
    bstr_handle* handle = bstr_create();
    EXPECT_EQ(bstr_get_string(handle), nullptr);
    ASSERT_TRUE(bstr_set_string(handle, "abc"));
    ASSERT_EQ(unit_of(handle)->length, 4u);
    EXPECT_STREQ(bstr_get_string(handle), "abc");
    caller_unit empty("");
    ASSERT_TRUE(bstr_set_bstrunit(handle, empty.get()));
    ASSERT_NE(unit_of(handle), nullptr);  // length 0 is a unit, not none
    EXPECT_EQ(unit_of(handle)->length, 0u);
    caller_unit binary(std::string_view("a\0b\xff", 4));
    ASSERT_TRUE(bstr_set_bstrunit(handle, binary.get()));
    binary.get()->bytes[0] = 'z';
    EXPECT_EQ(std::memcmp(bstr_get_string(handle), "a\0b\xff", 4), 0);

    bstr_handle* copy = bstr_create();
    ASSERT_TRUE(bstr_set_bstr(copy, handle));
    EXPECT_NE(unit_of(copy), unit_of(handle));
    EXPECT_TRUE(bstr_equal_bstr(copy, handle));
    ASSERT_TRUE(bstr_set_string(handle, nullptr));
    ASSERT_TRUE(bstr_set_bstr(copy, handle));
    EXPECT_EQ(bstr_get_string(copy), nullptr);
    ASSERT_TRUE(bstr_set_string(copy, "released by destroy"));
    bstr_destroy(&copy);
    bstr_destroy(&handle);
    EXPECT_EQ(handle, nullptr);
    bstr_destroy(&handle);
}

TEST(BstrHandle, NullHandleSucceedsOnlyForANullSourceAndTakesNothing) {
    bstr_handle* source = bstr_create();
    EXPECT_TRUE(bstr_set_string(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_string(nullptr, "text"));
    EXPECT_TRUE(bstr_set_bstrunit(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_bstrunit(nullptr, caller_unit("xyz").get()));
    EXPECT_TRUE(bstr_set_bstr(nullptr, nullptr));
    EXPECT_FALSE(bstr_set_bstr(nullptr, source));
    EXPECT_EQ(bstr_get_string(nullptr), nullptr);
    EXPECT_EQ(bstr_detach_bstrunit(nullptr), nullptr);
    bstr_clear(nullptr);
    bstr_set_string(source, "kept");
    bstrunit* mine = bstr_detach_bstrunit(source);
    bstr_attach_bstrunit(nullptr, mine);
    EXPECT_STREQ(text_of(mine), "kept");
    release_library_unit(mine);
    bstr_destroy(&source);
}

TEST(BstrHandle, EqualityFollowsNullEmptyLengthAndBytes) {
    bstr_handle* a = bstr_create();
    bstr_handle* b = bstr_create();
    caller_unit abc(std::string_view("abc", 4));
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
    EXPECT_FALSE(bstr_equal_bstrunit(a, caller_unit("abc").get()));
    ASSERT_TRUE(bstr_set_string(b, "abd"));
    EXPECT_FALSE(bstr_equal_bstr(a, b));
    bstr_destroy(&a);
    bstr_destroy(&b);
}

TEST(BstrHandle, UnitsMoveOutAndInAndAHandleSetFromItselfKeepsItsUnit) {
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
    EXPECT_TRUE(bstr_set_bstr(owner, owner));
    EXPECT_TRUE(bstr_set_string(owner, bstr_get_string(owner)));
    EXPECT_TRUE(bstr_set_bstrunit(owner, unit_of(owner)));
    EXPECT_STREQ(bstr_get_string(owner), "moved");
    bstr_attach_bstrunit(owner, nullptr);
    EXPECT_EQ(bstr_get_string(owner), nullptr);
    bstr_destroy(&owner);
}

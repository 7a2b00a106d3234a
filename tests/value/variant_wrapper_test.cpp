#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "corvane/value.h"
#include "value_test_units.hpp"

using corvane::test::caller_unit;
using corvane::test::text_of;

namespace {

// The object's current count, read without changing it.
uint32_t count_of(IBase* object) {
    object->AddRef();
    return object->Release();
}

// A record that clears itself, so that string values are never leaked.
struct record {
    record() { std::memset(&v, 0, sizeof v); }
    ~record() { variant_clear(&v); }
    record(const record&) = delete;
    record& operator=(const record&) = delete;
    variant_record v;
};

// A wrapper that hands out both interfaces, holding a copy of `value`.
variant_wrapper_handle* writable_wrapper(variant_record* value) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_wrapper_set_mode(wrapper, 1, 1);
    variant_wrapper_set_wrapper_value(wrapper, value, 1);
    return wrapper;
}

// Reads GetString's text by the size-query protocol.
std::string string_text(IVariantRead* reader) {
    uint32_t size = 0;
    EXPECT_TRUE(reader->GetString(nullptr, &size));
    std::string text(size, '?');
    EXPECT_TRUE(reader->GetString(text.data(), &size));
    EXPECT_EQ(text.back(), '\0');
    text.resize(size - 1);
    return text;
}

}  // namespace

TEST(VariantWrapper, ModeBytesDecideWhichInterfacesAreHandedOut) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(variant_wrapper_get_variantwrite(wrapper), nullptr);
    variant_wrapper_set_mode(wrapper, 1, 1);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    ASSERT_NE(writer, nullptr);
    variant_wrapper_set_mode(wrapper, 2, 255);  // only exactly 1 opens
    EXPECT_EQ(variant_wrapper_get_variantread(wrapper), nullptr);
    EXPECT_EQ(variant_wrapper_get_variantwrite(wrapper), nullptr);
    reader->Release();
    writer->Release();
    variant_wrapper_destroy(&wrapper);
    EXPECT_EQ(wrapper, nullptr);
}

TEST(VariantWrapper, NullWrapperAnswersWithNothing) {
    uint32_t size = 8;
    record value;
    EXPECT_EQ(variant_wrapper_clone(nullptr), nullptr);
    EXPECT_FALSE(variant_wrapper_get_type(nullptr, nullptr, &size));
    EXPECT_FALSE(variant_wrapper_set_type(nullptr, "int"));
    EXPECT_EQ(variant_wrapper_get_variantread(nullptr), nullptr);
    EXPECT_EQ(variant_wrapper_get_variantwrite(nullptr), nullptr);
    EXPECT_EQ(variant_wrapper_get_wrapper_value(nullptr), nullptr);
    variant_wrapper_set_wrapper_value(nullptr, &value.v, 1);
    variant_wrapper_set_mode(nullptr, 1, 1);
    EXPECT_EQ(size, 8u);
}

TEST(VariantWrapper, HandOutAndQueryAddOneReferenceToTheSameObject) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_wrapper_set_mode(wrapper, 1, 1);
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    EXPECT_EQ(variant_wrapper_get_variantread(wrapper), reader);
    EXPECT_EQ(count_of(reader), 3u);
    EXPECT_EQ(reader->Release(), 2u);

    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    void* out = nullptr;
    ASSERT_TRUE(writer->Query("IBase", &out));
    EXPECT_EQ(out, writer);
    ASSERT_TRUE(writer->Query("IVariantWrite", &out));
    ASSERT_TRUE(reader->Query("IVariantRead", &out));
    EXPECT_EQ(out, reader);
    EXPECT_EQ(count_of(writer), 4u);
    EXPECT_EQ(count_of(reader), 3u);

    void* const untouched = &out;
    for (const char* name : {"IVariantRead", "ibase", "IBase ", static_cast<const char*>(nullptr)}) {
        out = untouched;
        EXPECT_FALSE(writer->Query(name, &out)) << (name ? name : "(null)");
        EXPECT_EQ(out, untouched);
    }
    EXPECT_FALSE(reader->Query("IVariantWrite", &out));
    EXPECT_FALSE(reader->Query("IBase", nullptr));
    EXPECT_EQ(count_of(writer), 4u);
    for (int i = 0; i < 3; ++i) {
        writer->Release();
    }
    reader->Release();
    EXPECT_EQ(reader->Release(), 1u);
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, CountsStayExactAcrossThreadsAndTheLastReleaseEndsTheObject) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([wrapper, reader] {
            for (int i = 0; i < 20000; ++i) {
                void* out = nullptr;
                reader->Query("IBase", &out);
                variant_wrapper_get_variantread(wrapper)->Release();
                static_cast<IVariantRead*>(out)->Release();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(count_of(reader), 2u);
    // The interface outlives the wrapper until its own last reference goes,
    // given back on another thread (ASan reports it if it never ends).
    variant_wrapper_destroy(&wrapper);
    std::thread([reader] { EXPECT_EQ(reader->Release(), 0u); }).join();
}

TEST(VariantWrapper, GetTypeFollowsTheSizeQueryProtocol) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    uint32_t size = 99;
    EXPECT_FALSE(variant_wrapper_get_type(wrapper, nullptr, &size));
    EXPECT_EQ(size, 99u);

    record value;
    variant_set_int(&value.v, 5, 1);
    variant_wrapper_set_wrapper_value(wrapper, &value.v, 1);
    ASSERT_TRUE(variant_wrapper_get_type(wrapper, nullptr, &size));
    EXPECT_EQ(size, 4u);
    char buffer[8] = "xxxxxxx";
    size = 3;
    EXPECT_FALSE(variant_wrapper_get_type(wrapper, buffer, &size));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(buffer[0], 'x');
    size = 4;
    ASSERT_TRUE(variant_wrapper_get_type(wrapper, buffer, &size));
    EXPECT_STREQ(buffer, "int");
    EXPECT_EQ(buffer[4], 'x');

    // An empty record and an invalid code name no type: the empty text.
    for (variant_type code : {variant_type{0}, variant_type{15}}) {
        variant_record nameless{};
        nameless.type = code;
        variant_wrapper_set_wrapper_value(wrapper, &nameless, 0);
        ASSERT_TRUE(variant_wrapper_get_type(wrapper, nullptr, &size));
        EXPECT_EQ(size, 1u);
        ASSERT_TRUE(variant_wrapper_get_type(wrapper, buffer, &size));
        EXPECT_EQ(buffer[0], '\0');
        IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
        EXPECT_EQ(string_text(reader), "");
        reader->Release();
    }
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, GetStringGivesTheValueAsTextAndLeavesItAlone) {
    record value;
    variant_set_string(&value.v, "hello", 1);
    variant_wrapper_handle* wrapper = writable_wrapper(&value.v);
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    EXPECT_EQ(string_text(reader), "hello");
    char small[5];
    uint32_t size = sizeof small;
    EXPECT_FALSE(reader->GetString(small, &size));
    EXPECT_EQ(size, 5u);

    variant_record* held = variant_wrapper_get_wrapper_value(wrapper);
    variant_set_double(held, 1.5, 1);
    EXPECT_EQ(string_text(reader), "1.500000");
    EXPECT_EQ(held->type, VARIANT_TYPE_DOUBLE);
    int32_t number = 0;
    variant_set_string(held, "42", 1);
    ASSERT_TRUE(reader->GetInt(&number));
    EXPECT_EQ(number, 42);
    EXPECT_STREQ(text_of(held->value.unit), "42");
    reader->Release();
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, GetStringNeverReadsPastAUnit) {
    caller_unit unterminated("abc", 3);
    caller_unit inner_nul("ab\0cd", 5);
    const std::pair<bstrunit*, const char*> cases[] = {
        {nullptr, ""}, {unterminated.get(), "abc"}, {inner_nul.get(), "ab"}};
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    for (const auto& [unit, text] : cases) {
        variant_record borrowed{};
        borrowed.type = VARIANT_TYPE_STRING;
        borrowed.value.unit = unit;
        variant_wrapper_set_wrapper_value(wrapper, &borrowed, 0);
        EXPECT_EQ(string_text(reader), text);
    }
    reader->Release();
    variant_wrapper_set_wrapper_value(wrapper, nullptr, 0);
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, WithoutAValueEveryTypedOperationFails) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_wrapper_set_mode(wrapper, 1, 1);
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    int32_t number = 17;
    uint32_t size = 0;
    EXPECT_FALSE(reader->GetInt(&number));
    EXPECT_FALSE(reader->GetString(nullptr, &size));
    EXPECT_FALSE(writer->SetInt(1, 1));
    EXPECT_FALSE(writer->SetType("int"));
    EXPECT_FALSE(variant_wrapper_set_type(wrapper, "int"));
    EXPECT_EQ(number, 17);
    EXPECT_EQ(size, 0u);

    record value;
    variant_wrapper_set_wrapper_value(wrapper, &value.v, 1);
    EXPECT_TRUE(reader->GetInt(&number));
    EXPECT_FALSE(reader->GetInt(nullptr));
    variant_wrapper_set_wrapper_value(wrapper, nullptr, 1);
    EXPECT_FALSE(reader->GetInt(&number));
    EXPECT_EQ(variant_wrapper_get_wrapper_value(wrapper), nullptr);
    reader->Release();
    writer->Release();
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, SettersPassTheFlagAndSetTypeConverts) {
    record value;
    variant_set_double(&value.v, 0.5, 1);
    variant_wrapper_handle* wrapper = writable_wrapper(&value.v);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    variant_record* held = variant_wrapper_get_wrapper_value(wrapper);

    ASSERT_TRUE(writer->SetString("12", 0));  // keeps the double type
    EXPECT_EQ(held->type, VARIANT_TYPE_DOUBLE);
    EXPECT_EQ(held->value.f64, 12.0);
    ASSERT_TRUE(writer->SetInt(7, 1));  // takes the setter's type
    EXPECT_EQ(held->type, VARIANT_TYPE_INT);
    ASSERT_TRUE(writer->SetType("string"));
    EXPECT_STREQ(text_of(held->value.unit), "7");
    ASSERT_TRUE(variant_wrapper_set_type(wrapper, "short"));
    EXPECT_EQ(held->type, VARIANT_TYPE_SHORT);
    EXPECT_EQ(held->value.i16, 7);
    for (const char* name : {"Short", "no such type", static_cast<const char*>(nullptr)}) {
        EXPECT_TRUE(writer->SetType(name));
        EXPECT_EQ(held->type, VARIANT_TYPE_SHORT);
        EXPECT_EQ(held->value.i16, 7);
    }
    writer->Release();
    variant_wrapper_destroy(&wrapper);
}

TEST(VariantWrapper, ABorrowedValueIsWrittenInPlaceACopyIsNot) {
    record caller;
    variant_set_string(&caller.v, "borrowed", 1);
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_wrapper_set_mode(wrapper, 1, 1);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);

    variant_wrapper_set_wrapper_value(wrapper, &caller.v, 1);
    EXPECT_NE(variant_wrapper_get_wrapper_value(wrapper), &caller.v);
    ASSERT_TRUE(writer->SetInt(3, 1));
    EXPECT_STREQ(text_of(caller.v.value.unit), "borrowed");

    // Replacing the owned value releases it (ASan: no leak, no stale read).
    variant_wrapper_set_wrapper_value(wrapper, &caller.v, 0);
    EXPECT_EQ(variant_wrapper_get_wrapper_value(wrapper), &caller.v);
    ASSERT_TRUE(writer->SetString("rewritten", 1));
    writer->Release();
    variant_wrapper_destroy(&wrapper);
    EXPECT_STREQ(text_of(caller.v.value.unit), "rewritten");  // and it outlives the wrapper
}

TEST(VariantWrapper, HandingTheWrapperItsOwnValueKeepsIt) {
    record value;
    variant_set_string(&value.v, "mine", 1);
    variant_wrapper_handle* wrapper = writable_wrapper(&value.v);
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    variant_record* own = variant_wrapper_get_wrapper_value(wrapper);
    for (uint8_t copy : {1, 0, 2}) {
        variant_wrapper_set_wrapper_value(wrapper, own, copy);
        EXPECT_EQ(variant_wrapper_get_wrapper_value(wrapper), own);
        EXPECT_EQ(string_text(reader), "mine");
    }
    reader->Release();
    variant_wrapper_destroy(&wrapper);  // still owned: released exactly once
}

TEST(VariantWrapper, CloneOwnsAnIndependentCopyAndTheModes) {
    record caller;
    variant_set_string(&caller.v, "shared?", 1);
    variant_wrapper_handle* source = variant_wrapper_create();
    variant_wrapper_set_mode(source, 0, 1);
    variant_wrapper_set_wrapper_value(source, &caller.v, 0);
    variant_wrapper_handle* clone = variant_wrapper_clone(source);
    variant_wrapper_destroy(&source);

    EXPECT_EQ(variant_wrapper_get_variantread(clone), nullptr);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(clone);
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(variant_equal_variant(variant_wrapper_get_wrapper_value(clone), &caller.v));
    ASSERT_TRUE(writer->SetString("only the clone", 1));
    EXPECT_STREQ(text_of(caller.v.value.unit), "shared?");
    writer->Release();
    variant_wrapper_destroy(&clone);

    variant_wrapper_handle* bare = variant_wrapper_create();
    clone = variant_wrapper_clone(bare);
    EXPECT_EQ(variant_wrapper_get_wrapper_value(clone), nullptr);
    variant_wrapper_destroy(&bare);
    variant_wrapper_destroy(&clone);
}

TEST(VariantSetVariantRead, CopiesEveryTypeThroughTheReadInterface) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    record value;
    record copy;
    variant_set_string(&copy.v, "released on entry", 1);
    variant_set_char(&value.v, -5, 1);
    variant_wrapper_set_wrapper_value(wrapper, &value.v, 0);
    for (variant_type code = VARIANT_TYPE_CHAR; code <= VARIANT_TYPE_BOOL; ++code) {
        ASSERT_TRUE(variant_change_type(&value.v, code));
        variant_set_variantread(&copy.v, reader);
        EXPECT_TRUE(variant_equal_variant(&copy.v, &value.v)) << "type " << code;
    }
    variant_set_variantread(&copy.v, nullptr);
    EXPECT_EQ(copy.v.type, VARIANT_TYPE_EMPTY);
    variant_set_double(&copy.v, 1.0, 1);
    variant_wrapper_set_wrapper_value(wrapper, nullptr, 0);
    variant_set_variantread(&copy.v, reader);  // no value: no type name
    EXPECT_EQ(copy.v.type, VARIANT_TYPE_EMPTY);
    reader->Release();
    variant_wrapper_destroy(&wrapper);
}

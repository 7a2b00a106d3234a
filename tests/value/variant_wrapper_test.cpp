#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "value_test_support.hpp"

using namespace corvane::test;

namespace {

// The object's current count, read without changing it.
uint32_t count_of(IBase* object) { return object->AddRef(), object->Release(); }

// A wrapper that hands out both interfaces, holding a copy of `value` if any.
variant_wrapper_handle* writable_wrapper(variant_record* value = nullptr) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    variant_wrapper_set_mode(wrapper, 1, 1);
    variant_wrapper_set_wrapper_value(wrapper, value, 1);
    return wrapper;
}

std::string string_text(IVariantRead* reader) {
    return queried([reader](char* buffer, uint32_t* size) { return reader->GetString(buffer, size); });
}

}  // namespace

// The mode bytes decide which interfaces are handed out; handing out and
// Query add one reference to the same object, atomically even when four
// threads collide; the interface outlives the wrapper until its own last
// reference goes, given back on another thread (ASan reports it if it never
// ends). An empty value names no type; a null wrapper answers nothing.
TEST(VariantWrapper, ModesQueryAndCountsAcrossThreads) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    EXPECT_TRUE(reader != nullptr && variant_wrapper_get_variantwrite(wrapper) == nullptr);
    variant_wrapper_set_mode(wrapper, 1, 1);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    ASSERT_TRUE(writer != nullptr && variant_wrapper_get_variantread(wrapper) == reader && reader->Release() == 2);
    void* out = nullptr;
    ASSERT_TRUE(writer->Query("IBase", &out) && out == writer && reader->Query("IVariantRead", &out) && out == reader);
    EXPECT_TRUE(count_of(writer) == 3 && count_of(reader) == 3);
    EXPECT_FALSE(writer->Query("IVariantRead", &out) || writer->Query("ibase", &out) || writer->Query("IBase ", &out) ||
                 writer->Query(nullptr, &out) || reader->Query("IVariantWrite", &out) || out != reader ||
                 reader->Query("IBase", nullptr) || count_of(writer) != 3 || count_of(reader) != 3);
    std::vector<std::thread> threads;
    std::atomic<int> started{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([wrapper, reader, &started] {
            for (++started; started < 4;) std::this_thread::yield();  // all four start together: counts collide
            for (int i = 0; i < 1000000; ++i) {
                void* base = nullptr;
                reader->Query("IBase", &base);
                variant_wrapper_get_variantread(wrapper)->Release();
                static_cast<IVariantRead*>(base)->Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    variant_record empty{};  // an empty record names no type
    variant_wrapper_set_wrapper_value(wrapper, &empty, 0);
    const auto type = [wrapper](char* buffer, uint32_t* size) { return variant_wrapper_get_type(wrapper, buffer, size); };
    EXPECT_TRUE(queried(type).empty() && string_text(reader).empty());
    variant_wrapper_set_mode(wrapper, 2, 255);  // only exactly 1 opens
    EXPECT_TRUE(variant_wrapper_get_variantread(wrapper) == nullptr && variant_wrapper_get_variantwrite(wrapper) == nullptr);
    EXPECT_EQ(writer->Release() + writer->Release() + reader->Release(), 5u);  // the reader keeps one
    variant_wrapper_destroy(&wrapper);
    std::thread([reader] { EXPECT_EQ(reader->Release(), 0u); }).join();
    uint32_t size = 8;
    variant_wrapper_set_wrapper_value(nullptr, nullptr, 1);
    variant_wrapper_set_mode(nullptr, 1, 1);
    EXPECT_FALSE(variant_wrapper_get_type(nullptr, nullptr, &size) || variant_wrapper_set_type(nullptr, "int") || size != 8 ||
                 variant_wrapper_clone(nullptr) || variant_wrapper_get_wrapper_value(nullptr) ||
                 variant_wrapper_get_variantread(nullptr) || variant_wrapper_get_variantwrite(nullptr));
}

// Without a value every typed operation fails and touches nothing: a new
// wrapper, a null value, and interfaces still held when the wrapper frees a
// value of its own (under ASan, a read of the freed record is reported).
TEST(VariantWrapper, WithoutAValueEveryTypedOperationFails) {
    enum then { keep, set_null, destroy, copy_again };
    const struct { uint8_t copy; then next; bool has_value; const char* reason; } rows[] = {
        {2, keep, false, "a new wrapper"}, {1, keep, true, "a copy"}, {1, set_null, false, "the value set to null"},
        {1, destroy, false, "the wrapper freed its copy"}, {1, copy_again, true, "a new copy replaced the old"},
        {0, destroy, true, "a borrowed record outlives the wrapper"},
    };
    for (const auto& row : rows) {
        variant_record caller = typed(VARIANT_TYPE_INT, 5);
        variant_wrapper_handle* wrapper = writable_wrapper();
        variant_wrapper_set_wrapper_value(wrapper, row.copy == 2 ? nullptr : &caller, row.copy);
        IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
        IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
        if (row.next == destroy) variant_wrapper_destroy(&wrapper);
        if (row.next == set_null || row.next == copy_again) {
            variant_wrapper_set_wrapper_value(wrapper, row.next == set_null ? nullptr : &caller, 1);
        }
        int32_t number = 17;
        scoped_record copy("released on entry");
        const auto type = [reader](char* buffer, uint32_t* size) { return reader->GetType(buffer, size); };
        EXPECT_EQ(queried(type) + " " + string_text(reader), row.has_value ? "int 5" : "<none> <none>") << row.reason;
        EXPECT_EQ(reader->GetInt(&number) && writer->SetInt(6, 0) && writer->SetType("long"), row.has_value) << row.reason;
        variant_set_variantread(&copy.r, reader);  // without a value, no type name: empty
        EXPECT_EQ(number, row.has_value ? 5 : 17) << row.reason;
        EXPECT_EQ(copy.r.type, row.has_value ? VARIANT_TYPE_LONG : VARIANT_TYPE_EMPTY) << row.reason;
        reader->Release();
        writer->Release();
        variant_wrapper_destroy(&wrapper);
    }
}

// Setters pass their flag and SetType converts; a borrowed value is written
// in place, a copy is the wrapper's own, and its own value handed back in
// any mode stays owned and intact. A clone owns a copy of even a borrowed
// value.
TEST(VariantWrapper, SettersWriteTheBorrowedValueInPlaceOrTheWrappersOwnCopy) {
    scoped_record caller("borrowed");
    variant_wrapper_handle* wrapper = writable_wrapper(&caller.r);
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
    variant_record* own = variant_wrapper_get_wrapper_value(wrapper);
    ASSERT_TRUE(own != &caller.r && writer->SetDouble(0.5, 1) && writer->SetString("12", 0));  // keeps the double
    EXPECT_TRUE(own->type == VARIANT_TYPE_DOUBLE && own->value.f64 == 12.0);
    ASSERT_TRUE(writer->SetInt(7, 1) && writer->SetType("string"));  // takes the setter's type, then converts
    EXPECT_EQ(text_of(own->value.unit), "7");
    ASSERT_TRUE(variant_wrapper_set_type(wrapper, "short"));
    ASSERT_TRUE(writer->SetType("no such type") && writer->SetType(nullptr));  // succeed and change nothing
    EXPECT_TRUE(own->type == VARIANT_TYPE_SHORT && own->value.i16 == 7);
    ASSERT_TRUE(writer->SetString("mine", 1));
    EXPECT_EQ(text_of(caller.r.value.unit), "borrowed");
    for (uint8_t copy : {1, 0, 2}) {
        variant_wrapper_set_wrapper_value(wrapper, own, copy);
        EXPECT_TRUE(variant_wrapper_get_wrapper_value(wrapper) == own && string_text(reader) == "mine");
    }
    variant_wrapper_set_wrapper_value(wrapper, &caller.r, 0);
    ASSERT_TRUE(variant_wrapper_get_wrapper_value(wrapper) == &caller.r && writer->SetString("rewritten", 1));
    variant_wrapper_handle* clone = variant_wrapper_clone(wrapper);
    reader->Release();
    writer->Release();
    variant_wrapper_destroy(&wrapper);
    EXPECT_EQ(text_of(caller.r.value.unit), "rewritten");  // and it outlives the wrapper
    const variant_record* cloned = variant_wrapper_get_wrapper_value(clone);
    EXPECT_TRUE(cloned->value.unit != caller.r.value.unit && text_of(cloned->value.unit) == "rewritten");
    variant_wrapper_destroy(&clone);
}

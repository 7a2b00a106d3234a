#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "value_test_support.hpp"

using namespace corvane::test;

// Handing out and Query add one reference to the same object, atomically
// even when four threads collide; the interface outlives the wrapper until
// its own last reference goes, given back on another thread (ASan reports it
// if it never ends).
TEST(VariantWrapper, CountsHoldWhenThreadsCollide) {
    variant_wrapper_handle* wrapper = variant_wrapper_create();
    IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
    std::vector<std::thread> threads;
    std::atomic<int> started{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([wrapper, reader, &started] {
            for (++started; started < 4;) std::this_thread::yield();  // all four start together
            for (int i = 0; i < 1000000; ++i) {
                void* base = nullptr;
                reader->Query("IBase", &base);
                variant_wrapper_get_variantread(wrapper)->Release();
                static_cast<IVariantRead*>(base)->Release();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    variant_wrapper_destroy(&wrapper);
    std::thread([reader] { EXPECT_EQ(reader->Release(), 0u); }).join();
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
        variant_wrapper_handle* wrapper = variant_wrapper_create();
        variant_wrapper_set_mode(wrapper, 1, 1);
        variant_wrapper_set_wrapper_value(wrapper, row.copy == 2 ? nullptr : &caller, row.copy);
        IVariantRead* reader = variant_wrapper_get_variantread(wrapper);
        IVariantWrite* writer = variant_wrapper_get_variantwrite(wrapper);
        if (row.next == destroy) variant_wrapper_destroy(&wrapper);
        if (row.next == set_null || row.next == copy_again) {
            variant_wrapper_set_wrapper_value(wrapper, row.next == set_null ? nullptr : &caller, 1);
        }
        int32_t number = 17;
        scoped_record copy("released on entry");
        char type[16] = "-", text[16] = "-";
        uint32_t type_size = sizeof type, text_size = sizeof text;
        reader->GetType(type, &type_size);
        reader->GetString(text, &text_size);
        EXPECT_EQ(std::string(type) + " " + text, row.has_value ? "int 5" : "- -") << row.reason;
        EXPECT_EQ(reader->GetInt(&number) && writer->SetInt(6, 0) && writer->SetType("long"), row.has_value) << row.reason;
        variant_set_variantread(&copy.r, reader);  // without a value, no type name: empty
        EXPECT_EQ(number, row.has_value ? 5 : 17) << row.reason;
        EXPECT_EQ(copy.r.type, row.has_value ? VARIANT_TYPE_LONG : VARIANT_TYPE_EMPTY) << row.reason;
        reader->Release();
        writer->Release();
        variant_wrapper_destroy(&wrapper);
    }
}

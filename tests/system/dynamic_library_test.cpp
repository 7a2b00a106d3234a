#include <gtest/gtest.h>

#include "corvane/system.h"

TEST(DynamicLibrary, LoadsASystemLibraryResolvesAnExportAndRefusesTheRest) {
    for (void* module : {os_dynamic_library_loader_load("libm.so.6"),
                         os_dynamic_library_loader_load_ex("libm.so.6", nullptr, 0)}) {
        ASSERT_NE(module, nullptr);
        auto square_root = reinterpret_cast<double (*)(double)>(
            os_dynamic_library_loader_get_proc(module, "sqrt"));
        ASSERT_NE(square_root, nullptr);
        EXPECT_EQ(square_root(49.0), 7.0);
        EXPECT_EQ(os_dynamic_library_loader_get_proc(module, "corvane_no_such_export"), nullptr);
        EXPECT_EQ(os_dynamic_library_loader_get_proc(module, nullptr), nullptr);
        os_dynamic_library_loader_free(module);
    }
    // The loader would take null or empty to mean the running program.
    for (const char* path :
         {"libcorvane-no-such-library.so", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(os_dynamic_library_loader_load(path), nullptr);
    }
    EXPECT_EQ(os_dynamic_library_loader_get_proc(nullptr, "sqrt"), nullptr);
    os_dynamic_library_loader_free(nullptr);
}

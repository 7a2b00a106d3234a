#include <latch>

#include "system_test.hpp"

TEST(SetEnvironmentVariable, ReplacesAppendsKeepsOrRemoves) {
    // Current value, value, overwrite, the value afterwards (null: absent).
    // Only 1 overwrites; an empty value (on Windows absent) is replaced, not
    // appended to; a value already contained, as a plain substring, is kept,
    // not emptied; an empty result removes the variable.
    const std::tuple<std::optional<std::string>, const char*, uint8_t, const char*> rows[] = {
        {std::nullopt, "z", 0, "z"}, {"x;y", "z", 0, "x;y;z"}, {"x;y", "z", 1, "z"},
        {"x;y", "z", 2, "x;y;z"}, {"", "z", 0, "z"}, {"x;y;abc", "y", 0, "x;y;abc"},
        {"x;y;abc", "b", 0, "x;y;abc"}, {"x;y", "", 0, "x;y"}, {"x;y", "", 1, nullptr},
        {std::nullopt, "", 0, nullptr}};
    for (const auto& [current, value, overwrite, expected] : rows) {
        scoped_environment_variable variable("CORVANE_TEST_SET", current);
        os_system_set_os_environmentVariable("CORVANE_TEST_SET", value, overwrite);
        EXPECT_STREQ(std::getenv("CORVANE_TEST_SET"), expected) << value << ", " << int(overwrite);
    }
}

TEST(SetEnvironmentVariable, ConcurrentAppendsThroughTheLibraryAreNotLost) {
    scoped_environment_variable variable("CORVANE_TEST_MANY", std::nullopt);
    std::latch start(4);  // together, so that the appends overlap
    std::vector<std::jthread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([&start, t] {
            start.arrive_and_wait();
            for (int i = t; i < 4000; i += 4) {  // bracketed: no token inside another
                const std::string token = "<" + std::to_string(i) + ">";
                os_system_set_os_environmentVariable("CORVANE_TEST_MANY", token.c_str(), 0);
            }
        });
    }
    writers.clear();
    const std::string value = std::getenv("CORVANE_TEST_MANY");
    EXPECT_EQ(std::count(value.begin(), value.end(), '<'), 4000) << "appends were lost";
}

TEST(ApplicationPath, IsTheRunningProgramCutToTheBuffer) {
    const std::string path = self_path();
    const auto length = static_cast<uint32_t>(path.size());
    // size; the result and the buffer's text up to the first '#' (its filling)
    const std::tuple<uint32_t, uint64_t, std::string> rows[] = {
        {length + 1, length, path + '\0'},
        {length, length, path.substr(0, length - 1) + '\0'},  // cut: size - 1 bytes and a NUL
        {1, 1, std::string(1, '\0')}, {0, 0, ""}};
    for (const auto& [size, result, text] : rows) {
        std::string buffer(path.size() + 16, '#');
        EXPECT_EQ(os_environment_get_application_path(buffer.data(), size), result);
        EXPECT_EQ(buffer.substr(0, buffer.find('#')), text) << size;
    }
}

TEST(DynamicLibrary, LoadsASystemLibraryResolvesAnExportAndRefusesTheRest) {
    const char* library = exe_suffix().empty() ? "libm.so.6" : "msvcrt.dll";  // both hold sqrt
    for (void* module : {os_dynamic_library_loader_load(library),
                         os_dynamic_library_loader_load_ex(library, nullptr, 0)}) {
        auto root = reinterpret_cast<double (*)(double)>(
            os_dynamic_library_loader_get_proc(module, "sqrt"));
        EXPECT_TRUE(root && root(49.0) == 7.0);
        EXPECT_EQ(os_dynamic_library_loader_get_proc(module, "corvane_no_such_export"), nullptr);
        os_dynamic_library_loader_free(module);
    }
    // The loader would take an empty path to mean the running program.
    EXPECT_FALSE(os_dynamic_library_loader_load("corvane-no-such-library") ||
                 os_dynamic_library_loader_load(""));
}

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "corvane/system.h"
#include "test_support.hpp"

namespace {

std::string value_of(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "(absent)";
}

}  // namespace

TEST(GetEnvironmentVariable, FollowsTheSizeQueryProtocolAndFailsWhenAbsent) {
    const char* name = "CORVANE_TEST_GET";
    setenv(name, "hello", 1);
    char buffer[8] = "#######";
    uint32_t size = 0;
    ASSERT_TRUE(os_system_get_os_environmentVariable(name, nullptr, &size));
    EXPECT_EQ(size, 6u);
    // Too small: nothing written, the size included.
    size = 5;
    EXPECT_FALSE(os_system_get_os_environmentVariable(name, buffer, &size));
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(buffer, "#######");
    size = 6;
    ASSERT_TRUE(os_system_get_os_environmentVariable(name, buffer, &size));
    EXPECT_STREQ(buffer, "hello");

    unsetenv(name);
    EXPECT_FALSE(os_system_get_os_environmentVariable(name, nullptr, &size) ||
                 os_system_get_os_environmentVariable(name, buffer, &size) ||
                 os_system_get_os_environmentVariable(nullptr, buffer, &size) ||
                 os_system_get_os_environmentVariable("PATH", buffer, nullptr));
    EXPECT_EQ(size, 6u);
}

TEST(SetEnvironmentVariable, ReplacesAppendsKeepsOrRemoves) {
    const struct {
        const char* current;  // null: absent
        const char* value;
        uint8_t overwrite;
        const char* expected;
    } settings[] = {
        {nullptr, "z", 0, "z"},
        {"x;y", "z", 0, "x;y;z"},
        {"x;y", "z", 2, "x;y;z"},  // only 1 overwrites
        {"x;y", "z", 1, "z"},
        {"", "z", 0, "z"},  // present but empty: replaced, not appended to
        // Already contained, as a plain substring: kept, not emptied.
        {"x;y;abc", "y", 0, "x;y;abc"},
        {"x;y;abc", "b", 0, "x;y;abc"},
        {"x;y;abc", "", 0, "x;y;abc"},
        // An empty result removes the variable.
        {"x;y", "", 1, "(absent)"},
        {nullptr, "", 0, "(absent)"},
    };
    const char* name = "CORVANE_TEST_SET";
    for (const auto& s : settings) {
        SCOPED_TRACE(std::string(s.current != nullptr ? s.current : "(absent)") + " with " +
                     s.value + " overwrite " + std::to_string(s.overwrite));
        if (s.current != nullptr) {
            setenv(name, s.current, 1);
        } else {
            unsetenv(name);
        }
        os_system_set_os_environmentVariable(name, s.value, s.overwrite);
        EXPECT_EQ(value_of(name), s.expected);
    }
    unsetenv(name);
}

TEST(SetEnvironmentVariable, ConcurrentAppendsThroughTheLibraryAreNotLost) {
    const char* name = "CORVANE_TEST_CONCURRENT";
    constexpr int threads = 4;
    constexpr int per_thread = 300;
    // Bracketed, so that no token is a substring of another.
    auto token = [](int i) { return "<" + std::to_string(i) + ">"; };
    std::atomic<int> ready{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&, t] {
            // Start together, so that the appends overlap.
            for (ready.fetch_add(1); ready.load() < threads;) {
                std::this_thread::yield();
            }
            for (int i = t * per_thread; i < (t + 1) * per_thread; ++i) {
                os_system_set_os_environmentVariable(name, token(i).c_str(), 0);
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    const std::string value = value_of(name);
    int lost = 0;
    for (int i = 0; i < threads * per_thread; ++i) {
        lost += value.find(token(i)) == std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(lost, 0);
    unsetenv(name);
}

TEST(ApplicationPath, IsTheRunningProgramCutToTheBuffer) {
    const std::string expected = corvane::test::self_path();
    const auto length = static_cast<uint32_t>(expected.size());
    std::vector<char> buffer;
    auto path_with_size = [&](uint32_t size) {
        buffer.assign(expected.size() + 16, '#');
        return os_environment_get_application_path(buffer.data(), size);
    };
    EXPECT_EQ(path_with_size(length + 1), length);
    EXPECT_EQ(std::string(buffer.data()), expected);
    // Cut short: size - 1 bytes and a NUL, and the result is size.
    EXPECT_EQ(path_with_size(length), length);
    EXPECT_EQ(std::string(buffer.data()), expected.substr(0, length - 1));
    EXPECT_EQ(buffer[length], '#');
    EXPECT_EQ(path_with_size(1), 1u);
    EXPECT_EQ(std::string(buffer.data(), 2), std::string("\0#", 2));
    EXPECT_EQ(path_with_size(0), 0u);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(os_environment_get_application_path(nullptr, 64), 0u);
}

#include "common/log.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_support.hpp"

using corvane::detail::log_line;

TEST(LogLine, WritesTheFormattedTextWithNothingAdded) {
    auto printed = corvane::test::capture_stdout([] {
        log_line("Mutex[%s] already exist,just open it.\n", "name");
        log_line("%d-%s", 7, "x");
    });
    EXPECT_EQ(printed, "Mutex[name] already exist,just open it.\n7-x");
}

TEST(LogLine, LeavesTheStreamUnflushed) {
    // With a buffer of our own, two unflushed lines sit side by side in it; a
    // flush after each would write the second over the first. glibc flushes
    // the first write after setvbuf on a used stream: "<" takes that flush.
    static char buffer[256];
    auto printed = corvane::test::capture_stdout([] {
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        std::fputs("<", stdout);
        log_line("pending");
        log_line("more");
        EXPECT_NE(std::string(buffer, sizeof buffer).find("pendingmore"), std::string::npos);
    });
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    EXPECT_EQ(printed, "<pendingmore");
}

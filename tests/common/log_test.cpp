#include "common/log.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

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
    int pipe_ends[2];
    ASSERT_EQ(pipe2(pipe_ends, O_NONBLOCK), 0);
    std::fflush(stdout);
    int saved = dup(STDOUT_FILENO);
    dup2(pipe_ends[1], STDOUT_FILENO);
    static char buffer[256];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    log_line("pending");
    char received[16] = {};
    ssize_t before_flush = read(pipe_ends[0], received, sizeof received);
    std::fflush(stdout);
    ssize_t after_flush = read(pipe_ends[0], received, sizeof received);

    dup2(saved, STDOUT_FILENO);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    close(saved);
    close(pipe_ends[0]);
    close(pipe_ends[1]);
    EXPECT_EQ(before_flush, -1);
    ASSERT_EQ(after_flush, 7);
    EXPECT_EQ(std::string(received, 7), "pending");
}

#include "common/log.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
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

// A child sends its standard output to a fully buffered file, logs a line and
// ends without flushing; only the role that flushes leaves it in the file.
TEST(LogLine, LeavesTheStreamUnflushed) {
    const std::string role = corvane::test::child_role();
    if (!role.empty()) {
        if (std::freopen(std::getenv("LOG_FILE"), "w", stdout) == nullptr ||
            std::setvbuf(stdout, nullptr, _IOFBF, 4096) != 0) {
            std::_Exit(2);
        }
        log_line("pending");
        if (role == "flushed") {
            std::fflush(stdout);
        }
        std::_Exit(0);
    }
    corvane::test::temp_folder folder;
    for (const auto& [child, expected] : {std::pair{"unflushed", ""}, std::pair{"flushed", "pending"}}) {
        const std::string file = folder.join(child);
        ASSERT_EQ(corvane::test::child_process::self("LogLine.LeavesTheStreamUnflushed", child, {"LOG_FILE=" + file})
                      .wait(),
                  0);
        std::stringstream content;
        content << std::ifstream(file).rdbuf();
        EXPECT_EQ(content.str(), expected) << child;
    }
}

#include "common/log.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.hpp"

namespace {

// A child sends its standard output to a fully buffered file and reads the
// file back through a stream of its own, before and after flushing: the
// text must be pending, then exactly the formatted text, with no line break
// added. The texts hold no line break of their own, which a text-mode stream
// on Windows would translate. The child's exit code is the verdict.
TEST(LogLine, WritesTheFormattedTextUnflushedWithNothingAdded) {
    const char* file = std::getenv("LOG_FILE");
    if (!corvane::test::child_role().empty() && file != nullptr) {
        if (std::freopen(file, "w", stdout) == nullptr || std::setvbuf(stdout, nullptr, _IOFBF, 4096) != 0) std::_Exit(2);
        corvane::detail::log_line("Mutex[%s] already exist,just open it.", "name");
        corvane::detail::log_line("%d-%s", 7, "x");
        const bool unflushed = corvane::test::read_file(file).empty();
        std::fflush(stdout);
        std::_Exit(unflushed && corvane::test::read_file(file) == "Mutex[name] already exist,just open it.7-x" ? 0 : 1);
    }
    corvane::test::temp_folder folder;
    const std::string path = folder.join("stdout");
    EXPECT_EQ(corvane::test::child_process::self("LogLine.*", "log", {"LOG_FILE=" + path}).wait(), 0)
        << "the child's output: " << corvane::test::read_file(path);
}

}  // namespace

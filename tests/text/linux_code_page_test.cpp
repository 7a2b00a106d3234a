// Linux only: the local code page is the character set of the locale that
// the environment names, read again at every call.
#include <gtest/gtest.h>

#include <string>

#include "corvane/text.h"
#include "test_support.hpp"

TEST(LinuxCodePage, TheLocaleEnvironmentIsReadAtEveryCall) {
    const struct { const char *locale, *utf8, *local, *back; } rows[] = {
        {"C", "caf\xC3\xA9", "caf?", "Error Encode!"},
        {"C.UTF-8", "caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"C.UTF-8", "\xE0\x80\xAF", "Error Encode!", "Error Encode!"},  // malformed local text fails too
        {"xx_NOWHERE.UTF-8", "caf\xC3\xA9", "caf?", "Error Encode!"},   // an unknown locale means C
    };
    for (const auto& row : rows) {
        corvane::test::scoped_environment_variable locale("LC_ALL", row.locale);
        char local[64] = {}, back[64] = {};
        uint32_t local_size = sizeof local, back_size = sizeof back;
        EXPECT_TRUE(os_utf8helper_oem_from_utf8(row.utf8, local, &local_size) && os_utf8helper_oem_to_utf8(row.utf8, back, &back_size));
        EXPECT_TRUE(std::string(local) == row.local && std::string(back) == row.back) << row.locale << ": " << local << " " << back;
    }
}

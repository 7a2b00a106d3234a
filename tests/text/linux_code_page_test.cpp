// Linux only: the local code page is the character set of the locale that
// the environment names, read again at every call.
#include <gtest/gtest.h>

#include <string>

#include "corvane/text.h"
#include "test_support.hpp"

namespace {

std::string converted(bool (*convert)(const char*, char*, uint32_t*), const char* text) {
    char buffer[64] = {};
    uint32_t size = sizeof buffer;
    return convert(text, buffer, &size) ? buffer : "(too small)";
}

TEST(LinuxCodePage, TheLocaleEnvironmentIsReadAtEveryCall) {
    const struct {
        const char* locale;
        const char* utf8;
        const char* local;
        const char* back;
    } rows[] = {
        {"C", "caf\xC3\xA9", "caf?", "Error Encode!"},
        {"C.UTF-8", "caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"C.UTF-8", "\xE0\x80\xAF", "Error Encode!", "Error Encode!"},  // malformed local text fails too
        {"xx_NOWHERE.UTF-8", "caf\xC3\xA9", "caf?", "Error Encode!"},   // an unknown locale means C
    };
    for (const auto& row : rows) {
        corvane::test::scoped_environment_variable locale("LC_ALL", row.locale);
        EXPECT_EQ(converted(os_utf8helper_oem_from_utf8, row.utf8), row.local) << row.locale;
        EXPECT_EQ(converted(os_utf8helper_oem_to_utf8, row.utf8), row.back) << row.locale;
    }
}

}  // namespace

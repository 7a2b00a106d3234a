#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "corvane/text.h"
#include "test_support.hpp"

namespace {

const std::string failure_text = "Error Encode!";

// The text a conversion delivers into a buffer of exactly the queried size.
std::string converted(bool (*convert)(const char*, char*, uint32_t*), const std::string& text) {
    uint32_t size = 0;
    EXPECT_TRUE(convert(text.c_str(), nullptr, &size));
    std::string buffer(size, '#');
    EXPECT_TRUE(convert(text.c_str(), buffer.data(), &size));
    EXPECT_EQ(std::strlen(buffer.c_str()) + 1, buffer.size()) << "one NUL, at the end";
    return buffer.substr(0, buffer.size() - 1);
}
std::string from_utf8(const std::string& text) { return converted(os_utf8helper_oem_from_utf8, text); }
std::string to_utf8(const std::string& text) { return converted(os_utf8helper_oem_to_utf8, text); }

enum class way { both, to_local, to_utf8 };
const struct { const char *code_page, *utf8, *local; way checked; const char* reason; } code_page_rows[] = {
    {"1252", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80", way::both, "e-acute and the euro sign"},
    {"1252", "\xC4\x80-\xC5\x91-\xEF\xAC\x81-\xE6\x97\xA5\xF0\x9F\x98\x80-\xF4\x8F\xBF\xBF", "?-?-?-?" "?-?",
     way::to_local, "no look-alike: A-macron, o-double-acute, the fi ligature, CJK, emoji, U+10FFFF"},
    {"936", "\xE6\x97\xA5\xE6\x9C\xAC a", "\xC8\xD5\xB1\xBE a", way::both, "two ideographs and ASCII"},
    {"936", "\xF0\x9F\x98\x80\xE6\x97\xA5", "?\xC8\xD5", way::to_local, "an emoji has no counterpart"},
    {"936", "Error Encode!", "\xC8", way::to_utf8, "a lead byte without its trail byte fails"},
};

// The child body: started with the environment that selects the code page.
TEST(CodePageChild, ConvertsThroughTheActiveCodePage) {
    const std::string role = corvane::test::child_role();
    if (role.empty()) GTEST_SKIP() << "child body";
    for (const auto& row : code_page_rows) {
        if (row.code_page != role) continue;
        EXPECT_TRUE(row.checked == way::to_utf8 || from_utf8(row.utf8) == row.local) << row.reason;
        EXPECT_TRUE(row.checked == way::to_local || to_utf8(row.local) == row.utf8) << row.reason;
    }
    // Every byte of 1252 round-trips, except five that the platforms define
    // differently: Windows maps them to C1 controls, glibc refuses them.
    for (int byte = 1; byte < 256 && role == "1252"; ++byte) {
        const std::string local(1, static_cast<char>(byte)), utf8 = to_utf8(local);
        EXPECT_TRUE(from_utf8(utf8) == local || (utf8 == failure_text && std::strchr("\x81\x8D\x8F\x90\x9D", byte)));
    }
    // Long texts convert in full, from several threads at once.
    const std::string local(5000, role == "936" ? 'a' : '\x80');
    const std::string utf8 = to_utf8(local);
    const auto convert = [&] {
        for (int i = 0; i < 20; ++i) EXPECT_TRUE(from_utf8(utf8) == local && to_utf8(local) == utf8);
    };
    std::jthread first(convert), second(convert), third(convert), fourth(convert);
}

TEST(CodePage, ConvertsThroughCodePages1252And936) {
    for (const char* code_page : {"1252", "936"}) {
        corvane::test::temp_folder folder;
        std::string why;
        const auto environment = corvane::test::code_page_environment(std::atoi(code_page), folder, why);
        if (!environment) std::printf("code page %s not tested: %s\n", code_page, why.c_str());
        else EXPECT_EQ(corvane::test::child_process::self("CodePageChild.*", code_page, *environment).wait(), 0) << code_page;
    }
}

}  // namespace

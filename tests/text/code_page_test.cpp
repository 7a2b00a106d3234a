#include <gtest/gtest.h>

#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "corvane/text.h"
#include "test_support.hpp"

// glibc's newlocale loses its copy of LOCPATH on every call while that is set,
// and these tests need LOCPATH to find the locale they build.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_create_sep\nleak:__argz_add_sep\n";
}

namespace {

using conversion = bool (*)(const char*, char*, uint32_t*);
const conversion both_conversions[] = {os_utf8helper_oem_from_utf8, os_utf8helper_oem_to_utf8};
const std::string failure_text = "Error Encode!";

// The text a conversion delivers into a buffer of exactly the queried size.
std::string converted(conversion convert, const char* text) {
    uint32_t needed = 0;
    EXPECT_TRUE(convert(text, nullptr, &needed));
    std::string buffer(needed, '#');
    uint32_t size = needed;
    EXPECT_TRUE(convert(text, buffer.data(), &size));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(std::strlen(buffer.c_str()) + 1, buffer.size()) << "one NUL, at the end";
    return buffer.substr(0, buffer.size() - 1);
}

std::string from_utf8(const std::string& text) {
    return converted(os_utf8helper_oem_from_utf8, text.c_str());
}

std::string to_utf8(const std::string& text) {
    return converted(os_utf8helper_oem_to_utf8, text.c_str());
}

bool locale_exists(const char* name) {
    locale_t found = newlocale(LC_CTYPE_MASK, name, locale_t{});
    if (found != locale_t{}) {
        freelocale(found);
    }
    return found != locale_t{};
}

// Tests choose the locale through LC_ALL (the test program never calls
// setlocale) and LOCPATH; both are restored afterwards. They start in C.UTF-8.
class CodePage : public ::testing::Test {
protected:
    void SetUp() override {
        if (!locale_exists("C.UTF-8")) {
            GTEST_SKIP() << "locale C.UTF-8 is not installed";
        }
        use_locale("C.UTF-8");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name, value->c_str(), 1);
            } else {
                unsetenv(name);
            }
        }
    }

    void use_locale(const char* name) { setenv("LC_ALL", name, 1); }

private:
    static std::pair<const char*, std::optional<std::string>> saved(const char* name) {
        const char* value = std::getenv(name);
        return {name, value != nullptr ? std::optional<std::string>(value) : std::nullopt};
    }
    std::pair<const char*, std::optional<std::string>> saved_[2] = {saved("LC_ALL"),
                                                                    saved("LOCPATH")};
};

// A locale with the single-byte character set CP1252, built by localedef in
// a private folder.
class Cp1252CodePage : public CodePage {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<corvane::test::temp_folder>();
        localedef_status_ = corvane::test::child_process::program(
            {"localedef", "--quiet", "-i", "en_US", "-f", "CP1252", folder_->join("en_US.CP1252")}).wait();
    }
    static void TearDownTestSuite() { folder_.reset(); }

    void SetUp() override {
        setenv("LOCPATH", folder_->path().c_str(), 1);
        if (localedef_status_ != 0 || !locale_exists("en_US.CP1252")) {
            GTEST_SKIP() << "localedef could not build en_US.CP1252 (status " << localedef_status_
                         << ")";
        }
        use_locale("en_US.CP1252");
    }

    static inline std::unique_ptr<corvane::test::temp_folder> folder_;
    static inline int localedef_status_ = -1;
};

TEST_F(CodePage, SizeQueryNeedsExactlyTheTextAndItsNul) {
    for (conversion convert : both_conversions) {
        char buffer[8] = "#######";
        uint32_t size = 0;
        ASSERT_TRUE(convert("h\xC3\xA9llo", nullptr, &size));
        EXPECT_EQ(size, 7u);
        size = 6;
        EXPECT_FALSE(convert("h\xC3\xA9llo", buffer, &size));
        EXPECT_EQ(size, 6u);
        EXPECT_STREQ(buffer, "#######") << "nothing written";
        size = 7;
        ASSERT_TRUE(convert("h\xC3\xA9llo", buffer, &size));
        EXPECT_STREQ(buffer, "h\xC3\xA9llo");

        // A null text is the empty text.
        ASSERT_TRUE(convert(nullptr, nullptr, &size));
        EXPECT_EQ(size, 1u);
        EXPECT_TRUE(convert(nullptr, buffer, &size));
        EXPECT_EQ(buffer[0], '\0');
        size = 0;
        EXPECT_FALSE(convert(nullptr, buffer, &size));
    }
}

TEST_F(CodePage, Utf8LocalePassesValidTextAndRejectsMalformedText) {
    const char* valid = "\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xED\x9F\xBF";
    const char* malformed[] = {"\x80", "ab\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                               "\xF4\x90\x80\x80"};
    for (conversion convert : both_conversions) {
        EXPECT_EQ(converted(convert, valid), valid);
        for (const char* text : malformed) {
            EXPECT_EQ(converted(convert, text), failure_text) << "needed size 14";
        }
    }
}

TEST_F(CodePage, LocaleEnvironmentIsReadAtEveryCall) {
    use_locale("C");
    EXPECT_EQ(from_utf8("caf\xC3\xA9"), "caf?");
    EXPECT_EQ(to_utf8("caf\xE9"), failure_text) << "0xE9 is not ASCII";
    use_locale("C.UTF-8");
    EXPECT_EQ(from_utf8("caf\xC3\xA9"), "caf\xC3\xA9");
    use_locale("xx_NOWHERE.UTF-8");
    EXPECT_EQ(from_utf8("caf\xC3\xA9"), "caf?") << "an unknown locale means C";
}

TEST_F(Cp1252CodePage, EveryDefinedByteRoundTripsAndUndefinedBytesFail) {
    EXPECT_EQ(to_utf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
    for (int byte = 1; byte < 256; ++byte) {
        std::string local(1, static_cast<char>(byte));
        std::string utf8 = to_utf8(local);
        bool undefined = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (undefined) {
            EXPECT_EQ(utf8, failure_text) << byte;
        } else {
            EXPECT_EQ(from_utf8(utf8), local) << byte;
        }
    }
}

TEST_F(Cp1252CodePage, CharacterWithoutCounterpartBecomesOneQuestionMarkNotALookAlike) {
    // A-macron, o-double-acute and the ligature fi have look-alikes here.
    EXPECT_EQ(from_utf8("\xC4\x80-\xC5\x91-\xEF\xAC\x81-\xE6\x97\xA5\xF0\x9F\x98\x80-\xC3\xA9"),
              "?-?-?-?" "?-\xE9");
    EXPECT_EQ(from_utf8("\xE6\x97\xA5\xC3"), failure_text);
}

TEST_F(Cp1252CodePage, LongTextsAndConcurrentThreadsConvertInFull) {
    std::string euros;
    for (int i = 0; i < 5000; ++i) {
        euros += "\xE2\x82\xAC";
    }
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int& count : mismatches) {
        threads.emplace_back([&count, &euros] {
            for (int i = 0; i < 50; ++i) {
                count += to_utf8(std::string(5000, '\x80')) != euros;
                count += from_utf8(euros) != std::string(5000, '\x80');
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace

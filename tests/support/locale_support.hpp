// Locales for the tests that check conversions against the process locale
// and the local code page. The two platforms reach them differently: Linux
// builds them with localedef into a private folder, Windows names its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace corvane::test {

// Puts the C runtime of this process in a locale whose decimal separator is a
// comma for the object's lifetime, then back in "C". When the machine has no
// such locale, `why` says so (empty: in effect).
struct decimal_comma_locale {
    decimal_comma_locale();
    ~decimal_comma_locale();
    temp_folder folder;
    std::string why;
};

// The environment entries ("NAME=value") under which a process started now
// converts text through the ANSI code page `code_page` (1252 or 936), made
// in `folder` where needed; nullopt with the reason in `why` when this machine
// cannot give a new process that code page.
std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder& folder,
                                                              std::string& why);

}  // namespace corvane::test

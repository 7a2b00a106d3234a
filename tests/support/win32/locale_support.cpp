// Windows: the C runtime names its own locales; the ANSI code page is the
// system's, or under Wine the one that LC_ALL named when Wine started.

#include "locale_support.hpp"

#include <windows.h>

#include <clocale>

namespace corvane::test {

decimal_comma_locale::decimal_comma_locale() {
    if (std::setlocale(LC_ALL, "German_Germany.1252") == nullptr) {
        why = "the C runtime has no German_Germany.1252 locale";
    }
}

decimal_comma_locale::~decimal_comma_locale() {
    std::setlocale(LC_ALL, "C");
}

std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder&,
                                                              std::string& why) {
    if (GetACP() == static_cast<UINT>(code_page)) {
        return std::vector<std::string>{};
    }
    // Under Wine a child started with another LC_ALL keeps the parent's code
    // page too: Wine reads the Unix environment it was started with. The
    // build runs the child body once per code page with LC_ALL set instead.
    why = "the ANSI code page is " + std::to_string(GetACP()) + " for every process this one starts";
    return std::nullopt;
}

}  // namespace corvane::test

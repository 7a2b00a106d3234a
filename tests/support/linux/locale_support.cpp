// Linux: locales are built with localedef into a private folder that LOCPATH
// names, so the tests need no locale installed system-wide.

#include "locale_support.hpp"

#include <clocale>
#include <cstdlib>

// glibc's newlocale loses its copy of LOCPATH on every call while that is set,
// which the leak checker would report in every program that uses these.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_create_sep\nleak:__argz_add_sep\n";
}

namespace corvane::test {

namespace {

// Builds `locale` from the source `source` in character set `charset`; the
// reason it could not, or "".
std::string build_locale(const temp_folder& folder, const char* source, const char* charset,
                         const std::string& locale) {
    const int status =
        child_process::program({"localedef", "--quiet", "-i", source, "-f", charset, folder.join(locale)}).wait();
    return status == 0 ? "" : "localedef could not build " + locale + " (status " + std::to_string(status) + ")";
}

}  // namespace

decimal_comma_locale::decimal_comma_locale() {
    why = build_locale(folder, "de_DE", "UTF-8", "de_DE.UTF-8");
    setenv("LOCPATH", folder.path().c_str(), 1);
    if (why.empty() && std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        why = "de_DE.UTF-8 was built but cannot be used";
    }
}

decimal_comma_locale::~decimal_comma_locale() {
    std::setlocale(LC_ALL, "C");
    unsetenv("LOCPATH");
}

std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder& folder,
                                                              std::string& why) {
    const bool chinese = code_page == 936;
    const std::string locale = chinese ? "zh_CN.GBK" : "en_US.CP1252";
    why = build_locale(folder, chinese ? "zh_CN" : "en_US", chinese ? "GBK" : "CP1252", locale);
    if (!why.empty()) return std::nullopt;
    return std::vector<std::string>{"LC_ALL=" + locale, "LOCPATH=" + folder.path()};
}

}  // namespace corvane::test

// Windows: the C runtime names its own locales; the ANSI code page is the
// system's, chosen once per process. Wine chooses it from LC_ALL when the
// process starts; Windows itself has one for the whole system.

#include "locale_support.hpp"

#include <windows.h>

#include <clocale>

namespace corvane::test {

namespace {

bool running_under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

decimal_comma_locale::decimal_comma_locale() {
    if (std::setlocale(LC_ALL, "German_Germany.1252") == nullptr) {
        why_ = "the C runtime has no German_Germany.1252 locale";
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
    if (!running_under_wine()) {
        why = "the system's ANSI code page is " + std::to_string(GetACP()) + ", and a process cannot choose its own";
        return std::nullopt;
    }
    return std::vector<std::string>{code_page == 936 ? "LC_ALL=zh_CN.UTF-8" : "LC_ALL=de_DE.UTF-8"};
}

}  // namespace corvane::test

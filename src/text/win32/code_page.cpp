// The local code page on Windows: the active ANSI code page, reached through
// UTF-16 with MultiByteToWideChar and WideCharToMultiByte.

#include <windows.h>

#include <climits>
#include <string>

#include "text/text_platform.hpp"

namespace corvane::detail {

namespace {

// Text of a code page as UTF-16; empty when the code page refuses it. With
// MB_ERR_INVALID_CHARS a malformed sequence fails instead of becoming U+FFFD,
// as it does on Linux.
std::optional<std::wstring> to_utf16(UINT code_page, DWORD flags, std::string_view text) {
    if (text.empty()) {
        return std::wstring();  // a length of 0 is refused, not converted
    }
    if (text.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(code_page, flags, text.data(), length, wide.data(), units) != units) {
        return std::nullopt;
    }
    return wide;
}

// UTF-16 in a code page. With WC_NO_BEST_FIT_CHARS a character without an
// exact counterpart becomes the code page's default character '?' rather than
// a look-alike (A-macron would otherwise turn into A), as it does on Linux.
std::optional<std::string> from_utf16(UINT code_page, DWORD flags, const std::wstring& wide) {
    if (wide.empty()) {
        return std::string();
    }
    if (wide.size() > INT_MAX) {
        return std::nullopt;
    }
    const int length = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(code_page, flags, wide.data(), length, text.data(), bytes, nullptr, nullptr) != bytes) {
        return std::nullopt;
    }
    return text;
}

// UTF-16 carries a character beyond U+FFFF as two units, and a code page that
// lacks it writes its default character once per unit, where Linux writes
// one per character. Such a pair is cut to its first unit, whose lone
// surrogate then becomes the one default character.
void cut_unmappable_pairs(std::wstring& wide) {
    for (std::size_t i = 0; i + 1 < wide.size(); ++i) {
        if (IS_HIGH_SURROGATE(wide[i]) && IS_LOW_SURROGATE(wide[i + 1])) {
            char bytes[8];
            BOOL used_default = FALSE;
            WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide[i], 2, bytes, sizeof bytes, nullptr, &used_default);
            if (used_default) {
                wide.erase(i + 1, 1);
            }
        }
    }
}

// A system whose ANSI code page is UTF-8 refuses MB_PRECOMPOSED and
// WC_NO_BEST_FIT_CHARS for it; text then needs no conversion, only local
// text a check, as with a UTF-8 locale on Linux.
bool local_code_page_is_utf8() {
    return GetACP() == CP_UTF8;
}

}  // namespace

std::optional<std::string> local_from_utf8(std::string_view utf8) {
    if (local_code_page_is_utf8()) {
        return std::string(utf8);
    }
    auto wide = to_utf16(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (!wide) {
        return std::nullopt;
    }
    cut_unmappable_pairs(*wide);
    return from_utf16(CP_ACP, WC_NO_BEST_FIT_CHARS, *wide);
}

std::optional<std::string> utf8_from_local(std::string_view text) {
    if (local_code_page_is_utf8()) {
        return is_valid_utf8(text) ? std::optional<std::string>(text) : std::nullopt;
    }
    auto wide = to_utf16(CP_ACP, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, text);
    return wide ? from_utf16(CP_UTF8, 0, *wide) : std::nullopt;
}

}  // namespace corvane::detail

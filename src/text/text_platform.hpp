// What the text utilities need of the platform. Neutral code (code_page.cpp,
// string_utils.cpp) checks arguments, checks UTF-8 and delivers results; the
// platform halves (linux/, win32/) find the local code page, convert, and
// measure formatted text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::detail {

// The byte length of the well-formed UTF-8 sequence at the start of `text`,
// or 0 when it is not one (truncated, overlong, a surrogate, above U+10FFFF).
std::size_t utf8_sequence_length(std::string_view text);

bool is_valid_utf8(std::string_view text);

// Platform half. Converts well-formed UTF-8 to the local code page; a
// character without an exact counterpart becomes the code page's default
// character '?'. Empty when the local code page cannot be used.
std::optional<std::string> local_from_utf8(std::string_view utf8);

// Platform half. Converts local code-page text to UTF-8; empty when the text
// is not valid in the local code page or the code page cannot be used.
std::optional<std::string> utf8_from_local(std::string_view text);

// Platform half. The length vsnprintf would give `format` and `args` in the
// standard C behaviour (the full length, however long; negative when the
// text cannot be formed), read as in the "C" locale.
int formatted_length(const char* format, va_list args);

}  // namespace corvane::detail

// Conversion between UTF-8 and the local code page: the neutral half
// (code_page.cpp) checks UTF-8 and delivers results; the platform half
// (linux/code_page.cpp) finds the local code page and converts.
#pragma once

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

}  // namespace corvane::detail

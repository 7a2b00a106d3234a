// The text size-query protocol shared by every function that delivers text
// into a caller's buffer.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::detail {

// With a null buffer stores the needed size (text length + 1) and succeeds;
// with a buffer smaller than that fails and writes nothing, *size included;
// otherwise copies the text and a NUL and stores the needed size. The text
// must be shorter than 2^32 - 1 bytes.
inline bool deliver_text(std::string_view text, char* buffer, uint32_t* size) {
    const auto needed = static_cast<uint32_t>(text.size() + 1);
    if (buffer != nullptr) {
        if (*size < needed) {
            return false;
        }
        text.copy(buffer, text.size());  // an empty view may have no data at all
        buffer[text.size()] = '\0';
    }
    *size = needed;
    return true;
}

}  // namespace corvane::detail

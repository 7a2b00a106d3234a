// UTF-8 to and from the local code page: the failure text, the size-query
// protocol and the UTF-8 well-formedness check. Operating-system independent
// code only; the conversion itself is the platform half's.

#include "text/text_platform.hpp"

#include <cstdint>
#include <cstring>
#include <limits>

#include "common/size_query.hpp"
#include "corvane/text.h"

namespace corvane::detail {

std::size_t utf8_sequence_length(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    // The bounds of the second byte exclude overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4).
    std::size_t length = 0;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        second_low = lead == 0xE0 ? 0xA0 : 0x80;
        second_high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        second_low = lead == 0xF0 ? 0x90 : 0x80;
        second_high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < second_low || byte(1) > second_high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool is_valid_utf8(std::string_view text) {
    while (!text.empty()) {
        std::size_t length = utf8_sequence_length(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

}  // namespace corvane::detail

namespace {

using corvane::detail::deliver_text;
using corvane::detail::is_valid_utf8;

constexpr std::string_view conversion_failure_text = "Error Encode!";

std::string_view input_text(const char* text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

bool deliver(const std::optional<std::string>& converted, char* buffer, uint32_t* size) {
    std::string_view text = converted ? std::string_view(*converted) : conversion_failure_text;
    // A result whose needed size does not fit the 32-bit size cannot be
    // delivered; reporting a wrapped size would invite a buffer overrun.
    if (text.size() >= std::numeric_limits<uint32_t>::max()) {
        text = conversion_failure_text;
    }
    return deliver_text(text, buffer, size);
}

}  // namespace

extern "C" {

CORVANE_API bool os_utf8helper_oem_from_utf8(const char* text, char* buffer, uint32_t* size) {
    std::string_view utf8 = input_text(text);
    std::optional<std::string> local;
    if (is_valid_utf8(utf8)) {
        local = corvane::detail::local_from_utf8(utf8);
    }
    return deliver(local, buffer, size);
}

CORVANE_API bool os_utf8helper_oem_to_utf8(const char* text, char* buffer, uint32_t* size) {
    return deliver(corvane::detail::utf8_from_local(input_text(text)), buffer, size);
}

}  // extern "C"

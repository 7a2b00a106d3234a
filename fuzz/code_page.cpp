// The code-page conversions in both directions with every output size, under
// a UTF-8, an ASCII and an unknown locale (read as ASCII), switched between
// calls. Malformed UTF-8 gives the failure text everywhere. Under UTF-8 any
// other text comes back as it was; under ASCII each character beyond ASCII
// becomes '?' on the way out, and local bytes beyond ASCII fail on the way in.
#include <algorithm>

#include "corvane/text.h"
#include "fuzz_support.hpp"

namespace {

constexpr char failure_text[] = "Error Encode!";

std::string converted(bool (*convert)(const char*, char*, std::uint32_t*),
                      const std::string& text) {
    const auto result = fuzz::text_with_every_size(
        [&](char* buffer, std::uint32_t* size) { return convert(text.c_str(), buffer, size); });
    FUZZ_CHECK(result.has_value());
    return *result;
}

// Decoded code point by code point: shortest forms only, no surrogates,
// nothing above U+10FFFF.
bool well_formed(const std::string& text) {
    static constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                                                                  : lead < 0xF8 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        std::uint32_t point = n == 1 ? lead : lead & (0x7Fu >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if ((byte & 0xC0) != 0x80) return false;
            point = point << 6 | (byte & 0x3F);
        }
        if (point < least[n] || point > 0x10FFFF || (point >= 0xD800 && point < 0xE000)) {
            return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in{data, size};
    const std::string text = in.text().substr(0, 256);
    const bool valid = well_formed(text);
    const bool ascii = std::none_of(text.begin(), text.end(), [](char c) { return c & 0x80; });
    std::string question_marks;
    for (const char c : text) {
        if ((c & 0xC0) != 0x80) question_marks += c & 0x80 ? '?' : c;
    }
    for (const char* locale : {"C.UTF-8", "C", "xx_XX.NO-SUCH-SET", "C.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        const bool utf8 = std::strcmp(locale, "C.UTF-8") == 0;
        const std::string out = converted(os_utf8helper_oem_from_utf8, text);
        FUZZ_CHECK(out == (!valid ? failure_text : utf8 ? text : question_marks));
        const std::string back = converted(os_utf8helper_oem_to_utf8, text);
        FUZZ_CHECK(back == (utf8 ? (valid ? text : failure_text) : ascii ? text : failure_text));
    }
    return 0;
}

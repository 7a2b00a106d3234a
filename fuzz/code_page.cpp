// The code-page conversions in both directions, under a UTF-8, an ASCII and
// an unknown locale (read as ASCII), with every output size. ASCII text comes
// back as it was everywhere; under UTF-8 any text does, or the conversion
// reports its failure text.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const character_sets[] = {"C.UTF-8", "C", "xx_XX.NO-SUCH-SET"};
    fuzz::input in(data, size);
    const unsigned set = in.take<std::uint8_t>() % 3;
    setenv("LC_ALL", character_sets[set], 1);
    const std::string text = in.text().substr(0, 256);
    const std::string local = converted(os_utf8helper_oem_from_utf8, text);
    const std::string utf8 = converted(os_utf8helper_oem_to_utf8, text);
    if (set == 0) {
        FUZZ_CHECK(local == text || local == failure_text);
        FUZZ_CHECK(utf8 == text || utf8 == failure_text);
    }
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    FUZZ_CHECK(!ascii || (local == text && utf8 == text));
    return 0;
}

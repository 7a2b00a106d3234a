// The code-page conversions in both directions, under a UTF-8, an ASCII and
// an unknown locale (read as ASCII), with every output size: each buffer is a heap
// block of exactly that size, so a write past it is caught. Too small a
// buffer fails and leaves buffer and size alone; a large enough one gets the
// same text and its NUL. ASCII text comes back as it was everywhere; under
// UTF-8 any text does, or the conversion reports its failure text.
#include <algorithm>
#include <memory>

#include "corvane/text.h"
#include "fuzz_support.hpp"

namespace {

using conversion = bool (*)(const char*, char*, std::uint32_t*);

constexpr char failure_text[] = "Error Encode!";
constexpr char filler = '\xA5';

std::string convert_with_every_size(conversion convert, const std::string& text) {
    std::uint32_t needed = 0;
    FUZZ_CHECK(convert(text.c_str(), nullptr, &needed));
    FUZZ_CHECK(needed >= 1);
    std::string result;
    for (std::uint32_t size = 0; size <= needed + 1; ++size) {
        const auto buffer = std::make_unique<char[]>(size);
        std::memset(buffer.get(), filler, size);
        std::uint32_t given = size;
        const bool done = convert(text.c_str(), buffer.get(), &given);
        if (size < needed) {
            FUZZ_CHECK(!done && given == size);
            FUZZ_CHECK(std::string(buffer.get(), size) == std::string(size, filler));
            continue;
        }
        FUZZ_CHECK(done && given == needed);
        FUZZ_CHECK(std::strlen(buffer.get()) == needed - 1);
        result = size == needed ? std::string(buffer.get()) : result;
        FUZZ_CHECK(result == buffer.get());
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const character_sets[] = {"C.UTF-8", "C", "xx_XX.NO-SUCH-SET"};
    fuzz::input in(data, size);
    const unsigned set = in.take<std::uint8_t>() % 3;
    setenv("LC_ALL", character_sets[set], 1);
    const std::string text = in.text().substr(0, 256);
    const std::string local = convert_with_every_size(os_utf8helper_oem_from_utf8, text);
    const std::string utf8 = convert_with_every_size(os_utf8helper_oem_to_utf8, text);
    if (set == 0) {
        FUZZ_CHECK(local == text || local == failure_text);
        FUZZ_CHECK(utf8 == text || utf8 == failure_text);
    }
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
    FUZZ_CHECK(!ascii || (local == text && utf8 == text));
    return 0;
}

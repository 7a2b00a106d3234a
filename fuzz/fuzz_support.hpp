// Shared pieces of the fuzz targets: reading typed values off the input and
// a check that stops the run where a property fails, so that libFuzzer keeps
// the input and the replay driver names it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "corvane/value.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

// Bits of each type code's member, written out so that a wrong size in the
// library shows; 0 for the codes without one.
constexpr unsigned type_bits[16] = {0, 8, 8, 16, 16, 32, 32, 32, 32, 64, 64, 32, 64, 0, 8, 0};

// The bytes of a record's member as a number, nothing above them.
inline std::uint64_t member_bits(const variant_record& r) {
    const unsigned width = r.type < 16 ? type_bits[r.type] : 0;
    return width == 64 ? r.value.u64 : r.value.u64 & ((std::uint64_t{1} << width) - 1);
}

// Hands out the input front to back; once it runs dry every read gives zeros,
// so a target never has to test the length before it reads.
struct input {
    const std::uint8_t* data;
    std::size_t size;

    bool empty() const { return size == 0; }

    // Up to `limit` bytes, or the rest.
    std::string bytes(std::size_t limit = SIZE_MAX) {
        const std::size_t n = std::min(limit, size);
        std::string out(reinterpret_cast<const char*>(data), n);
        data += n;
        size -= n;
        return out;
    }

    template <typename T>
    T take() {
        std::string raw = bytes(sizeof(T));
        raw.resize(sizeof(T));
        T value;
        std::memcpy(&value, raw.data(), sizeof value);
        return value;
    }

    // Text up to the next NUL (consumed) or the end.
    std::string text() {
        const void* end = std::memchr(data, 0, size);
        std::string out = bytes(end ? static_cast<const std::uint8_t*>(end) - data : size);
        bytes(1);
        return out;
    }
};

// A unit of `bytes` in caller storage: the length, then the bytes.
inline std::string unit_block(const std::string& bytes) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    return std::string(reinterpret_cast<const char*>(&length), sizeof length) + bytes;
}

inline const bstrunit* as_unit(const std::string& block) {
    return reinterpret_cast<const bstrunit*>(block.data());
}

// A string record owning a library unit of exactly `bytes` (NULs and all), so
// that a read past its end leaves the heap block.
inline variant_record string_record(const std::string& bytes) {
    variant_record record{};
    variant_set_bstrunit(&record, as_unit(unit_block(bytes)));
    return record;
}

// Asks for a text by the size-query protocol: a null buffer first, then every
// buffer size up to one past the need, each a heap block of exactly that
// size, so a write past it is caught. Too small a buffer fails and leaves
// buffer and size alone; a large enough one gets the same text and its NUL.
// None when the size query itself fails.
template <typename Query>
std::optional<std::string> text_with_every_size(Query query) {
    constexpr char filler = '\xA5';
    std::uint32_t needed = 0;
    if (!query(nullptr, &needed)) {
        return std::nullopt;
    }
    FUZZ_CHECK(needed >= 1);
    std::string text;
    for (std::uint32_t size = 0; size <= needed + 1; ++size) {
        const auto buffer = std::make_unique<char[]>(size);
        std::memset(buffer.get(), filler, size);
        std::uint32_t given = size;
        const bool done = query(buffer.get(), &given);
        if (size < needed) {
            FUZZ_CHECK(!done && given == size &&
                       std::string(buffer.get(), size) == std::string(size, filler));
            continue;
        }
        FUZZ_CHECK(done && given == needed && std::strlen(buffer.get()) == needed - 1);
        text = size == needed ? std::string(buffer.get()) : text;
        FUZZ_CHECK(text == buffer.get());
    }
    return text;
}

}  // namespace fuzz

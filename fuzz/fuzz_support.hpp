// Shared pieces of the fuzz targets: reading typed values off the input and
// a check that stops the run where a property fails, so that libFuzzer keeps
// the input and the replay driver names it.
#pragma once

#include <cstddef>
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

// Hands out the input front to back; once it runs dry every read gives zeros,
// so a target never has to test the length before it reads.
class input {
public:
    input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    template <typename T>
    T take() {
        unsigned char raw[sizeof(T)] = {};
        const std::size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
        std::memcpy(raw, data_, n);
        data_ += n;
        size_ -= n;
        T value;
        std::memcpy(&value, raw, sizeof raw);
        return value;
    }

    // Up to `limit` bytes, or the rest.
    std::string bytes(std::size_t limit = SIZE_MAX) {
        const std::size_t n = limit < size_ ? limit : size_;
        std::string out(reinterpret_cast<const char*>(data_), n);
        data_ += n;
        size_ -= n;
        return out;
    }

    // Text up to the next NUL (consumed) or the end.
    std::string text() {
        const void* end = std::memchr(data_, 0, size_);
        const std::size_t n = end ? static_cast<const std::uint8_t*>(end) - data_ : size_;
        std::string out = bytes(n);
        bytes(1);
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A unit of `bytes` in caller storage: the length, then the bytes.
inline std::string unit_block(const std::string& bytes) {
    std::string block(sizeof(bstrunit) + bytes.size(), '\0');
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(block.data(), &length, sizeof length);
    std::memcpy(block.data() + sizeof(bstrunit), bytes.data(), bytes.size());
    return block;
}

inline const bstrunit* as_unit(const std::string& block) {
    return reinterpret_cast<const bstrunit*>(block.data());
}

inline std::string unit_bytes(const bstrunit* unit) {
    return std::string(reinterpret_cast<const char*>(unit->bytes), unit->length);
}

// A unit made by the library, holding exactly `bytes` (NULs and all), so that
// the library may release it and a read past its end leaves the heap block.
inline bstrunit* library_unit(const std::string& bytes) {
    bstr_handle* handle = bstr_create();
    bstr_set_bstrunit(handle, as_unit(unit_block(bytes)));
    bstrunit* unit = bstr_detach_bstrunit(handle);
    bstr_destroy(&handle);
    return unit;
}

// Gives a unit the caller received back to the library.
inline void release_unit(bstrunit* unit) {
    bstr_handle* handle = bstr_create();
    bstr_attach_bstrunit(handle, unit);
    bstr_destroy(&handle);
}

// A string record owning a library unit of `bytes`.
inline variant_record string_record(const std::string& bytes) {
    variant_record record{};
    record.type = VARIANT_TYPE_STRING;
    record.value.unit = library_unit(bytes);
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

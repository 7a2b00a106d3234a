// Making, copying and releasing bstrunits. Every unit the library hands out
// comes from here, so that one allocator makes and releases all of them. The
// small ones are inline: conversions make and release a unit per call.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "corvane/value.h"

namespace corvane::detail {

// A new unit of `length` bytes whose bytes the caller fills in. Throws
// std::bad_alloc when memory runs out.
inline bstrunit* allocate_unit(uint32_t length) {
    auto* unit = static_cast<bstrunit*>(::operator new(sizeof(bstrunit) + size_t{length}));
    unit->length = length;
    return unit;
}

// A new unit of `length` bytes copied from `bytes` (which may be null only
// when length is 0). Throws std::bad_alloc when memory runs out.
inline bstrunit* make_unit(const void* bytes, uint32_t length) {
    bstrunit* unit = allocate_unit(length);
    if (length > 0) {
        std::memcpy(unit->bytes, bytes, length);
    }
    return unit;
}

// A new unit holding `text` and its terminating NUL (length = strlen + 1).
bstrunit* make_unit_from_text(const char* text);

// Every operation reads a unit's length as a signed 32-bit number. A unit
// whose length reads as negative claims more bytes than any unit holds: it
// comes from outside the library, its bytes are never read, and an operation
// that would copy or read them refuses it instead.
inline bool has_negative_length(const bstrunit* unit) noexcept {
    return unit != nullptr && unit->length > uint32_t{INT32_MAX};
}

// Up to this size, length included, a copied unit gets a block of this size
// written by one store (see duplicate_unit).
inline constexpr std::size_t small_unit_block = 16;

// The copy of a unit of `size` bytes (4 to small_unit_block) in a block of
// small_unit_block bytes, zero past the unit. The bytes are gathered by
// overlapping loads and written by one 16-byte store: a conversion that
// follows at once reads the length, then the eight bytes that end the text,
// and a load gets the data of a store not yet in the cache only when one
// store holds all of it. memcpy writes such sizes with two overlapping
// stores, and one of the two loads then waits for both to reach the cache.
inline bstrunit* copy_small_unit(const bstrunit* unit, std::size_t size) {
    static_assert(std::endian::native == std::endian::little);
    using word_pair = uint64_t __attribute__((vector_size(16)));
    const auto* bytes = reinterpret_cast<const unsigned char*>(unit);
    uint64_t low = 0;
    uint64_t high = 0;
    if (size >= 8) {
        uint64_t tail = 0;
        std::memcpy(&low, bytes, 8);
        std::memcpy(&tail, bytes + size - 8, 8);
        // Bytes 8 to size - 1 are the last ones of the tail.
        high = size == 8 ? 0 : tail >> (8 * (16 - size));
    } else {
        uint32_t head = 0;
        uint32_t tail = 0;
        std::memcpy(&head, bytes, 4);
        std::memcpy(&tail, bytes + size - 4, 4);
        low = uint64_t{head} | uint64_t{tail} << (8 * (size - 4));
    }
    const word_pair block = {low, high};
    return static_cast<bstrunit*>(std::memcpy(::operator new(small_unit_block), &block, sizeof block));
}

// A copy of `unit` with the same length and bytes; null for null.
inline bstrunit* duplicate_unit(const bstrunit* unit) {
    if (unit == nullptr) {
        return nullptr;
    }
    const std::size_t size = sizeof(bstrunit) + std::size_t{unit->length};
    if (size <= small_unit_block) {
        return copy_small_unit(unit, size);
    }
    return static_cast<bstrunit*>(std::memcpy(::operator new(size), unit, size));
}

// Releases a unit made by this library; null is allowed.
inline void release_unit(bstrunit* unit) noexcept {
    ::operator delete(unit);
}

// True when both units have the same length and bytes (neither may be null).
bool units_equal(const bstrunit& a, const bstrunit& b) noexcept;

}  // namespace corvane::detail

// Making, copying and releasing bstrunits. Every unit the library hands out
// comes from here, so that one allocator makes and releases all of them. The
// small ones are inline: conversions make and release a unit per call.
#pragma once

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

// A copy of `unit` with the same length and bytes; null for null.
inline bstrunit* duplicate_unit(const bstrunit* unit) {
    if (unit == nullptr) {
        return nullptr;
    }
    // One copy of the whole block, length included.
    const std::size_t size = sizeof(bstrunit) + std::size_t{unit->length};
    return static_cast<bstrunit*>(std::memcpy(::operator new(size), unit, size));
}

// Releases a unit made by this library; null is allowed.
inline void release_unit(bstrunit* unit) noexcept {
    ::operator delete(unit);
}

// True when both units have the same length and bytes (neither may be null).
bool units_equal(const bstrunit& a, const bstrunit& b) noexcept;

}  // namespace corvane::detail

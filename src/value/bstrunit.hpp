// Making, copying and releasing bstrunits. Every unit the library hands out
// comes from here, so that one allocator makes and releases all of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "corvane/value.h"

namespace corvane::detail {

// A new unit of `length` bytes copied from `bytes` (which may be null only
// when length is 0). Throws std::bad_alloc when memory runs out.
bstrunit* make_unit(const void* bytes, uint32_t length);

// A new unit holding `text` and its terminating NUL (length = strlen + 1).
bstrunit* make_unit_from_text(const char* text);

// A copy of `unit` with the same length and bytes; null for null.
bstrunit* duplicate_unit(const bstrunit* unit);

// Releases a unit made by this library; null is allowed.
void release_unit(bstrunit* unit) noexcept;

// True when both units have the same length and bytes (neither may be null).
bool units_equal(const bstrunit& a, const bstrunit& b) noexcept;

}  // namespace corvane::detail

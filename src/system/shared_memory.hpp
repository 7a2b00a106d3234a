// Shared memory: the platform primitive for unnamed blocks. Named blocks
// stand on the named-object layer (common/linux/named_object.hpp).
#pragma once

#include <cstddef>

namespace corvane::detail {

// Maps `size` zeroed bytes that are shared with child processes but have no
// name; null on failure.
void* map_unnamed_block(size_t size);
void unmap_unnamed_block(void* view, size_t size);

}  // namespace corvane::detail

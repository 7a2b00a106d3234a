// Unnamed shared-memory blocks on POSIX systems.

#include <sys/mman.h>

#include "system/shared_memory.hpp"

namespace corvane::detail {

void* map_unnamed_block(size_t size) {
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void unmap_unnamed_block(void* view, size_t size) { munmap(view, size); }

}  // namespace corvane::detail

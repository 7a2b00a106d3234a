// Shared-memory blocks: argument rules, the zeroing rule and handle lifetime.
// Only operating-system independent code belongs here; the blocks come from
// <platform>/shared_memory.cpp.

#include "system/shared_memory.hpp"

#include <cstring>

#include "corvane/system.h"

struct os_sharememory_handle {
    std::unique_ptr<corvane::detail::shared_block> block;
};

namespace {

// An empty name, like a null one, makes a block without a name, as on
// Windows.
bool is_unnamed(const char* name) { return name == nullptr || *name == '\0'; }

}  // namespace

extern "C" {

CORVANE_API os_sharememory_handle* os_sharememory_create(const char* name, uint32_t size) {
    if (size == 0) {
        return nullptr;
    }
    bool created = false;
    auto block = corvane::detail::create_block(is_unnamed(name) ? nullptr : name, size, &created);
    if (!block) {
        return nullptr;
    }
    // A block made just now is zero already; an existing one is cleared, as
    // every create hands out zeroed memory.
    if (!created) {
        std::memset(block->view(), 0, size);
    }
    return new os_sharememory_handle{std::move(block)};
}

CORVANE_API os_sharememory_handle* os_sharememory_open(const char* name) {
    if (is_unnamed(name)) {
        return nullptr;
    }
    auto block = corvane::detail::open_block(name);
    if (!block) {
        return nullptr;
    }
    return new os_sharememory_handle{std::move(block)};
}

CORVANE_API void* os_sharememory_get_buffer(os_sharememory_handle* handle) {
    return handle != nullptr && handle->block ? handle->block->view() : nullptr;
}

CORVANE_API void os_sharememory_close(os_sharememory_handle* handle) {
    if (handle != nullptr) {
        handle->block.reset();
    }
}

CORVANE_API void os_sharememory_destroy(os_sharememory_handle** handle) {
    delete *handle;
    *handle = nullptr;
}

}  // extern "C"

// Shared-memory blocks: argument rules and handle lifetime. Only operating-
// system independent code belongs here; named blocks are named objects and
// unnamed ones come from <platform>/shared_memory.cpp.

#include "system/shared_memory.hpp"

#include <cstring>
#include <memory>

#include "common/linux/named_object.hpp"
#include "corvane/system.h"

using corvane::detail::named_kind;
using corvane::detail::named_object;

struct os_sharememory_handle {
    std::unique_ptr<named_object> named;
    void* unnamed = nullptr;
    size_t unnamed_size = 0;
    void* view = nullptr;
};

namespace {

void release_block(os_sharememory_handle* handle) {
    handle->view = nullptr;
    handle->named.reset();
    if (handle->unnamed != nullptr) {
        corvane::detail::unmap_unnamed_block(handle->unnamed, handle->unnamed_size);
        handle->unnamed = nullptr;
    }
}

// An empty name, like a null one, makes a block without a name, as on
// Windows.
bool is_unnamed(const char* name) { return name == nullptr || *name == '\0'; }

}  // namespace

extern "C" {

CORVANE_API os_sharememory_handle* os_sharememory_create(const char* name, uint32_t size) {
    if (size == 0) {
        return nullptr;
    }
    auto handle = std::make_unique<os_sharememory_handle>();
    if (is_unnamed(name)) {
        handle->unnamed = corvane::detail::map_unnamed_block(size);
        if (handle->unnamed == nullptr) {
            return nullptr;
        }
        handle->unnamed_size = size;
        handle->view = handle->unnamed;
        return handle.release();
    }
    bool created = false;
    handle->named = named_object::create(named_kind::shared_memory, name, size, nullptr, &created);
    if (!handle->named) {
        return nullptr;
    }
    handle->view = handle->named->payload();
    // A block made just now is zero already; an existing one is cleared, as
    // every create hands out zeroed memory.
    if (!created) {
        std::memset(handle->view, 0, size);
    }
    return handle.release();
}

CORVANE_API os_sharememory_handle* os_sharememory_open(const char* name) {
    if (is_unnamed(name)) {
        return nullptr;
    }
    auto handle = std::make_unique<os_sharememory_handle>();
    handle->named = named_object::open(named_kind::shared_memory, name);
    if (!handle->named) {
        return nullptr;
    }
    handle->view = handle->named->payload();
    return handle.release();
}

CORVANE_API void* os_sharememory_get_buffer(os_sharememory_handle* handle) {
    return handle != nullptr ? handle->view : nullptr;
}

CORVANE_API void os_sharememory_close(os_sharememory_handle* handle) {
    if (handle != nullptr) {
        release_block(handle);
    }
}

CORVANE_API void os_sharememory_destroy(os_sharememory_handle** handle) {
    if (*handle == nullptr) {
        return;
    }
    release_block(*handle);
    delete *handle;
    *handle = nullptr;
}

}  // extern "C"

// Recursive mutexes, process-local or named, and the named mutex that the
// reader/writer family shares.

#include "common/last_error.hpp"
#include "common/log.hpp"
#include "sync/sync_internal.hpp"

struct os_recursive_mutex_handle {
    // Null when the handle is unusable (name too long, creation failed).
    corvane::detail::platform_ptr<corvane::detail::recursive_lock> lock;
};

namespace corvane::detail {

platform_ptr<recursive_lock> open_named_mutex(const char* name) {
    last_error_keeper keep_last_error;
    bool created = false;
    platform_ptr<recursive_lock> lock = open_named_recursive_lock(name, created);
    if (lock && !created) {
        log_line("Mutex[%s] already exist,just open it.\n", name);
    }
    return lock;
}

}  // namespace corvane::detail

using namespace corvane::detail;

extern "C" {

CORVANE_API os_recursive_mutex_handle* os_recursive_mutex_create(const char* name) {
    auto* handle = new os_recursive_mutex_handle;
    handle->lock = name == nullptr ? make_recursive_lock() : open_named_mutex(name);
    return handle;
}

CORVANE_API void os_recursive_mutex_destroy(os_recursive_mutex_handle** mutex) {
    delete *mutex;
    *mutex = nullptr;
}

CORVANE_API void os_recursive_mutex_lock(os_recursive_mutex_handle* mutex) {
    if (mutex != nullptr && mutex->lock) {
        lock(*mutex->lock);
    }
}

CORVANE_API void os_recursive_mutex_unlock(os_recursive_mutex_handle* mutex) {
    if (mutex != nullptr && mutex->lock) {
        unlock(*mutex->lock);
    }
}

}  // extern "C"

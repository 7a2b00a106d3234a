// Recursive mutexes, process-local or named, and the named mutex that the
// reader/writer family shares.

#include "common/log.hpp"
#include "sync/sync_internal.hpp"

struct os_recursive_mutex_handle {
    // Empty when the handle is unusable (name too long, creation failed).
    std::optional<corvane::detail::recursive_lock> lock;
};

namespace corvane::detail {

void open_named_mutex(const char* name, std::optional<recursive_lock>& lock) {
    last_error_keeper keep_errno;
    bool created = false;
    auto storage = recursive_lock::named_storage(name, &created);
    if (!storage) {
        return;
    }
    lock.emplace(std::move(storage));
    if (!created) {
        log_line("Mutex[%s] already exist,just open it.\n", name);
    }
}

}  // namespace corvane::detail

using namespace corvane::detail;

extern "C" {

CORVANE_API os_recursive_mutex_handle* os_recursive_mutex_create(const char* name) {
    auto* handle = new os_recursive_mutex_handle;
    if (name == nullptr) {
        handle->lock.emplace();
    } else {
        open_named_mutex(name, handle->lock);
    }
    return handle;
}

CORVANE_API void os_recursive_mutex_destroy(os_recursive_mutex_handle** mutex) {
    delete *mutex;
    *mutex = nullptr;
}

CORVANE_API void os_recursive_mutex_lock(os_recursive_mutex_handle* mutex) {
    if (mutex != nullptr && mutex->lock) {
        mutex->lock->lock();
    }
}

CORVANE_API void os_recursive_mutex_unlock(os_recursive_mutex_handle* mutex) {
    if (mutex != nullptr && mutex->lock) {
        mutex->lock->unlock();
    }
}

}  // extern "C"

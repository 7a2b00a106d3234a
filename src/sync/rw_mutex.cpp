// Reader/writer mutexes: a process-local reader/writer lock, or one
// exclusive named mutex that readers and writers alike take.

#include "sync/sync_internal.hpp"

struct os_rw_mutex_handle {
    // Exactly one is set, or neither when the handle is unusable.
    corvane::detail::platform_ptr<corvane::detail::rw_lock> local;
    corvane::detail::platform_ptr<corvane::detail::recursive_lock> named;
};

using namespace corvane::detail;

namespace {

// Runs the operation of whichever variant the handle holds; an unusable
// handle holds neither.
template <void (*local_operation)(rw_lock&), void (*named_operation)(recursive_lock&)>
void apply(os_rw_mutex_handle* mutex) {
    if (mutex == nullptr) {
        return;
    }
    if (mutex->local) {
        local_operation(*mutex->local);
    } else if (mutex->named) {
        named_operation(*mutex->named);
    }
}

}  // namespace

extern "C" {

CORVANE_API os_rw_mutex_handle* os_rw_mutex_create(const char* name) {
    auto* handle = new os_rw_mutex_handle;
    if (name == nullptr) {
        handle->local = make_rw_lock();
    } else {
        handle->named = open_named_mutex(name);
    }
    return handle;
}

CORVANE_API void os_rw_mutex_destroy(os_rw_mutex_handle** mutex) {
    delete *mutex;
    *mutex = nullptr;
}

CORVANE_API void os_rw_mutex_lock_rd(os_rw_mutex_handle* mutex) {
    apply<lock_shared, lock>(mutex);
}

CORVANE_API void os_rw_mutex_lock_wr(os_rw_mutex_handle* mutex) {
    apply<lock_exclusive, lock>(mutex);
}

CORVANE_API void os_rw_mutex_unlock(os_rw_mutex_handle* mutex) {
    apply<unlock, unlock>(mutex);
}

}  // extern "C"

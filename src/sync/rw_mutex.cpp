// Reader/writer mutexes: a process-local reader/writer lock, or one
// exclusive named mutex that readers and writers alike take.

#include "sync/sync_internal.hpp"

struct os_rw_mutex_handle {
    // Exactly one is set, or neither when the handle is unusable.
    std::optional<corvane::detail::rw_lock> local;
    std::optional<corvane::detail::recursive_lock> named;
};

using namespace corvane::detail;

namespace {

// Runs the operation of whichever variant the handle holds; an unusable
// handle holds neither. The operations are template arguments so that they
// inline into the exported functions.
template <void (rw_lock::*local_operation)(), void (recursive_lock::*named_operation)()>
void apply(os_rw_mutex_handle* mutex) {
    if (mutex == nullptr) {
        return;
    }
    if (mutex->local) {
        (*mutex->local.*local_operation)();
    } else if (mutex->named) {
        (*mutex->named.*named_operation)();
    }
}

}  // namespace

extern "C" {

CORVANE_API os_rw_mutex_handle* os_rw_mutex_create(const char* name) {
    auto* handle = new os_rw_mutex_handle;
    if (name == nullptr) {
        handle->local.emplace();
    } else {
        open_named_mutex(name, handle->named);
    }
    return handle;
}

CORVANE_API void os_rw_mutex_destroy(os_rw_mutex_handle** mutex) {
    delete *mutex;
    *mutex = nullptr;
}

CORVANE_API void os_rw_mutex_lock_rd(os_rw_mutex_handle* mutex) {
    apply<&rw_lock::lock_shared, &recursive_lock::lock>(mutex);
}

CORVANE_API void os_rw_mutex_lock_wr(os_rw_mutex_handle* mutex) {
    apply<&rw_lock::lock_exclusive, &recursive_lock::lock>(mutex);
}

CORVANE_API void os_rw_mutex_unlock(os_rw_mutex_handle* mutex) {
    apply<&rw_lock::unlock, &recursive_lock::unlock>(mutex);
}

}  // extern "C"

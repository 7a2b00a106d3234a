// Events and semaphores. Both families hand out the same handle, a waitable,
// so the event waits and the semaphore waits are one operation.

#include "common/log.hpp"
#include "sync/sync_internal.hpp"

struct os_waitable_handle {
    // Empty when the handle is unusable (name too long, bad count, creation
    // failed): waits fail at once, signalling does nothing.
    corvane::detail::platform_ptr<corvane::detail::waitable> object;
};

using namespace corvane::detail;

namespace {

os_waitable_handle* create_waitable(waitable_mode mode, uint32_t initial, uint32_t maximum,
                                    const char* name) {
    auto* handle = new os_waitable_handle;
    handle->object = name == nullptr ? make_waitable(mode, initial, maximum)
                                     : open_named_waitable(name, mode, initial, maximum);
    return handle;
}

void destroy_waitable(os_waitable_handle** handle) {
    delete *handle;
    *handle = nullptr;
}

bool usable(const os_waitable_handle* handle) {
    return handle != nullptr && handle->object != nullptr;
}

bool wait_without_limit(os_waitable_handle* handle) {
    return usable(handle) && wait(*handle->object, nullptr);
}

bool wait_until(os_waitable_handle* handle, const time_record& deadline) {
    if (!usable(handle)) {
        return false;
    }
    const std::optional<time_record> end = wait_end_for(deadline);
    return wait(*handle->object, end ? &*end : nullptr);
}

void release(os_waitable_handle* handle) {
    if (usable(handle)) {
        release(*handle->object);
    }
}

}  // namespace

extern "C" {

CORVANE_API os_event_handle* os_event_create(bool manual_reset, bool initial_state,
                                             const char* name) {
    return create_waitable(
        manual_reset ? waitable_mode::manual_reset_event : waitable_mode::auto_reset_event,
        initial_state ? 1 : 0, 1, name);
}

CORVANE_API void os_event_destroy(os_event_handle** event) {
    destroy_waitable(event);
}

CORVANE_API void os_event_set_event(os_event_handle* event) {
    release(event);
}

CORVANE_API void os_event_reset_event(os_event_handle* event) {
    if (usable(event)) {
        reset(*event->object);
    }
}

CORVANE_API bool os_event_wait(os_event_handle* event) {
    return wait_without_limit(event);
}

CORVANE_API bool os_event_wait_timeout(os_event_handle* event, time_record deadline) {
    return wait_until(event, deadline);
}

CORVANE_API os_semaphore_handle* os_semaphore_create(int32_t count, const char* name) {
    if (count < 1) {
        return new os_waitable_handle;
    }
    const auto units = static_cast<uint32_t>(count);
    return create_waitable(waitable_mode::semaphore, units, units, name);
}

CORVANE_API void os_semaphore_destroy(os_semaphore_handle** semaphore) {
    destroy_waitable(semaphore);
}

CORVANE_API void os_semaphore_release(os_semaphore_handle* semaphore) {
    release(semaphore);
}

CORVANE_API bool os_semaphore_wait(os_semaphore_handle* semaphore) {
    return wait_without_limit(semaphore);
}

CORVANE_API bool os_semaphore_wait_timeout(os_semaphore_handle* semaphore, time_record deadline) {
    return wait_until(semaphore, deadline);
}

CORVANE_API bool os_semaphore_set_undo_track(os_semaphore_handle* semaphore, bool undo) {
    if (semaphore == nullptr) {
        return false;
    }
    if (!undo) {
        log_line("Windows system will track the semaphore, so you can not set undo-track to false.");
    }
    return undo;
}

}  // extern "C"

// Events and semaphores as kernel objects, for Windows. Named ones share the
// kernel's single name space with mutexes and file mappings.

#include "sync/sync_platform.hpp"
#include "sync/win32/win32_sync.hpp"

namespace corvane::detail {

struct waitable {
    HANDLE handle;
    waitable_mode mode;
};

namespace {

platform_ptr<waitable> create(waitable_mode mode, uint32_t initial, uint32_t maximum,
                              const char* system_name) {
    HANDLE handle = nullptr;
    if (mode == waitable_mode::semaphore) {
        handle = CreateSemaphoreA(nullptr, static_cast<LONG>(initial), static_cast<LONG>(maximum),
                                  system_name);
    } else {
        handle = CreateEventA(nullptr, mode == waitable_mode::manual_reset_event, initial != 0,
                              system_name);
    }
    if (handle == nullptr) {
        return nullptr;
    }
    return platform_ptr<waitable>(new waitable{handle, mode});
}

}  // namespace

platform_ptr<waitable> make_waitable(waitable_mode mode, uint32_t initial, uint32_t maximum) {
    return create(mode, initial, maximum, nullptr);
}

// An existing object of another kind with the name fails the create
// (ERROR_INVALID_HANDLE), leaving the handle unusable.
platform_ptr<waitable> open_named_waitable(const char* name, waitable_mode mode, uint32_t initial,
                                           uint32_t maximum) {
    const std::optional<std::string> system_name = kernel_object_name(name);
    if (!system_name) {
        return nullptr;
    }
    return create(mode, initial, maximum, system_name->c_str());
}

void platform_deleter::operator()(waitable* object) const {
    CloseHandle(object->handle);
    delete object;
}

void release(waitable& object) {
    if (object.mode == waitable_mode::semaphore) {
        ReleaseSemaphore(object.handle, 1, nullptr);
    } else {
        SetEvent(object.handle);
    }
}

void reset(waitable& object) {
    if (object.mode != waitable_mode::semaphore) {
        ResetEvent(object.handle);
    }
}

bool wait(waitable& object, const time_record* end) {
    for (;;) {
        const wait_slice slice = next_wait_slice(end);
        const DWORD result = WaitForSingleObject(object.handle, slice.milliseconds);
        if (result != WAIT_TIMEOUT || slice.last) {
            return result == WAIT_OBJECT_0;
        }
    }
}

}  // namespace corvane::detail

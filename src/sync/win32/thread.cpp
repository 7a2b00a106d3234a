// Threads, processor affinity and the timer resolution for Windows.

#include "sync/sync_platform.hpp"
#include "sync/win32/win32_sync.hpp"

// After <windows.h>, which it needs.
#include <mmsystem.h>

namespace corvane::detail {

namespace {

static_assert(sizeof(HANDLE) <= sizeof(os_thread_handle), "a thread handle fits");

DWORD WINAPI thread_entry(void* record) {
    run_thread_start(record);
    return 0;
}

HANDLE thread_of(os_thread_handle thread) {
    return reinterpret_cast<HANDLE>(thread);
}

DWORD_PTR only_processor(int cpu) {
    return DWORD_PTR{1} << cpu;
}

}  // namespace

// The size is committed at once (no STACK_SIZE_PARAM_IS_A_RESERVATION), so
// a size the system cannot give fails here instead of later.
bool start_thread(os_thread_handle* thread, void* record, size_t stack_size) {
    HANDLE started = CreateThread(nullptr, stack_size, thread_entry, record, 0, nullptr);
    if (started == nullptr) {
        return false;
    }
    *thread = reinterpret_cast<os_thread_handle>(started);
    return true;
}

// A joined thread is released, as on Linux: its handle is closed.
int32_t join_thread(os_thread_handle thread) {
    if (WaitForSingleObject(thread_of(thread), INFINITE) != WAIT_OBJECT_0) {
        return static_cast<int32_t>(GetLastError());
    }
    CloseHandle(thread_of(thread));
    return 0;
}

bool bind_process_to_processor(int cpu) {
    return SetProcessAffinityMask(GetCurrentProcess(), only_processor(cpu)) != 0;
}

bool bind_thread_to_processor(os_thread_handle thread, int cpu) {
    return SetThreadAffinityMask(thread_of(thread), only_processor(cpu)) != 0;
}

void raise_timer_resolution() {
    timeBeginPeriod(1);
}

int32_t restore_timer_resolution() {
    return static_cast<int32_t>(timeEndPeriod(1));
}

}  // namespace corvane::detail

// Threads, affinity, sleeping and the timer-resolution pair.

#include "sync/sync_internal.hpp"

using namespace corvane::detail;

namespace {

struct thread_start {
    os_thread_routine start;
    void* arg;
};

// One bit of a 64-bit processor mask: indices beyond it are refused here
// rather than shifted out of range.
bool valid_processor_index(int32_t cpu) {
    return cpu >= 0 && cpu < 64;
}

}  // namespace

namespace corvane::detail {

// The record is freed before the routine runs, so a routine that ends its
// thread early (pthread_exit, cancellation) does not leak it.
void run_thread_start(void* record) {
    const thread_start start = *static_cast<thread_start*>(record);
    delete static_cast<thread_start*>(record);
    if (start.start != nullptr) {
        start.start(start.arg);
    }
}

}  // namespace corvane::detail

extern "C" {

CORVANE_API void os_thread_create(os_thread_handle* thread, os_thread_routine start, void* arg,
                                  size_t stack_size) {
    if (thread == nullptr) {
        return;
    }
    auto* record = new thread_start{start, arg};
    if (!start_thread(thread, record, stack_size)) {
        delete record;
        *thread = 0;
    }
}

CORVANE_API int32_t os_thread_join(os_thread_handle thread) {
    return join_thread(thread);
}

CORVANE_API bool os_thread_sched_set_affinity(int32_t cpu) {
    return valid_processor_index(cpu) && bind_process_to_processor(cpu);
}

CORVANE_API bool os_thread_sched_set_thread_affinity(os_thread_handle thread, int32_t cpu) {
    return thread != 0 && valid_processor_index(cpu) && bind_thread_to_processor(thread, cpu);
}

CORVANE_API bool os_thread_init_rt_schedule(void) {
    raise_timer_resolution();
    return true;
}

CORVANE_API int32_t os_thread_exit_rt_schedule(void) {
    return restore_timer_resolution();
}

CORVANE_API void os_thread_sleep_milliseconds(uint32_t ms) {
    sleep_milliseconds(ms);
}

CORVANE_API bool os_thread_install_latency(int32_t* latency) {
    // Nothing is asked of the system, so a null pointer has nothing to
    // receive and is simply not written.
    if (latency != nullptr) {
        *latency = -1;
    }
    return true;
}

CORVANE_API void os_thread_uninstall_latency(void) {}

}  // extern "C"

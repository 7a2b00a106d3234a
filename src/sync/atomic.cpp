// Atomic operations on caller-owned integers. Each is one sequentially
// consistent read-modify-write, so callers may mix them freely across threads.

#include "corvane/sync.h"

namespace {

template <typename T>
T compare_and_swap(volatile T* target, T expected, T desired) {
    // On failure the builtin writes the current value into `expected`, so it
    // holds the previous value in both cases.
    __atomic_compare_exchange_n(target, &expected, desired, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}

}  // namespace

extern "C" {

CORVANE_API int32_t os_thread_sync_compare_and_swap(volatile int32_t* target, int32_t expected,
                                                    int32_t desired) {
    return compare_and_swap(target, expected, desired);
}

CORVANE_API int64_t os_thread_sync_compare_and_swap_64(volatile int64_t* target, int64_t expected,
                                                       int64_t desired) {
    return compare_and_swap(target, expected, desired);
}

// The builtins below wrap modulo 2^32, as the interface promises.
CORVANE_API int32_t os_thread_sync_fetch_add(volatile int32_t* target) {
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}

CORVANE_API int32_t os_thread_sync_fetch_sub(volatile int32_t* target) {
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}

}  // extern "C"

// Atomic operations on caller-owned integers. Each is one sequentially
// consistent read-modify-write, so callers may mix them freely across threads.

#include <atomic>

#include "corvane/sync.h"

namespace {

// The interface takes volatile pointers; the integers themselves are plain
// caller-owned objects, which std::atomic_ref operates on.
template <typename T>
std::atomic_ref<T> atomic_at(volatile T* target) {
    return std::atomic_ref<T>(*const_cast<T*>(target));
}

template <typename T>
T compare_and_swap(volatile T* target, T expected, T desired) {
    // On failure the exchange writes the current value into `expected`, so
    // it holds the previous value in both cases.
    atomic_at(target).compare_exchange_strong(expected, desired);
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

// Atomic arithmetic on signed integers wraps modulo 2^32, as the interface
// promises; the new value each returns is worked out in unsigned arithmetic,
// where the same wrap is defined.
CORVANE_API int32_t os_thread_sync_fetch_add(volatile int32_t* target) {
    return static_cast<int32_t>(static_cast<uint32_t>(atomic_at(target).fetch_add(1)) + 1u);
}

CORVANE_API int32_t os_thread_sync_fetch_sub(volatile int32_t* target) {
    return static_cast<int32_t>(static_cast<uint32_t>(atomic_at(target).fetch_sub(1)) - 1u);
}

}  // extern "C"

/*
 * Corvane time, synchronisation and threads: the monotonic clock and time
 * records, mutexes, events, conditions, semaphores, threads and atomics.
 */
#ifndef CORVANE_SYNC_H
#define CORVANE_SYNC_H

#include "corvane/base.h"

/* A reading of the monotonic clock, or an absolute deadline on it. Normalised
 * when 0 <= nanoseconds < 1,000,000,000. */
typedef struct tagTIMERECORD {
    int64_t seconds;
    int32_t nanoseconds;
} time_record;

#ifdef __cplusplus
static_assert(sizeof(time_record) == 16, "time record is 16 bytes");
static_assert(offsetof(time_record, seconds) == 0, "seconds at offset 0");
static_assert(offsetof(time_record, nanoseconds) == 8, "nanoseconds at offset 8");
#endif

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* Atomic operations                                                         */
/* ------------------------------------------------------------------------ */
/* Each is one indivisible read-modify-write with a full memory barrier
 * (sequentially consistent). Arithmetic wraps modulo 2^32. Targets are not
 * tested for null. */

/* Stores `desired` when *target equals `expected`; returns the value *target
 * held before, so the swap happened exactly when the result equals expected. */
CORVANE_API int32_t os_thread_sync_compare_and_swap(volatile int32_t* target, int32_t expected,
                                                    int32_t desired);
CORVANE_API int64_t os_thread_sync_compare_and_swap_64(volatile int64_t* target, int64_t expected,
                                                       int64_t desired);

/* Adds 1 and returns the new value (not the old one). */
CORVANE_API int32_t os_thread_sync_fetch_add(volatile int32_t* target);

/* Subtracts 1 and returns the new value. */
CORVANE_API int32_t os_thread_sync_fetch_sub(volatile int32_t* target);

CORVANE_END_DECLS

#endif /* CORVANE_SYNC_H */

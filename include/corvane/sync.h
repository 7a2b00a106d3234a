/*
 * Corvane time, synchronisation and threads: the monotonic clock and time
 * records, mutexes, events, conditions, semaphores, threads and atomics.
 *
 * Handles are opaque heap objects: a family's create function hands one out
 * and its destroy function releases it and sets the caller's variable to null
 * (doing nothing when the variable already holds null). Operations on a null
 * handle return at once: false, 0 or nothing.
 *
 * Named objects. Mutexes (recursive and reader/writer alike), events and
 * semaphores may carry a name shorter than 1024 bytes; every process that
 * creates the same name of the same family gets the same object. A name of
 * 1024 bytes or more, or a failed creation, still yields a handle, but an
 * unusable one: its lock and unlock do nothing, its waits return false at once
 * and its set, reset and release do nothing. A named object lives while any
 * handle on it is open in any process; a process that ends, even by a crash,
 * no longer keeps it alive. A mutex whose holder ends while holding it passes
 * to the next locker. A name beginning with "Local\" names the same object
 * as the name without that prefix.
 *
 * On Linux a named object is a shared-memory object (shm_open) with
 * owner-only permissions (0600), so another user's process cannot open it.
 * After a leading "Local\" is dropped, the name maps to
 *     "/corvane.<kind>.<escaped name>"
 * with <kind> "mutex" (both mutex families), "event" or "semaphore". In the
 * escaped name the bytes '!' to '~' other than '/' and '%' stand for
 * themselves and every other byte becomes '%' and two upper-case hex digits.
 * When that would exceed 255 bytes after the '/', the object is
 *     "/corvane.<kind>#<SHA-256 of the name, 64 lower-case hex digits>"
 * and the full name, kept inside the object, is compared on open. The
 * object begins with a 1088-byte record (magic "CRVN", layout, kind, an
 * initialised flag, the state's size and the full name); the state follows
 * at offset 1088: a process-shared, robust, recursive pthread mutex; or, for
 * events and semaphores, a 32-bit futex word (a semaphore's count; an event's
 * signalled flag in bit 0), a 32-bit count of sleeping waiters, the 32-bit
 * mode (1 auto-reset event, 2 manual-reset event, 3 semaphore) and the 32-bit
 * maximum count. Every process with a handle open holds a shared
 * open-file-description lock (F_OFD_SETLK) on the object. Each family has a
 * name space of its own: a mutex and an event may share a name.
 *
 * On Windows a named object is a kernel object (CreateMutexA, CreateEventA,
 * CreateSemaphoreA) named by the name itself, which Windows already treats
 * as one with its "Local\" form. The "A" calls refuse names of 260 bytes or
 * more, and '\' separates the kernel's name spaces: a name that is that long,
 * empty, holds a '\' after an optional "Global\" prefix, or begins with
 * "corvane#" is used as
 *     "[Global\]corvane#<SHA-256 of the name, 64 lower-case hex digits>"
 * so that every name below 1024 bytes works and two names never share an
 * object. Kernel objects of every kind share ONE name space there: a mutex,
 * an event, a semaphore and a shared-memory block cannot share a name, and
 * creating one under a name that another kind holds gives an unusable
 * handle. Give each object a name of its own on both systems.
 */
#ifndef CORVANE_SYNC_H
#define CORVANE_SYNC_H

#include "corvane/base.h"

/* A reading of the monotonic clock, or an absolute deadline on it. Normalised
 * when 0 <= nanoseconds < 1,000,000,000. */
typedef struct tagTIMERECORD {
    int64_t seconds;     /* whole seconds */
    int32_t nanoseconds; /* the fraction, in nanoseconds */
} time_record;

#ifdef __cplusplus
static_assert(sizeof(time_record) == 16, "time record is 16 bytes");
static_assert(offsetof(time_record, seconds) == 0, "seconds at offset 0");
static_assert(offsetof(time_record, nanoseconds) == 8, "nanoseconds at offset 8");
#endif

/* Opaque handles. Events and semaphores share one handle type, so that the
 * event waits also wait on a semaphore. */
typedef struct os_recursive_mutex_handle os_recursive_mutex_handle; /* a recursive mutex */
typedef struct os_rw_mutex_handle os_rw_mutex_handle;               /* a reader/writer mutex */
typedef struct os_waitable_handle os_event_handle;                  /* an event */
typedef struct os_waitable_handle os_semaphore_handle;              /* a semaphore */
typedef struct os_condition_handle os_condition_handle;             /* a condition */

/* A thread as the system names it (a pthread_t on Linux, a thread HANDLE on
 * Windows); 0 when there is none. */
typedef uintptr_t os_thread_handle;

/* The routine a new thread runs; its result is ignored. */
typedef void* (*os_thread_routine)(void* arg);

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* Clock                                                                     */
/* ------------------------------------------------------------------------ */
/* One monotonic time base counted from system start (not calendar time),
 * shared by every clock kind and by all waits with a deadline. Records are
 * never tested for null. Every function may be called from any thread. */

/* Reads the clock into *now, always normalised. `clock_kind` is ignored:
 * every kind reads the same time base. Returns 0. */
CORVANE_API int32_t os_clock_get_time(int32_t clock_kind, time_record* now);

/* *span = *end - *start, field by field (seconds in 64-bit, nanoseconds in
 * 32-bit arithmetic), not normalised: nanoseconds may be negative. */
CORVANE_API void os_clock_get_clock_span(const time_record* start, const time_record* end,
                                         time_record* span);

/* Normalises *time in place: borrows or carries whole seconds until
 * 0 <= nanoseconds < 1,000,000,000. */
CORVANE_API void os_clock_adjust_clock_time(time_record* time);

/* Copy *from into *to unchanged: all clock kinds share one time base. */
CORVANE_API void os_clock_monotonic_to_realtime(const time_record* from, time_record* to);
CORVANE_API void os_clock_realtime_to_monotonic(const time_record* from, time_record* to);

/* Sleeps until the absolute deadline *deadline, at millisecond grain
 * truncated toward zero: a deadline less than 1 ms ahead (or past) returns at
 * once. Signals do not cut the sleep short. How closely the sleep ends at the
 * deadline depends on the system timer (see os_thread_init_rt_schedule). */
CORVANE_API void os_clock_nano_sleep(const time_record* deadline);

/* Waits with a deadline take an absolute time record on the clock above. The
 * time left is counted in whole milliseconds, truncated toward zero; a
 * deadline already past (or less than 1 ms ahead) only polls, and a deadline
 * however far ahead is waited for, never shortened (on Windows, whose waits
 * take a 32-bit count, in slices). Signals do not end a wait early. */

/* ------------------------------------------------------------------------ */
/* Recursive mutexes                                                         */
/* ------------------------------------------------------------------------ */
/* The thread holding a recursive mutex may lock it again and must unlock it
 * as often as it locked it. Any thread may use a handle. Unlocking a mutex
 * the calling thread does not hold is a caller error: a named mutex, and a
 * process-local one on Linux, ignore it; a process-local mutex on Windows (a
 * critical section) is left in an undefined state. */

/* A process-local mutex when `name` is null, else the named mutex shared by
 * every process that creates the same name. When the name already exists the
 * line "Mutex[<name>] already exist,just open it.\n" is written to standard
 * output; the last-error value (errno, or GetLastError on Windows) is left
 * as it was before the call. */
CORVANE_API os_recursive_mutex_handle* os_recursive_mutex_create(const char* name);

/* Releases the handle and sets *mutex to null. A named mutex that the calling
 * thread still holds is let go, as a mutex whose holder ended passes to the
 * next locker; destroying a process-local mutex that is held, or a handle
 * that another thread still uses, is not guarded against. */
CORVANE_API void os_recursive_mutex_destroy(os_recursive_mutex_handle** mutex);

/* Blocks until the calling thread holds the mutex. A named mutex whose holder
 * ended while holding it is handed to the caller. */
CORVANE_API void os_recursive_mutex_lock(os_recursive_mutex_handle* mutex);
CORVANE_API void os_recursive_mutex_unlock(os_recursive_mutex_handle* mutex);

/* ------------------------------------------------------------------------ */
/* Reader/writer mutexes                                                     */
/* ------------------------------------------------------------------------ */
/* Process-local (null name): readers share the lock, a writer excludes
 * readers and writers, and waiting writers go before newly arriving readers,
 * so a stream of readers cannot starve a writer. The lock is not recursive: a
 * thread must not lock it again while it holds it. Named: readers and writers
 * alike take one exclusive, recursive named mutex, the same object that
 * os_recursive_mutex_create opens for that name (with the same log line).
 * Unlocking a process-local reader/writer mutex the calling thread does not
 * hold has undefined results on both systems; a named one ignores it, as a
 * named recursive mutex does. */
CORVANE_API os_rw_mutex_handle* os_rw_mutex_create(const char* name);
CORVANE_API void os_rw_mutex_destroy(os_rw_mutex_handle** mutex);
CORVANE_API void os_rw_mutex_lock_rd(os_rw_mutex_handle* mutex);
CORVANE_API void os_rw_mutex_lock_wr(os_rw_mutex_handle* mutex);

/* Ends whichever lock, read or write, the calling thread holds. */
CORVANE_API void os_rw_mutex_unlock(os_rw_mutex_handle* mutex);

/* ------------------------------------------------------------------------ */
/* Events                                                                    */
/* ------------------------------------------------------------------------ */
/* A manual-reset event stays signalled until reset and releases every
 * waiter; an auto-reset event releases exactly one waiter and so becomes
 * non-signalled again. Creating an existing name opens the existing event,
 * which keeps its state and reset mode; the arguments are then ignored. */
CORVANE_API os_event_handle* os_event_create(bool manual_reset, bool initial_state,
                                             const char* name);

/* Releases the handle and sets *event to null. Destroying a handle while
 * another thread waits on it, or still uses it in any way, is not guarded
 * against and has undefined results on both systems: wake the waiters and let
 * them return first. Handles on a named event held elsewhere, in this or
 * another process, are not affected. os_semaphore_destroy is the same. */
CORVANE_API void os_event_destroy(os_event_handle** event);

/* Signals the event. Setting a signalled event changes nothing. Setting a
 * manual-reset event releases every thread waiting at that moment, even if
 * the event is reset before they run. */
CORVANE_API void os_event_set_event(os_event_handle* event);

/* Makes the event non-signalled. Given a semaphore handle it does nothing:
 * the count is left as it is. */
CORVANE_API void os_event_reset_event(os_event_handle* event);

/* Waits until the event is signalled: true then (an auto-reset event is
 * reset by the wait, a manual-reset one stays signalled), false at once for a
 * null or unusable handle. Given a semaphore handle it takes one unit, as
 * os_semaphore_wait does. */
CORVANE_API bool os_event_wait(os_event_handle* event);

/* The same with an absolute deadline: false when it passes first. */
CORVANE_API bool os_event_wait_timeout(os_event_handle* event, time_record deadline);

/* ------------------------------------------------------------------------ */
/* Semaphores                                                                */
/* ------------------------------------------------------------------------ */
/* `count` is both the initial and the maximum count; a count below 1 gives
 * an unusable handle. Creating an existing name opens the existing semaphore
 * with its count and maximum; the argument is then ignored. */
CORVANE_API os_semaphore_handle* os_semaphore_create(int32_t count, const char* name);
CORVANE_API void os_semaphore_destroy(os_semaphore_handle** semaphore);

/* Adds one unit; a release beyond the maximum count does nothing. */
CORVANE_API void os_semaphore_release(os_semaphore_handle* semaphore);

/* Takes one unit, as os_event_wait and os_event_wait_timeout do (they are one
 * operation). */
CORVANE_API bool os_semaphore_wait(os_semaphore_handle* semaphore);
CORVANE_API bool os_semaphore_wait_timeout(os_semaphore_handle* semaphore, time_record deadline);

/* The system always tracks semaphores. With `undo` true returns true; with
 * false writes "Windows system will track the semaphore, so you can not set
 * undo-track to false." to standard output and returns false. A null handle
 * returns false silently. */
CORVANE_API bool os_semaphore_set_undo_track(os_semaphore_handle* semaphore, bool undo);

/* ------------------------------------------------------------------------ */
/* Conditions                                                                */
/* ------------------------------------------------------------------------ */
/* A process-local recursive lock joined with a condition variable. Hold the
 * lock (os_condition_lock) exactly once around a wait; the wait gives it up
 * while it sleeps and holds it again when it returns. A woken waiter re-tests its own
 * predicate, since a wait may return without a signal. Lock and unlock on a
 * null handle do nothing; os_condition_destroy given a variable holding null
 * does nothing. */
CORVANE_API os_condition_handle* os_condition_create(void);
CORVANE_API void os_condition_destroy(os_condition_handle** condition);
CORVANE_API void os_condition_lock(os_condition_handle* condition);
CORVANE_API void os_condition_unlock(os_condition_handle* condition);

/* Wakes one waiter, if any. A null handle does nothing. */
CORVANE_API void os_condition_signal(os_condition_handle* condition);

/* Results of the condition waits. */
#define OS_CONDITION_WOKEN 0     /* woken (or returned without a signal) */
#define OS_CONDITION_TIMED_OUT 1 /* the deadline passed first */
#define OS_CONDITION_FAILED 2    /* the system refused the wait */

/* Waits for a signal, the lock held once by the caller: OS_CONDITION_WOKEN
 * or OS_CONDITION_FAILED; the timeout form with an absolute deadline may also
 * give OS_CONDITION_TIMED_OUT. A null handle gives OS_CONDITION_WOKEN at once. */
CORVANE_API int32_t os_condition_wait(os_condition_handle* condition);
CORVANE_API int32_t os_condition_wait_timeout(os_condition_handle* condition,
                                              time_record deadline);

/* ------------------------------------------------------------------------ */
/* Threads and scheduling                                                    */
/* ------------------------------------------------------------------------ */

/* Starts a thread running start(arg) (nothing when `start` is null) and
 * stores its handle in *thread, or 0 when the system refused. `stack_size` is
 * the stack size in bytes (on Windows committed at once), 0 for the system
 * default; sizes below the system minimum are raised to it. Does nothing
 * when `thread` is null. */
CORVANE_API void os_thread_create(os_thread_handle* thread, os_thread_routine start, void* arg,
                                  size_t stack_size);

/* Waits until the thread has ended and releases it (on Windows its handle is
 * closed): a handle is joined exactly once. Returns 0 on success, else the
 * system's error number: on Linux the value pthread_join returns (such as
 * ESRCH or EDEADLK; errno is not set), on Windows GetLastError's value after
 * the failed wait, the handle then left open. */
CORVANE_API int32_t os_thread_join(os_thread_handle thread);

/* Binds every thread of the process to processor `cpu` (0 to 63). False for
 * an index outside that range or a processor the system does not have. */
CORVANE_API bool os_thread_sched_set_affinity(int32_t cpu);

/* Binds one thread to processor `cpu` (0 to 63), with the same results. */
CORVANE_API bool os_thread_sched_set_thread_affinity(os_thread_handle thread, int32_t cpu);

/* Paired around time-critical work, and nested as often as they are paired.
 * On Windows init raises the system timer to 1 ms (timeBeginPeriod) and
 * returns true, and exit lowers it again (timeEndPeriod) and returns that
 * call's result, 0 on success. Linux timers need no raising: init returns
 * true and exit returns 0. */
CORVANE_API bool os_thread_init_rt_schedule(void);
CORVANE_API int32_t os_thread_exit_rt_schedule(void);

/* Sleeps `ms` milliseconds; signals do not cut the sleep short. */
CORVANE_API void os_thread_sleep_milliseconds(uint32_t ms);

/* Writes -1 into *latency (nothing when `latency` is null) and returns true;
 * nothing is requested of the system. */
CORVANE_API bool os_thread_install_latency(int32_t* latency);
CORVANE_API void os_thread_uninstall_latency(void);

/* ------------------------------------------------------------------------ */
/* Memory locking, environment and file-system sync                         */
/* ------------------------------------------------------------------------ */

/* Locks every current and future page of the process in memory; true exactly
 * when the system did so (it refuses a process without the privilege or
 * beyond its memory-lock limit). Windows has no such call: true, and nothing
 * changes. */
CORVANE_API bool os_memory_manager_mlockall(void);

/* Unlocks every page of the process; true exactly when the system did so.
 * On Windows true, and nothing changes. */
CORVANE_API bool os_memory_manager_munlockall(void);

/* Nothing to set up or tear down: initialize returns true. */
CORVANE_API bool os_sync_environment_initialize(void);
CORVANE_API void os_sync_environment_uninitialize(void);

/* Asks the system to write every file system's buffered data to disk. On
 * Windows, which has no such call for an ordinary process, does nothing. */
CORVANE_API void os_filesystem_sync(void);

/* Does nothing. */
CORVANE_API void os_system_close_exception(void);

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

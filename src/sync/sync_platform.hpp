// The primitives each platform gives the sync subsystem. Implemented in
// sync/linux/ and sync/win32/; nothing here names a platform type, so the
// neutral files compile unchanged for both.
//
// Locks, conditions and waitables are platform objects reached through
// pointers: their layout is the platform's business. A null pointer from an
// open_named_ function means the name could not be used (too long for the
// contract, refused by the system, or taken by another kind of object).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "corvane/sync.h"

namespace corvane::detail {

// ---- clock ------------------------------------------------------------------

// The monotonic time base every reading and deadline uses, normalised.
time_record monotonic_now();

// Sleeps at least `ms` milliseconds (INT64_MAX: for good); signals and the
// platform's own limits on one sleep do not shorten it.
void sleep_milliseconds(int64_t ms);

// ---- platform objects ---------------------------------------------------------

struct recursive_lock;
struct rw_lock;
struct condition_lock;
struct waitable;

struct platform_deleter {
    void operator()(recursive_lock* lock) const;
    void operator()(rw_lock* lock) const;
    void operator()(condition_lock* condition) const;
    void operator()(waitable* object) const;
};

template <typename T>
using platform_ptr = std::unique_ptr<T, platform_deleter>;

// ---- recursive mutex ----------------------------------------------------------

platform_ptr<recursive_lock> make_recursive_lock();

// Opens the named mutex `name`, creating it when no process has it open;
// `created` tells which. Closing a handle whose thread still holds the
// mutex lets go of every level, as a mutex whose holder ended passes on.
platform_ptr<recursive_lock> open_named_recursive_lock(const char* name, bool& created);

void lock(recursive_lock& lock);
void unlock(recursive_lock& lock);

// ---- reader/writer lock -------------------------------------------------------

// Process-local; waiting writers go before newly arriving readers.
platform_ptr<rw_lock> make_rw_lock();
void lock_shared(rw_lock& lock);
void lock_exclusive(rw_lock& lock);
// Ends the read or the write lock, whichever the calling thread holds.
void unlock(rw_lock& lock);

// ---- condition ------------------------------------------------------------------

enum class wait_outcome { woken, timed_out, failed };

// A process-local recursive lock joined with a condition variable.
platform_ptr<condition_lock> make_condition_lock();
void lock(condition_lock& condition);
void unlock(condition_lock& condition);
void signal(condition_lock& condition);
// `end`: an absolute monotonic time, or null for no limit.
wait_outcome wait(condition_lock& condition, const time_record* end);

// ---- events and semaphores ----------------------------------------------------

enum class waitable_mode { auto_reset_event, manual_reset_event, semaphore };

// `initial` units or set state (0 or 1 for an event), at most `maximum`.
platform_ptr<waitable> make_waitable(waitable_mode mode, uint32_t initial, uint32_t maximum);

// Opens the named event or semaphore `name`, creating it with the given
// state when no process has it open; an existing one keeps its own state,
// mode and maximum.
platform_ptr<waitable> open_named_waitable(const char* name, waitable_mode mode, uint32_t initial,
                                           uint32_t maximum);

// Event: signals (a manual-reset event releases every waiter of the moment).
// Semaphore: adds a unit below the maximum.
void release(waitable& object);
// Event: clears the signal. Semaphore: nothing.
void reset(waitable& object);
// Takes the event or a unit; `end` is an absolute monotonic time or null
// for no limit. False when `end` passed first. Signals do not end it.
bool wait(waitable& object, const time_record* end);

// ---- threads ------------------------------------------------------------------

// Runs a thread's start record on the new thread and frees it (neutral).
void run_thread_start(void* record);

// Starts run_thread_start(record) on a new thread with the given stack size
// (0: system default) and stores its handle; false when the system refused.
bool start_thread(os_thread_handle* thread, void* record, size_t stack_size);
int32_t join_thread(os_thread_handle thread);
// `cpu` is already known to lie in 0..63.
bool bind_process_to_processor(int cpu);
bool bind_thread_to_processor(os_thread_handle thread, int cpu);

// Raises the system timer to 1 ms resolution, and lowers it again: the
// platform's result, 0 on success.
void raise_timer_resolution();
int32_t restore_timer_resolution();

// ---- process controls -----------------------------------------------------------

bool lock_all_memory();
bool unlock_all_memory();
void flush_file_systems();

}  // namespace corvane::detail

// POSIX primitives under the sync subsystem: the monotonic clock, pthread
// locks and condition variables, futex-based events and semaphores, threads
// and process controls. The neutral files use only the names declared here;
// a Win32 header will declare the same names.
//
// Named variants keep their state in the payload of a named object, built
// from process-shared primitives, so every process mapping the name works on
// one lock or one counter.
#pragma once

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/linux/named_object.hpp"
#include "corvane/sync.h"

namespace corvane::detail {

// ---- clock ----------------------------------------------------------------

// CLOCK_MONOTONIC, normalised.
time_record monotonic_now();

inline timespec to_timespec(const time_record& time) {
    timespec converted{};
    converted.tv_sec = static_cast<time_t>(time.seconds);
    converted.tv_nsec = time.nanoseconds;
    return converted;
}

// Sleeps `ms` milliseconds on the monotonic clock, resuming after signals.
void sleep_milliseconds(int64_t ms);

// ---- recursive mutex -------------------------------------------------------

// A recursive pthread mutex: process-local, or process-shared and robust in
// a named object's payload.
class recursive_lock {
public:
    recursive_lock();
    // Works on the mutex in `storage`, made by named_storage.
    explicit recursive_lock(std::unique_ptr<named_object> storage);
    ~recursive_lock();
    recursive_lock(const recursive_lock&) = delete;
    recursive_lock& operator=(const recursive_lock&) = delete;

    // The named object holding the mutex `name`, created if no process has
    // it open; null when it cannot be made. *created tells which.
    static std::unique_ptr<named_object> named_storage(const char* name, bool* created);

    void lock() {
        if (storage_) {
            lock_named();
        } else {
            pthread_mutex_lock(mutex_);
        }
    }
    void unlock() {
        if (storage_) {
            unlock_named();
        } else {
            pthread_mutex_unlock(mutex_);
        }
    }

private:
    void lock_named();
    void unlock_named();

    std::unique_ptr<named_object> storage_;
    pthread_mutex_t local_{};
    pthread_mutex_t* mutex_;
    // Which thread of this process holds a named mutex through this handle,
    // and how often, so that closing the handle can let go of it. Only the
    // holder changes them, while it holds the mutex.
    std::atomic<pthread_t> holder_{};
    int held_levels_ = 0;
};

// ---- reader/writer lock ----------------------------------------------------

// Process-local, preferring writers: once a writer waits, new readers queue
// behind it.
class rw_lock {
public:
    rw_lock();
    ~rw_lock();
    rw_lock(const rw_lock&) = delete;
    rw_lock& operator=(const rw_lock&) = delete;

    void lock_shared() { pthread_rwlock_rdlock(&lock_); }
    void lock_exclusive() { pthread_rwlock_wrlock(&lock_); }
    // Ends the read or the write lock, whichever the calling thread holds.
    void unlock() { pthread_rwlock_unlock(&lock_); }

private:
    pthread_rwlock_t lock_{};
};

// ---- condition ---------------------------------------------------------------

enum class wait_outcome { woken, timed_out, failed };

// A process-local recursive mutex and a condition variable on the monotonic
// clock.
class condition_lock {
public:
    condition_lock();
    ~condition_lock();
    condition_lock(const condition_lock&) = delete;
    condition_lock& operator=(const condition_lock&) = delete;

    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }
    void signal() { pthread_cond_signal(&condition_); }
    // `end`: absolute monotonic time, or null for no limit.
    wait_outcome wait(const time_record* end);

private:
    pthread_mutex_t mutex_{};
    pthread_cond_t condition_{};
};

// ---- events and semaphores ---------------------------------------------------

// How a waitable counts. The values are stored in named payloads, so they
// stay fixed.
enum class waitable_mode : uint32_t {
    auto_reset_event = 1,
    manual_reset_event = 2,
    semaphore = 3,
};

// Bit 0 of an event's word: the signalled flag. A manual-reset event counts
// its sets in the bits above, adding this much per set.
inline constexpr uint32_t event_signalled_bit = 1;
inline constexpr uint32_t manual_reset_set = 2;

// The state of an event or a semaphore: one futex word and a count of
// sleeping waiters, so that a release makes a system call only when someone
// sleeps. There is no internal lock, so a process that dies inside an
// operation cannot block the others; a waiter that dies asleep leaves the
// count too high, which costs later releases a needless wake-up call only.
struct waitable_state {
    // Semaphore: the count. Event: bit 0 is the signalled flag and the bits
    // above count the sets of a manual-reset event, so that a waiter sees a
    // set even when a reset follows before it runs.
    std::atomic<uint32_t> word;
    std::atomic<uint32_t> sleepers;
    waitable_mode mode;
    uint32_t maximum;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "waitable words are shared lock-free");

class waitable {
public:
    waitable(waitable_mode mode, uint32_t initial, uint32_t maximum);
    // Works on the state in `storage`, made by named_storage.
    explicit waitable(std::unique_ptr<named_object> storage);
    ~waitable();
    waitable(const waitable&) = delete;
    waitable& operator=(const waitable&) = delete;

    // The named object holding the event or semaphore `name`, created with
    // the given state if no process has it open, else as it stands; null
    // when it cannot be made.
    static std::unique_ptr<named_object> named_storage(const char* name, waitable_mode mode,
                                                       uint32_t initial, uint32_t maximum);

    // Event: signals. Semaphore: adds a unit below the maximum.
    void release() {
        // Both sides are sequentially consistent: either this load sees a
        // sleeper's count, or the sleeper's reload of the word sees the offer.
        if (offer(*state_) && state_->sleepers.load() != 0) {
            wake_sleepers();
        }
    }
    void reset();
    // Takes the event or a unit; `end` is an absolute monotonic time or null
    // for no limit. False when `end` passed first.
    bool wait(const time_record* end) {
        uint32_t seen = state_->word.load();
        return try_take(*state_, seen) || wait_asleep(seen, end);
    }

private:
    // Sets the event or adds the unit; false when there was nothing to add.
    static bool offer(waitable_state& state) {
        uint32_t seen = state.word.load();
        uint32_t next = 0;
        do {
            switch (state.mode) {
            case waitable_mode::semaphore:
                if (seen >= state.maximum) {
                    return false;
                }
                next = seen + 1;
                break;
            case waitable_mode::auto_reset_event:
                if ((seen & event_signalled_bit) != 0) {
                    return false;
                }
                next = seen | event_signalled_bit;
                break;
            case waitable_mode::manual_reset_event:
                if ((seen & event_signalled_bit) != 0) {
                    return false;
                }
                next = (seen + manual_reset_set) | event_signalled_bit;
                break;
            }
        } while (!state.word.compare_exchange_weak(seen, next));
        return true;
    }
    // Takes the event or a unit if `seen` (refreshed by failed exchanges)
    // offers one.
    static bool try_take(waitable_state& state, uint32_t& seen) {
        switch (state.mode) {
        case waitable_mode::semaphore:
            while (seen > 0) {
                if (state.word.compare_exchange_weak(seen, seen - 1)) {
                    return true;
                }
            }
            return false;
        case waitable_mode::auto_reset_event:
            while ((seen & event_signalled_bit) != 0) {
                if (state.word.compare_exchange_weak(seen, seen & ~event_signalled_bit)) {
                    return true;
                }
            }
            return false;
        case waitable_mode::manual_reset_event:
            break;
        }
        return (seen & event_signalled_bit) != 0;
    }
    bool wait_asleep(uint32_t word_at_start, const time_record* end);
    void wake_sleepers();

    std::unique_ptr<named_object> storage_;
    waitable_state local_{};
    waitable_state* state_;
    int futex_private_flag_;
};

// ---- threads -----------------------------------------------------------------

// Runs a thread's start record on the new thread and frees it (neutral).
void run_thread_start(void* record);

// Starts run_thread_start(record) on a new thread with the given stack size
// (0: system default) and stores its handle; false when the system refused.
bool start_thread(os_thread_handle* thread, void* record, size_t stack_size);
int32_t join_thread(os_thread_handle thread);
// `cpu` is already known to lie in 0..63.
bool bind_process_to_processor(int cpu);
bool bind_thread_to_processor(os_thread_handle thread, int cpu);

// ---- process controls --------------------------------------------------------

bool lock_all_memory();
bool unlock_all_memory();
void flush_file_systems();

// Keeps the caller's last-error value (errno) across a call that may change it.
class last_error_keeper {
public:
    last_error_keeper() : saved_(errno) {}
    ~last_error_keeper() { errno = saved_; }
    last_error_keeper(const last_error_keeper&) = delete;
    last_error_keeper& operator=(const last_error_keeper&) = delete;

private:
    int saved_;
};

}  // namespace corvane::detail

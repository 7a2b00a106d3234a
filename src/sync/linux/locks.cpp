// pthread mutexes, reader/writer locks and condition variables for Linux.
// A named mutex is a process-shared, robust pthread mutex in the payload of
// a named object, so every process mapping the name works on one lock.

#include <pthread.h>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include <atomic>
#include <cerrno>

#include "common/linux/named_object.hpp"
#include "sync/linux/linux_time.hpp"
#include "sync/sync_platform.hpp"

namespace corvane::detail {

struct recursive_lock {
    // Null for a process-local mutex, which lives in `local`.
    std::unique_ptr<named_object> storage;
    pthread_mutex_t local{};
    pthread_mutex_t* mutex = &local;
    // Which thread of this process holds a named mutex through this handle,
    // and how often, so that closing the handle can let go of it. Only the
    // holder changes them, while it holds the mutex. The holder is read
    // only to ask "is it me?", which a relaxed load answers: a thread sees
    // its own last store or a later one, never its own stale identity.
    std::atomic<pthread_t> holder{};
    int held_levels = 0;
};

// Readers on other processors write the lock on every entry and exit: on a
// cache line of its own it drags no neighbour (the handle, read on every
// call) along from processor to processor.
struct alignas(64) rw_lock {
    pthread_rwlock_t lock{};
};

struct condition_lock {
    pthread_mutex_t mutex{};
    pthread_cond_t condition{};
};

namespace {

// A named mutex is robust so that a holder that dies hands it on instead of
// blocking every other process for good.
void initialise_recursive_mutex(pthread_mutex_t* mutex, bool process_shared) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (process_shared) {
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    }
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// Locks a robust mutex, waiting in slices. An unlock wakes one sleeper; if
// that process is killed before it takes the mutex while a third one takes
// it first, the wake-up is lost: the system passes it on for the dead only
// while the mutex is free, and the third process's unlock sees no sleeper to
// wake. The other sleepers would then wait for good on a free mutex; a slice
// that ends makes them look again.
int lock_robust(pthread_mutex_t* mutex) {
    constexpr long slice_ns = 50'000'000;
    int result = pthread_mutex_trylock(mutex);
    while (result == EBUSY || result == ETIMEDOUT) {
        timespec end{};
        clock_gettime(CLOCK_REALTIME, &end);
        end.tv_nsec += slice_ns;
        if (end.tv_nsec >= 1'000'000'000) {
            end.tv_sec += 1;
            end.tv_nsec -= 1'000'000'000;
        }
        result = pthread_mutex_timedlock(mutex, &end);
#if defined(__SANITIZE_THREAD__)
        // ThreadSanitizer's timedlock counts no lock taken from a dead holder.
        if (result == EOWNERDEAD) {
            __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
            __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock, 0);
        }
#endif
    }
    return result;
}

// A holder that died leaves the mutex to the next locker, as an abandoned
// mutex passes to the next waiter.
void lock_named(recursive_lock& lock) {
    const int result = lock_robust(lock.mutex);
    if (result == EOWNERDEAD) {
        pthread_mutex_consistent(lock.mutex);
        lock.held_levels = 0;  // the dead holder may have been a thread of ours
    } else if (result != 0) {
        return;
    }
    if (lock.held_levels++ == 0) {
        lock.holder.store(pthread_self(), std::memory_order_relaxed);
    }
}

void unlock_named(recursive_lock& lock) {
    if (pthread_equal(lock.holder.load(std::memory_order_relaxed), pthread_self()) &&
        lock.held_levels > 0 && --lock.held_levels == 0) {
        lock.holder.store(pthread_t{}, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(lock.mutex);
}

}  // namespace

platform_ptr<recursive_lock> make_recursive_lock() {
    platform_ptr<recursive_lock> lock(new recursive_lock);
    initialise_recursive_mutex(&lock->local, false);
    return lock;
}

platform_ptr<recursive_lock> open_named_recursive_lock(const char* name, bool& created) {
    std::unique_ptr<named_object> storage = named_object::create(
        named_kind::mutex, name, sizeof(pthread_mutex_t),
        [](void* payload) {
            initialise_recursive_mutex(static_cast<pthread_mutex_t*>(payload), true);
        },
        &created);
    if (!storage) {
        return nullptr;
    }
    platform_ptr<recursive_lock> lock(new recursive_lock);
    lock->mutex = static_cast<pthread_mutex_t*>(storage->payload());
    lock->storage = std::move(storage);
    return lock;
}

// A named mutex is never destroyed: other processes may still use it, and
// the named object's storage goes with the last holder. A handle closed by
// the thread that holds the mutex lets go of every level first, as an
// abandoned mutex passes to the next locker: a robust mutex stays on its
// holder's robust list, which is linked through the mutex itself, and the
// mapping is about to go.
void platform_deleter::operator()(recursive_lock* lock) const {
    if (!lock->storage) {
        pthread_mutex_destroy(&lock->local);
    } else if (pthread_equal(lock->holder.load(std::memory_order_relaxed), pthread_self())) {
        for (int levels = lock->held_levels; levels > 0; --levels) {
            unlock_named(*lock);
        }
    }
    delete lock;
}

void lock(recursive_lock& lock) {
    if (lock.storage) {
        lock_named(lock);
    } else {
        pthread_mutex_lock(lock.mutex);
    }
}

void unlock(recursive_lock& lock) {
    if (lock.storage) {
        unlock_named(lock);
    } else {
        pthread_mutex_unlock(lock.mutex);
    }
}

// Once a writer waits, new readers queue behind it.
platform_ptr<rw_lock> make_rw_lock() {
    platform_ptr<rw_lock> lock(new rw_lock);
    pthread_rwlockattr_t attributes;
    pthread_rwlockattr_init(&attributes);
    pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&lock->lock, &attributes);
    pthread_rwlockattr_destroy(&attributes);
    return lock;
}

void platform_deleter::operator()(rw_lock* lock) const {
    pthread_rwlock_destroy(&lock->lock);
    delete lock;
}

void lock_shared(rw_lock& lock) {
    pthread_rwlock_rdlock(&lock.lock);
}

void lock_exclusive(rw_lock& lock) {
    pthread_rwlock_wrlock(&lock.lock);
}

void unlock(rw_lock& lock) {
    pthread_rwlock_unlock(&lock.lock);
}

// The condition's clock is the monotonic one, so that deadlines read from
// monotonic_now() mean the same instant here.
platform_ptr<condition_lock> make_condition_lock() {
    platform_ptr<condition_lock> condition(new condition_lock);
    initialise_recursive_mutex(&condition->mutex, false);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition->condition, &attributes);
    pthread_condattr_destroy(&attributes);
    return condition;
}

void platform_deleter::operator()(condition_lock* condition) const {
    pthread_cond_destroy(&condition->condition);
    pthread_mutex_destroy(&condition->mutex);
    delete condition;
}

void lock(condition_lock& condition) {
    pthread_mutex_lock(&condition.mutex);
}

void unlock(condition_lock& condition) {
    pthread_mutex_unlock(&condition.mutex);
}

void signal(condition_lock& condition) {
    pthread_cond_signal(&condition.condition);
}

wait_outcome wait(condition_lock& condition, const time_record* end) {
    int result = 0;
    if (end == nullptr) {
        result = pthread_cond_wait(&condition.condition, &condition.mutex);
    } else {
        const timespec limit = to_timespec(*end);
        result = pthread_cond_timedwait(&condition.condition, &condition.mutex, &limit);
    }
    if (result == 0) {
        return wait_outcome::woken;
    }
    return result == ETIMEDOUT ? wait_outcome::timed_out : wait_outcome::failed;
}

}  // namespace corvane::detail

// pthread mutexes, reader/writer locks and condition variables for POSIX
// systems.

#include "sync/linux/sync_posix.hpp"

namespace corvane::detail {

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

}  // namespace

recursive_lock::recursive_lock() : mutex_(&local_) {
    initialise_recursive_mutex(&local_, false);
}

recursive_lock::recursive_lock(std::unique_ptr<named_object> storage)
    : storage_(std::move(storage)), mutex_(static_cast<pthread_mutex_t*>(storage_->payload())) {}

// A named mutex is never destroyed: other processes may still use it, and
// the named object's storage goes with the last holder. A handle closed by
// the thread that holds the mutex lets go of every level first, as an
// abandoned mutex passes to the next locker: a robust mutex stays on its
// holder's robust list, which is linked through the mutex itself, and the
// mapping is about to go.
recursive_lock::~recursive_lock() {
    if (!storage_) {
        pthread_mutex_destroy(&local_);
        return;
    }
    if (pthread_equal(holder_.load(), pthread_self())) {
        for (int levels = held_levels_; levels > 0; --levels) {
            unlock_named();
        }
    }
}

// A holder that died leaves the mutex to the next locker, as an abandoned
// mutex passes to the next waiter.
void recursive_lock::lock_named() {
    const int result = pthread_mutex_lock(mutex_);
    if (result == EOWNERDEAD) {
        pthread_mutex_consistent(mutex_);
        held_levels_ = 0;  // the dead holder may have been a thread of ours
    } else if (result != 0) {
        return;
    }
    if (held_levels_++ == 0) {
        holder_.store(pthread_self());
    }
}

void recursive_lock::unlock_named() {
    if (pthread_equal(holder_.load(), pthread_self()) && held_levels_ > 0 && --held_levels_ == 0) {
        holder_.store(pthread_t{});
    }
    pthread_mutex_unlock(mutex_);
}

std::unique_ptr<named_object> recursive_lock::named_storage(const char* name, bool* created) {
    return named_object::create(
        named_kind::mutex, name, sizeof(pthread_mutex_t),
        [](void* payload) {
            initialise_recursive_mutex(static_cast<pthread_mutex_t*>(payload), true);
        },
        created);
}

rw_lock::rw_lock() {
    pthread_rwlockattr_t attributes;
    pthread_rwlockattr_init(&attributes);
    pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&lock_, &attributes);
    pthread_rwlockattr_destroy(&attributes);
}

rw_lock::~rw_lock() {
    pthread_rwlock_destroy(&lock_);
}

// The condition's clock is the monotonic one, so that deadlines read from
// monotonic_now() mean the same instant here.
condition_lock::condition_lock() {
    initialise_recursive_mutex(&mutex_, false);
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition_, &attributes);
    pthread_condattr_destroy(&attributes);
}

condition_lock::~condition_lock() {
    pthread_cond_destroy(&condition_);
    pthread_mutex_destroy(&mutex_);
}

wait_outcome condition_lock::wait(const time_record* end) {
    int result = 0;
    if (end == nullptr) {
        result = pthread_cond_wait(&condition_, &mutex_);
    } else {
        const timespec limit = to_timespec(*end);
        result = pthread_cond_timedwait(&condition_, &mutex_, &limit);
    }
    if (result == 0) {
        return wait_outcome::woken;
    }
    return result == ETIMEDOUT ? wait_outcome::timed_out : wait_outcome::failed;
}

}  // namespace corvane::detail

// Critical sections, named mutexes, SRW locks and condition variables for
// Windows.

#include <atomic>

#include "common/object_name.hpp"
#include "sync/sync_platform.hpp"
#include "sync/win32/win32_sync.hpp"

namespace corvane::detail {

struct recursive_lock {
    // Null for a process-local mutex, which is `local`.
    HANDLE named = nullptr;
    CRITICAL_SECTION local{};
    // Which thread holds a named mutex through this handle, and how often,
    // so that closing the handle can let go of it as on Linux. Only the
    // holder changes them, while it holds the mutex.
    std::atomic<DWORD> holder{0};
    int held_levels = 0;
};

// An SRW lock does not know which mode a thread holds it in; the writer's
// id tells unlock which release to make (0 is no thread's id).
struct rw_lock {
    SRWLOCK lock = SRWLOCK_INIT;
    std::atomic<DWORD> writer{0};
};

struct condition_lock {
    CRITICAL_SECTION lock{};
    CONDITION_VARIABLE variable = CONDITION_VARIABLE_INIT;
};

namespace {

// The "A" calls refuse names of this many bytes or more.
constexpr size_t kernel_name_limit = 260;

void unlock_named(recursive_lock& lock) {
    if (lock.holder.load() == GetCurrentThreadId() && lock.held_levels > 0 &&
        --lock.held_levels == 0) {
        lock.holder.store(0);
    }
    ReleaseMutex(lock.named);
}

}  // namespace

std::optional<std::string> kernel_object_name(const char* name) {
    return flat_object_name(name, kernel_name_limit);
}

platform_ptr<recursive_lock> make_recursive_lock() {
    platform_ptr<recursive_lock> lock(new recursive_lock);
    InitializeCriticalSection(&lock->local);
    return lock;
}

platform_ptr<recursive_lock> open_named_recursive_lock(const char* name, bool& created) {
    const std::optional<std::string> system_name = kernel_object_name(name);
    if (!system_name) {
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, system_name->c_str());
    if (mutex == nullptr) {
        return nullptr;
    }
    created = GetLastError() != ERROR_ALREADY_EXISTS;
    platform_ptr<recursive_lock> lock(new recursive_lock);
    lock->named = mutex;
    return lock;
}

// Closing a handle does not release a mutex its thread holds: the mutex would
// stay held until that thread ends. Let go of every level first, as Linux
// does.
void platform_deleter::operator()(recursive_lock* lock) const {
    if (lock->named == nullptr) {
        DeleteCriticalSection(&lock->local);
    } else {
        if (lock->holder.load() == GetCurrentThreadId()) {
            for (int levels = lock->held_levels; levels > 0; --levels) {
                unlock_named(*lock);
            }
        }
        CloseHandle(lock->named);
    }
    delete lock;
}

// An abandoned mutex (its holder ended holding it) is held by the caller
// now, at one level.
void lock(recursive_lock& lock) {
    if (lock.named == nullptr) {
        EnterCriticalSection(&lock.local);
        return;
    }
    const DWORD result = WaitForSingleObject(lock.named, INFINITE);
    if (result == WAIT_ABANDONED) {
        lock.held_levels = 0;
    } else if (result != WAIT_OBJECT_0) {
        return;
    }
    if (lock.held_levels++ == 0) {
        lock.holder.store(GetCurrentThreadId());
    }
}

void unlock(recursive_lock& lock) {
    if (lock.named == nullptr) {
        LeaveCriticalSection(&lock.local);
    } else {
        unlock_named(lock);
    }
}

platform_ptr<rw_lock> make_rw_lock() {
    return platform_ptr<rw_lock>(new rw_lock);
}

void platform_deleter::operator()(rw_lock* lock) const {
    delete lock;
}

void lock_shared(rw_lock& lock) {
    AcquireSRWLockShared(&lock.lock);
}

void lock_exclusive(rw_lock& lock) {
    AcquireSRWLockExclusive(&lock.lock);
    lock.writer.store(GetCurrentThreadId());
}

void unlock(rw_lock& lock) {
    if (lock.writer.load() == GetCurrentThreadId()) {
        lock.writer.store(0);
        ReleaseSRWLockExclusive(&lock.lock);
    } else {
        ReleaseSRWLockShared(&lock.lock);
    }
}

platform_ptr<condition_lock> make_condition_lock() {
    platform_ptr<condition_lock> condition(new condition_lock);
    InitializeCriticalSection(&condition->lock);
    return condition;
}

void platform_deleter::operator()(condition_lock* condition) const {
    DeleteCriticalSection(&condition->lock);
    delete condition;
}

void lock(condition_lock& condition) {
    EnterCriticalSection(&condition.lock);
}

void unlock(condition_lock& condition) {
    LeaveCriticalSection(&condition.lock);
}

void signal(condition_lock& condition) {
    WakeConditionVariable(&condition.variable);
}

wait_outcome wait(condition_lock& condition, const time_record* end) {
    for (;;) {
        const wait_slice slice = next_wait_slice(end);
        if (SleepConditionVariableCS(&condition.variable, &condition.lock, slice.milliseconds) !=
            0) {
            return wait_outcome::woken;
        }
        if (GetLastError() != ERROR_TIMEOUT) {
            return wait_outcome::failed;
        }
        if (slice.last) {
            return wait_outcome::timed_out;
        }
    }
}

}  // namespace corvane::detail

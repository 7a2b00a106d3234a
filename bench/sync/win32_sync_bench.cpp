// The sync primitives on Windows beside the Win32 calls a Windows program
// would make instead. Each pair is named <operation>/library and
// <operation>/<Win32 peer>, so that tools/run-wine-bench pairs them.

#include <benchmark/benchmark.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "corvane/sync.h"

namespace {

std::string object_name(const char* what) {
    return "corvane-bench-" + std::to_string(GetCurrentProcessId()) + "-" + what;
}

// ---- locks: each kind as a lock()/unlock() pair --------------------------

struct library_mutex {
    explicit library_mutex(const char* name = nullptr) : mutex(os_recursive_mutex_create(name)) {}
    ~library_mutex() { os_recursive_mutex_destroy(&mutex); }
    library_mutex(const library_mutex&) = delete;
    library_mutex& operator=(const library_mutex&) = delete;
    void lock() { os_recursive_mutex_lock(mutex); }
    void unlock() { os_recursive_mutex_unlock(mutex); }
    os_recursive_mutex_handle* mutex;
};

struct library_named_mutex : library_mutex {
    library_named_mutex() : library_mutex(object_name("mutex").c_str()) {}
};

struct critical_section {
    critical_section() { InitializeCriticalSection(&section); }
    ~critical_section() { DeleteCriticalSection(&section); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;
    void lock() { EnterCriticalSection(&section); }
    void unlock() { LeaveCriticalSection(&section); }
    CRITICAL_SECTION section{};
};

struct win32_named_mutex {
    win32_named_mutex() : mutex(CreateMutexA(nullptr, FALSE, object_name("win32-mutex").c_str())) {}
    ~win32_named_mutex() { CloseHandle(mutex); }
    win32_named_mutex(const win32_named_mutex&) = delete;
    win32_named_mutex& operator=(const win32_named_mutex&) = delete;
    void lock() { WaitForSingleObject(mutex, INFINITE); }
    void unlock() { ReleaseMutex(mutex); }
    HANDLE mutex;
};

struct library_read_lock {
    library_read_lock() : mutex(os_rw_mutex_create(nullptr)) {}
    ~library_read_lock() { os_rw_mutex_destroy(&mutex); }
    library_read_lock(const library_read_lock&) = delete;
    library_read_lock& operator=(const library_read_lock&) = delete;
    void lock() { os_rw_mutex_lock_rd(mutex); }
    void unlock() { os_rw_mutex_unlock(mutex); }
    os_rw_mutex_handle* mutex;
};

struct srw_shared_lock {
    void lock() { AcquireSRWLockShared(&srw); }
    void unlock() { ReleaseSRWLockShared(&srw); }
    SRWLOCK srw = SRWLOCK_INIT;
};

// One lock per kind for the whole program, so that the threads of a
// multi-threaded run share it.
template <typename Lock>
Lock& the_lock() {
    static Lock lock;
    return lock;
}

template <typename Lock>
void lock_unlock(benchmark::State& state) {
    Lock& lock = the_lock<Lock>();
    for (auto _ : state) {
        lock.lock();
        lock.unlock();
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(lock_unlock<library_mutex>)->Name("mutex_lock_unlock/library");
BENCHMARK(lock_unlock<critical_section>)->Name("mutex_lock_unlock/CriticalSection");
BENCHMARK(lock_unlock<library_named_mutex>)->Name("named_mutex_lock_unlock/library");
BENCHMARK(lock_unlock<win32_named_mutex>)->Name("named_mutex_lock_unlock/CreateMutexA");
BENCHMARK(lock_unlock<library_read_lock>)->Name("read_lock/library")->ThreadRange(1, 2)->UseRealTime();
BENCHMARK(lock_unlock<srw_shared_lock>)->Name("read_lock/SRWLockShared")->ThreadRange(1, 2)->UseRealTime();

// ---- ping-pong between two threads over two auto-reset events ------------
// The measured thread posts side 0 and takes side 1, its partner the
// reverse: one iteration is one round trip.

struct library_events {
    library_events() {
        for (os_event_handle*& event : events) {
            event = os_event_create(false, false, nullptr);
        }
    }
    ~library_events() {
        for (os_event_handle*& event : events) {
            os_event_destroy(&event);
        }
    }
    library_events(const library_events&) = delete;
    library_events& operator=(const library_events&) = delete;
    void post(int side) { os_event_set_event(events[side]); }
    void take(int side) { os_event_wait(events[side]); }
    os_event_handle* events[2] = {};
};

struct win32_events {
    win32_events() {
        for (HANDLE& event : events) {
            event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        }
    }
    ~win32_events() {
        for (HANDLE event : events) {
            CloseHandle(event);
        }
    }
    win32_events(const win32_events&) = delete;
    win32_events& operator=(const win32_events&) = delete;
    void post(int side) { SetEvent(events[side]); }
    void take(int side) { WaitForSingleObject(events[side], INFINITE); }
    HANDLE events[2] = {};
};

template <typename Channel>
void ping_pong(benchmark::State& state) {
    Channel channel;
    std::atomic<bool> stop{false};
    std::thread partner([&] {
        for (channel.take(0); !stop; channel.take(0)) {
            channel.post(1);
        }
    });
    for (auto _ : state) {
        channel.post(0);
        channel.take(1);
    }
    stop = true;
    channel.post(0);
    partner.join();
}

BENCHMARK(ping_pong<library_events>)->Name("event_ping_pong/library")->UseRealTime();
BENCHMARK(ping_pong<win32_events>)->Name("event_ping_pong/SetEvent_WaitForSingleObject")->UseRealTime();

}  // namespace

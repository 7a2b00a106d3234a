// The sync primitives beside their peers: the standard library's or the
// system's equivalent of each, measured in the same run.

#include <benchmark/benchmark.h>

#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <thread>

#include "corvane/sync.h"

namespace {

// Memory that a forked child shares with its parent, or that a process
// shares with itself as it would with another.
template <typename T>
class shared_block {
public:
    shared_block()
        : memory_(mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1,
                       0)),
          object_(new (memory_) T) {}
    ~shared_block() {
        object_->~T();
        munmap(memory_, sizeof(T));
    }
    shared_block(const shared_block&) = delete;
    shared_block& operator=(const shared_block&) = delete;
    T& operator*() const { return *object_; }

private:
    void* memory_;
    T* object_;
};

// ---- uncontended recursive mutex ----------------------------------------

void recursive_mutex_lock_unlock(benchmark::State& state) {
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(nullptr);
    for (auto _ : state) {
        os_recursive_mutex_lock(mutex);
        os_recursive_mutex_unlock(mutex);
    }
    os_recursive_mutex_destroy(&mutex);
}
BENCHMARK(recursive_mutex_lock_unlock);

void std_recursive_mutex_lock_unlock(benchmark::State& state) {
    std::recursive_mutex mutex;
    for (auto _ : state) {
        mutex.lock();
        mutex.unlock();
    }
}
BENCHMARK(std_recursive_mutex_lock_unlock);

// ---- uncontended named recursive mutex --------------------------------------
// One more thread idles in the process, as in any program that shares a named
// mutex: the C library takes its single-thread short cuts otherwise.

class idle_thread {
public:
    idle_thread() : thread_([this] { wait_for_stop(); }) {}
    ~idle_thread() {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    idle_thread(const idle_thread&) = delete;
    idle_thread& operator=(const idle_thread&) = delete;

private:
    void wait_for_stop() {
        std::unique_lock<std::mutex> hold(mutex_);
        wake_.wait(hold, [this] { return stop_; });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

void named_recursive_mutex_lock_unlock(benchmark::State& state) {
    const idle_thread idle;
    const std::string name = "corvane-bench-mutex-" + std::to_string(getpid());
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
    for (auto _ : state) {
        os_recursive_mutex_lock(mutex);
        os_recursive_mutex_unlock(mutex);
    }
    os_recursive_mutex_destroy(&mutex);
}
BENCHMARK(named_recursive_mutex_lock_unlock);

// A robust, process-shared, recursive mutex in a shared mapping: what a
// program would build by hand to share a mutex that survives a dead holder.
struct robust_shared_mutex {
    robust_shared_mutex() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        pthread_mutex_init(&mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~robust_shared_mutex() { pthread_mutex_destroy(&mutex); }
    robust_shared_mutex(const robust_shared_mutex&) = delete;
    robust_shared_mutex& operator=(const robust_shared_mutex&) = delete;

    pthread_mutex_t mutex;
};

void robust_shared_pthread_mutex_lock_unlock(benchmark::State& state) {
    const idle_thread idle;
    shared_block<robust_shared_mutex> shared;
    pthread_mutex_t* mutex = &(*shared).mutex;
    for (auto _ : state) {
        pthread_mutex_lock(mutex);
        pthread_mutex_unlock(mutex);
    }
}
BENCHMARK(robust_shared_pthread_mutex_lock_unlock);

// ---- ping-pong ------------------------------------------------------------
// A channel has two sides; post(side) signals one, take(side) waits for it.
// The measured thread posts side 0 and takes side 1, its partner (a thread
// or a forked process) the reverse: one iteration is one round trip.

struct event_channel {
    explicit event_channel(const std::string& name = {}) {
        for (int side = 0; side < 2; ++side) {
            const std::string side_name = name.empty() ? "" : name + std::to_string(side);
            events[side] = os_event_create(false, false, name.empty() ? nullptr : side_name.c_str());
        }
    }
    ~event_channel() {
        os_event_destroy(&events[0]);
        os_event_destroy(&events[1]);
    }
    event_channel(const event_channel&) = delete;
    event_channel& operator=(const event_channel&) = delete;

    void post(int side) { os_event_set_event(events[side]); }
    void take(int side) { os_event_wait(events[side]); }

    os_event_handle* events[2] = {};
};

struct std_condition_channel {
    void post(int side) {
        {
            std::lock_guard<std::mutex> hold(mutex);
            posted[side] = true;
        }
        conditions[side].notify_one();
    }
    void take(int side) {
        std::unique_lock<std::mutex> hold(mutex);
        conditions[side].wait(hold, [&] { return posted[side]; });
        posted[side] = false;
    }

    std::mutex mutex;
    std::condition_variable conditions[2];
    bool posted[2] = {false, false};
};

// A process-shared mutex and condition pair in raw shared memory.
struct shared_condition_channel {
    shared_condition_channel() {
        pthread_mutexattr_t mutex_attributes;
        pthread_mutexattr_init(&mutex_attributes);
        pthread_mutexattr_setpshared(&mutex_attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutex_init(&mutex, &mutex_attributes);
        pthread_mutexattr_destroy(&mutex_attributes);
        pthread_condattr_t condition_attributes;
        pthread_condattr_init(&condition_attributes);
        pthread_condattr_setpshared(&condition_attributes, PTHREAD_PROCESS_SHARED);
        pthread_condattr_setclock(&condition_attributes, CLOCK_MONOTONIC);
        for (auto& condition : conditions) {
            pthread_cond_init(&condition, &condition_attributes);
        }
        pthread_condattr_destroy(&condition_attributes);
    }
    ~shared_condition_channel() {
        for (auto& condition : conditions) {
            pthread_cond_destroy(&condition);
        }
        pthread_mutex_destroy(&mutex);
    }
    shared_condition_channel(const shared_condition_channel&) = delete;
    shared_condition_channel& operator=(const shared_condition_channel&) = delete;

    void post(int side) {
        pthread_mutex_lock(&mutex);
        posted[side] = true;
        pthread_mutex_unlock(&mutex);
        pthread_cond_signal(&conditions[side]);
    }
    void take(int side) {
        pthread_mutex_lock(&mutex);
        while (!posted[side]) {
            pthread_cond_wait(&conditions[side], &mutex);
        }
        posted[side] = false;
        pthread_mutex_unlock(&mutex);
    }

    pthread_mutex_t mutex;
    pthread_cond_t conditions[2];
    bool posted[2] = {false, false};
};

template <typename Channel>
void partner_loop(Channel& channel, const std::atomic<bool>& stop) {
    for (;;) {
        channel.take(0);
        if (stop) {
            return;
        }
        channel.post(1);
    }
}

template <typename Channel>
void measure_round_trips(benchmark::State& state, Channel& channel, std::atomic<bool>& stop) {
    for (auto _ : state) {
        channel.post(0);
        channel.take(1);
    }
    stop = true;
    channel.post(0);
}

template <typename Channel>
void thread_ping_pong(benchmark::State& state) {
    Channel channel;
    std::atomic<bool> stop{false};
    std::thread partner([&] { partner_loop(channel, stop); });
    measure_round_trips(state, channel, stop);
    partner.join();
}
BENCHMARK(thread_ping_pong<event_channel>)->UseRealTime();
BENCHMARK(thread_ping_pong<std_condition_channel>)->UseRealTime();

// The child runs `partner(stop)` and leaves without running the parent's
// destructors.
template <typename Channel, typename Partner>
void process_ping_pong(benchmark::State& state, Channel& channel, Partner partner) {
    shared_block<std::atomic<bool>> stop;
    const pid_t child = fork();
    if (child == 0) {
        partner(*stop);
        _exit(0);
    }
    measure_round_trips(state, channel, *stop);
    waitpid(child, nullptr, 0);
}

void named_event_process_ping_pong(benchmark::State& state) {
    const std::string name = "corvane-bench-" + std::to_string(getpid()) + "-";
    event_channel channel(name);
    process_ping_pong(state, channel, [&](const std::atomic<bool>& stop) {
        event_channel opened(name);
        partner_loop(opened, stop);
    });
}
BENCHMARK(named_event_process_ping_pong)->UseRealTime();

void shared_condition_process_ping_pong(benchmark::State& state) {
    shared_block<shared_condition_channel> channel;
    process_ping_pong(state, *channel,
                      [&](const std::atomic<bool>& stop) { partner_loop(*channel, stop); });
}
BENCHMARK(shared_condition_process_ping_pong)->UseRealTime();

// ---- reader/writer lock, read side, two threads ----------------------------
// Each reader runs on a processor of its own, so that the lock's cache line
// really moves between two processors and the scheduler does not turn the
// race into turns. The time to compare is the processor time (what the
// readers spend, stalls included), chosen by it and long enough to cover
// many time slices; wall time on a shared machine measures the other
// programs. Run with repetitions for the median and the spread (cv).

// Binds the calling thread to processor `index` (modulo the processors the
// process may use), for the life of the object.
class pinned_thread {
public:
    explicit pinned_thread(int index) {
        pthread_getaffinity_np(pthread_self(), sizeof previous_, &previous_);
        const int allowed = CPU_COUNT(&previous_);
        int wanted = index % (allowed > 0 ? allowed : 1);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &previous_) && wanted-- == 0) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    }
    ~pinned_thread() { pthread_setaffinity_np(pthread_self(), sizeof previous_, &previous_); }
    pinned_thread(const pinned_thread&) = delete;
    pinned_thread& operator=(const pinned_thread&) = delete;

private:
    cpu_set_t previous_{};
};

os_rw_mutex_handle* const shared_rw_mutex = os_rw_mutex_create(nullptr);
std::shared_mutex std_shared_mutex;

void rw_mutex_read(benchmark::State& state) {
    const pinned_thread pinned(state.thread_index());
    for (auto _ : state) {
        os_rw_mutex_lock_rd(shared_rw_mutex);
        os_rw_mutex_unlock(shared_rw_mutex);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(rw_mutex_read)->Threads(2)->MinTime(0.5);

void std_shared_mutex_read(benchmark::State& state) {
    const pinned_thread pinned(state.thread_index());
    for (auto _ : state) {
        std_shared_mutex.lock_shared();
        std_shared_mutex.unlock_shared();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(std_shared_mutex_read)->Threads(2)->MinTime(0.5);

// ---- semaphore release and wait --------------------------------------------

void semaphore_release_wait(benchmark::State& state) {
    os_semaphore_handle* semaphore = os_semaphore_create(1, nullptr);
    os_semaphore_wait(semaphore);
    for (auto _ : state) {
        os_semaphore_release(semaphore);
        os_semaphore_wait(semaphore);
    }
    os_semaphore_destroy(&semaphore);
}
BENCHMARK(semaphore_release_wait);

void posix_semaphore_post_wait(benchmark::State& state) {
    sem_t semaphore;
    sem_init(&semaphore, 0, 0);
    for (auto _ : state) {
        sem_post(&semaphore);
        sem_wait(&semaphore);
    }
    sem_destroy(&semaphore);
}
BENCHMARK(posix_semaphore_post_wait);

// ---- clock -------------------------------------------------------------------

void clock_get_time(benchmark::State& state) {
    time_record now{};
    for (auto _ : state) {
        os_clock_get_time(1, &now);
        benchmark::DoNotOptimize(now);
    }
}
BENCHMARK(clock_get_time);

void posix_clock_gettime(benchmark::State& state) {
    timespec now{};
    for (auto _ : state) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        benchmark::DoNotOptimize(now);
    }
}
BENCHMARK(posix_clock_gettime);

}  // namespace

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <chrono>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

namespace {

void* count_call(void* arg) {
    ++*static_cast<std::atomic<int>*>(arg);
    return nullptr;
}

void* record_own_processor_mask(void* arg) {
    auto* mask = static_cast<cpu_set_t*>(arg);
    sched_getaffinity(0, sizeof *mask, mask);
    return nullptr;
}

// Restores every thread's processor mask when a test ends.
class affinity_guard {
public:
    affinity_guard() { sched_getaffinity(0, sizeof saved_, &saved_); }
    ~affinity_guard() {
        for (const pid_t tid : thread_ids()) {
            sched_setaffinity(tid, sizeof saved_, &saved_);
        }
    }
    // The highest processor this process may run on.
    int allowed_processor() const {
        for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
            if (CPU_ISSET(cpu, &saved_)) {
                return cpu;
            }
        }
        return 0;
    }
    static std::vector<pid_t> thread_ids() {
        std::vector<pid_t> ids;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
            ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
        }
        return ids;
    }

private:
    cpu_set_t saved_{};
};

bool only_processor(const cpu_set_t& mask, int cpu) {
    return CPU_COUNT(&mask) == 1 && CPU_ISSET(cpu, &mask);
}

}  // namespace

TEST(Thread, CreateRunsTheRoutineWithAnyStackSizeAndJoinWaitsForIt) {
    std::atomic<int> calls{0};
    // 1 byte is raised to the system minimum.
    for (const size_t stack_size : {size_t{0}, size_t{1}, size_t{256 * 1024}}) {
        os_thread_handle thread = 0;
        os_thread_create(&thread, count_call, &calls, stack_size);
        ASSERT_NE(thread, 0u) << stack_size;
        EXPECT_EQ(os_thread_join(thread), 0);
    }
    EXPECT_EQ(calls.load(), 3);

    os_thread_handle refused = 7;
    os_thread_create(&refused, count_call, &calls, SIZE_MAX / 2);
    EXPECT_EQ(refused, 0u);
}

TEST(Thread, NullRoutineStartsAndEndsAndNullVariableStartsNothing) {
    os_thread_handle thread = 0;
    os_thread_create(&thread, nullptr, nullptr, 0);
    ASSERT_NE(thread, 0u);
    EXPECT_EQ(os_thread_join(thread), 0);

    std::atomic<int> calls{0};
    os_thread_create(nullptr, count_call, &calls, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls.load(), 0);
}

TEST(Thread, ProcessAffinityBindsEveryThread) {
    affinity_guard guard;
    const int cpu = guard.allowed_processor();
    std::atomic<bool> stop{false};
    std::thread bystander([&] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(os_thread_sched_set_affinity(cpu));
    for (const pid_t tid : affinity_guard::thread_ids()) {
        cpu_set_t mask{};
        ASSERT_EQ(sched_getaffinity(tid, sizeof mask, &mask), 0);
        EXPECT_TRUE(only_processor(mask, cpu)) << "thread " << tid;
    }
    // Threads started afterwards inherit the binding.
    cpu_set_t later{};
    os_thread_handle thread = 0;
    os_thread_create(&thread, record_own_processor_mask, &later, 0);
    os_thread_join(thread);
    EXPECT_TRUE(only_processor(later, cpu));
    stop = true;
    bystander.join();
}

TEST(Thread, ThreadAffinityBindsOneThread) {
    affinity_guard guard;
    const int cpu = guard.allowed_processor();
    EXPECT_TRUE(os_thread_sched_set_thread_affinity(pthread_self(), cpu));
    cpu_set_t mask{};
    sched_getaffinity(0, sizeof mask, &mask);
    EXPECT_TRUE(only_processor(mask, cpu));
    EXPECT_FALSE(os_thread_sched_set_thread_affinity(0, cpu));
}

TEST(Thread, AffinityRefusesIndicesOutsideTheRangeOrAbsentProcessors) {
    affinity_guard guard;
    for (const int32_t cpu : {-1, 64, 65, 1000, INT32_MIN, INT32_MAX}) {
        EXPECT_FALSE(os_thread_sched_set_affinity(cpu)) << cpu;
        EXPECT_FALSE(os_thread_sched_set_thread_affinity(pthread_self(), cpu)) << cpu;
    }
    const long configured = sysconf(_SC_NPROCESSORS_CONF);
    if (configured < 64) {
        EXPECT_FALSE(os_thread_sched_set_affinity(63));
        EXPECT_FALSE(os_thread_sched_set_thread_affinity(pthread_self(), 63));
    }
    cpu_set_t mask{};
    sched_getaffinity(0, sizeof mask, &mask);
    EXPECT_GT(CPU_COUNT(&mask), 0);
}


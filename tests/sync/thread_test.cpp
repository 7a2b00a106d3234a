#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "corvane/sync.h"

namespace {

void* count_call(void* arg) {
    ++*static_cast<std::atomic<int>*>(arg);
    return nullptr;
}

std::vector<pid_t> thread_ids() {
    std::vector<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return ids;
}

bool only_processor(pid_t tid, int cpu) {
    cpu_set_t mask{};
    return sched_getaffinity(tid, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) == 1 &&
           CPU_ISSET(cpu, &mask);
}

// Picks the highest processor this process may use below 64; restores
// every thread's mask afterwards.
class Affinity : public ::testing::Test {
protected:
    void SetUp() override {
        sched_getaffinity(0, sizeof saved_, &saved_);
        for (cpu_ = 63; cpu_ > 0 && !CPU_ISSET(cpu_, &saved_); --cpu_) {
        }
    }
    void TearDown() override {
        for (const pid_t tid : thread_ids()) {
            sched_setaffinity(tid, sizeof saved_, &saved_);
        }
    }

    cpu_set_t saved_{};
    int cpu_ = 0;
};

}  // namespace

TEST(Thread, CreateRunsTheRoutineWithAnyStackSizeAndJoinWaitsForIt) {
    std::atomic<int> calls{0};
    os_thread_create(nullptr, count_call, &calls, 0);  // nowhere to put a handle: starts nothing
    // 1 byte is raised to the system minimum; a null routine just ends.
    for (const size_t stack_size : {size_t{0}, size_t{1}, size_t{256 * 1024}}) {
        for (const os_thread_routine routine : {count_call, os_thread_routine{}}) {
            os_thread_handle thread = 0;
            os_thread_create(&thread, routine, &calls, stack_size);
            ASSERT_NE(thread, 0u) << stack_size;
            EXPECT_EQ(os_thread_join(thread), 0);
        }
    }
    EXPECT_EQ(calls.load(), 3);
    os_thread_handle refused = 7;
    os_thread_create(&refused, count_call, &calls, SIZE_MAX / 2);
    EXPECT_EQ(refused, 0u);
}

TEST_F(Affinity, ThreadAffinityBindsOneThreadAndProcessAffinityEveryThread) {
    std::atomic<bool> stop{false};
    std::thread bystander([&] {
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(os_thread_sched_set_thread_affinity(pthread_self(), cpu_));
    EXPECT_TRUE(only_processor(gettid(), cpu_));
    EXPECT_FALSE(os_thread_sched_set_thread_affinity(0, cpu_));
    ASSERT_TRUE(os_thread_sched_set_affinity(cpu_));
    for (const pid_t tid : thread_ids()) {
        EXPECT_TRUE(only_processor(tid, cpu_)) << "thread " << tid;
    }
    stop = true;
    bystander.join();
}

TEST_F(Affinity, IndicesOutsideTheRangeOrAbsentProcessorsAreRefused) {
    std::vector<int32_t> refused = {-1, 64, 65, 1000, INT32_MIN, INT32_MAX};
    if (sysconf(_SC_NPROCESSORS_CONF) < 64) {
        refused.push_back(63);
    }
    for (const int32_t cpu : refused) {
        EXPECT_FALSE(os_thread_sched_set_affinity(cpu)) << cpu;
        EXPECT_FALSE(os_thread_sched_set_thread_affinity(pthread_self(), cpu)) << cpu;
    }
    cpu_set_t mask{};
    sched_getaffinity(0, sizeof mask, &mask);
    EXPECT_TRUE(CPU_EQUAL(&mask, &saved_));
}

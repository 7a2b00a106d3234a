// Threads, affinity results, the fixed-result operations and atomics.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "corvane/sync.h"

namespace {

void* count_call(void* arg) {
    ++*static_cast<std::atomic<int>*>(arg);
    return nullptr;
}

void* wait_for_event(void* event) {
    os_event_wait(static_cast<os_event_handle*>(event));
    return nullptr;
}

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

// Some processor below 64 is ours to use; indices outside 0..63 never name
// one.
TEST(Thread, AffinityAcceptsAnUsableProcessorAndRefusesOthers) {
    os_event_handle* finish = os_event_create(true, false, nullptr);
    os_thread_handle thread = 0;
    os_thread_create(&thread, wait_for_event, finish, 0);
    ASSERT_NE(thread, 0u);
    int32_t usable = 0;
    while (usable < 64 && !os_thread_sched_set_thread_affinity(thread, usable)) {
        ++usable;
    }
    EXPECT_LT(usable, 64);
    EXPECT_FALSE(os_thread_sched_set_thread_affinity(thread, 64));
    os_event_set_event(finish);
    EXPECT_EQ(os_thread_join(thread), 0);
    os_event_destroy(&finish);
    EXPECT_FALSE(os_thread_sched_set_thread_affinity(0, 0));
    for (const int32_t cpu : {-1, 64, 65, 1000, INT32_MIN, INT32_MAX}) {
        EXPECT_FALSE(os_thread_sched_set_affinity(cpu)) << cpu;
    }
}

TEST(Thread, FixedResultOperations) {
    int32_t latency = 5;
    EXPECT_TRUE(os_thread_install_latency(&latency));
    EXPECT_EQ(latency, -1);
    os_thread_uninstall_latency();
    EXPECT_TRUE(os_thread_init_rt_schedule());
    EXPECT_TRUE(os_thread_init_rt_schedule());
    EXPECT_EQ(os_thread_exit_rt_schedule(), 0);
    EXPECT_EQ(os_thread_exit_rt_schedule(), 0);
    EXPECT_TRUE(os_sync_environment_initialize());
    os_sync_environment_uninitialize();
    os_system_close_exception();
    os_filesystem_sync();
}

TEST(Atomic, CompareAndSwapReturnsThePreviousValueAndAddSubTheNewOne) {
    int32_t target = 5;
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 5, 9), 5);
    EXPECT_EQ(target, 9);
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 4, 1), 9);
    EXPECT_EQ(target, 9);
    int64_t wide = INT64_C(1) << 40;
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, INT64_C(1) << 40, -7), INT64_C(1) << 40);
    EXPECT_EQ(wide, -7);
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, 0, 3), -7);
    EXPECT_EQ(wide, -7);
    target = 0;
    EXPECT_EQ(os_thread_sync_fetch_add(&target), 1);
    EXPECT_EQ(target, 1);
    target = 0;
    EXPECT_EQ(static_cast<uint32_t>(os_thread_sync_fetch_sub(&target)), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(target), 0xFFFFFFFFu);
    target = INT32_MAX;
    EXPECT_EQ(os_thread_sync_fetch_add(&target), INT32_MIN);
}

TEST(Atomic, ConcurrentIncrementsAreNotLost) {
    int32_t counter = 0;
    constexpr int threads = 4;
    constexpr int per_thread = 50000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&counter] {
            for (int i = 0; i < per_thread; ++i) {
                os_thread_sync_fetch_add(&counter);
                os_thread_sync_fetch_add(&counter);
                os_thread_sync_fetch_sub(&counter);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(counter, threads * per_thread);
}

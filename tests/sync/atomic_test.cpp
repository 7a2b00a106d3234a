#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "corvane/sync.h"

TEST(Atomic, CompareAndSwapReturnsThePreviousValue) {
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
}

TEST(Atomic, FetchAddAndSubReturnTheNewValueAndWrap) {
    int32_t target = 0;
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

// The clock, threads, affinity results, the fixed-result calls and atomics.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

using std::chrono::steady_clock;
using namespace sync_test;

TEST(Clock, AdjustNormalisesAndSpanSubtractsFieldByFieldWithoutOverflow) {
    const time_record adjust[][2] = {
        {{0, -1}, {-1, 999'999'999}},        {{5, 1'000'000'000}, {6, 0}},
        {{1, 2'000'000'000}, {3, 0}},        {{0, -1'500'000'000}, {-2, 500'000'000}},
        {{0, INT32_MIN}, {-3, 852'516'352}}, {{0, INT32_MAX}, {2, 147'483'647}},
        {{7, 999'999'999}, {7, 999'999'999}},
    };
    for (const auto& [from, to] : adjust) {
        time_record r = from;
        os_clock_adjust_clock_time(&r);
        EXPECT_TRUE(r.seconds == to.seconds && r.nanoseconds == to.nanoseconds) << from.nanoseconds;
    }
    const time_record span_rows[][3] = {
        {{3, 900'000'000}, {5, 100}, {2, -899'999'900}},
        {{INT64_MIN, INT32_MIN}, {INT64_MAX, INT32_MAX}, {-1, -1}},
    };
    for (const auto& [start, end, expected] : span_rows) {
        time_record span{}, copy{};
        os_clock_get_clock_span(&start, &end, &span);
        os_clock_monotonic_to_realtime(&span, &copy);
        os_clock_realtime_to_monotonic(&copy, &copy);
        EXPECT_TRUE(copy.seconds == expected.seconds && copy.nanoseconds == expected.nanoseconds);
    }
}

TEST(Clock, SleepsSkipPastDeadlinesAndLastTheirTime) {
    auto started = steady_clock::now();
    // Past, or less than 1 ms ahead: no sleep.
    for (const time_record deadline : {past(), time_record{INT64_MIN, 0}, deadline_after_ms(0)}) {
        os_clock_nano_sleep(&deadline);
    }
    EXPECT_LT(steady_clock::now() - started, 5s);
    started = steady_clock::now();
    os_thread_sleep_milliseconds(100);
    EXPECT_GE(steady_clock::now() - started, 100ms);
    started = steady_clock::now();
    const time_record deadline = deadline_after_ms(100);
    os_clock_nano_sleep(&deadline);
    EXPECT_GE(steady_clock::now() - started, 99ms) << "millisecond grain, truncated";
}

TEST(Thread, CreateRunsTheRoutineWithAnyStackSizeAndJoinWaitsForIt) {
    static std::atomic<int> calls{0};
    const os_thread_routine count = [](void*) -> void* { return ++calls, nullptr; };
    os_thread_create(nullptr, count, nullptr, 0);  // nowhere to put a handle: starts nothing
    // 1 byte is raised to the system minimum; a null routine just ends.
    for (const size_t stack_size : {size_t{0}, size_t{1}, size_t{256 * 1024}}) {
        for (const os_thread_routine routine : {count, os_thread_routine{}}) {
            os_thread_handle thread = 0;
            os_thread_create(&thread, routine, nullptr, stack_size);
            ASSERT_NE(thread, 0u) << stack_size;
            EXPECT_EQ(os_thread_join(thread), 0);
        }
    }
    EXPECT_EQ(calls.load(), 3);
    os_thread_handle refused = 7;
    os_thread_create(&refused, count, nullptr, SIZE_MAX / 2);
    EXPECT_EQ(refused, 0u);
}

// Some processor below 64 is ours; indices outside 0..63 never name one.
TEST(Thread, AffinityRefusesMissingProcessorsAndFixedCallsGiveFixedResults) {
    os_event_handle* finish = os_event_create(true, false, nullptr);
    os_thread_handle thread = 0;
    os_thread_create(&thread, [](void* event) -> void* {
        return os_event_wait(static_cast<os_event_handle*>(event)), nullptr;
    }, finish, 0);
    int32_t usable = 0;
    while (usable < 64 && !os_thread_sched_set_thread_affinity(thread, usable)) {
        ++usable;
    }
    EXPECT_LT(usable, 64);
    EXPECT_FALSE(os_thread_sched_set_thread_affinity(0, usable));
    for (const int32_t cpu : {-1, 64, 65, INT32_MIN, INT32_MAX}) {
        EXPECT_FALSE(os_thread_sched_set_affinity(cpu) ||
                     os_thread_sched_set_thread_affinity(thread, cpu)) << cpu;
    }
    os_event_set_event(finish);
    EXPECT_EQ(os_thread_join(thread), 0);
    os_event_destroy(&finish);
    int32_t latency = 5;
    EXPECT_TRUE(os_thread_install_latency(&latency) && latency == -1);
    EXPECT_TRUE(os_thread_init_rt_schedule());
    EXPECT_EQ(os_thread_exit_rt_schedule(), 0);
    EXPECT_TRUE(os_sync_environment_initialize());
}

TEST(Atomic, CompareAndSwapReturnsThePreviousValueAndAddSubTheNewOne) {
    int32_t target = 5;
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 5, 9), 5);
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 4, 1), 9);
    EXPECT_EQ(target, 9);
    int64_t wide = INT64_C(1) << 40;
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, INT64_C(1) << 40, -7), INT64_C(1) << 40);
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, 0, 3), -7);
    EXPECT_EQ(wide, -7);
    target = 0;
    EXPECT_EQ(static_cast<uint32_t>(os_thread_sync_fetch_sub(&target)), 0xFFFFFFFFu);
    EXPECT_EQ(os_thread_sync_fetch_add(&target), 0);
    target = INT32_MAX;
    EXPECT_EQ(os_thread_sync_fetch_add(&target), INT32_MIN);
    EXPECT_EQ(target, INT32_MIN);
    int32_t counter = 0;  // under contention no increment is lost
    thread_group(4, [&counter](int) {
        for (int i = 0; i < 50000; ++i) {
            os_thread_sync_fetch_add(&counter);
            os_thread_sync_fetch_add(&counter);
            os_thread_sync_fetch_sub(&counter);
        }
    });
    EXPECT_EQ(counter, 4 * 50000);
}

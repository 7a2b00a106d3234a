#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

using sync_test::deadline_after_ms;
using sync_test::eventually;
using sync_test::past;

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    os_event_handle* event = os_event_create(false, false, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] { released += os_event_wait(event) ? 1 : 0; });
    }
    for (int set = 1; set <= 3; ++set) {
        os_event_set_event(event);
        EXPECT_TRUE(eventually([&] { return released.load() >= set; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(released.load(), set);
    }
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_FALSE(os_event_wait_timeout(event, past())) << "the last set was not taken";
    os_event_destroy(&event);
}

TEST(Event, ManualResetStaysSetAndPastDeadlinesPoll) {
    os_event_handle* manual = os_event_create(true, true, nullptr);
    EXPECT_TRUE(os_event_wait(manual));
    EXPECT_TRUE(os_event_wait_timeout(manual, past()));
    os_event_reset_event(manual);
    EXPECT_FALSE(os_event_wait_timeout(manual, past()));
    os_event_set_event(manual);
    os_event_set_event(manual);
    EXPECT_TRUE(os_event_wait_timeout(manual, past()));
    os_event_destroy(&manual);

    os_event_handle* automatic = os_event_create(false, true, nullptr);
    const time_record long_ago{INT64_MIN, 0};
    EXPECT_TRUE(os_event_wait_timeout(automatic, long_ago));
    EXPECT_FALSE(os_event_wait_timeout(automatic, long_ago));
    EXPECT_FALSE(os_event_wait_timeout(automatic, deadline_after_ms(20)));
    os_event_destroy(&automatic);
}

TEST(Event, ManualResetSetReleasesSleepingWaitersEvenIfResetAtOnce) {
    os_event_handle* event = os_event_create(true, false, nullptr);
    std::atomic<int> released{0};
    std::atomic<pid_t> tids[2] = {0, 0};
    std::vector<std::thread> waiters;
    for (auto& tid : tids) {
        waiters.emplace_back([&] {
            tid = gettid();
            released += os_event_wait_timeout(event, deadline_after_ms(60'000)) ? 1 : 0;
        });
    }
    for (auto& tid : tids) {
        ASSERT_TRUE(eventually([&] { return tid != 0 && sync_test::asleep(tid); }));
    }
    os_event_set_event(event);
    os_event_reset_event(event);
    for (auto& waiter : waiters) {
        waiter.join();
    }
    EXPECT_EQ(released.load(), 2);
    os_event_destroy(&event);
}

TEST(Event, DeadlinesBeyond31BitsOfMillisecondsDoNotWrap) {
    os_event_handle* event = os_event_create(false, false, nullptr);
    for (const int64_t ahead : {(INT64_C(1) << 31) + 9, (INT64_C(1) << 32) + 1, INT64_C(1) << 52}) {
        std::atomic<bool> taken{false};
        sync_test::blocked_call waiter(
            [&] { taken = os_event_wait_timeout(event, deadline_after_ms(ahead)); });
        EXPECT_TRUE(waiter.still_blocked()) << ahead << " ms ahead ended the wait early";
        os_event_set_event(event);
        waiter.finished();
        EXPECT_TRUE(taken.load());
    }
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait_timeout(event, time_record{INT64_MAX, 0}));
    os_event_destroy(&event);
}

// Events and semaphores share one handle: one unusable kind covers both.
TEST(Event, UnusableEventsAndSemaphoresNeverWaitAndIgnoreSignals) {
    const std::string too_long(1024, 'w');
    for (os_event_handle* handle :
         {os_event_create(true, true, too_long.c_str()), os_semaphore_create(1, too_long.c_str()),
          os_semaphore_create(0, nullptr), os_semaphore_create(-3, nullptr)}) {
        ASSERT_NE(handle, nullptr);
        os_event_set_event(handle);
        os_event_reset_event(handle);
        os_semaphore_release(handle);
        EXPECT_FALSE(os_event_wait(handle));
        EXPECT_FALSE(os_semaphore_wait_timeout(handle, deadline_after_ms(60'000)));
        os_event_destroy(&handle);
        EXPECT_EQ(handle, nullptr);
    }
}

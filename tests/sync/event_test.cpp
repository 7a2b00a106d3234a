#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

namespace {

using sync_test::deadline_after_ms;
using sync_test::eventually;

// A deadline that has already passed: the wait only polls.
time_record past() {
    return deadline_after_ms(-1000);
}

}  // namespace

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    os_event_handle* event = os_event_create(false, false, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (os_event_wait(event)) {
                ++released;
            }
        });
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

TEST(Event, ManualResetStaysSignalledUntilReset) {
    os_event_handle* event = os_event_create(true, true, nullptr);
    EXPECT_TRUE(os_event_wait(event));
    EXPECT_TRUE(os_event_wait(event));
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_reset_event(event);
    EXPECT_FALSE(os_event_wait_timeout(event, past()));
    os_event_set_event(event);
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_destroy(&event);
}

TEST(Event, PastDeadlinePollsAndAutoResetTakesTheSignal) {
    os_event_handle* event = os_event_create(false, true, nullptr);
    time_record long_ago{};
    long_ago.seconds = INT64_MIN;
    EXPECT_TRUE(os_event_wait_timeout(event, long_ago));
    EXPECT_FALSE(os_event_wait_timeout(event, long_ago));
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(20)));
    os_event_destroy(&event);
}

TEST(Event, ManualResetSetReleasesSleepingWaitersEvenIfResetAtOnce) {
    os_event_handle* event = os_event_create(true, false, nullptr);
    std::atomic<int> released{0};
    std::atomic<pid_t> tids[2] = {0, 0};
    std::vector<std::thread> waiters;
    for (auto& tid : tids) {
        waiters.emplace_back([&] {
            tid = gettid();
            if (os_event_wait_timeout(event, deadline_after_ms(60'000))) {
                ++released;
            }
        });
    }
    for (auto& tid : tids) {
        ASSERT_TRUE(eventually([&] { return tid != 0 && sync_test::asleep("/proc/self/task/" + std::to_string(tid) + "/stat"); }));
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
    for (const int64_t ahead_ms : {INT64_C(2'147'483'648) + 500, INT64_C(4'294'967'296) + 100,
                                   INT64_C(1) << 52}) {
        std::atomic<int> result{-1};
        std::thread waiter([&] { result = os_event_wait_timeout(event, deadline_after_ms(ahead_ms)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(result.load(), -1) << ahead_ms << " ms ahead ended the wait early";
        os_event_set_event(event);
        waiter.join();
        EXPECT_EQ(result.load(), 1);
    }
    time_record forever{};
    forever.seconds = INT64_MAX;
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait_timeout(event, forever));
    os_event_destroy(&event);
}

TEST(Event, NameOf1024BytesGivesAHandleThatNeverWaits) {
    os_event_handle* event = os_event_create(true, true, std::string(1024, 'e').c_str());
    ASSERT_NE(event, nullptr);
    os_event_set_event(event);
    EXPECT_FALSE(os_event_wait(event));
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(60'000)));
    os_event_reset_event(event);
    os_event_destroy(&event);
    EXPECT_EQ(event, nullptr);

    const std::string longest =
        (sync_test::unique_name("e") + std::string(1023, 'x')).substr(0, 1023);
    event = os_event_create(true, true, longest.c_str());
    EXPECT_TRUE(os_event_wait(event));
    os_event_destroy(&event);
}

TEST(Event, SecondCreateOpensTheEventAndKeepsItsStateAndMode) {
    const std::string name = sync_test::unique_name("event");
    os_event_handle* first = os_event_create(true, true, name.c_str());
    os_event_handle* second = os_event_create(false, false, ("Local\\" + name).c_str());
    // Still manual-reset and signalled.
    EXPECT_TRUE(os_event_wait_timeout(second, past()));
    EXPECT_TRUE(os_event_wait_timeout(second, past()));
    os_event_reset_event(second);
    EXPECT_FALSE(os_event_wait_timeout(first, past()));
    os_event_set_event(first);
    EXPECT_TRUE(os_event_wait_timeout(second, past()));
    os_event_destroy(&first);
    os_event_destroy(&second);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

// Events and semaphores: every behaviour on an unnamed and a named object.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using namespace sync_test;

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_event_handle* event = os_event_create(false, false, name_or_null(name));
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 3; ++i) {
            waiters.emplace_back(
                [&] { released += os_event_wait_timeout(event, deadline_after_ms(60'000)); });
        }
        for (int set = 1; set <= 3; ++set) {
            os_event_set_event(event);
            EXPECT_TRUE(eventually([&] { return released.load() >= set; })) << named;
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(released.load(), set) << named;
        }
        for (auto& waiter : waiters) {
            waiter.join();
        }
        EXPECT_FALSE(os_event_wait_timeout(event, past())) << "the last set was not taken";
        os_event_destroy(&event);
    }
}

// A set wakes every thread waiting at that moment, even when a reset follows
// at once; the first look proves that the waits really wait.
TEST(Event, ManualResetSetReleasesEveryWaiterPromptly) {
    constexpr int waiting = 4;
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_event_handle* event = os_event_create(true, false, name_or_null(name));
        std::atomic<int> entered{0}, released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < waiting; ++i) {
            waiters.emplace_back([&] {
                ++entered;
                released += os_event_wait_timeout(event, deadline_after_ms(60'000));
            });
        }
        ASSERT_TRUE(eventually([&] { return entered.load() == waiting; }));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(released.load(), 0) << "a wait ended before the set";
        os_event_set_event(event);
        os_event_reset_event(event);
        EXPECT_TRUE(eventually([&] { return released.load() == waiting; }, 10s))
            << released.load() << " of " << waiting << " released, named " << named;
        for (auto& waiter : waiters) {
            waiter.join();
        }
        EXPECT_FALSE(os_event_wait_timeout(event, past()));
        os_event_set_event(event);
        os_event_set_event(event);
        EXPECT_TRUE(os_event_wait(event));
        EXPECT_TRUE(os_event_wait_timeout(event, past())) << "a manual-reset event stays set";
        os_event_destroy(&event);
    }
}

TEST(Event, PastDeadlinesPollAndFarOnesNeitherWrapNorEndEarly) {
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_event_handle* event = os_event_create(false, true, name_or_null(name));
        const time_record long_ago{INT64_MIN, 0};
        EXPECT_TRUE(os_event_wait_timeout(event, long_ago));
        EXPECT_FALSE(os_event_wait_timeout(event, long_ago));
        EXPECT_FALSE(os_event_wait_timeout(event, past()));
        EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(20)));
        for (const int64_t ahead : {(INT64_C(1) << 31) + 9, (INT64_C(1) << 32) + 1,
                                    INT64_C(1) << 52}) {
            std::atomic<bool> taken{false};
            blocked_call waiter(
                [&] { taken = os_event_wait_timeout(event, deadline_after_ms(ahead)); });
            EXPECT_TRUE(waiter.still_blocked()) << ahead << " ms ahead ended the wait early";
            os_event_set_event(event);
            EXPECT_TRUE(waiter.finished());
            EXPECT_TRUE(taken.load());
        }
        os_event_set_event(event);
        EXPECT_TRUE(os_event_wait_timeout(event, time_record{INT64_MAX, 0}));
        os_event_destroy(&event);
    }
}

// Event waits on a semaphore take its units: both share one handle type.
TEST(Semaphore, CountIsTheInitialAndTheMaximumCount) {
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_semaphore_handle* semaphore = os_semaphore_create(2, name_or_null(name));
        EXPECT_TRUE(os_semaphore_wait(semaphore));
        EXPECT_TRUE(os_event_wait(semaphore));
        EXPECT_FALSE(os_event_wait_timeout(semaphore, past()));
        blocked_call third([semaphore] { EXPECT_TRUE(os_semaphore_wait(semaphore)); });
        EXPECT_TRUE(third.still_blocked()) << "a third unit was taken";
        os_semaphore_release(semaphore);
        EXPECT_TRUE(third.finished());
        EXPECT_EQ(units_available(semaphore), 0);
        for (int i = 0; i < 3; ++i) {
            os_semaphore_release(semaphore);
        }
        EXPECT_EQ(units_available(semaphore), 2) << "released beyond the maximum";
        os_semaphore_destroy(&semaphore);
    }
}

TEST(Semaphore, ReleasesAreNeitherLostNorDoubledUnderContention) {
    constexpr int units = 3;
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_semaphore_handle* semaphore = os_semaphore_create(units, name_or_null(name));
        std::atomic<int> inside{0}, crowded{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < 6; ++t) {
            workers.emplace_back([&] {
                for (int i = 0; i < 1000; ++i) {
                    ASSERT_TRUE(os_semaphore_wait(semaphore));
                    crowded += ++inside > units;
                    --inside;
                    os_semaphore_release(semaphore);
                }
            });
        }
        for (auto& worker : workers) {
            worker.join();
        }
        EXPECT_EQ(crowded.load(), 0);
        EXPECT_EQ(units_available(semaphore), units);
        os_semaphore_destroy(&semaphore);
    }
}

TEST(Semaphore, UndoTrackCannotBeSwitchedOff) {
    os_semaphore_handle* semaphore = os_semaphore_create(1, nullptr);
    bool result = true;
    EXPECT_EQ(corvane::test::capture_stdout(
                  [&] { result = os_semaphore_set_undo_track(semaphore, false); }),
              "Windows system will track the semaphore, so you can not set undo-track to false.");
    EXPECT_FALSE(result);
    EXPECT_TRUE(os_semaphore_set_undo_track(semaphore, true));
    EXPECT_FALSE(os_semaphore_set_undo_track(nullptr, false));
    os_semaphore_destroy(&semaphore);
}

TEST(Waitable, UnusableHandlesNeverWaitAndIgnoreSignals) {
    const std::string too_long(1024, 'w');
    const std::string longest = unique_name(std::string(1023, 'w')).substr(0, 1023);
    os_event_handle* usable = os_event_create(false, true, longest.c_str());
    EXPECT_TRUE(os_event_wait_timeout(usable, past())) << "1023 bytes is still a name";
    os_event_destroy(&usable);
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

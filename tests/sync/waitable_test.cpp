// Events and semaphores, every behaviour on an unnamed and a named object,
// and conditions.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using namespace sync_test;

TEST(Event, AutoResetReleasesExactlyOneWaiterPerSet) {
    for_unnamed_and_named([](const char* name) {
        os_event_handle* event = os_event_create(false, false, name);
        std::atomic<int> released{0};
        thread_group waiters(3, [&](int) {
            released += os_event_wait_timeout(event, far_ahead());
        });
        for (int set = 1; set <= 3; ++set) {
            os_event_set_event(event);
            EXPECT_TRUE(eventually([&] { return released.load() >= set; }));
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(released.load(), set);
        }
        waiters.join();
        EXPECT_FALSE(os_event_wait_timeout(event, past())) << "the last set was not taken";
        os_event_destroy(&event);
    });
}

// A set wakes every thread waiting at that moment, even when a reset follows
// at once; the first look proves that the waits really wait.
TEST(Event, ManualResetSetReleasesEveryWaiterPromptlyAndStaysSet) {
    for_unnamed_and_named([](const char* name) {
        os_event_handle* event = os_event_create(true, false, name);
        std::atomic<int> entered{0}, released{0};
        thread_group waiters(4, [&](int) {
            ++entered;
            released += os_event_wait_timeout(event, deadline_after_ms(20'000));
        });
        ASSERT_TRUE(eventually([&] { return entered.load() == 4; }));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(released.load(), 0) << "a wait ended before the set";
        os_event_set_event(event);
        os_event_reset_event(event);
        EXPECT_TRUE(eventually([&] { return released.load() == 4; }, 10s)) << released;
        waiters.join();
        EXPECT_FALSE(os_event_wait_timeout(event, past()));
        os_event_set_event(event);
        os_event_set_event(event);
        EXPECT_TRUE(os_event_wait(event));
        EXPECT_TRUE(os_event_wait_timeout(event, past())) << "a manual-reset event stays set";
        os_event_destroy(&event);
    });
}

TEST(Event, PastDeadlinesPollAndFarOnesNeitherWrapNorEndEarly) {
    for_unnamed_and_named([](const char* name) {
        os_event_handle* event = os_event_create(false, true, name);
        const time_record long_ago{INT64_MIN, 0};
        EXPECT_TRUE(os_event_wait_timeout(event, long_ago));
        EXPECT_FALSE(os_event_wait_timeout(event, long_ago));
        EXPECT_FALSE(os_event_wait_timeout(event, past()));
        EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(20)));
        for (const int64_t ahead : {int64_t{1} << 31, int64_t{1} << 32, int64_t{1} << 52}) {
            std::atomic<bool> taken{false};
            blocked_call waiter(
                [&] { taken = os_event_wait_timeout(event, deadline_after_ms(ahead + 9)); });
            EXPECT_TRUE(waiter.still_blocked()) << ahead << " ms ahead ended the wait early";
            os_event_set_event(event);
            EXPECT_TRUE(waiter.finished() && taken.load());
        }
        os_event_set_event(event);
        EXPECT_TRUE(os_event_wait_timeout(event, time_record{INT64_MAX, 0}));
        os_event_destroy(&event);
    });
}

// Event waits on a semaphore take its units: both share one handle type.
TEST(Semaphore, CountIsTheInitialAndTheMaximumCount) {
    for_unnamed_and_named([](const char* name) {
        os_semaphore_handle* semaphore = os_semaphore_create(2, name);
        EXPECT_TRUE(os_semaphore_wait(semaphore) && os_event_wait(semaphore));
        EXPECT_FALSE(os_event_wait_timeout(semaphore, past()));
        blocked_call third([semaphore] { EXPECT_TRUE(os_semaphore_wait(semaphore)); });
        EXPECT_TRUE(third.still_blocked()) << "a third unit was taken";
        os_semaphore_release(semaphore);
        EXPECT_TRUE(third.finished());
        os_semaphore_release(semaphore);
        os_semaphore_release(semaphore);
        os_semaphore_release(semaphore);
        EXPECT_EQ(units_available(semaphore), 2) << "released beyond the maximum";
        os_semaphore_destroy(&semaphore);
    });
}

TEST(Semaphore, ReleasesAreNeitherLostNorDoubledUnderContention) {
    for_unnamed_and_named([](const char* name) {
        os_semaphore_handle* semaphore = os_semaphore_create(3, name);
        std::atomic<int> inside{0}, crowded{0};
        thread_group(6, [&](int) {
            for (int i = 0; i < 1000; ++i) {
                ASSERT_TRUE(os_semaphore_wait(semaphore));
                crowded += ++inside > 3;
                --inside;
                os_semaphore_release(semaphore);
            }
        });
        EXPECT_EQ(crowded.load(), 0);
        EXPECT_EQ(units_available(semaphore), 3);
        os_semaphore_destroy(&semaphore);
    });
}

// A 1024-byte name or a count below 1 gives handles that do nothing; events
// and semaphores share one handle type, so one kind of check covers both.
TEST(Waitable, UnusableHandlesNeverWaitAndIgnoreSignals) {
    const std::string too_long(1024, 'w');
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(too_long.c_str());
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_destroy(&mutex);
    os_rw_mutex_handle* rw = os_rw_mutex_create(too_long.c_str());
    os_rw_mutex_lock_wr(rw);
    os_rw_mutex_unlock(rw);
    os_rw_mutex_destroy(&rw);
    EXPECT_TRUE(mutex == nullptr && rw == nullptr);
    for (os_event_handle* handle :
         {os_event_create(true, true, too_long.c_str()), os_semaphore_create(1, too_long.c_str()),
          os_semaphore_create(0, nullptr), os_semaphore_create(-3, nullptr)}) {
        os_event_set_event(handle);
        os_semaphore_release(handle);
        EXPECT_FALSE(os_event_wait(handle) || os_semaphore_wait_timeout(handle, far_ahead()));
        os_event_destroy(&handle);
        EXPECT_EQ(handle, nullptr);
    }
    bool result = true;
    os_semaphore_handle* semaphore = os_semaphore_create(1, nullptr);
    EXPECT_EQ(corvane::test::capture_stdout(
                  [&] { result = os_semaphore_set_undo_track(semaphore, false); }),
              "Windows system will track the semaphore, so you can not set undo-track to false.");
    EXPECT_FALSE(result || os_semaphore_set_undo_track(nullptr, false));
    EXPECT_TRUE(os_semaphore_set_undo_track(semaphore, true));
    os_semaphore_destroy(&semaphore);
}

TEST(Condition, WaitTimesOutUnlessSignalledAndHoldsTheLockAgain) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(-50)), OS_CONDITION_TIMED_OUT);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(30)), OS_CONDITION_TIMED_OUT);
    os_condition_unlock(condition);
    for (const bool timed : {true, false}) {
        bool ready = false;  // guarded by the condition's lock
        int last = OS_CONDITION_WOKEN;
        blocked_call waiter([&] {
            os_condition_lock(condition);
            while (!ready && last == OS_CONDITION_WOKEN) {
                last = timed ? os_condition_wait_timeout(condition, far_ahead())
                             : os_condition_wait(condition);
            }
            os_condition_unlock(condition);
        });
        EXPECT_TRUE(waiter.still_blocked()) << timed;
        os_condition_lock(condition);  // recursive: taken twice, released twice
        os_condition_lock(condition);
        ready = true;
        os_condition_signal(condition);
        os_condition_unlock(condition);
        EXPECT_TRUE(waiter.still_blocked()) << "got the lock while it was still held";
        os_condition_unlock(condition);
        EXPECT_TRUE(waiter.finished() && last == OS_CONDITION_WOKEN) << timed;
    }
    os_condition_destroy(&condition);
    EXPECT_EQ(condition, nullptr);
}

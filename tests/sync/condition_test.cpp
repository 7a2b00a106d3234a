#include <gtest/gtest.h>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

using namespace sync_test;

TEST(Condition, WaitTimesOutWhenTheDeadlinePassesWithoutASignal) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(-50)), OS_CONDITION_TIMED_OUT);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(30)), OS_CONDITION_TIMED_OUT);
    os_condition_unlock(condition);
    os_condition_destroy(&condition);
    EXPECT_EQ(condition, nullptr);
    EXPECT_EQ(os_condition_wait(nullptr), OS_CONDITION_WOKEN);
}

TEST(Condition, SignalWakesTimedAndPlainWaitersHoldingTheLockAgain) {
    os_condition_handle* condition = os_condition_create();
    for (const bool timed : {true, false}) {
        bool ready = false;  // guarded by the condition's lock
        int last = OS_CONDITION_WOKEN;
        blocked_call waiter([&] {
            os_condition_lock(condition);
            while (!ready && last == OS_CONDITION_WOKEN) {
                last = timed ? os_condition_wait_timeout(condition, deadline_after_ms(60'000))
                             : os_condition_wait(condition);
            }
            os_condition_unlock(condition);
        });
        EXPECT_TRUE(waiter.still_blocked()) << timed;
        os_condition_lock(condition);
        ready = true;
        os_condition_signal(condition);
        os_condition_unlock(condition);
        EXPECT_TRUE(waiter.finished());
        EXPECT_EQ(last, OS_CONDITION_WOKEN) << timed;
    }
    os_condition_destroy(&condition);
}

TEST(Condition, LockTakenTwiceExcludesAnotherThreadUntilBothUnlocks) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    os_condition_lock(condition);
    blocked_call other([condition] {
        os_condition_lock(condition);
        os_condition_unlock(condition);
    });
    os_condition_unlock(condition);
    EXPECT_TRUE(other.still_blocked());
    os_condition_unlock(condition);
    EXPECT_TRUE(other.finished());
    os_condition_destroy(&condition);
}

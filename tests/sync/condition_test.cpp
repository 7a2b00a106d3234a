#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

using sync_test::deadline_after_ms;

TEST(Condition, WaitTimesOutWhenTheDeadlinePassesWithoutASignal) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(-50)), OS_CONDITION_TIMED_OUT);
    EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(30)), OS_CONDITION_TIMED_OUT);
    os_condition_unlock(condition);
    os_condition_destroy(&condition);
    EXPECT_EQ(condition, nullptr);
}

TEST(Condition, SignalWakesAWaiterThatHoldsTheLockAgain) {
    os_condition_handle* condition = os_condition_create();
    bool ready = false;  // guarded by the condition's lock
    std::atomic<int> timed_result{-1};
    std::atomic<int> plain_result{-1};
    auto wait_for_ready = [&](bool timed, std::atomic<int>& result) {
        os_condition_lock(condition);
        int last = OS_CONDITION_WOKEN;
        while (!ready && (last == OS_CONDITION_WOKEN)) {
            last = timed ? os_condition_wait_timeout(condition, deadline_after_ms(60'000))
                         : os_condition_wait(condition);
        }
        result = last;
        os_condition_unlock(condition);
    };
    std::thread timed([&] { wait_for_ready(true, timed_result); });
    std::thread plain([&] { wait_for_ready(false, plain_result); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    os_condition_lock(condition);
    ready = true;
    os_condition_signal(condition);
    os_condition_signal(condition);
    os_condition_unlock(condition);
    timed.join();
    plain.join();
    EXPECT_EQ(timed_result.load(), OS_CONDITION_WOKEN);
    EXPECT_EQ(plain_result.load(), OS_CONDITION_WOKEN);
    os_condition_destroy(&condition);
}

TEST(Condition, LockIsRecursive) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    os_condition_lock(condition);
    std::atomic<bool> inside{false};
    std::thread other([&] {
        os_condition_lock(condition);
        inside = true;
        os_condition_unlock(condition);
    });
    os_condition_unlock(condition);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(inside.load());
    os_condition_unlock(condition);
    other.join();
    EXPECT_TRUE(inside.load());
    os_condition_destroy(&condition);
}

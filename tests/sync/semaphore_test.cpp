#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using sync_test::deadline_after_ms;

time_record past() {
    return deadline_after_ms(-1000);
}

// Takes every unit there is without blocking.
int units_available(os_semaphore_handle* semaphore) {
    int units = 0;
    while (os_semaphore_wait_timeout(semaphore, past())) {
        ++units;
    }
    return units;
}

}  // namespace

TEST(Semaphore, CountTwoAdmitsTwoAndTheThirdWaitsForARelease) {
    os_semaphore_handle* semaphore = os_semaphore_create(2, nullptr);
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    std::atomic<int> third{-1};
    std::thread waiter([&] { third = os_semaphore_wait(semaphore); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(third.load(), -1) << "a third unit was taken";
    os_semaphore_release(semaphore);
    waiter.join();
    EXPECT_EQ(third.load(), 1);
    EXPECT_EQ(units_available(semaphore), 0);
    os_semaphore_destroy(&semaphore);
}

TEST(Semaphore, EventWaitsTakeUnitsOfASemaphore) {
    os_semaphore_handle* semaphore = os_semaphore_create(1, nullptr);
    EXPECT_TRUE(os_event_wait(semaphore));
    EXPECT_FALSE(os_event_wait_timeout(semaphore, past()));
    os_semaphore_release(semaphore);
    EXPECT_TRUE(os_event_wait_timeout(semaphore, deadline_after_ms(1000)));
    os_semaphore_destroy(&semaphore);
}

TEST(Semaphore, ReleasesAreNeitherLostNorDoubledUnderContention) {
    constexpr int units = 3;
    constexpr int rounds = 2000;
    os_semaphore_handle* semaphore = os_semaphore_create(units, nullptr);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < rounds; ++i) {
                ASSERT_TRUE(os_semaphore_wait(semaphore));
                const int now = ++inside;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                --inside;
                os_semaphore_release(semaphore);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_LE(most.load(), units);
    EXPECT_EQ(units_available(semaphore), units);
    os_semaphore_destroy(&semaphore);
}

TEST(Semaphore, CountBelowOneOrNameOf1024BytesGivesAnUnusableHandle) {
    for (os_semaphore_handle* semaphore :
         {os_semaphore_create(0, nullptr), os_semaphore_create(-3, nullptr),
          os_semaphore_create(1, std::string(1024, 's').c_str())}) {
        ASSERT_NE(semaphore, nullptr);
        os_semaphore_release(semaphore);
        EXPECT_FALSE(os_semaphore_wait(semaphore));
        EXPECT_FALSE(os_semaphore_wait_timeout(semaphore, deadline_after_ms(60'000)));
        os_semaphore_destroy(&semaphore);
    }
}

TEST(Semaphore, SecondCreateKeepsTheCountAndMaximum) {
    const std::string name = sync_test::unique_name("sem");
    os_semaphore_handle* first = os_semaphore_create(2, name.c_str());
    EXPECT_TRUE(os_semaphore_wait(first));
    os_semaphore_handle* second = os_semaphore_create(10, name.c_str());
    EXPECT_EQ(units_available(second), 1);
    for (int i = 0; i < 5; ++i) {
        os_semaphore_release(second);
    }
    EXPECT_EQ(units_available(first), 2);
    os_semaphore_destroy(&first);
    os_semaphore_destroy(&second);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

TEST(Semaphore, UndoTrackCannotBeSwitchedOff) {
    os_semaphore_handle* semaphore = os_semaphore_create(1, nullptr);
    bool result = true;
    EXPECT_EQ(corvane::test::capture_stdout(
                  [&] { result = os_semaphore_set_undo_track(semaphore, false); }),
              "Windows system will track the semaphore, so you can not set undo-track to false.");
    EXPECT_FALSE(result);
    EXPECT_EQ(corvane::test::capture_stdout(
                  [&] { result = os_semaphore_set_undo_track(semaphore, true); }),
              "");
    EXPECT_TRUE(result);
    EXPECT_EQ(corvane::test::capture_stdout(
                  [&] { result = os_semaphore_set_undo_track(nullptr, false); }),
              "");
    EXPECT_FALSE(result);
    os_semaphore_destroy(&semaphore);
}

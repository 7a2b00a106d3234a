#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using sync_test::units_available;

// Event waits on a semaphore take its units: both share one waitable.
TEST(Semaphore, CountTwoAdmitsTwoAndTheThirdWaitsForARelease) {
    os_semaphore_handle* semaphore = os_semaphore_create(2, nullptr);
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    EXPECT_TRUE(os_event_wait(semaphore));
    EXPECT_FALSE(os_event_wait_timeout(semaphore, sync_test::past()));
    sync_test::blocked_call third([semaphore] { EXPECT_TRUE(os_semaphore_wait(semaphore)); });
    EXPECT_TRUE(third.still_blocked()) << "a third unit was taken";
    os_semaphore_release(semaphore);
    EXPECT_TRUE(third.finished());
    EXPECT_EQ(units_available(semaphore), 0);
    os_semaphore_destroy(&semaphore);
}

TEST(Semaphore, ReleasesAreNeitherLostNorDoubledUnderContention) {
    constexpr int units = 3;
    os_semaphore_handle* semaphore = os_semaphore_create(units, nullptr);
    std::atomic<int> inside{0}, crowded{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
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

// Helpers shared by the sync tests: deadlines, bounded waits, calls that
// must block, and names for the named rows of a table.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "corvane/sync.h"
#include "test_support.hpp"

using namespace std::chrono_literals;
using namespace corvane::test;

inline time_record deadline_after_ms(int64_t ms) {
    time_record now{};
    os_clock_get_time(1, &now);
    time_record deadline{now.seconds + ms / 1000, now.nanoseconds + int32_t(ms % 1000) * 1'000'000};
    os_clock_adjust_clock_time(&deadline);
    return deadline;
}

// A deadline that has passed: the wait only polls.
inline time_record past() { return deadline_after_ms(-1000); }

// Polls `condition` until it holds or the generous bound passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds bound = 30s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return condition();
}

// Runs `test(name)` for an unnamed object (null) and for a fresh name.
inline void for_unnamed_and_named(const std::function<void(const char* name)>& test) {
    test(nullptr);
    SCOPED_TRACE("named");
    test(unique_name("obj").c_str());
}

// Runs `body` on a thread of its own, for a call that must block until the
// test lets it through. A call still blocked after a generous bound is left
// behind, so that a fault fails the test at once instead of hanging it.
class blocked_call {
public:
    explicit blocked_call(std::function<void()> body)
        : thread_([done = done_, body = std::move(body)] { body(), *done = true; }) {}
    ~blocked_call() { finished(); }
    // Gives the call a moment to get through (wrongly).
    bool still_blocked() const { return std::this_thread::sleep_for(30ms), !*done_; }
    bool finished() {
        if (thread_.joinable()) eventually([this] { return done_->load(); }) ? thread_.join()
                                                                            : thread_.detach();
        return *done_;
    }

private:
    std::shared_ptr<std::atomic<bool>> done_ = std::make_shared<std::atomic<bool>>(false);
    std::thread thread_;
};

// A call that locks `mutex` and lets go of it again.
inline std::function<void()> lock_and_unlock(os_recursive_mutex_handle* mutex) {
    return [mutex] { os_recursive_mutex_lock(mutex), os_recursive_mutex_unlock(mutex); };
}

// Takes every unit there is without blocking, up to 10 (a set manual-reset
// event has no end of them).
inline int units_available(os_semaphore_handle* semaphore) {
    int units = 0;
    while (units < 10 && os_semaphore_wait_timeout(semaphore, past())) ++units;
    return units;
}

// Locks `holder` `depth` times; a thread locking `other` (the same mutex or
// another handle on it) must stay out until the last unlock.
inline void expect_excludes_until_released(os_recursive_mutex_handle* holder,
                                           os_recursive_mutex_handle* other, int depth) {
    for (int i = 0; i < depth; ++i) os_recursive_mutex_lock(holder);
    blocked_call contender(lock_and_unlock(other));
    for (int i = 0; i < depth; ++i) {
        EXPECT_TRUE(contender.still_blocked()) << "got in with " << depth - i << " locks held";
        os_recursive_mutex_unlock(holder);
    }
    EXPECT_TRUE(contender.finished());
}

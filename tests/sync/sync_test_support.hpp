// Helpers shared by the sync tests: unique object names, deadlines, bounded
// waits, calls that must block, and a look at /dev/shm.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "corvane/sync.h"
#include "test_support.hpp"

namespace sync_test {

using corvane::test::unique_name;

inline time_record deadline_after_ms(int64_t ms) {
    time_record now{};
    os_clock_get_time(1, &now);
    now.seconds += ms / 1000;
    now.nanoseconds += static_cast<int32_t>(ms % 1000) * 1'000'000;
    os_clock_adjust_clock_time(&now);
    return now;
}

// A deadline that has passed: the wait only polls.
inline time_record past() { return deadline_after_ms(-1000); }

// Polls `condition` until it holds or the generous bound passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds bound = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// True once the thread or process `id` sleeps in the kernel.
inline bool asleep(pid_t id) {
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    const std::string text{std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>()};
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

inline bool shm_has_entry_containing(const std::string& token) {
    bool found = false;
    if (DIR* folder = opendir("/dev/shm")) {
        while (const dirent* entry = readdir(folder)) {
            found = found || std::string(entry->d_name).find(token) != std::string::npos;
        }
        closedir(folder);
    }
    return found;
}

// Takes every unit there is without blocking.
inline int units_available(os_semaphore_handle* semaphore) {
    int units = 0;
    while (os_semaphore_wait_timeout(semaphore, past())) {
        ++units;
    }
    return units;
}

// Runs `body` on a thread of its own, for a call that must block until the
// test lets it through.
class blocked_call {
public:
    explicit blocked_call(std::function<void()> body)
        : thread_([this, body = std::move(body)] {
              body();
              done_ = true;
          }) {}
    ~blocked_call() { finished(); }
    // Gives the call a moment to get through (wrongly).
    bool still_blocked() const {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return !done_;
    }
    bool finished() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return done_;
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Locks `holder` `depth` times; a thread locking `other` (the same mutex or
// another handle on it) must stay out until the last unlock.
inline void expect_excludes_until_released(os_recursive_mutex_handle* holder,
                                           os_recursive_mutex_handle* other, int depth) {
    for (int i = 0; i < depth; ++i) {
        os_recursive_mutex_lock(holder);
    }
    blocked_call contender([other] {
        os_recursive_mutex_lock(other);
        os_recursive_mutex_unlock(other);
    });
    for (int i = 0; i < depth; ++i) {
        EXPECT_TRUE(contender.still_blocked()) << "got in with " << depth - i << " locks held";
        os_recursive_mutex_unlock(holder);
    }
    EXPECT_TRUE(contender.finished());
}

}  // namespace sync_test

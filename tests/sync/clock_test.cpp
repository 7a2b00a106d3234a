#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

namespace {

using std::chrono::steady_clock;

void ignore_signal(int) {}

}  // namespace

TEST(Clock, AdjustNormalisesAndSpanSubtractsFieldByFieldWithoutOverflow) {
    const time_record adjust[][2] = {
        {{0, -1}, {-1, 999'999'999}},
        {{1, 2'000'000'000}, {3, 0}},
        {{0, -1'500'000'000}, {-2, 500'000'000}},
        {{0, INT32_MIN}, {-3, 852'516'352}},
        {{0, INT32_MAX}, {2, 147'483'647}},
    };
    for (const auto& row : adjust) {
        time_record r = row[0];
        os_clock_adjust_clock_time(&r);
        EXPECT_EQ(r.seconds, row[1].seconds) << row[0].nanoseconds;
        EXPECT_EQ(r.nanoseconds, row[1].nanoseconds) << row[0].nanoseconds;
    }
    const time_record span_rows[][3] = {
        {{3, 900'000'000}, {5, 100}, {2, -899'999'900}},
        {{INT64_MIN, INT32_MIN}, {INT64_MAX, INT32_MAX}, {-1, -1}},
    };
    for (const auto& row : span_rows) {
        time_record span{};
        os_clock_get_clock_span(&row[0], &row[1], &span);
        EXPECT_EQ(span.seconds, row[2].seconds);
        EXPECT_EQ(span.nanoseconds, row[2].nanoseconds);
    }
}

TEST(Clock, SleepsSkipPastDeadlinesAndLastTheirTimeDespiteSignals) {
    struct sigaction action {}, previous{};
    action.sa_handler = ignore_signal;  // no SA_RESTART: signals cut plain sleeps short
    sigaction(SIGUSR1, &action, &previous);
    std::atomic<bool> done{false};
    std::thread storm([&done, sleeper = pthread_self()] {
        while (!done) {
            pthread_kill(sleeper, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    auto started = steady_clock::now();
    // Past, or less than 1 ms ahead: no sleep.
    for (const time_record deadline :
         {sync_test::past(), time_record{INT64_MIN, 0}, sync_test::deadline_after_ms(0)}) {
        os_clock_nano_sleep(&deadline);
    }
    EXPECT_LT(steady_clock::now() - started, std::chrono::seconds(5));
    started = steady_clock::now();
    os_thread_sleep_milliseconds(100);
    EXPECT_GE(steady_clock::now() - started, std::chrono::milliseconds(100));
    started = steady_clock::now();
    const time_record deadline = sync_test::deadline_after_ms(100);
    os_clock_nano_sleep(&deadline);
    // Millisecond grain, truncated: it may end up to 1 ms early.
    EXPECT_GE(steady_clock::now() - started, std::chrono::milliseconds(99));
    done = true;
    storm.join();
    sigaction(SIGUSR1, &previous, nullptr);
}

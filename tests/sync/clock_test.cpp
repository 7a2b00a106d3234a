#include <gtest/gtest.h>

#include <chrono>

#include "corvane/sync.h"
#include "sync_test_support.hpp"

using std::chrono::steady_clock;
using namespace sync_test;

TEST(Clock, AdjustNormalisesAndSpanSubtractsFieldByFieldWithoutOverflow) {
    const time_record adjust[][2] = {
        {{0, -1}, {-1, 999'999'999}},
        {{5, 1'000'000'000}, {6, 0}},
        {{1, 2'000'000'000}, {3, 0}},
        {{0, -1'500'000'000}, {-2, 500'000'000}},
        {{0, INT32_MIN}, {-3, 852'516'352}},
        {{0, INT32_MAX}, {2, 147'483'647}},
        {{7, 999'999'999}, {7, 999'999'999}},
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
        time_record copy{};
        os_clock_monotonic_to_realtime(&span, &copy);
        os_clock_realtime_to_monotonic(&copy, &copy);
        EXPECT_EQ(copy.nanoseconds, span.nanoseconds) << "copies unnormalised records as they are";
    }
}

TEST(Clock, EveryKindReadsOneNormalisedTimeBaseThatRunsWithTheSteadyClock) {
    time_record readings[3]{};
    const auto started = steady_clock::now();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(os_clock_get_time(i == 2 ? 7 : i, &readings[i]), 0);
        EXPECT_GE(readings[i].nanoseconds, 0);
        EXPECT_LT(readings[i].nanoseconds, 1'000'000'000);
    }
    os_thread_sleep_milliseconds(50);
    time_record later{}, span{};
    os_clock_get_time(1, &later);
    const auto elapsed = steady_clock::now() - started;
    os_clock_get_clock_span(&readings[0], &later, &span);
    os_clock_adjust_clock_time(&span);
    const auto measured = std::chrono::seconds(span.seconds) + std::chrono::nanoseconds(span.nanoseconds);
    EXPECT_GE(measured, 49ms);
    EXPECT_LE(measured, elapsed + 5ms);
}

TEST(Clock, SleepsSkipPastDeadlinesAndLastTheirTime) {
    auto started = steady_clock::now();
    // Past, or less than 1 ms ahead: no sleep.
    for (const time_record deadline : {past(), time_record{INT64_MIN, 0}, deadline_after_ms(0)}) {
        os_clock_nano_sleep(&deadline);
    }
    EXPECT_LT(steady_clock::now() - started, 5s);
    started = steady_clock::now();
    os_thread_sleep_milliseconds(100);
    EXPECT_GE(steady_clock::now() - started, 100ms);
    started = steady_clock::now();
    const time_record deadline = deadline_after_ms(100);
    os_clock_nano_sleep(&deadline);
    // Millisecond grain, truncated: it may end up to 1 ms early.
    EXPECT_GE(steady_clock::now() - started, 99ms);
}

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "corvane/sync.h"
#include "sync/time_arithmetic.hpp"
#include "sync_test_support.hpp"

namespace {

using corvane::detail::remaining_milliseconds;

time_record record(int64_t seconds, int32_t nanoseconds) {
    time_record r{};
    r.seconds = seconds;
    r.nanoseconds = nanoseconds;
    return r;
}

void expect_record(const time_record& actual, int64_t seconds, int32_t nanoseconds) {
    EXPECT_EQ(actual.seconds, seconds);
    EXPECT_EQ(actual.nanoseconds, nanoseconds);
}

void ignore_signal(int) {}

// Sends SIGUSR1 (handled, without SA_RESTART) to `target` until `done`.
class signal_storm {
public:
    explicit signal_storm(pthread_t target) : target_(target) {
        struct sigaction action {};
        action.sa_handler = ignore_signal;
        sigaction(SIGUSR1, &action, &previous_);
        sender_ = std::thread([this] {
            while (!done_) {
                pthread_kill(target_, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~signal_storm() {
        done_ = true;
        sender_.join();
        sigaction(SIGUSR1, &previous_, nullptr);
    }

private:
    pthread_t target_;
    struct sigaction previous_ {};
    std::atomic<bool> done_{false};
    std::thread sender_;
};

}  // namespace

TEST(Clock, EveryKindReadsOneNormalisedMonotonicBase) {
    time_record a{}, b{}, c{};
    EXPECT_EQ(os_clock_get_time(0, &a), 0);
    EXPECT_EQ(os_clock_get_time(1, &b), 0);
    EXPECT_EQ(os_clock_get_time(7, &c), 0);
    for (const auto& r : {a, b, c}) {
        EXPECT_GE(r.nanoseconds, 0);
        EXPECT_LT(r.nanoseconds, 1'000'000'000);
    }
    time_record span{};
    os_clock_get_clock_span(&a, &c, &span);
    os_clock_adjust_clock_time(&span);
    EXPECT_GE(span.seconds, 0);
    EXPECT_LT(span.seconds, 60);
}

TEST(Clock, AdjustNormalisesByWholeSeconds) {
    const struct {
        time_record in;
        time_record out;
    } cases[] = {
        {record(0, -1), record(-1, 999'999'999)},
        {record(5, 1'000'000'000), record(6, 0)},
        {record(1, 2'000'000'000), record(3, 0)},
        {record(0, -1'500'000'000), record(-2, 500'000'000)},
        {record(7, 123), record(7, 123)},
        {record(0, INT32_MIN), record(-3, 852'516'352)},
        {record(0, INT32_MAX), record(2, 147'483'647)},
    };
    for (const auto& c : cases) {
        time_record r = c.in;
        os_clock_adjust_clock_time(&r);
        expect_record(r, c.out.seconds, c.out.nanoseconds);
    }
}

TEST(Clock, SpanIsFieldByFieldAndUnnormalised) {
    const time_record start = record(3, 900'000'000);
    const time_record end = record(5, 100);
    time_record span{};
    os_clock_get_clock_span(&start, &end, &span);
    expect_record(span, 2, -899'999'900);
    os_clock_adjust_clock_time(&span);
    expect_record(span, 1, 100'000'100);

    os_clock_get_clock_span(&end, &start, &span);
    expect_record(span, -2, 899'999'900);

    // Extreme fields wrap instead of overflowing.
    const time_record low = record(INT64_MIN, INT32_MIN);
    const time_record high = record(INT64_MAX, INT32_MAX);
    os_clock_get_clock_span(&low, &high, &span);
    expect_record(span, -1, -1);
}

TEST(Clock, RemainingMillisecondsTruncatesAndNeverWraps) {
    const time_record now = record(1000, 250'000'000);
    auto ahead = [&](int64_t seconds, int32_t nanoseconds) {
        return remaining_milliseconds(now, record(now.seconds + seconds, now.nanoseconds + nanoseconds));
    };
    EXPECT_EQ(ahead(1, -500'000'000), 500);
    EXPECT_EQ(ahead(0, 1'999'999), 1);
    EXPECT_EQ(ahead(0, 999'999), 0);
    EXPECT_EQ(ahead(-1, 0), 0);
    // 2^31 ms and far beyond: the count keeps growing.
    EXPECT_EQ(ahead(2'147'483, 648'000'000), INT64_C(2'147'483'648));
    EXPECT_EQ(ahead(INT64_C(1) << 40, 0), (INT64_C(1) << 40) * 1000);
    // The ends of the range are far past and far ahead.
    EXPECT_EQ(remaining_milliseconds(now, record(INT64_MIN, INT32_MIN)), 0);
    EXPECT_EQ(remaining_milliseconds(record(INT64_MAX, 0), record(INT64_MIN, 0)), 0);
    EXPECT_FALSE(remaining_milliseconds(now, record(INT64_MAX, INT32_MAX)).has_value());
    EXPECT_FALSE(remaining_milliseconds(record(INT64_MIN, 0), record(INT64_MAX, 0)).has_value());
}

TEST(Clock, NanoSleepReturnsAtOnceForPastOrSubMillisecondDeadlines) {
    time_record now{};
    os_clock_get_time(1, &now);
    const auto started = std::chrono::steady_clock::now();
    const time_record past = record(now.seconds - 10, now.nanoseconds);
    os_clock_nano_sleep(&past);
    const time_record far_past = record(INT64_MIN, 0);
    os_clock_nano_sleep(&far_past);
    const time_record almost_now = sync_test::deadline_after_ms(0);
    os_clock_nano_sleep(&almost_now);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(Clock, NanoSleepLastsUntilTheDeadlineDespiteSignals) {
    const time_record deadline = sync_test::deadline_after_ms(150);
    {
        signal_storm storm(pthread_self());
        os_clock_nano_sleep(&deadline);
    }
    time_record now{};
    os_clock_get_time(1, &now);
    // The sleep has millisecond grain, truncated: it may end up to 1 ms early.
    time_record left{};
    os_clock_get_clock_span(&now, &deadline, &left);
    os_clock_adjust_clock_time(&left);
    EXPECT_TRUE(left.seconds < 0 || (left.seconds == 0 && left.nanoseconds < 1'000'000))
        << "woke " << left.seconds << " s " << left.nanoseconds << " ns early";
}

TEST(Clock, SleepMillisecondsLastsItsTimeDespiteSignals) {
    const auto started = std::chrono::steady_clock::now();
    {
        signal_storm storm(pthread_self());
        os_thread_sleep_milliseconds(150);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(150));
}

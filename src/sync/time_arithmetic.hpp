// Arithmetic on time records: spans, normalising, and the whole milliseconds
// left until a deadline. Free of any platform call, so tests can check it
// with chosen readings instead of the running clock.
#pragma once

#include <cstdint>
#include <optional>

#include "common/portability.hpp"
#include "corvane/sync.h"

namespace corvane::detail {

inline constexpr int32_t nanoseconds_per_second = 1'000'000'000;
inline constexpr int32_t nanoseconds_per_millisecond = 1'000'000;

// end - start field by field. The differences wrap instead of overflowing, so
// any pair of records (unnormalised ones included) is defined behaviour.
constexpr time_record clock_span(const time_record& start, const time_record& end) {
    time_record span{};
    span.seconds = static_cast<int64_t>(static_cast<uint64_t>(end.seconds) -
                                        static_cast<uint64_t>(start.seconds));
    span.nanoseconds = static_cast<int32_t>(static_cast<uint32_t>(end.nanoseconds) -
                                            static_cast<uint32_t>(start.nanoseconds));
    return span;
}

// Borrows, then carries, one second per pass. A 32-bit nanosecond field is
// at most three passes away from normal.
constexpr void normalise(time_record& time) {
    auto step_seconds = [&time](int64_t by) {
        time.seconds = static_cast<int64_t>(static_cast<uint64_t>(time.seconds) +
                                            static_cast<uint64_t>(by));
    };
    while (time.nanoseconds < 0) {
        step_seconds(-1);
        time.nanoseconds += nanoseconds_per_second;
    }
    while (time.nanoseconds >= nanoseconds_per_second) {
        step_seconds(1);
        time.nanoseconds -= nanoseconds_per_second;
    }
}

// Whole milliseconds from `now` until `deadline`, truncated toward zero,
// never negative; empty when the deadline is too far ahead to count (about
// 292 million years), which a wait treats as no limit. Within 2^31 - 1 ms
// this is the 32-bit rule the waits have always used; beyond it the count
// keeps growing instead of wrapping into a short or past wait, and a deadline
// at either end of the range is far past or far ahead, not wrapped around.
constexpr std::optional<int64_t> remaining_milliseconds(const time_record& now,
                                                        const time_record& deadline) {
    // Headroom for the nanosecond fields, which may be unnormalised: their
    // difference adds at most about +-4.3 s to the count.
    constexpr int64_t countable_seconds = INT64_MAX / 1000 - 5;
    int64_t seconds = 0;
    if (subtract_overflows(deadline.seconds, now.seconds, seconds)) {
        return deadline.seconds < now.seconds ? std::optional<int64_t>(0) : std::nullopt;
    }
    if (seconds > countable_seconds) {
        return std::nullopt;
    }
    if (seconds < -countable_seconds) {
        return 0;
    }
    const int64_t nanoseconds =
        static_cast<int64_t>(deadline.nanoseconds) - static_cast<int64_t>(now.nanoseconds);
    const int64_t ms = seconds * 1000 + nanoseconds / nanoseconds_per_millisecond;
    return ms < 0 ? 0 : ms;
}

// `from` moved ahead by `ms` milliseconds, normalised. `from` is a clock
// reading and `ms` a remaining count, so the sum stays far inside 64 bits.
constexpr time_record advanced_by_milliseconds(const time_record& from, int64_t ms) {
    time_record to = from;
    to.seconds += ms / 1000;
    to.nanoseconds += static_cast<int32_t>(ms % 1000) * nanoseconds_per_millisecond;
    normalise(to);
    return to;
}

}  // namespace corvane::detail

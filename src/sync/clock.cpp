// The clock family and deadlines: truly platform-independent arithmetic over
// the monotonic reading that the platform supplies.

#include "sync/sync_internal.hpp"
#include "sync/time_arithmetic.hpp"

namespace corvane::detail {

std::optional<time_record> wait_end_for(const time_record& deadline) {
    const time_record now = monotonic_now();
    const std::optional<int64_t> ms = remaining_milliseconds(now, deadline);
    if (!ms) {
        return std::nullopt;
    }
    return advanced_by_milliseconds(now, *ms);
}

}  // namespace corvane::detail

using namespace corvane::detail;

extern "C" {

CORVANE_API int32_t os_clock_get_time(int32_t /*clock_kind*/, time_record* now) {
    *now = monotonic_now();
    return 0;
}

CORVANE_API void os_clock_get_clock_span(const time_record* start, const time_record* end,
                                         time_record* span) {
    *span = clock_span(*start, *end);
}

CORVANE_API void os_clock_adjust_clock_time(time_record* time) {
    normalise(*time);
}

CORVANE_API void os_clock_monotonic_to_realtime(const time_record* from, time_record* to) {
    *to = *from;
}

CORVANE_API void os_clock_realtime_to_monotonic(const time_record* from, time_record* to) {
    *to = *from;
}

CORVANE_API void os_clock_nano_sleep(const time_record* deadline) {
    const std::optional<int64_t> ms = remaining_milliseconds(monotonic_now(), *deadline);
    if (!ms) {
        sleep_milliseconds(INT64_MAX);
    } else if (*ms >= 1) {
        sleep_milliseconds(*ms);
    }
}

}  // extern "C"

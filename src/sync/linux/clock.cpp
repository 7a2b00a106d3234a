// The monotonic clock and sleeping on it, for Linux.

#include <cerrno>

#include "sync/linux/linux_time.hpp"
#include "sync/sync_platform.hpp"
#include "sync/time_arithmetic.hpp"

namespace corvane::detail {

time_record monotonic_now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    time_record reading{};
    reading.seconds = now.tv_sec;
    reading.nanoseconds = static_cast<int32_t>(now.tv_nsec);
    return reading;
}

// An absolute end, so a signal that interrupts the sleep only restarts it:
// the time already slept is not slept again.
void sleep_milliseconds(int64_t ms) {
    const timespec end = to_timespec(advanced_by_milliseconds(monotonic_now(), ms));
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
    }
}

}  // namespace corvane::detail

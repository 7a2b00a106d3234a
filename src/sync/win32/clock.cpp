// The monotonic clock, waits in slices and sleeping, for Windows.

#include <algorithm>
#include <atomic>

#include "sync/sync_platform.hpp"
#include "sync/time_arithmetic.hpp"
#include "sync/win32/win32_sync.hpp"

namespace corvane::detail {

namespace {

// Set for good when the counter's frequency cannot be had.
std::atomic<bool> counter_unavailable{false};

// The longest single wait: INFINITE (0xFFFFFFFF) must never be passed by
// accident.
constexpr int64_t longest_slice_ms = 0x7FFFFFFF;

// Whole seconds and the remainder apart, so that no product overflows for a
// counter that has run for centuries. A remainder times 10^9 fits 64 bits
// for any frequency below about 9.2 GHz; beyond that both lose digits.
time_record from_count(int64_t count, int64_t frequency) {
    time_record reading{};
    reading.seconds = count / frequency;
    int64_t remainder = count % frequency;
    while (frequency > INT64_MAX / nanoseconds_per_second) {
        frequency /= 10;
        remainder /= 10;
    }
    reading.nanoseconds = static_cast<int32_t>(remainder * nanoseconds_per_second / frequency);
    return reading;
}

bool reached(const time_record& now, const time_record& end) {
    return now.seconds > end.seconds ||
           (now.seconds == end.seconds && now.nanoseconds >= end.nanoseconds);
}

}  // namespace

time_record monotonic_now() {
    if (!counter_unavailable.load(std::memory_order_relaxed)) {
        LARGE_INTEGER frequency{};
        if (QueryPerformanceFrequency(&frequency) != 0 && frequency.QuadPart > 0) {
            LARGE_INTEGER count{};
            QueryPerformanceCounter(&count);
            return from_count(count.QuadPart, frequency.QuadPart);
        }
        counter_unavailable.store(true, std::memory_order_relaxed);
    }
    // Without a counter the tick count stands in; it wraps after 2^32 ms.
    const DWORD ticks = GetTickCount();
    time_record reading{};
    reading.seconds = ticks / 1000;
    reading.nanoseconds = static_cast<int32_t>(ticks % 1000) * nanoseconds_per_millisecond;
    return reading;
}

wait_slice next_wait_slice(const time_record* end) {
    if (end == nullptr) {
        return {INFINITE, false};
    }
    const std::optional<int64_t> ms = remaining_milliseconds(monotonic_now(), *end);
    if (!ms || *ms > longest_slice_ms) {
        return {static_cast<DWORD>(longest_slice_ms), false};
    }
    return {static_cast<DWORD>(*ms), true};
}

// Sleep may end a little before its count is up, by the clock used here;
// the loop sleeps on until the end has come.
void sleep_milliseconds(int64_t ms) {
    const time_record end = advanced_by_milliseconds(monotonic_now(), ms);
    for (time_record now = monotonic_now(); !reached(now, end); now = monotonic_now()) {
        const int64_t left = remaining_milliseconds(now, end).value_or(longest_slice_ms);
        Sleep(static_cast<DWORD>(std::clamp<int64_t>(left, 1, longest_slice_ms)));
    }
}

}  // namespace corvane::detail

// Time records as the Linux calls take them. Only the Linux backend
// includes this.
#pragma once

#include <time.h>

#include "corvane/sync.h"

namespace corvane::detail {

inline timespec to_timespec(const time_record& time) {
    timespec converted{};
    converted.tv_sec = static_cast<time_t>(time.seconds);
    converted.tv_nsec = time.nanoseconds;
    return converted;
}

}  // namespace corvane::detail

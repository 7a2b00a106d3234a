// Waits on one descriptor with poll, which, unlike select, has no limit on
// the descriptor number.

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "comm/linux/posix_comm.hpp"
#include "common/linux/system_calls.hpp"

namespace corvane::detail {

int poll_until(int fd, short events, deadline_clock::time_point deadline) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - deadline_clock::now());
        const std::int64_t left_ms = std::max<std::int64_t>(left.count(), 0);
        const int result = system_calls.poll(
            &entry, 1, static_cast<int>(std::min<std::int64_t>(left_ms, INT_MAX)));
        if (result > 0) {
            return entry.revents;
        }
        if (result == 0 && left_ms <= INT_MAX) {
            return 0;
        }
        if (result < 0 && errno != EINTR) {
            return -1;
        }
    }
}

int poll_for(int fd, short events, std::uint32_t wait_ms) {
    return poll_until(fd, events, deadline_clock::now() + std::chrono::milliseconds(wait_ms));
}

}  // namespace corvane::detail

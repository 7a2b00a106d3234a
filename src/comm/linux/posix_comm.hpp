// POSIX helpers shared by the serial and socket primitives.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "common/linux/restart_on_signal.hpp"

namespace corvane::detail {

using deadline_clock = std::chrono::steady_clock;


// Waits until descriptor `fd` reports one of `events` or `deadline` passes.
// Returns the events reported (POLLHUP, POLLERR and POLLNVAL included), 0 on
// time-out, -1 on failure with errno set. A signal does not shorten the wait:
// the poll resumes with the time left.
int poll_until(int fd, short events, deadline_clock::time_point deadline);
int poll_for(int fd, short events, std::uint32_t wait_ms);

// Sets a bit rate outside the standard table through the Linux termios2
// interface. True on success.
bool set_custom_baud_rate(int fd, std::uint32_t baud_rate);

}  // namespace corvane::detail

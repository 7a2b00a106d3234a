// Socket primitives on POSIX: the socket is the descriptor, and there is no
// socket library to start.

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "comm/comm_platform.hpp"
#include "comm/linux/posix_comm.hpp"

namespace corvane::detail {
namespace {

// Values that are no descriptor become -1, which every call refuses with EBADF.
int descriptor_of(std::uintptr_t sock) {
    return sock <= INT_MAX ? static_cast<int>(sock) : -1;
}

}  // namespace

bool socket_library_start() {
    return true;
}

bool socket_library_stop() {
    return true;
}

int socket_close(std::uintptr_t sock) {
    return ::close(descriptor_of(sock));
}

int socket_ioctl(std::uintptr_t sock, std::int32_t command, std::uint32_t* argument) {
    // Request codes are 32-bit patterns; widening a negative one would
    // sign-extend it into a different request.
    return ::ioctl(descriptor_of(sock),
                   static_cast<unsigned long>(static_cast<std::uint32_t>(command)), argument);
}

int socket_last_error() {
    return errno;
}

int socket_disable_udp_unreached_report(std::uintptr_t sock) {
    // Unconnected UDP sockets never report an unreachable peer here, so there
    // is nothing to switch off; the query only makes a non-socket fail.
    int type = 0;
    socklen_t length = sizeof type;
    return ::getsockopt(descriptor_of(sock), SOL_SOCKET, SO_TYPE, &type, &length);
}

int socket_wait(std::uintptr_t sock, socket_direction direction, std::uint32_t wait_ms) {
    const int fd = descriptor_of(sock);
    // poll skips a negative descriptor and would sleep the whole wait.
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    const bool for_read = direction == socket_direction::read;
    const int events = poll_for(fd, for_read ? POLLIN : POLLOUT, wait_ms);
    if (events <= 0) {
        return events;
    }
    if ((events & POLLNVAL) != 0) {
        errno = EBADF;
        return -1;
    }
    // The readiness that select reports: a pending error or a closed peer
    // makes a socket readable, so that the next receive reports it.
    const int ready = for_read ? POLLIN | POLLRDNORM | POLLRDBAND | POLLHUP | POLLERR
                               : POLLOUT | POLLWRNORM | POLLWRBAND | POLLERR;
    return (events & ready) != 0 ? 1 : 0;
}

std::int64_t socket_peek(std::uintptr_t sock, std::uint8_t* buffer, std::size_t count) {
    const int fd = descriptor_of(sock);
    // A receive, even a peek, hands out and clears a pending error such as a
    // reset; poll only reports it, so the caller's next receive still sees it.
    if ((poll_for(fd, POLLIN, 0) & POLLERR) != 0) {
        return -1;
    }
    return ::recv(fd, buffer, count, MSG_PEEK | MSG_DONTWAIT);
}

int socket_set_timeout(std::uintptr_t sock, socket_direction direction, std::uint32_t timeout_ms) {
    const timeval limit{static_cast<time_t>(timeout_ms / 1000),
                        static_cast<suseconds_t>(timeout_ms % 1000 * 1000)};
    const int option = direction == socket_direction::read ? SO_RCVTIMEO : SO_SNDTIMEO;
    return ::setsockopt(descriptor_of(sock), SOL_SOCKET, option, &limit, sizeof limit);
}

}  // namespace corvane::detail

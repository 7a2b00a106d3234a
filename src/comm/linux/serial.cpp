// Serial port primitives on POSIX terminals (Linux). The port handle is the
// descriptor; it is non-blocking, so no read or write waits inside the call.

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <iterator>

#include "comm/comm_platform.hpp"
#include "comm/linux/posix_comm.hpp"
#include "common/linux/system_calls.hpp"

namespace corvane::detail {
namespace {

int descriptor_of(std::intptr_t port) {
    return port >= 0 && port <= INT_MAX ? static_cast<int>(port) : -1;
}

struct standard_speed {
    std::uint32_t baud_rate;
    speed_t code;
};

constexpr standard_speed standard_speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

const standard_speed* find_standard_speed(std::uint32_t baud_rate) {
    for (const auto& speed : standard_speeds) {
        if (speed.baud_rate == baud_rate) {
            return &speed;
        }
    }
    return nullptr;
}

tcflag_t parity_flags(std::uint8_t parity) {
    switch (parity) {
        case 1:
            return PARENB | PARODD;
        case 2:
            return PARENB;
        // CMSPAR makes the parity bit constant: 1 with PARODD, 0 without.
        case 3:
            return PARENB | CMSPAR | PARODD;
        case 4:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

bool configure_line(int fd, std::uint32_t baud_rate, std::uint8_t parity, std::uint8_t stop_bits) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD | parity_flags(parity);
    if (stop_bits == 2) {
        settings.c_cflag |= CSTOPB;
    }
    const standard_speed* speed = find_standard_speed(baud_rate);
    if (speed != nullptr && ::cfsetspeed(&settings, speed->code) != 0) {
        return false;
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        return false;
    }
    return speed != nullptr || set_custom_baud_rate(fd, baud_rate);
}

// Releases the exclusive mode and the descriptor. TIOCEXCL belongs to the
// terminal, not to the descriptor, so it outlives close and would lock the
// port (a pseudo-terminal or virtual port most of all) for the next opener.
void close_claimed(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

}  // namespace

std::intptr_t serial_open(const char* name, std::uint32_t baud_rate, std::uint8_t parity,
                          std::uint8_t stop_bits) {
    const int fd = restart_on_signal([&] {
        return system_calls.openat(AT_FDCWD, name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    });
    if (fd == -1) {
        return invalid_serial_port;
    }
    // TIOCEXCL alone leaves a race between two openers and does not hold back
    // a privileged one; the lock does both. A loser must not touch the
    // exclusive mode, which belongs to the holder.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return invalid_serial_port;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 || !configure_line(fd, baud_rate, parity, stop_bits) ||
        ::tcflush(fd, TCIOFLUSH) != 0) {
        close_claimed(fd);
        return invalid_serial_port;
    }
    return fd;
}

void serial_close(std::intptr_t port) {
    close_claimed(descriptor_of(port));
}

std::int64_t serial_read_queued(std::intptr_t port, std::uint8_t* buffer, std::size_t count) {
    const ssize_t received =
        restart_on_signal([&] { return system_calls.read(descriptor_of(port), buffer, count); });
    if (received >= 0) {
        return received;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

bool serial_wait_input(std::intptr_t port, int wait_ms) {
    const int events = poll_for(descriptor_of(port), POLLIN, static_cast<std::uint32_t>(wait_ms));
    // A hung-up terminal reports input for ever while its reads return
    // nothing; counting that as input would spin a read without end.
    return events > 0 && (events & POLLIN) != 0 && (events & (POLLHUP | POLLERR)) == 0;
}

bool serial_write_all(std::intptr_t port, const std::uint8_t* data, std::size_t count,
                      int time_limit_ms) {
    const int fd = descriptor_of(port);
    const auto deadline = deadline_clock::now() + std::chrono::milliseconds(time_limit_ms);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t written =
            restart_on_signal([&] { return system_calls.write(fd, data + done, count - done); });
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        // The deadline is checked here too: a terminal that reports room it
        // then refuses would otherwise keep this loop going.
        const int events = deadline_clock::now() < deadline ? poll_until(fd, POLLOUT, deadline) : 0;
        if (events == 0) {
            ::tcflush(fd, TCOFLUSH);
            return false;
        }
        // A hang-up or error without room to write would make poll report at
        // once, again and again, past the deadline.
        if (events < 0 || (events & POLLOUT) == 0) {
            return false;
        }
    }
    return true;
}

bool serial_purge(std::intptr_t port, bool output, bool input) {
    const int fd = descriptor_of(port);
    if (!output && !input) {
        termios settings{};
        return ::tcgetattr(fd, &settings) == 0;
    }
    return ::tcflush(fd, output && input ? TCIOFLUSH : output ? TCOFLUSH : TCIFLUSH) == 0;
}

bool serial_overrun_start(std::intptr_t port, std::uint64_t& mark) {
    serial_icounter_struct counters{};
    if (::ioctl(descriptor_of(port), TIOCGICOUNT, &counters) != 0) {
        return false;
    }
    mark = static_cast<std::uint64_t>(static_cast<unsigned>(counters.overrun)) +
           static_cast<unsigned>(counters.buf_overrun);
    return true;
}

bool serial_overrun_since(std::intptr_t port, std::uint64_t& mark) {
    const std::uint64_t before = mark;
    return serial_overrun_start(port, mark) && mark != before;
}

}  // namespace corvane::detail

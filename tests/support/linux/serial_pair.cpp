// The serial line on Linux: a pseudo-terminal pair.

#include "serial_pair.hpp"

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace corvane::test {

serial_pair::serial_pair() {
    int master = -1;
    int slave = -1;
    char name[128];
    termios raw{};
    ::cfmakeraw(&raw);
    // The slave side stays open with the pair, so the line never hangs up
    // while the library's port is closed and opened again.
    if (::openpty(&master, &slave, name, &raw, nullptr) == 0) {
        far_ = master;
        keeper_ = slave;
        name_ = name;
    }
}

serial_pair::~serial_pair() {
    ::close(static_cast<int>(far_));
    ::close(static_cast<int>(keeper_));
}

bool serial_pair::send(std::string_view bytes) {
    const int far = static_cast<int>(far_);
    ssize_t written = 0;
    while (!bytes.empty() && (written = ::write(far, bytes.data(), bytes.size())) > 0) {
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return bytes.empty();
}

std::string serial_pair::receive_until(std::string_view ending) {
    std::string bytes;
    pollfd entry{static_cast<int>(far_), POLLIN, 0};
    char chunk[4096];
    ssize_t n = 0;
    while (!bytes.ends_with(ending) && ::poll(&entry, 1, 5000) == 1 &&
           (n = ::read(entry.fd, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

int serial_queued(intptr_t port) {
    int count = -1;
    ::ioctl(static_cast<int>(port), TIOCINQ, &count);
    return count;
}

}  // namespace corvane::test

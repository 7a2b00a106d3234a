// Loopback sockets and serial lines on POSIX systems and on Windows Sockets,
// whose socket calls differ only in names and headers.

#include "comm_support.hpp"

#include <functional>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using length_type = int;
static int write_some(SOCKET to, const char* data, size_t n) { return ::send(to, data, int(n), 0); }
static int read_some(SOCKET from, char* data, size_t n) { return ::recv(from, data, int(n), 0); }
static int poll(pollfd* entries, ULONG count, int ms) { return ::WSAPoll(entries, count, ms); }
static WSADATA wsa_data;
[[maybe_unused]] static const int started = ::WSAStartup(MAKEWORD(2, 2), &wsa_data);
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
using SOCKET = int;
using length_type = socklen_t;
static int closesocket(int sock) { return ::close(sock); }
// Plain writes and reads serve the pseudo-terminal's master side as well.
static ssize_t write_some(int to, const char* data, size_t n) { return ::write(to, data, n); }
static ssize_t read_some(int from, char* data, size_t n) { return ::read(from, data, n); }
#endif

namespace corvane::test {

#ifdef _WIN32
const int not_a_socket_error = WSAENOTSOCK, timed_out_error = WSAETIMEDOUT;
#else
const int not_a_socket_error = EBADF, timed_out_error = EAGAIN;
#endif

namespace {

bool readable(SOCKET sock, int seconds) {
    pollfd entry{sock, POLLIN, 0};
    return ::poll(&entry, 1, seconds * 1000) == 1;
}

uintptr_t accept_on_loopback(const std::function<void(const sockaddr_in&)>& dial) {
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length_type length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    dial(address);
    const auto peer = readable(listener, 20) ? ::accept(listener, nullptr, nullptr) : SOCKET(-1);
    closesocket(listener);
    return static_cast<uintptr_t>(peer);
}

}  // namespace

bool send_bytes(uintptr_t to, std::string_view bytes) {
    return long(write_some(SOCKET(to), bytes.data(), bytes.size())) == long(bytes.size());
}

std::string receive_until(uintptr_t from, std::string_view ending) {
    std::string bytes;
    char chunk[4096];
    long n = 0;
    while (!bytes.ends_with(ending) && readable(SOCKET(from), 10) &&
           (n = long(read_some(SOCKET(from), chunk, sizeof chunk))) > 0) {
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

socket_pair::socket_pair() {
    server = accept_on_loopback([this](const sockaddr_in& address) {
        client = static_cast<uintptr_t>(::socket(AF_INET, SOCK_STREAM, 0));
        ::connect(SOCKET(client), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    });
}

socket_pair::~socket_pair() {
    closesocket(SOCKET(client));
    closesocket(SOCKET(server));  // refused if already closed (~0)
}

std::string receive(uintptr_t on, size_t most) {
    std::string bytes(most, '\0');
    const auto got = ::recv(SOCKET(on), bytes.data(), static_cast<int>(most), 0);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

#ifdef _WIN32
// Under Wine: a COM port mapped onto a pseudo-terminal that a Linux helper
// (serial_line.py) makes and relays over a loopback connection.
serial_pair::serial_pair() {
    far_end = accept_on_loopback([this](const sockaddr_in& address) {
        helper = child_process::program({"/usr/bin/python3", CORVANE_SERIAL_LINE_HELPER,
                                         std::to_string(ntohs(address.sin_port))});
    });
    // The helper's first line is the number of its COM port.
    const std::string number = receive_until(far_end, "\n");
    if (number.ends_with('\n')) name = "\\\\.\\COM" + number.substr(0, number.size() - 1);
}

serial_pair::~serial_pair() {
    // The helper ends its line when the connection closes.
    ::closesocket(SOCKET(far_end));
    helper.wait();
}

int serial_queued(intptr_t port) {
    DWORD errors = 0;
    COMSTAT status{};
    const bool known = ::ClearCommError(reinterpret_cast<HANDLE>(port), &errors, &status) != 0;
    return known ? static_cast<int>(status.cbInQue) : -1;
}
#else
// On Linux: a pseudo-terminal pair.
serial_pair::serial_pair() {
    int master = -1;
    char path[128];
    // The slave side stays open with the pair, so the line never hangs up
    // while the library's port is closed and opened again. The library's
    // open sets the line's modes.
    if (::openpty(&master, &keeper, path, nullptr, nullptr) == 0) {
        name = path;
        far_end = static_cast<uintptr_t>(master);
    }
}

serial_pair::~serial_pair() {
    ::close(SOCKET(far_end));
    ::close(keeper);
}

int serial_queued(intptr_t port) {
    int count = -1;
    ::ioctl(static_cast<int>(port), TIOCINQ, &count);
    return count;
}
#endif

}  // namespace corvane::test

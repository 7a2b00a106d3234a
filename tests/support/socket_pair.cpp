// Loopback sockets on POSIX systems and on Windows Sockets, whose calls
// differ only in names and headers.

#include "socket_pair.hpp"

#ifdef _WIN32
#include <winsock2.h>
using native_socket = SOCKET;
using length_type = int;
constexpr int no_signal = 0;
static int close_native(SOCKET sock) { return ::closesocket(sock); }
[[maybe_unused]] static const bool started = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();
const corvane::test::socket_platform_values corvane::test::socket_values{
    static_cast<int32_t>(FIONBIO), static_cast<int32_t>(FIONREAD), WSAENOTSOCK, WSAETIMEDOUT};
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
using native_socket = int;
using length_type = socklen_t;
constexpr int no_signal = MSG_NOSIGNAL;
static int close_native(int sock) { return ::close(sock); }
const corvane::test::socket_platform_values corvane::test::socket_values{FIONBIO, FIONREAD, EBADF,
                                                                         EAGAIN};
#endif

namespace corvane::test {
namespace {

native_socket native(uintptr_t sock) { return static_cast<native_socket>(sock); }

}  // namespace

socket_pair::socket_pair() {
    const native_socket listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length_type length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const native_socket dialer = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(dialer, reinterpret_cast<sockaddr*>(&address), length);
    client = static_cast<uintptr_t>(dialer);
    server = static_cast<uintptr_t>(::accept(listener, nullptr, nullptr));
    close_native(listener);
}

socket_pair::~socket_pair() {
    close_native(native(client));
    if (server != static_cast<uintptr_t>(-1)) close_native(native(server));
}

bool socket_pair::send(uintptr_t from, std::string_view bytes) {
    return ::send(native(from), bytes.data(), static_cast<int>(bytes.size()), no_signal) ==
           static_cast<int>(bytes.size());
}

std::string socket_pair::receive(uintptr_t on, size_t most) {
    std::string bytes(most, '\0');
    const auto got = ::recv(native(on), bytes.data(), static_cast<int>(most), 0);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

void socket_pair::close_server(bool reset) {
    const linger abort_on_close{1, 0};
    if (reset) {
        ::setsockopt(native(server), SOL_SOCKET, SO_LINGER,
                     reinterpret_cast<const char*>(&abort_on_close), sizeof abort_on_close);
    }
    close_native(native(server));
    server = static_cast<uintptr_t>(-1);
}

uintptr_t udp_socket() {
    return static_cast<uintptr_t>(::socket(AF_INET, SOCK_DGRAM, 0));
}

}  // namespace corvane::test

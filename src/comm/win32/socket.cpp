// Socket primitives on Windows Sockets. The socket value is the SOCKET, and
// errors are the thread's WSAGetLastError codes.

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "comm/comm_platform.hpp"

namespace corvane::detail {
namespace {

// _WSAIOW(IOC_VENDOR, 12), which not every SDK header set declares.
constexpr DWORD udp_connection_reset_control = 0x9800000C;

SOCKET socket_of(std::uintptr_t sock) {
    return static_cast<SOCKET>(sock);
}

// Start-ups and clean-ups one at a time: not every implementation keeps its
// own count of them safe across threads (Wine's loses updates), and a lost
// one would end the sockets of the whole process.
std::mutex library_calls;

}  // namespace

bool socket_library_start() {
    const std::lock_guard hold(library_calls);
    WSADATA description{};
    return ::WSAStartup(MAKEWORD(2, 2), &description) == 0;
}

bool socket_library_stop() {
    const std::lock_guard hold(library_calls);
    return ::WSACleanup() == 0;
}

int socket_close(std::uintptr_t sock) {
    return ::closesocket(socket_of(sock));
}

int socket_ioctl(std::uintptr_t sock, std::int32_t command, std::uint32_t* argument) {
    static_assert(sizeof(u_long) == sizeof(std::uint32_t), "the argument is a 32-bit word");
    return ::ioctlsocket(socket_of(sock), command, reinterpret_cast<u_long*>(argument));
}

int socket_last_error() {
    return ::WSAGetLastError();
}

int socket_disable_udp_unreached_report(std::uintptr_t sock) {
    BOOL report = FALSE;
    DWORD returned = 0;
    return ::WSAIoctl(socket_of(sock), udp_connection_reset_control, &report, sizeof report,
                      nullptr, 0, &returned, nullptr, nullptr);
}

int socket_wait(std::uintptr_t sock, socket_direction direction, std::uint32_t wait_ms) {
    const ULONGLONG deadline = ::GetTickCount64() + wait_ms;
    for (std::uint32_t left = wait_ms;;) {
        // A set of one socket: on Windows a set is a list, so any socket
        // value fits, however large.
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket_of(sock), &set);
        timeval limit{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
        const bool for_read = direction == socket_direction::read;
        const int result = ::select(0, for_read ? &set : nullptr, for_read ? nullptr : &set,
                                    nullptr, &limit);
        if (result > 0) {
            return FD_ISSET(socket_of(sock), &set) ? 1 : 0;
        }
        if (result == 0) {
            return 0;
        }
        if (::WSAGetLastError() != WSAEINTR) {
            return -1;
        }
        // An interrupted wait resumes with the time that is left.
        const ULONGLONG now = ::GetTickCount64();
        left = static_cast<std::uint32_t>(now < deadline ? deadline - now : 0);
    }
}

std::int64_t socket_peek(std::uintptr_t sock, std::uint8_t* buffer, std::size_t count) {
    // Called only on a socket just found readable, so the peek does not wait.
    const int size = static_cast<int>(std::min<std::size_t>(count, INT32_MAX));
    return ::recv(socket_of(sock), reinterpret_cast<char*>(buffer), size, MSG_PEEK);
}

int socket_set_timeout(std::uintptr_t sock, socket_direction direction, std::uint32_t timeout_ms) {
    const DWORD limit = timeout_ms;
    const int option = direction == socket_direction::read ? SO_RCVTIMEO : SO_SNDTIMEO;
    return ::setsockopt(socket_of(sock), SOL_SOCKET, option, reinterpret_cast<const char*>(&limit),
                        sizeof limit);
}

}  // namespace corvane::detail

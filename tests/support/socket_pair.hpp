// Loopback sockets for the comm tests, on 127.0.0.1 only, with the few
// platform values the tests compare against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::test {

// Request codes for os_socket_ioctl and error codes as
// os_socket_get_errno_code reports them on this platform.
struct socket_platform_values {
    int32_t non_blocking_request;  // FIONBIO
    int32_t queued_bytes_request;  // FIONREAD
    int not_a_socket_error;        // what a closed or invalid socket gives
    int timed_out_error;           // a receive that ran out of time
};
extern const socket_platform_values socket_values;

// A connected TCP pair; both ends still open are closed at the end.
class socket_pair {
public:
    socket_pair();
    ~socket_pair();
    socket_pair(const socket_pair&) = delete;
    socket_pair& operator=(const socket_pair&) = delete;

    bool send(uintptr_t from, std::string_view bytes);
    // One receive of at most `most` bytes: what it got ("" for none or a failure).
    std::string receive(uintptr_t on, size_t most);
    // Closes the server end in order, or with a reset when `reset`.
    void close_server(bool reset);

    uintptr_t client;
    uintptr_t server;
};

// An unconnected UDP socket, closed by the caller with os_socket_close.
uintptr_t udp_socket();

}  // namespace corvane::test

// Real lines for the comm tests: connected TCP pairs on 127.0.0.1 and serial
// lines whose far end the test plays. On Linux a serial line is a
// pseudo-terminal pair and the far end its master side. Under Wine a Windows
// program cannot make a pseudo-terminal, so a helper on the Linux side makes
// one, maps a COM port of the Wine prefix onto it and relays its master side
// over a loopback connection, which is then the far end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "test_support.hpp"

namespace corvane::test {

// The codes os_socket_get_errno_code gives for a closed socket and a receive
// that ran out of time, on this platform.
extern const int not_a_socket_error, timed_out_error;

// Writes the bytes to the socket (or, on Linux, descriptor) `to` in one call.
bool send_bytes(uintptr_t to, std::string_view bytes);
// What `from` receives until it ends with `ending` or a generous limit passes.
std::string receive_until(uintptr_t from, std::string_view ending);
// One receive of at most `most` bytes: what it got ("" for none or a failure).
std::string receive(uintptr_t on, size_t most);

// A connected TCP pair; both ends still open are closed at the end. Tests
// close an end early with os_socket_close(std::exchange(end, CORVANE_INVALID_SOCKET)).
struct socket_pair {
    socket_pair();
    ~socket_pair();
    uintptr_t client = ~uintptr_t{0}, server = ~uintptr_t{0};
};

// A serial line: the library opens `name` (empty when the line could not be
// made) and the test plays the device through `far_end`.
struct serial_pair {
    serial_pair();
    ~serial_pair();
    std::string name;
    uintptr_t far_end = ~uintptr_t{0};
    int keeper = -1;       // Linux: the pseudo-terminal's slave side
    child_process helper;  // Windows: the helper
};

// Bytes waiting in the input queue of the library's open `port`.
int serial_queued(intptr_t port);

}  // namespace corvane::test

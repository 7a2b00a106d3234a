// Platform primitives of the serial ports and sockets. The neutral logic in
// serial.cpp and socket.cpp reaches the platform only through these; each
// platform folder defines them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::detail {

inline constexpr std::intptr_t invalid_serial_port = -1;
inline constexpr std::uintptr_t invalid_socket = ~std::uintptr_t{0};

// Opens `name` for exclusive use and sets raw 8-bit transfer with the given
// line settings (codes already checked: parity 0-4, stop bits 0 or 2), both
// queues emptied. Returns invalid_serial_port on any failure, nothing left open.
std::intptr_t serial_open(const char* name, std::uint32_t baud_rate, std::uint8_t parity,
                          std::uint8_t stop_bits);
void serial_close(std::intptr_t port);

// Reads up to `count` queued bytes without waiting. Returns the count read,
// 0 when nothing is queued, -1 on failure.
std::int64_t serial_read_queued(std::intptr_t port, std::uint8_t* buffer, std::size_t count);

// Waits up to `wait_ms` (> 0) for queued input; true when there is some.
bool serial_wait_input(std::intptr_t port, int wait_ms);

// Writes every byte within `time_limit_ms`; when the time runs out the output
// still queued is discarded. True when everything was written.
bool serial_write_all(std::intptr_t port, const std::uint8_t* data, std::size_t count,
                      int time_limit_ms);

// Discards the selected queues; with neither selected only checks that the
// port is open. True on success.
bool serial_purge(std::intptr_t port, bool output, bool input);

// Receive overruns: serial_overrun_start sets `mark` to the port's present
// state and returns false where the driver reports no overruns;
// serial_overrun_since then tells whether any came after `mark`, and moves it.
bool serial_overrun_start(std::intptr_t port, std::uint64_t& mark);
bool serial_overrun_since(std::intptr_t port, std::uint64_t& mark);

// Start-up and shut-down of the platform's socket library; the caller pairs
// them and never stops more often than it started.
bool socket_library_start();
bool socket_library_stop();
int socket_close(std::uintptr_t sock);
int socket_ioctl(std::uintptr_t sock, std::int32_t command, std::uint32_t* argument);
int socket_last_error();
int socket_disable_udp_unreached_report(std::uintptr_t sock);

enum class socket_direction { read, write };
// Waits up to `wait_ms` for `sock` (not invalid_socket) to become ready in
// `direction`. Returns 1 when ready, 0 on time-out, -1 on failure with the
// cause in socket_last_error().
int socket_wait(std::uintptr_t sock, socket_direction direction, std::uint32_t wait_ms);

// Copies up to `count` queued bytes without consuming them or waiting: the
// count, 0 after an orderly close by the peer, -1 on failure or while an
// error (a reset, say) is pending, which it leaves for the next receive.
std::int64_t socket_peek(std::uintptr_t sock, std::uint8_t* buffer, std::size_t count);

int socket_set_timeout(std::uintptr_t sock, socket_direction direction, std::uint32_t timeout_ms);

}  // namespace corvane::detail

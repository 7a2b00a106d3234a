// Serial ports: argument checks, the framed read and the bounded waits.
// Only operating-system independent logic lives here; the port itself is
// reached through comm_platform.hpp.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "comm/comm_platform.hpp"
#include "common/log.hpp"
#include "corvane/comm.h"

namespace corvane::detail {
namespace {

constexpr int transfer_time_limit_ms = 100;
// Input waits shorter than this (zero and negative included) are raised to it.
constexpr int shortest_input_wait_ms = 10;

constexpr std::uint8_t highest_parity_code = 4;
constexpr std::uint8_t one_stop_bit = 0;
constexpr std::uint8_t two_stop_bits = 2;

bool wait_for_input(std::intptr_t port, int wait_ms) {
    return serial_wait_input(port, std::max(wait_ms, shortest_input_wait_ms));
}

// Logs the receive overruns that the driver reports while one call runs.
// The library keeps no state per port, so the watch starts within the call
// and only what happens after that counts; drivers that report none log
// nothing. A read starts the watch at its first wait rather than at its
// start: until then it takes each byte the moment it asks, so whatever
// overran had done so before the call, and a read that never waits costs no
// query of the counters.
class overrun_watch {
public:
    explicit overrun_watch(std::intptr_t port) : port_(port) {}

    // Takes the mark once; later calls keep the first.
    void start() {
        if (state_ == state::idle) {
            state_ = serial_overrun_start(port_, mark_) ? state::counting : state::unreported;
        }
    }

    void report(const char* message) {
        if (state_ == state::counting && serial_overrun_since(port_, mark_)) {
            log_line("%s", message);
        }
    }

private:
    enum class state { idle, counting, unreported };

    std::intptr_t port_;
    std::uint64_t mark_ = 0;
    state state_ = state::idle;
};

// Reads what is queued; when nothing is, waits for input. 0 means the port
// stayed silent for the whole wait.
std::int64_t read_or_wait(std::intptr_t port, std::uint8_t* into, std::size_t count, int wait_ms,
                          overrun_watch& overruns) {
    for (;;) {
        const std::int64_t received = serial_read_queued(port, into, count);
        if (received != 0) {
            return received;
        }
        overruns.start();
        if (!wait_for_input(port, wait_ms)) {
            return 0;
        }
        overruns.report("CommRead Overflow\n");
    }
}

// Gathers exactly `wanted` bytes straight into the caller's buffer, or what
// came before the port fell silent.
std::int32_t read_plain(std::intptr_t port, std::uint8_t* buffer, std::size_t wanted,
                        std::size_t got, int wait_ms, overrun_watch& overruns) {
    while (got < wanted) {
        const std::int64_t received =
            read_or_wait(port, buffer + got, wanted - got, wait_ms, overruns);
        if (received < 0) {
            return -1;
        }
        if (received == 0) {
            break;
        }
        got += static_cast<std::size_t>(received);
        overruns.report("CommRead Overflow\n");
    }
    return static_cast<std::int32_t>(got);
}

// Hunts for the header in a window of its own length, so that the caller's
// buffer is touched only once the frame has begun. Before the window is full
// it asks for the bytes that could complete the header, then for one byte at
// a time, so that nothing after a frame is consumed.
std::int32_t read_frame(std::intptr_t port, std::uint8_t* buffer, std::size_t wanted,
                        const std::uint8_t* header, std::size_t header_size, int wait_ms,
                        overrun_watch& overruns) {
    const auto window = std::make_unique_for_overwrite<std::uint8_t[]>(header_size);
    std::size_t pos = 0;  // bytes gathered while hunting
    for (;;) {
        std::uint8_t next = 0;
        const bool full = pos >= header_size;
        std::uint8_t* into = full ? &next : window.get() + pos;
        const std::int64_t received =
            read_or_wait(port, into, full ? 1 : header_size - pos, wait_ms, overruns);
        if (received < 0) {
            return -1;
        }
        if (received == 0) {
            if (pos > 0) {
                log_line("The frame header may be truncated.\n");
            }
            return 0;
        }
        if (full) {
            std::memmove(window.get(), window.get() + 1, header_size - 1);
            window[header_size - 1] = next;
        }
        pos += static_cast<std::size_t>(received);
        // The header must end within the first wanted - 1 bytes gathered.
        if (pos >= header_size && pos >= wanted) {
            return -1;
        }
        if (pos >= header_size && std::memcmp(window.get(), header, header_size) == 0) {
            std::memcpy(buffer, window.get(), header_size);
            return read_plain(port, buffer, wanted, header_size, wait_ms, overruns);
        }
        overruns.report("CommRead Overflow\n");
    }
}

}  // namespace
}  // namespace corvane::detail

using namespace corvane::detail;

extern "C" {

CORVANE_API intptr_t os_serial_open(const char* name, uint32_t baud_rate, uint8_t parity,
                                    uint8_t stop_bits) {
    // A rate of 0 would hang the line up instead of setting a speed.
    if (name == nullptr || baud_rate == 0 || parity > highest_parity_code ||
        (stop_bits != one_stop_bit && stop_bits != two_stop_bits)) {
        return invalid_serial_port;
    }
    return serial_open(name, baud_rate, parity, stop_bits);
}

CORVANE_API void os_serial_close(intptr_t* port) {
    if (*port == invalid_serial_port) {
        return;
    }
    serial_close(*port);
    *port = invalid_serial_port;
}

CORVANE_API int os_serial_purge(intptr_t port, int selection) {
    return serial_purge(port, (selection & 1) != 0, (selection & 2) != 0) ? 1 : 0;
}

CORVANE_API int32_t os_serial_read(intptr_t port, uint8_t* buffer, int32_t size,
                                   const uint8_t* header, uint32_t header_length, int wait_ms) {
    // Compared in 64 bits: a length above INT32_MAX must not pass as negative.
    if (port == invalid_serial_port || size < 0 || int64_t{size} < int64_t{header_length}) {
        return -1;
    }
    if (size == 0) {
        return 0;
    }
    if (buffer == nullptr) {
        return -1;
    }
    overrun_watch overruns(port);
    if (header == nullptr || header_length == 0) {
        return read_plain(port, buffer, static_cast<std::size_t>(size), 0, wait_ms, overruns);
    }
    return read_frame(port, buffer, static_cast<std::size_t>(size), header, header_length, wait_ms,
                      overruns);
}

CORVANE_API bool os_serial_select(intptr_t port, int wait_ms) {
    if (port == invalid_serial_port) {
        return false;
    }
    overrun_watch overruns(port);
    overruns.start();
    const bool input = wait_for_input(port, wait_ms);
    overruns.report("CommRead Overflow\n");
    return input;
}

CORVANE_API int32_t os_serial_write(intptr_t port, const uint8_t* data, uint32_t count) {
    // The count written is returned as a signed 32-bit value.
    if (port == invalid_serial_port || count > INT32_MAX || (data == nullptr && count != 0)) {
        return -1;
    }
    overrun_watch overruns(port);
    overruns.start();
    const bool written = serial_write_all(port, data, count, transfer_time_limit_ms);
    overruns.report("CommRead Overflow");
    return written ? static_cast<int32_t>(count) : -1;
}

}  // extern "C"

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

// Logs the receive overruns that the driver counts while one call runs. The
// library keeps no state per port, so a call can only compare the counts it
// reads itself; drivers without counters (pseudo-terminals) log nothing.
class overrun_watch {
public:
    explicit overrun_watch(std::intptr_t port)
        : port_(port), counted_(serial_overrun_count(port, seen_)) {}

    void report(const char* message) {
        std::uint64_t now = 0;
        if (counted_ && serial_overrun_count(port_, now) && now != seen_) {
            seen_ = now;
            log_line("%s", message);
        }
    }

private:
    std::intptr_t port_;
    std::uint64_t seen_ = 0;
    bool counted_;
};

// While hunting at most size - 1 bytes are gathered (a header that would end
// later gives the read up), and after the header size - header_length more:
// twice the size always suffices.
static_assert(SIZE_MAX / 2 >= INT32_MAX, "the read's working buffer must be addressable");

std::int32_t read_port(std::intptr_t port, std::uint8_t* buffer, std::int32_t size,
                       const std::uint8_t* header, std::size_t header_size, int wait_ms) {
    const auto wanted = static_cast<std::size_t>(size);
    const bool frame_mode = header != nullptr && header_size != 0;
    const auto gathered = std::make_unique_for_overwrite<std::uint8_t[]>(2 * wanted);
    std::size_t pos = 0;  // bytes gathered
    std::size_t got = 0;  // of those, bytes of the result: the last `got` gathered
    bool synced = !frame_mode;
    overrun_watch overruns(port);

    for (bool first_attempt = true;; first_attempt = false) {
        if (!first_attempt) {
            overruns.report("CommRead Overflow\n");
        }
        // While hunting, ask for no byte beyond the one that could complete the
        // header, so that nothing after a frame is consumed.
        const std::size_t ask = synced ? wanted - got : pos < header_size ? header_size - pos : 1;
        const std::int64_t received = serial_read_queued(port, gathered.get() + pos, ask);
        if (received < 0) {
            return -1;
        }
        if (received == 0) {
            if (wait_for_input(port, wait_ms)) {
                continue;
            }
            if (!synced && pos > 0) {
                log_line("The frame header may be truncated.\n");
            }
            std::memcpy(buffer, gathered.get() + pos - got, got);
            return static_cast<std::int32_t>(got);
        }

        const auto count = static_cast<std::size_t>(received);
        if (synced) {
            got += count;
        } else if (pos + count >= header_size) {
            if (pos + count >= wanted) {
                return -1;
            }
            const std::uint8_t* candidate = gathered.get() + pos + count - header_size;
            if (std::memcmp(candidate, header, header_size) == 0) {
                synced = true;
                got = header_size;
            }
        }
        pos += count;
        if (got >= wanted) {
            std::memcpy(buffer, gathered.get() + pos - wanted, wanted);
            return size;
        }
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
    return read_port(port, buffer, size, header, header_length, wait_ms);
}

CORVANE_API bool os_serial_select(intptr_t port, int wait_ms) {
    if (port == invalid_serial_port) {
        return false;
    }
    overrun_watch overruns(port);
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
    const bool written = serial_write_all(port, data, count, transfer_time_limit_ms);
    overruns.report("CommRead Overflow");
    return written ? static_cast<int32_t>(count) : -1;
}

}  // extern "C"

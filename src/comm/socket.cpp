// Sockets: the checks and the closed-peer test above the platform's socket
// calls. Only operating-system independent logic lives here; the sockets
// themselves are reached through comm_platform.hpp.

#include <atomic>
#include <cstdint>

#include "comm/comm_platform.hpp"
#include "corvane/comm.h"

using namespace corvane::detail;

namespace {

// Start-ups made through the library and not yet cleared. A clear without a
// start-up of its own must not end one that another part of the program
// made directly, so the library counts its own and never goes below 0.
std::atomic<std::uint64_t> library_starts{0};

bool wait_for_socket(uintptr_t sock, socket_direction direction, uint32_t wait_ms, int32_t* error) {
    if (sock == invalid_socket) {
        return false;
    }
    const int result = socket_wait(sock, direction, wait_ms);
    if (result < 0 && error != nullptr) {
        *error = socket_last_error();
    }
    return result > 0;
}

}  // namespace

extern "C" {

CORVANE_API bool os_socket_init_library(void) {
    if (!socket_library_start()) {
        return false;
    }
    library_starts.fetch_add(1);
    return true;
}

CORVANE_API bool os_socket_clear_library(void) {
    std::uint64_t starts = library_starts.load();
    do {
        if (starts == 0) {
            return false;
        }
    } while (!library_starts.compare_exchange_weak(starts, starts - 1));
    return socket_library_stop();
}

CORVANE_API int os_socket_close(uintptr_t sock) {
    return socket_close(sock);
}

CORVANE_API int os_socket_ioctl(uintptr_t sock, int32_t command, uint32_t* argument) {
    return socket_ioctl(sock, command, argument);
}

CORVANE_API int os_socket_get_errno_code(void) {
    return socket_last_error();
}

CORVANE_API int os_socket_disable_udp_unreached_report(uintptr_t sock) {
    return socket_disable_udp_unreached_report(sock);
}

CORVANE_API bool os_socket_readable(uintptr_t sock, uint32_t wait_ms, int32_t* error) {
    return wait_for_socket(sock, socket_direction::read, wait_ms, error);
}

CORVANE_API bool os_socket_writable(uintptr_t sock, uint32_t wait_ms, int32_t* error) {
    return wait_for_socket(sock, socket_direction::write, wait_ms, error);
}

CORVANE_API bool os_socket_is_link_broken(uintptr_t sock) {
    if (!os_socket_readable(sock, 0, nullptr)) {
        return false;
    }
    // Readable with nothing to peek is the peer's orderly close; data and a
    // reset connection are not.
    uint8_t peeked[4];
    return socket_peek(sock, peeked, sizeof peeked) == 0;
}

CORVANE_API int os_socket_set_recv_timeout(uintptr_t sock, uint32_t timeout_ms) {
    return socket_set_timeout(sock, socket_direction::read, timeout_ms);
}

CORVANE_API int os_socket_set_send_timeout(uintptr_t sock, uint32_t timeout_ms) {
    return socket_set_timeout(sock, socket_direction::write, timeout_ms);
}

}  // extern "C"

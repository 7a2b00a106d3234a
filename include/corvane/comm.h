/*
 * Corvane serial ports and sockets.
 */
#ifndef CORVANE_COMM_H
#define CORVANE_COMM_H

#include "corvane/base.h"

/* A serial port handle is the platform's handle of the open port carried in a
 * signed pointer-sized integer (a file descriptor on POSIX systems, a HANDLE
 * on Windows). */
#define CORVANE_INVALID_SERIAL_PORT ((intptr_t)-1)

/* A socket is the platform's socket value in an unsigned pointer-sized integer
 * (a file descriptor on POSIX systems, a SOCKET on Windows). All ones is the
 * invalid socket. */
#define CORVANE_INVALID_SOCKET (~(uintptr_t)0)

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* Serial ports                                                              */
/* ------------------------------------------------------------------------ */
/* A port is configured for raw 8-bit transfer and never blocks without bound:
 * transfers wait at most 100 ms, and each silent period of a read waits at
 * most its wait time. The library keeps no state per port and takes no lock;
 * callers serialise reads (and selects) on one port. A receive overrun that
 * the driver counts while a read, select or write runs is logged on standard
 * output as "CommRead Overflow"; drivers without counters log nothing. */

/* os_serial_open()
 *
 * Opens the port `name` (for example "/dev/ttyS0", or "\\\\.\\COM5" on
 * Windows) for exclusive use: a
 * second open of the same port fails until the first is closed. The line is
 * set to raw 8-bit transfer without flow control, `baud_rate` bits per second
 * (any rate the driver accepts), `parity` 0 none, 1 odd, 2 even, 3 mark,
 * 4 space, and `stop_bits` 0 one or 2 two (1, one and a half, does not exist
 * with 8 data bits and fails). Both queues are emptied. Returns the port
 * handle, or CORVANE_INVALID_SERIAL_PORT (-1) when any step fails, with
 * nothing left open. */
CORVANE_API intptr_t os_serial_open(const char* name, uint32_t baud_rate, uint8_t parity,
                                    uint8_t stop_bits);

/* os_serial_close()
 *
 * Closes the port held in *port and sets *port to -1; does nothing when *port
 * is already -1, so closing twice through one variable closes once. `port`
 * itself must not be null. */
CORVANE_API void os_serial_close(intptr_t* port);

/* os_serial_purge()
 *
 * Discards queued bytes: bit 0 of `selection` the output side, bit 1 the
 * input side; other bits are ignored. Returns nonzero on success and 0 on
 * failure; an invalid handle fails, and a selection of neither side succeeds
 * on an open port without discarding anything. */
CORVANE_API int os_serial_purge(intptr_t port, int selection);

/* os_serial_read()
 *
 * Plain mode (`header` null or `header_length` 0): gathers `size` bytes into
 * `buffer`.
 *
 * Frame mode: hunts the incoming bytes for the `header_length` bytes of
 * `header` and delivers one frame of `size` bytes that begins with the
 * header. The header must end within the first size - 1 bytes received;
 * bytes before it are consumed and dropped.
 *
 * The read consumes exactly the bytes it reports or drops; anything after
 * them stays queued for the next read. Whenever no byte is queued it waits
 * for input for max(wait_ms, 10) milliseconds, and a wait that sees nothing
 * ends the read.
 *
 * Returns `size` when complete. When the port falls silent first, returns
 * the count gathered so far and stores those bytes: in frame mode 0 before
 * the header is found (logging "The frame header may be truncated." when
 * stray bytes had come), otherwise the header and the bytes after it.
 * Returns -1 for an invalid handle, a negative `size`, a `size` smaller than
 * `header_length`, a null `buffer`, a header that could no longer end within
 * size - 1 bytes, and a failed transfer. Otherwise a `size` of 0 returns 0
 * without touching the port. Bytes are gathered in `buffer` itself (in
 * frame mode from the header on), with no working buffer of the read's
 * size: a result of 0, and -1 before the header was found, leave it
 * untouched; -1 for a transfer that failed later may leave bytes there. */
CORVANE_API int32_t os_serial_read(intptr_t port, uint8_t* buffer, int32_t size,
                                   const uint8_t* header, uint32_t header_length, int wait_ms);

/* os_serial_select()
 *
 * Waits up to max(wait_ms, 10) milliseconds (zero and negative waits
 * included) for input. Returns true when bytes are queued, at once when they
 * already are; false on time-out, for an invalid handle, and when the line
 * has hung up. */
CORVANE_API bool os_serial_select(intptr_t port, int wait_ms);

/* os_serial_write()
 *
 * Writes all `count` bytes of `data`, waiting at most 100 ms in total for
 * room in the output queue. Returns `count`, or -1 for an invalid handle, a
 * `count` above INT32_MAX, a failed write, or when the 100 ms run out; in the
 * last case the output still queued is discarded. */
CORVANE_API int32_t os_serial_write(intptr_t port, const uint8_t* data, uint32_t count);

/* ------------------------------------------------------------------------ */
/* Sockets                                                                   */
/* ------------------------------------------------------------------------ */
/* Sockets are created, connected and used with the platform's own calls; this
 * family adds start-up, waits with millisecond limits, a closed-peer test and
 * time-outs. The library keeps no state per socket; every function may be
 * called from any thread. Functions that return "the platform result" return
 * 0 on success and -1 on failure, with the cause in os_socket_get_errno_code. */

/* os_socket_init_library()
 *
 * Starts the socket library for the caller and counts the start-up; pair each
 * call with os_socket_clear_library. Returns true on success. */
CORVANE_API bool os_socket_init_library(void);

/* os_socket_clear_library()
 *
 * Ends one start-up. Returns true when a start-up was outstanding, false
 * otherwise (more clears than start-ups). The count is kept atomically. */
CORVANE_API bool os_socket_clear_library(void);

/* os_socket_close()
 *
 * Closes `sock`. Returns the platform result. */
CORVANE_API int os_socket_close(uintptr_t sock);

/* os_socket_ioctl()
 *
 * Device control on `sock`: passes `command` (the platform's request code,
 * for example FIONBIO or FIONREAD) and `argument` unchanged to the platform.
 * Returns the platform result. */
CORVANE_API int os_socket_ioctl(uintptr_t sock, int32_t command, uint32_t* argument);

/* os_socket_get_errno_code()
 *
 * Returns the calling thread's last socket error (errno on Linux,
 * WSAGetLastError on Windows);
 * call it on the thread that made the failing call. */
CORVANE_API int os_socket_get_errno_code(void);

/* os_socket_disable_udp_unreached_report()
 *
 * Stops an unconnected UDP socket from reporting an unreachable peer port as
 * a connection reset on its next receive. POSIX systems never report it on
 * unconnected sockets, so there it succeeds without effect on any open
 * socket. Returns the platform result (-1 when `sock` is not a socket). */
CORVANE_API int os_socket_disable_udp_unreached_report(uintptr_t sock);

/* os_socket_readable()
 *
 * Waits up to `wait_ms` milliseconds until `sock` can be read without
 * blocking: data is queued, or the peer has closed or reset the connection
 * (a read then returns 0 or fails). A wait of 0 polls without blocking;
 * waits interrupted by signals resume with the time left. Returns true when
 * readable. Returns false on time-out and for the invalid socket, leaving
 * *error untouched; on failure returns false and stores the error code in
 * *error when `error` is not null (errno on Linux, WSAGetLastError on
 * Windows, as os_socket_get_errno_code returns it). Any descriptor number works. */
CORVANE_API bool os_socket_readable(uintptr_t sock, uint32_t wait_ms, int32_t* error);

/* os_socket_writable()
 *
 * As os_socket_readable, for room to send (or a pending error on the
 * socket). */
CORVANE_API bool os_socket_writable(uintptr_t sock, uint32_t wait_ms, int32_t* error);

/* os_socket_is_link_broken()
 *
 * Returns true only when the peer has closed the connection in order and no
 * unread data is left before the end. Queued data, a reset connection, a
 * socket with nothing to read yet and the invalid socket give false. Does not
 * wait and consumes nothing. */
CORVANE_API bool os_socket_is_link_broken(uintptr_t sock);

/* os_socket_set_recv_timeout()
 *
 * Makes blocking receives on `sock` give up after `timeout_ms` milliseconds
 * (0: wait without limit). Returns the platform result. */
CORVANE_API int os_socket_set_recv_timeout(uintptr_t sock, uint32_t timeout_ms);

/* os_socket_set_send_timeout()
 *
 * Makes blocking sends on `sock` give up after `timeout_ms` milliseconds
 * (0: wait without limit). Returns the platform result. */
CORVANE_API int os_socket_set_send_timeout(uintptr_t sock, uint32_t timeout_ms);

CORVANE_END_DECLS

#endif /* CORVANE_COMM_H */

// Serial port primitives on Win32 communication ports. The port is opened
// for overlapped transfers; every call makes its own event and overlapped
// record and never lets either go while a transfer may still use it.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>

#include "comm/comm_platform.hpp"

namespace corvane::detail {
namespace {

constexpr DWORD queue_size = 8192;
constexpr DWORD port_events = EV_RXCHAR | EV_RXFLAG | EV_ERR;
constexpr DWORD transfer_wait_ms = 100;
constexpr DWORD overrun_errors = CE_RXOVER | CE_OVERRUN;

HANDLE handle_of(std::intptr_t port) {
    return reinterpret_cast<HANDLE>(port);
}

// One overlapped transfer: a manual-reset event and the record that refers
// to it, both released when the object ends.
class transfer {
public:
    transfer() : event_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) { record_.hEvent = event_; }
    ~transfer() {
        if (event_ != nullptr) {
            ::CloseHandle(event_);
        }
    }
    transfer(const transfer&) = delete;
    transfer& operator=(const transfer&) = delete;

    bool made() const { return event_ != nullptr; }
    OVERLAPPED* record() { return &record_; }
    bool wait(DWORD wait_ms) { return ::WaitForSingleObject(event_, wait_ms) == WAIT_OBJECT_0; }
    // The count of a finished transfer, without waiting.
    bool result(HANDLE port, DWORD& count) {
        return ::GetOverlappedResult(port, &record_, &count, FALSE) != 0;
    }
    // Stops an unfinished transfer and waits until the system no longer uses
    // its buffer or this record. `discard` runs between the two: a queue
    // purged before the cancel can let the transfer move on and slip past it.
    template <typename Discard>
    void abandon(HANDLE port, Discard discard) {
        DWORD ignored = 0;
        ::CancelIo(port);
        discard();
        ::GetOverlappedResult(port, &record_, &ignored, TRUE);
    }
    void abandon(HANDLE port) {
        abandon(port, [] {});
    }

private:
    HANDLE event_;
    OVERLAPPED record_{};
};

// The port reports overruns as error flags that every query clears, so the
// queries of one call collect them here for that call's overrun watch. Calls
// on one thread never overlap, so a thread's own record suffices.
thread_local bool overrun_seen = false;

// Bytes waiting in the input queue, or -1 when the port cannot be queried.
std::int64_t queued_input(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(port, &errors, &status) == 0) {
        return -1;
    }
    overrun_seen = overrun_seen || (errors & overrun_errors) != 0;
    return status.cbInQue;
}

bool configure_line(HANDLE port, std::uint32_t baud_rate, std::uint8_t parity,
                    std::uint8_t stop_bits) {
    COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 0};
    DCB line{};
    line.DCBlength = sizeof line;
    if (::SetupComm(port, queue_size, queue_size) == 0 || ::SetCommTimeouts(port, &immediate) == 0 ||
        ::GetCommState(port, &line) == 0) {
        return false;
    }
    line.BaudRate = baud_rate;
    line.ByteSize = 8;
    line.Parity = parity;
    line.StopBits = stop_bits;
    // Raw transfer as on every platform: no flow control and no byte that
    // the driver swallows, replaces or stops the line for.
    line.fBinary = TRUE;
    line.fParity = parity != NOPARITY;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    return ::SetCommState(port, &line) != 0 && ::SetCommMask(port, port_events) != 0 &&
           ::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
}

// Runs one overlapped transfer that `start` begins; waits at most
// transfer_wait_ms for a pending one. The count moved, or -1.
template <typename Start>
std::int64_t finish_transfer(HANDLE port, Start start) {
    transfer call;
    if (!call.made()) {
        return -1;
    }
    DWORD count = 0;
    if (start(call.record(), &count)) {
        return count;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        return -1;
    }
    if (!call.wait(transfer_wait_ms)) {
        call.abandon(port);
        return -1;
    }
    return call.result(port, count) ? static_cast<std::int64_t>(count) : -1;
}

}  // namespace

std::intptr_t serial_open(const char* name, std::uint32_t baud_rate, std::uint8_t parity,
                          std::uint8_t stop_bits) {
    HANDLE port = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return invalid_serial_port;
    }
    if (!configure_line(port, baud_rate, parity, stop_bits)) {
        ::CloseHandle(port);
        return invalid_serial_port;
    }
    return reinterpret_cast<std::intptr_t>(port);
}

void serial_close(std::intptr_t port) {
    ::CloseHandle(handle_of(port));
}

std::int64_t serial_read_queued(std::intptr_t port, std::uint8_t* buffer, std::size_t count) {
    const HANDLE handle = handle_of(port);
    // Ask only for bytes already queued: with an empty queue an immediate
    // read must not be started at all, since some drivers leave it pending
    // until a byte arrives instead of completing it with none.
    const std::int64_t queued = queued_input(handle);
    if (queued <= 0) {
        return queued;
    }
    const auto ask = static_cast<DWORD>(std::min<std::uint64_t>(count, queued));
    return finish_transfer(handle, [&](OVERLAPPED* record, DWORD* done) {
        return ::ReadFile(handle, buffer, ask, done, record) != 0;
    });
}

bool serial_wait_input(std::intptr_t port, int wait_ms) {
    const HANDLE handle = handle_of(port);
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(wait_ms);
    const std::int64_t queued = queued_input(handle);
    if (queued != 0) {
        return queued > 0;
    }
    transfer call;
    DWORD mask = 0;
    if (!call.made() || (::WaitCommEvent(handle, &mask, call.record()) == 0 &&
                         ::GetLastError() != ERROR_IO_PENDING)) {
        ::SetCommMask(handle, port_events);
        return false;
    }
    bool input = call.wait(static_cast<DWORD>(wait_ms));
    // A completed wait counts only with an event or queued bytes to show for
    // it: some drivers complete it at once with an empty mask. Then the queue
    // is watched until the time is up.
    if (input && mask == 0 && queued_input(handle) <= 0) {
        input = false;
        while (!input && ::GetTickCount64() < deadline) {
            ::Sleep(1);
            input = queued_input(handle) > 0;
        }
    }
    // Restoring the mask ends a wait still pending; its record must outlive it.
    ::SetCommMask(handle, port_events);
    if (!call.wait(transfer_wait_ms)) {
        call.abandon(handle);
    }
    return input;
}

bool serial_write_all(std::intptr_t port, const std::uint8_t* data, std::size_t count,
                      int time_limit_ms) {
    const HANDLE handle = handle_of(port);
    transfer call;
    if (!call.made()) {
        return false;
    }
    DWORD written = 0;
    const auto size = static_cast<DWORD>(count);
    if (::WriteFile(handle, data, size, &written, call.record()) != 0) {
        return written == size;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    if (!call.wait(static_cast<DWORD>(time_limit_ms))) {
        call.abandon(handle, [handle] { ::PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR); });
        return false;
    }
    return call.result(handle, written) && written == size;
}

bool serial_purge(std::intptr_t port, bool output, bool input) {
    const DWORD flags = (output ? PURGE_TXABORT | PURGE_TXCLEAR : 0) |
                        (input ? PURGE_RXABORT | PURGE_RXCLEAR : 0);
    return ::PurgeComm(handle_of(port), flags) != 0;
}

// The mark carries nothing here: overrun_seen holds what the queries since
// the last look have found.
bool serial_overrun_start(std::intptr_t port, std::uint64_t& mark) {
    mark = 0;
    const bool queried = queued_input(handle_of(port)) >= 0;
    overrun_seen = false;
    return queried;
}

bool serial_overrun_since(std::intptr_t port, std::uint64_t&) {
    queued_input(handle_of(port));
    return std::exchange(overrun_seen, false);
}

}  // namespace corvane::detail

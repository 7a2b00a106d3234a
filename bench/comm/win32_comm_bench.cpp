// Serial ports and sockets on Windows, each beside the Win32 calls a Windows
// program would make instead. Pairs are named <operation>/library and
// <operation>/<Win32 peer>.
//   framed serial read: os_serial_read in frame mode vs a caller's own
//     ReadFile loop that frames the same way, over one COM port that a
//     feeder keeps full (under Wine the tests' serial line: a COM port
//     mapped onto a pseudo-terminal, fed through a relay)
//   loopback message: send, then wait for the message with
//     os_socket_writable/os_socket_readable vs plain blocking send/recv

#include <benchmark/benchmark.h>
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "comm_support.hpp"
#include "corvane/comm.h"
#include "serial_frames.hpp"

namespace {

using namespace serial_frames;

// One serial line for the whole program, with a thread that writes frames
// into its far end for as long as the program runs.
class fed_line {
public:
    static fed_line& get() {
        static fed_line line;
        return line;
    }
    ~fed_line() {
        stop_ = true;
        feeder_.join();
    }
    fed_line(const fed_line&) = delete;
    fed_line& operator=(const fed_line&) = delete;

    const std::string& name() const { return pair_.name; }

private:
    fed_line() : feeder_([this] { feed(); }) {
        if (pair_.name.empty()) std::abort();
    }

    // Never blocks for long, so that the program can end while nobody reads.
    void feed() {
        const std::vector<uint8_t> frames = make_frames(64);
        const auto far_end = static_cast<SOCKET>(pair_.far_end);
        u_long non_blocking = 1;
        ioctlsocket(far_end, FIONBIO, &non_blocking);
        size_t offset = 0;
        while (!stop_) {
            const int sent = ::send(far_end, reinterpret_cast<const char*>(frames.data()) + offset,
                                    static_cast<int>(frames.size() - offset), 0);
            if (sent > 0) {
                offset = (offset + static_cast<size_t>(sent)) % frames.size();
            } else {
                WSAPOLLFD entry{far_end, POLLWRNORM, 0};
                WSAPoll(&entry, 1, 10);
            }
        }
    }

    corvane::test::serial_pair pair_;
    std::atomic<bool> stop_{false};
    std::thread feeder_;
};

// ---- framed serial read ----------------------------------------------------

int32_t library_framed_read(HANDLE port, uint8_t* frame) {
    return os_serial_read(reinterpret_cast<intptr_t>(port), frame, frame_size, header, header_size,
                          wait_ms);
}

// Reads what is queued, up to `count` bytes, waiting up to wait_ms for the
// first byte (the time-outs set in open_plain_port).
int32_t read_some(HANDLE port, uint8_t* buffer, int32_t count) {
    DWORD received = 0;
    return ReadFile(port, buffer, static_cast<DWORD>(count), &received, nullptr) != 0
               ? static_cast<int32_t>(received)
               : -1;
}

// The caller's own framing: the same bytes consumed as os_serial_read.
int32_t plain_framed_read(HANDLE port, uint8_t* frame) {
    int32_t filled = 0;
    while (filled < header_size || std::memcmp(frame, header, header_size) != 0) {
        if (filled == header_size) {
            std::memmove(frame, frame + 1, header_size - 1);
            --filled;
        }
        const int32_t received = read_some(port, frame + filled, header_size - filled);
        if (received <= 0) return -1;
        filled += received;
    }
    while (filled < frame_size) {
        const int32_t received = read_some(port, frame + filled, frame_size - filled);
        if (received <= 0) return -1;
        filled += received;
    }
    return frame_size;
}

HANDLE open_library_port(const std::string& name) {
    return reinterpret_cast<HANDLE>(os_serial_open(name.c_str(), 115200, 0, 0));
}

void close_library_port(HANDLE port) {
    auto handle = reinterpret_cast<intptr_t>(port);
    os_serial_close(&handle);
}

// A blocking port whose reads return as soon as any byte is queued, or after
// wait_ms with none.
HANDLE open_plain_port(const std::string& name) {
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, wait_ms, 0, 0};
    if (port != INVALID_HANDLE_VALUE && SetCommTimeouts(port, &timeouts) == 0) {
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    return port;
}

void close_plain_port(HANDLE port) { CloseHandle(port); }

template <HANDLE (*open)(const std::string&), void (*close)(HANDLE), int32_t (*read_frame)(HANDLE, uint8_t*)>
void framed_read(benchmark::State& state) {
    HANDLE port = open(fed_line::get().name());
    if (port == INVALID_HANDLE_VALUE) {
        state.SkipWithError("cannot open the port");
        return;
    }
    uint8_t frame[frame_size];
    for (auto _ : state) {
        if (read_frame(port, frame) != frame_size || frame[0] != header[0]) {
            state.SkipWithError("frame lost");
            break;
        }
        benchmark::DoNotOptimize(frame);
    }
    close(port);
    state.SetBytesProcessed(state.iterations() * frame_size);
}

BENCHMARK(framed_read<open_library_port, close_library_port, library_framed_read>)
    ->Name("serial_framed_read/library")
    ->UseRealTime();
BENCHMARK(framed_read<open_plain_port, close_plain_port, plain_framed_read>)
    ->Name("serial_framed_read/ReadFile")
    ->UseRealTime();

// ---- loopback message: the client sends, the server receives it whole ------

bool library_send(uintptr_t sock, const char* data, int size) {
    for (int sent = 0, now = 0; sent < size; sent += now) {
        if (!os_socket_writable(sock, wait_ms, nullptr) ||
            (now = ::send(static_cast<SOCKET>(sock), data + sent, size - sent, 0)) <= 0) {
            return false;
        }
    }
    return true;
}

bool library_receive(uintptr_t sock, char* data, int size) {
    for (int received = 0, now = 0; received < size; received += now) {
        if (!os_socket_readable(sock, wait_ms, nullptr) ||
            (now = ::recv(static_cast<SOCKET>(sock), data + received, size - received, 0)) <= 0) {
            return false;
        }
    }
    return true;
}

bool plain_send(uintptr_t sock, const char* data, int size) {
    for (int sent = 0, now = 0; sent < size; sent += now) {
        if ((now = ::send(static_cast<SOCKET>(sock), data + sent, size - sent, 0)) <= 0) {
            return false;
        }
    }
    return true;
}

bool plain_receive(uintptr_t sock, char* data, int size) {
    for (int received = 0, now = 0; received < size; received += now) {
        if ((now = ::recv(static_cast<SOCKET>(sock), data + received, size - received, 0)) <= 0) {
            return false;
        }
    }
    return true;
}

template <bool (*send)(uintptr_t, const char*, int), bool (*receive)(uintptr_t, char*, int)>
void loopback_message(benchmark::State& state) {
    corvane::test::socket_pair pair;
    const auto size = static_cast<int>(state.range(0));
    std::vector<char> sent(static_cast<size_t>(size), 'm');
    std::vector<char> received(sent.size());
    for (auto _ : state) {
        if (!send(pair.client, sent.data(), size) || !receive(pair.server, received.data(), size)) {
            state.SkipWithError("message lost");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
}

BENCHMARK(loopback_message<library_send, library_receive>)
    ->Name("socket_message/library")
    ->Arg(64)
    ->Arg(16 << 10)
    ->UseRealTime();
BENCHMARK(loopback_message<plain_send, plain_receive>)
    ->Name("socket_message/send_recv")
    ->Arg(64)
    ->Arg(16 << 10)
    ->UseRealTime();

}  // namespace

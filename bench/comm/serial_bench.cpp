// Framed serial reads over a pseudo-terminal pair: os_serial_read against a
// caller's own read loop that frames the same way (exact reads, hunting the
// header byte by byte), at full speed and for the latency of one frame.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "corvane/comm.h"
#include "serial_frames.hpp"

namespace {

using namespace serial_frames;

// The slave side opened as the port; the master side feeds it.
struct pty_pair {
    pty_pair() {
        int slave = -1;
        char name[128];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) std::abort();
        port = os_serial_open(name, 115200, 0, 0);
        ::close(slave);
        if (port == CORVANE_INVALID_SERIAL_PORT) std::abort();
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~pty_pair() {
        os_serial_close(&port);
        ::close(master);
    }
    int master = -1;
    intptr_t port = CORVANE_INVALID_SERIAL_PORT;
};

// Writes frames into the master side as fast as the port drains them.
class frame_feeder {
public:
    explicit frame_feeder(int master) : thread_([this, master] { run(master); }) {}
    ~frame_feeder() {
        stop_ = true;
        thread_.join();
    }

private:
    void run(int master) {
        const std::vector<uint8_t> frames = make_frames(64);
        size_t offset = 0;
        pollfd entry{master, POLLOUT, 0};
        while (!stop_) {
            ssize_t written = ::write(master, frames.data() + offset, frames.size() - offset);
            if (written > 0) {
                offset = (offset + static_cast<size_t>(written)) % frames.size();
            } else {
                ::poll(&entry, 1, 10);
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Reads up to `count` bytes, waiting for input as the library does.
ssize_t read_waiting(int fd, uint8_t* buffer, size_t count) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        ssize_t received = ::read(fd, buffer, count);
        if (received > 0 || (received < 0 && errno != EAGAIN)) return received;
        if (::poll(&entry, 1, wait_ms) != 1) return 0;
    }
}

// The caller's own framing: the same bytes consumed as os_serial_read.
int32_t plain_framed_read(int fd, uint8_t* frame) {
    size_t filled = 0;
    while (filled < header_size || std::memcmp(frame, header, header_size) != 0) {
        if (filled == header_size) {
            std::memmove(frame, frame + 1, header_size - 1);
            --filled;
        }
        ssize_t received = read_waiting(fd, frame + filled, header_size - filled);
        if (received <= 0) return -1;
        filled += static_cast<size_t>(received);
    }
    while (filled < frame_size) {
        ssize_t received = read_waiting(fd, frame + filled, frame_size - filled);
        if (received <= 0) return -1;
        filled += static_cast<size_t>(received);
    }
    return frame_size;
}

int32_t library_framed_read(intptr_t port, uint8_t* frame) {
    return os_serial_read(port, frame, frame_size, header, header_size, wait_ms);
}

int32_t plain_framed_read_on(intptr_t port, uint8_t* frame) {
    return plain_framed_read(static_cast<int>(port), frame);
}

template <int32_t (*framed_read)(intptr_t, uint8_t*)>
void BM_FramedReadThroughput(benchmark::State& state) {
    pty_pair pair;
    frame_feeder feeder(pair.master);
    uint8_t frame[frame_size];
    for (auto _ : state) {
        if (framed_read(pair.port, frame) != frame_size || frame[0] != header[0]) {
            state.SkipWithError("frame lost");
            break;
        }
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * frame_size);
}

// From a frame being written into the far side to the framed read returning.
template <int32_t (*framed_read)(intptr_t, uint8_t*)>
void BM_FrameLatency(benchmark::State& state) {
    pty_pair pair;
    const std::vector<uint8_t> sent = make_frames(1);
    uint8_t frame[frame_size];
    for (auto _ : state) {
        if (::write(pair.master, sent.data(), sent.size()) != frame_size ||
            framed_read(pair.port, frame) != frame_size) {
            state.SkipWithError("frame lost");
            break;
        }
        benchmark::DoNotOptimize(frame);
    }
}

BENCHMARK(BM_FramedReadThroughput<library_framed_read>)
    ->Name("FramedRead/throughput/library")
    ->UseRealTime();
BENCHMARK(BM_FramedReadThroughput<plain_framed_read_on>)
    ->Name("FramedRead/throughput/plain_loop")
    ->UseRealTime();
BENCHMARK(BM_FrameLatency<library_framed_read>)->Name("FramedRead/latency/library")->UseRealTime();
BENCHMARK(BM_FrameLatency<plain_framed_read_on>)
    ->Name("FramedRead/latency/plain_loop")
    ->UseRealTime();

}  // namespace

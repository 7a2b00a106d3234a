// The serial frame hunter fed an arbitrary byte stream, in arbitrary chunks,
// with an arbitrary header and frame size, through the serial platform seam:
// the port below is the input itself, silent once it runs dry. The read
// reports a frame only where the header first occurs early enough, consumes
// exactly what it reports or drops, and stays inside the caller's buffer (a
// heap block of exactly the frame size).
#include <algorithm>
#include <memory>

#include "comm/comm_platform.hpp"
#include "corvane/comm.h"
#include "fuzz_support.hpp"

namespace {

struct served_port {
    std::string stream;
    std::size_t consumed = 0;
    std::size_t chunk = 1;
} port;

}  // namespace

namespace corvane::detail {

std::int64_t serial_read_queued(std::intptr_t, std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min({count, port.chunk, port.stream.size() - port.consumed});
    std::memcpy(buffer, port.stream.data() + port.consumed, n);
    port.consumed += n;
    return static_cast<std::int64_t>(n);
}
bool serial_wait_input(std::intptr_t, int) { return port.consumed < port.stream.size(); }
bool serial_overrun_start(std::intptr_t, std::uint64_t&) { return false; }
bool serial_overrun_since(std::intptr_t, std::uint64_t&) { return false; }
std::intptr_t serial_open(const char*, std::uint32_t, std::uint8_t, std::uint8_t) { return -1; }
void serial_close(std::intptr_t) {}
bool serial_write_all(std::intptr_t, const std::uint8_t*, std::size_t, int) { return false; }
bool serial_purge(std::intptr_t, bool, bool) { return false; }

}  // namespace corvane::detail

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in{data, size};
    const auto wanted = static_cast<std::int32_t>(in.take<std::int8_t>());
    const std::string header = in.bytes(in.take<std::uint8_t>() % 16);
    const std::size_t chunk = 1u + in.take<std::uint8_t>() % 8;
    port = {in.bytes(), 0, chunk};
    const std::size_t frame_size = wanted > 0 ? static_cast<std::size_t>(wanted) : 0;
    const auto buffer = std::make_unique<std::uint8_t[]>(frame_size);
    std::memset(buffer.get(), 0xA5, frame_size);
    const auto* header_bytes = reinterpret_cast<const std::uint8_t*>(header.data());
    const std::int32_t got = os_serial_read(3, buffer.get(), wanted, header_bytes,
                                            static_cast<std::uint32_t>(header.size()), 0);
    const std::string delivered(reinterpret_cast<const char*>(buffer.get()), got > 0 ? got : 0);
    const std::string& stream = port.stream;
    // No frame, no byte written.
    FUZZ_CHECK(got > 0 || std::all_of(buffer.get(), buffer.get() + frame_size,
                                      [](std::uint8_t b) { return b == 0xA5; }));
    if (wanted < 0 || frame_size < header.size()) {
        FUZZ_CHECK(got == -1 && port.consumed == 0);
    } else if (header.empty()) {
        FUZZ_CHECK(got == static_cast<std::int32_t>(std::min(frame_size, stream.size())));
        FUZZ_CHECK(port.consumed == delivered.size() && delivered == stream.substr(0, got));
    } else if (const std::size_t at = stream.find(header);
               at != std::string::npos && at + header.size() < frame_size) {
        FUZZ_CHECK(got == static_cast<std::int32_t>(std::min(frame_size, stream.size() - at)));
        FUZZ_CHECK(port.consumed == at + delivered.size() && delivered == stream.substr(at, got));
    } else if (stream.size() >= frame_size) {
        FUZZ_CHECK(got == -1 && port.consumed == frame_size);
    } else {
        FUZZ_CHECK(got == 0 && port.consumed == stream.size());
    }
    return 0;
}

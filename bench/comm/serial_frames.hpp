// The frames both serial benchmarks send: 64 bytes, a two-byte header, and
// bytes after the header that never repeat it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace serial_frames {

constexpr int frame_size = 64;
constexpr uint8_t header[] = {0xA5, 0x5A};
constexpr int header_size = sizeof header;
constexpr int wait_ms = 100;

inline std::vector<uint8_t> make_frames(int count) {
    std::vector<uint8_t> frames(static_cast<size_t>(count) * frame_size);
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t at = i % frame_size;
        frames[i] = at < header_size ? header[at] : static_cast<uint8_t>(i);
    }
    return frames;
}

}  // namespace serial_frames

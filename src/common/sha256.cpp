#include "common/sha256.hpp"

#include <cstddef>

namespace corvane::detail {

namespace {

constexpr std::array<uint32_t, 64> round_constants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint32_t rotate_right(uint32_t value, int count) {
    return (value >> count) | (value << (32 - count));
}

void compress(std::array<uint32_t, 8>& state, const uint8_t* block) {
    std::array<uint32_t, 64> schedule{};
    for (size_t i = 0; i < 16; ++i) {
        schedule[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
                      (uint32_t{block[4 * i + 2]} << 8) | uint32_t{block[4 * i + 3]};
    }
    for (size_t i = 16; i < 64; ++i) {
        uint32_t s0 = rotate_right(schedule[i - 15], 7) ^ rotate_right(schedule[i - 15], 18) ^
                      (schedule[i - 15] >> 3);
        uint32_t s1 = rotate_right(schedule[i - 2], 17) ^ rotate_right(schedule[i - 2], 19) ^
                      (schedule[i - 2] >> 10);
        schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state;
    for (size_t i = 0; i < 64; ++i) {
        uint32_t sum1 = rotate_right(e, 6) ^ rotate_right(e, 11) ^ rotate_right(e, 25);
        uint32_t choose = (e & f) ^ (~e & g);
        uint32_t t1 = h + sum1 + choose + round_constants[i] + schedule[i];
        uint32_t sum0 = rotate_right(a, 2) ^ rotate_right(a, 13) ^ rotate_right(a, 22);
        uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        uint32_t t2 = sum0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<uint32_t, 8> rounds = {a, b, c, d, e, f, g, h};
    for (size_t i = 0; i < 8; ++i) {
        state[i] += rounds[i];
    }
}

}  // namespace

sha256_digest sha256(std::string_view bytes) {
    std::array<uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t whole_blocks = bytes.size() / 64;
    for (size_t i = 0; i < whole_blocks; ++i) {
        compress(state, data + 64 * i);
    }

    // The tail, the 0x80 marker and the 64-bit bit count fill one or two
    // final blocks.
    std::array<uint8_t, 128> tail{};
    size_t rest = bytes.size() % 64;
    for (size_t i = 0; i < rest; ++i) {
        tail[i] = data[64 * whole_blocks + i];
    }
    tail[rest] = 0x80;
    size_t tail_length = rest < 56 ? 64 : 128;
    uint64_t bit_count = uint64_t{bytes.size()} * 8;
    for (size_t i = 0; i < 8; ++i) {
        tail[tail_length - 1 - i] = static_cast<uint8_t>(bit_count >> (8 * i));
    }
    for (size_t offset = 0; offset < tail_length; offset += 64) {
        compress(state, tail.data() + offset);
    }

    sha256_digest digest{};
    for (size_t i = 0; i < 8; ++i) {
        for (size_t j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<uint8_t>(state[i] >> (24 - 8 * j));
        }
    }
    return digest;
}

}  // namespace corvane::detail

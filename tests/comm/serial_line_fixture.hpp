// What the comm tests share: the serial line fixture, whose far end the test
// plays, and the waits the cases use.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "comm_support.hpp"
#include "corvane/comm.h"

namespace corvane::test {

constexpr int generous_wait_ms = 5000;
constexpr int32_t untouched = 0x5a5a;

inline auto bytes_of(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

class SerialLine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(port_, CORVANE_INVALID_SERIAL_PORT) << "no serial line"; }
    void TearDown() override { os_serial_close(&port_); }

    // Sends from the far end and waits (bounded) until the port has every
    // byte queued, so that a read's silence comes only after them: reads
    // then end on a short silence without cutting a transfer short.
    void send(const std::string& bytes) {
        const int expected = serial_queued(port_) + static_cast<int>(bytes.size());
        ASSERT_TRUE(send_bytes(line_.far_end, bytes));
        for (int waited_ms = 0; serial_queued(port_) < expected; ++waited_ms) {
            ASSERT_LT(waited_ms, 10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // os_serial_read's result and the bytes it delivered.
    std::pair<int32_t, std::string> read(int32_t size, const std::string& header = "",
                                         int wait_ms = 20) {
        std::string buffer(static_cast<size_t>(size) + 1, '#');
        const int32_t got = os_serial_read(port_, reinterpret_cast<uint8_t*>(buffer.data()), size,
                                           header.empty() ? nullptr : bytes_of(header),
                                           uint32_t(header.size()), wait_ms);
        return {got, buffer.substr(0, static_cast<size_t>(std::max(got, 0)))};
    }

    serial_pair line_;
    intptr_t port_ = os_serial_open(line_.name.c_str(), 115200, 0, 0);
};

}  // namespace corvane::test

// Serial ports, through a line whose far end the test plays (see
// serial_pair.hpp): a pseudo-terminal on Linux, a Wine COM port on Windows.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "corvane/comm.h"
#include "serial_pair.hpp"
#include "test_support.hpp"

namespace {

using corvane::test::serial_queued;

// The wait of reads that end on silence. Their bytes are queued before they
// start (see send), so the wait cannot cut a transfer short.
constexpr int silence_ms = 20;

const uint8_t* bytes_of(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

class SerialLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(line_.port_name().empty()) << "no serial line";
        port_ = os_serial_open(line_.port_name().c_str(), 115200, 0, 0);
        ASSERT_NE(port_, CORVANE_INVALID_SERIAL_PORT);
    }
    void TearDown() override { os_serial_close(&port_); }

    // Sends from the far end and waits (bounded) until the port has every
    // byte queued, so that a read's silence comes only after them.
    void send(const std::string& bytes) {
        const int expected = serial_queued(port_) + static_cast<int>(bytes.size());
        ASSERT_TRUE(line_.send(bytes));
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (serial_queued(port_) < expected) {
            ASSERT_LT(std::chrono::steady_clock::now(), give_up);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // os_serial_read's result and the bytes it delivered.
    std::pair<int32_t, std::string> read(int32_t size, const std::string& header = "") {
        std::string buffer(static_cast<size_t>(size) + 1, '#');
        const int32_t result =
            os_serial_read(port_, reinterpret_cast<uint8_t*>(buffer.data()), size,
                           header.empty() ? nullptr : bytes_of(header),
                           static_cast<uint32_t>(header.size()), silence_ms);
        return {result, buffer.substr(0, result > 0 ? static_cast<size_t>(result) : 0)};
    }
    std::string leftover() { return read(serial_queued(port_) + 1).second; }

    corvane::test::serial_pair line_;
    intptr_t port_ = CORVANE_INVALID_SERIAL_PORT;
};

TEST_F(SerialLine, OpenAcceptsLineSettingsAndRefusesBadOnes) {
    // A pseudo-terminal under Wine shows neither parity nor odd rates, so
    // the settings are checked for acceptance here (the Linux file reads
    // them back).
    struct row { uint32_t baud_rate; uint8_t parity, stop_bits; bool opens; const char* why; };
    const row rows[] = {
        {9600, 0, 0, true, "plain"},
        {9600, 2, 2, true, "even parity, two stop bits"},
        {250000, 3, 0, true, "a rate beyond the standard table, mark parity"},
        {19200, 4, 0, true, "space parity"},
        {9600, 0, 1, false, "one and a half stop bits do not exist with 8 data bits"},
        {9600, 5, 0, false, "no parity code 5"},
        {0, 0, 0, false, "a rate of 0 would hang the line up"},
    };
    os_serial_close(&port_);
    for (const row& r : rows) {
        intptr_t port = os_serial_open(line_.port_name().c_str(), r.baud_rate, r.parity, r.stop_bits);
        EXPECT_EQ(port != CORVANE_INVALID_SERIAL_PORT, r.opens) << r.why;
        os_serial_close(&port);
        EXPECT_EQ(port, CORVANE_INVALID_SERIAL_PORT) << r.why;
        os_serial_close(&port);
    }
    corvane::test::temp_folder folder;
    const std::string plain_file = folder.join("plain");
    FILE* file = std::fopen(plain_file.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_EQ(os_serial_open(plain_file.c_str(), 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    EXPECT_EQ(os_serial_open(folder.join("missing").c_str(), 9600, 0, 0),
              CORVANE_INVALID_SERIAL_PORT);
    EXPECT_EQ(os_serial_open(nullptr, 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
}

TEST_F(SerialLine, TransfersEveryByteValueUnchangedBothWays) {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    send(bytes);
    EXPECT_EQ(read(256), std::make_pair(int32_t{256}, bytes));

    EXPECT_EQ(os_serial_write(port_, bytes_of(bytes), 256), 256);
    EXPECT_EQ(line_.receive_until(bytes), bytes);
    EXPECT_EQ(os_serial_write(port_, nullptr, 0), 0);
    EXPECT_EQ(os_serial_write(port_, nullptr, 1), -1);
    // The count written comes back as a signed 32-bit value.
    EXPECT_EQ(os_serial_write(port_, bytes_of(bytes), 0x80000000u), -1);
    EXPECT_EQ(os_serial_write(CORVANE_INVALID_SERIAL_PORT, bytes_of(bytes), 2), -1);
}

TEST_F(SerialLine, ReadGathersWhatWasAskedAndLeavesTheRestQueued) {
    struct row { std::string sent; int32_t size; std::string header; int32_t result;
                 std::string delivered, left, log, why; };
    const row rows[] = {
        {"123456", 10, "", 6, "123456", "", "", "silence ends a plain read"},
        {"0123456789abcd", 10, "", 10, "0123456789", "abcd", "", "a plain read takes no more"},
        {"", 10, "", 0, "", "", "", "nothing came"},
        {"xyAB123AB456", 5, "AB", 5, "AB123", "AB456", "", "stray bytes go, the next frame stays"},
        {"AAB99rest", 5, "AB", 5, "AB99r", "est", "", "a stray first header byte"},
        {"xABC123", 6, "ABC", 6, "ABC123", "", "", "the hunt slides its window"},
        {"qAB1", 5, "AB", 3, "AB1", "", "", "silence after the header"},
        {"xyzAB123", 5, "AB", -1, "", "123", "", "the header would end at byte N"},
        {"AB", 2, "AB", -1, "", "", "", "with N = L it never ends within N - 1"},
        {"xyz", 5, "AB", 0, "", "", "The frame header may be truncated.\n", "no header came"},
        {"x", 5, "AB", 0, "", "", "The frame header may be truncated.\n", "one stray byte"},
        {"", 5, "AB", 0, "", "", "", "nothing came, nothing to log"},
    };
    for (const row& r : rows) {
        send(r.sent);
        std::pair<int32_t, std::string> got;
        const std::string log =
            corvane::test::capture_stdout([&] { got = read(r.size, r.header); });
        EXPECT_EQ(got, std::make_pair(r.result, r.delivered)) << r.why;
        EXPECT_EQ(log, r.log) << r.why;
        EXPECT_EQ(leftover(), r.left) << r.why;
    }
}

TEST_F(SerialLine, ReadRefusesBadArgumentsWithoutConsuming) {
    send("AB123");
    uint8_t buffer[8] = {};
    const uint8_t header[] = {'A', 'B'};
    struct row { intptr_t port; uint8_t* buffer; int32_t size; uint32_t header_length;
                 int32_t result; const char* why; };
    const row rows[] = {
        {port_, buffer, 0, 0, 0, "N = 0 touches nothing"},
        {port_, nullptr, 0, 0, 0, "N = 0 needs no buffer"},
        {port_, buffer, 1, 2, -1, "N below L"},
        {port_, buffer, -1, 0, -1, "negative N"},
        {port_, buffer, 8, 0x80000000u, -1, "L above INT32_MAX is not negative"},
        {port_, nullptr, 8, 0, -1, "no buffer"},
        {CORVANE_INVALID_SERIAL_PORT, buffer, 8, 0, -1, "invalid port"},
    };
    for (const row& r : rows) {
        EXPECT_EQ(os_serial_read(r.port, r.buffer, r.size, header, r.header_length, silence_ms),
                  r.result)
            << r.why;
    }
    EXPECT_EQ(serial_queued(port_), 5);
}

TEST_F(SerialLine, ReadAndSelectWaitForBytesStillOnTheirWay) {
    std::thread sender([this] {
        for (char piece : std::string("abcd")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_TRUE(line_.send(std::string(1, piece)));
        }
    });
    std::string buffer(4, '#');
    const int32_t result =
        os_serial_read(port_, reinterpret_cast<uint8_t*>(buffer.data()), 4, nullptr, 0, 5000);
    sender.join();
    EXPECT_EQ(result, 4);
    EXPECT_EQ(buffer, "abcd");

    sender = std::thread([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(line_.send("w"));
    });
    EXPECT_TRUE(os_serial_select(port_, 5000));
    sender.join();
}

TEST_F(SerialLine, SelectWaitsAtLeastBrieflyAndSeesQueuedInput) {
    for (int wait_ms : {0, -5, 10}) {
        EXPECT_FALSE(os_serial_select(port_, wait_ms)) << wait_ms;
        EXPECT_FALSE(os_serial_select(CORVANE_INVALID_SERIAL_PORT, wait_ms)) << wait_ms;
    }
    send("z");
    for (int wait_ms : {0, -5, 10}) EXPECT_TRUE(os_serial_select(port_, wait_ms)) << wait_ms;
}

TEST_F(SerialLine, WriteGivesUpAfterItsBoundAndDiscardsTheRest) {
    // Nobody drains the far end, so the output queue fills and stays full.
    const std::string flood(4 << 20, 'f');
    EXPECT_EQ(os_serial_write(port_, bytes_of(flood), static_cast<uint32_t>(flood.size())), -1);
    // The discard made room: the next write goes through, and what the far
    // end still receives before it is the undiscarded head of the flood.
    ASSERT_EQ(os_serial_write(port_, bytes_of("AB"), 2), 2);
    const std::string drained = line_.receive_until("AB");
    ASSERT_GE(drained.size(), 2u);
    EXPECT_EQ(drained.find_first_not_of('f'), drained.size() - 2);
    EXPECT_LT(drained.size(), flood.size());
}

TEST_F(SerialLine, PurgeDiscardsTheSelectedSide) {
    struct row { int selection, left; const char* why; };
    const row rows[] = {{0, 5, "neither side"}, {1, 5, "output only"}, {2, 0, "input"},
                        {3, 0, "both"}, {3 | 4, 0, "other bits ignored"}};
    for (const row& r : rows) {
        send("input");
        EXPECT_NE(os_serial_purge(port_, r.selection), 0) << r.why;
        EXPECT_EQ(serial_queued(port_), r.left) << r.why;
        os_serial_purge(port_, 2);
    }
    EXPECT_EQ(os_serial_purge(CORVANE_INVALID_SERIAL_PORT, 3), 0);
    EXPECT_EQ(os_serial_purge(CORVANE_INVALID_SERIAL_PORT, 0), 0);
}

}  // namespace

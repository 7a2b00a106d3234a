// The comm contract: serial ports through a line whose far end the test
// plays (a pseudo-terminal on Linux, a Wine COM port on Windows), sockets
// over TCP on 127.0.0.1 (see comm_support.hpp). What only Linux can show is
// in linux_comm_test.cpp.

#include <atomic>
#include <fstream>

#include "serial_line_fixture.hpp"
#include "wine_support.hpp"

namespace {

using namespace corvane::test;

TEST_F(SerialLine, OpenAcceptsLineSettingsAndRefusesBadOnes) {
    // A pseudo-terminal under Wine shows neither parity nor odd rates, so the
    // settings are checked for acceptance here (a Linux-only case reads them back).
    os_serial_close(&port_);
    const temp_folder folder;
    std::ofstream{folder.join("plain")};
    const struct {
        std::string port;
        uint32_t rate;
        uint8_t parity, stop;
        bool opens;
        const char* why;
    } rows[] = {
        {line_.name, 250000, 3, 0, true, "a rate beyond the standard table, mark parity"},
        {line_.name, 9600, 0, 1, false, "no one and a half stop bits with 8 data bits"},
        {line_.name, 9600, 5, 0, false, "no parity code 5"},
        {line_.name, 0, 0, 0, false, "a rate of 0 would hang the line up"},
        {folder.join("plain"), 9600, 0, 0, false, "a plain file"}};
    for (const auto& row : rows) {
        intptr_t port = os_serial_open(row.port.c_str(), row.rate, row.parity, row.stop);
        EXPECT_EQ(port != CORVANE_INVALID_SERIAL_PORT, row.opens) << row.why;
        os_serial_close(&port);
    }
}

TEST_F(SerialLine, TransfersEveryByteValueUnchangedBothWays) {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    send(bytes);
    EXPECT_EQ(read(256), std::make_pair(int32_t{256}, bytes));
    EXPECT_EQ(os_serial_write(port_, bytes_of(bytes), 256), 256);
    EXPECT_EQ(receive_until(line_.far_end, bytes), bytes);
    // The count written comes back as a signed 32-bit value.
    EXPECT_EQ(os_serial_write(port_, bytes_of(bytes), 0x80000000u), -1);
}

// The frame hunt itself is checked against a reference by the serial_frames
// fuzz target; these rows show it on a real line, with its log.
TEST_F(SerialLine, ReadGathersWhatWasAskedOrRefusesAndLeavesTheRestQueued) {
    const std::string truncated = "The frame header may be truncated.\n";
    const struct { std::string sent; int32_t size; std::string header; int32_t result;
                   std::string delivered, left, log, why; } rows[] = {
        {"123456", 10, "", 6, "123456", "", "", "silence ends a plain read"},
        {"0123456789abcd", 10, "", 10, "0123456789", "abcd", "", "a plain read takes no more"},
        {"xyAB123AB456", 5, "AB", 5, "AB123", "AB456", "", "stray bytes go, the next frame stays"},
        {"xyzAB123", 5, "AB", -1, "", "123", "", "the header would end at byte N"},
        {"xyz", 5, "AB", 0, "", "", truncated, "no header came"},
        {"x", 5, "AB", 0, "", "", truncated, "one stray byte"},
        {"", 5, "AB", 0, "", "", "", "nothing came, nothing to log"}};
    for (const auto& row : rows) {
        send(row.sent);
        std::pair<int32_t, std::string> got;
        EXPECT_EQ(capture_stdout([&] { got = read(row.size, row.header); }), row.log) << row.why;
        EXPECT_EQ(got, std::make_pair(row.result, row.delivered)) << row.why;
        EXPECT_EQ(read(serial_queued(port_) + 1).second, row.left) << row.why;
    }
    // L above INT32_MAX is not negative: refused, consuming nothing.
    send("AB123");
    uint8_t buffer[8] = {};
    EXPECT_EQ(os_serial_read(port_, buffer, 8, bytes_of("AB"), 0x80000000u, 20), -1);
    EXPECT_EQ(serial_queued(port_), 5);
}

TEST_F(SerialLine, SelectWaitsAtLeastBrieflyAndSeesQueuedInput) {
    for (const std::string sent : {"", "z"}) {
        send(sent);
        for (int wait_ms : {0, -5, 10}) EXPECT_EQ(os_serial_select(port_, wait_ms), !sent.empty());
    }
}

TEST_F(SerialLine, WriteGivesUpAfterItsBoundAndDiscardsTheRest) {
    if (under_wine()) {
        // Wine's port is relayed to the far end by a host program whose
        // buffers now and then take the whole flood, so the queue never fills.
        GTEST_SKIP() << "under Wine the output queue cannot be kept full";
    }
    // Nobody drains the far end, so the output queue fills and stays full.
    const std::string flood(4 << 20, 'f');
    EXPECT_EQ(os_serial_write(port_, bytes_of(flood), static_cast<uint32_t>(flood.size())), -1);
    // The discard made room: the next write goes through, and what the far
    // end still receives before it is the undiscarded head of the flood.
    ASSERT_EQ(os_serial_write(port_, bytes_of("AB"), 2), 2);
    const std::string drained = receive_until(line_.far_end, "AB");
    EXPECT_TRUE(drained.size() < flood.size() &&
                drained.find_first_not_of('f') + 2 == drained.size());
}

TEST_F(SerialLine, PurgeDiscardsTheSelectedSide) {
    // Selection: 1 output, 2 input, other bits ignored.
    for (auto [selection, left] : {std::pair{0, 5}, {1, 5}, {2, 0}, {3, 0}, {3 | 4, 0}}) {
        send("input");
        EXPECT_NE(os_serial_purge(port_, selection), 0) << selection;
        EXPECT_EQ(serial_queued(port_), left) << selection;
        os_serial_purge(port_, 2);
    }
}

TEST(Socket, CallsOnAClosedSocketFailAtOnceWithTheCause) {
    const uintptr_t closed = socket_pair().client;
    EXPECT_EQ(os_socket_close(closed), -1);
    EXPECT_EQ(os_socket_get_errno_code(), not_a_socket_error);
    // A socket that is no longer there fails at once instead of sleeping out the wait.
    int32_t error = untouched;
    EXPECT_FALSE(os_socket_readable(closed, generous_wait_ms * 100, &error));
    EXPECT_EQ(std::exchange(error, untouched), not_a_socket_error);
    EXPECT_FALSE(os_socket_writable(closed, generous_wait_ms * 100, &error));
    EXPECT_EQ(error, not_a_socket_error);
}

TEST(Socket, PeerCloseIsABrokenLinkOnlyOnceItsDataIsRead) {
    socket_pair pair;
    EXPECT_FALSE(os_socket_readable(pair.client, 0, nullptr));
    EXPECT_FALSE(os_socket_is_link_broken(pair.client));
    ASSERT_TRUE(send_bytes(pair.server, "tail"));
    os_socket_close(std::exchange(pair.server, CORVANE_INVALID_SOCKET));
    ASSERT_TRUE(os_socket_readable(pair.client, generous_wait_ms, nullptr));
    EXPECT_FALSE(os_socket_is_link_broken(pair.client));
    EXPECT_EQ(receive(pair.client, 8), "tail");
    EXPECT_TRUE(os_socket_is_link_broken(pair.client));
}

TEST(Socket, TimeOutsAreSetInMilliseconds) {
    socket_pair pair;
    for (uint32_t ms : {0u, 1500u, 86400000u, 30u}) {
        EXPECT_EQ(os_socket_set_recv_timeout(pair.client, ms), 0) << ms;
        EXPECT_EQ(os_socket_set_send_timeout(pair.client, ms), 0) << ms;
    }
    EXPECT_EQ(receive(pair.client, 1), "");
    EXPECT_EQ(os_socket_get_errno_code(), timed_out_error);
}

TEST(Socket, StartUpsAreCountedAcrossThreads) {
    while (os_socket_clear_library()) continue;
    constexpr int rounds = 2000;
    std::atomic<int> cleared{0};
    for (bool starting : {true, false}) {
        std::jthread threads[4];
        for (auto& thread : threads) {
            thread = std::jthread([&] {
                for (int i = 0; starting && i < rounds; ++i) ASSERT_TRUE(os_socket_init_library());
                while (!starting && os_socket_clear_library()) ++cleared;
            });
        }
    }
    EXPECT_EQ(cleared, 4 * rounds);
    EXPECT_FALSE(os_socket_clear_library());
    // The library's clears end only its own start-ups: sockets made by the
    // test support still work.
    socket_pair pair;
    EXPECT_TRUE(os_socket_writable(pair.client, generous_wait_ms, nullptr));
}

}  // namespace

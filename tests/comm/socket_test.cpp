// Sockets over TCP and UDP on the loopback address 127.0.0.1.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "corvane/comm.h"
#include "socket_pair.hpp"

namespace {

using corvane::test::socket_values;

constexpr uint32_t generous_wait_ms = 5000;
constexpr int32_t untouched = 0x5a5a;

TEST(Socket, ReadyOnlyWithSomethingToReadOrRoomToSend) {
    corvane::test::socket_pair pair;
    int32_t error = untouched;
    EXPECT_FALSE(os_socket_readable(pair.client, 0, &error));
    EXPECT_TRUE(os_socket_writable(pair.client, 0, &error));

    ASSERT_TRUE(pair.send(pair.server, "hello"));
    EXPECT_TRUE(os_socket_readable(pair.client, generous_wait_ms, &error));
    uint32_t queued = 0;
    EXPECT_EQ(os_socket_ioctl(pair.client, socket_values.queued_bytes_request, &queued), 0);
    EXPECT_EQ(queued, 5u);

    uint32_t non_blocking = 1;
    ASSERT_EQ(os_socket_ioctl(pair.client, socket_values.non_blocking_request, &non_blocking), 0);
    while (pair.send(pair.client, std::string(1 << 16, 'x'))) {
    }
    EXPECT_FALSE(os_socket_writable(pair.client, 0, &error));
    EXPECT_EQ(error, untouched);
}

TEST(Socket, WaitsOnTheInvalidOrAClosedSocketFail) {
    int32_t error = untouched;
    EXPECT_FALSE(os_socket_readable(CORVANE_INVALID_SOCKET, 0, &error));
    EXPECT_FALSE(os_socket_writable(CORVANE_INVALID_SOCKET, 0, &error));
    EXPECT_EQ(error, untouched);
    EXPECT_FALSE(os_socket_is_link_broken(CORVANE_INVALID_SOCKET));

    const uintptr_t udp = corvane::test::udp_socket();
    ASSERT_EQ(os_socket_close(udp), 0);
    EXPECT_EQ(os_socket_close(udp), -1);
    EXPECT_EQ(os_socket_get_errno_code(), socket_values.not_a_socket_error);
    // A socket that is no longer there fails at once instead of sleeping out the wait.
    EXPECT_FALSE(os_socket_readable(udp, generous_wait_ms * 100, &error));
    EXPECT_EQ(error, socket_values.not_a_socket_error);
    error = untouched;
    EXPECT_FALSE(os_socket_writable(uintptr_t{1} << 40, generous_wait_ms * 100, &error));
    EXPECT_EQ(error, socket_values.not_a_socket_error);
}

TEST(Socket, PeerCloseIsABrokenLinkOnlyOnceItsDataIsRead) {
    corvane::test::socket_pair pair;
    EXPECT_FALSE(os_socket_is_link_broken(pair.client));
    ASSERT_TRUE(pair.send(pair.server, "tail"));
    pair.close_server(false);
    ASSERT_TRUE(os_socket_readable(pair.client, generous_wait_ms, nullptr));
    EXPECT_FALSE(os_socket_is_link_broken(pair.client));
    EXPECT_TRUE(os_socket_readable(pair.client, 0, nullptr));
    EXPECT_EQ(pair.receive(pair.client, 8), "tail");
    EXPECT_TRUE(os_socket_is_link_broken(pair.client));
}

TEST(Socket, TimeOutsAreSetInMilliseconds) {
    corvane::test::socket_pair pair;
    for (uint32_t timeout_ms : {0u, 250u, 1500u, 86400000u}) {
        EXPECT_EQ(os_socket_set_recv_timeout(pair.client, timeout_ms), 0) << timeout_ms;
        EXPECT_EQ(os_socket_set_send_timeout(pair.client, timeout_ms), 0) << timeout_ms;
    }
    EXPECT_EQ(os_socket_set_recv_timeout(CORVANE_INVALID_SOCKET, 30), -1);
    EXPECT_EQ(os_socket_set_send_timeout(CORVANE_INVALID_SOCKET, 30), -1);

    ASSERT_EQ(os_socket_set_recv_timeout(pair.client, 30), 0);
    EXPECT_EQ(pair.receive(pair.client, 1), "");
    EXPECT_EQ(os_socket_get_errno_code(), socket_values.timed_out_error);
}

// Wine accepts the switch on any value; the refusal of a non-socket is
// checked in the Linux file.
TEST(Socket, UdpUnreachedReportSwitchSucceedsOnUdpSockets) {
    const uintptr_t udp = corvane::test::udp_socket();
    EXPECT_EQ(os_socket_disable_udp_unreached_report(udp), 0);
    EXPECT_EQ(os_socket_close(udp), 0);
}

TEST(Socket, StartUpsAreCountedAcrossThreads) {
    while (os_socket_clear_library()) {
    }
    constexpr int rounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < rounds; ++i) ASSERT_TRUE(os_socket_init_library());
        });
    }
    for (auto& thread : threads) thread.join();
    threads.clear();
    std::atomic<int> cleared{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            while (os_socket_clear_library()) ++cleared;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(cleared, 4 * rounds);
    EXPECT_FALSE(os_socket_clear_library());
    EXPECT_TRUE(os_socket_init_library());
    EXPECT_TRUE(os_socket_clear_library());
    EXPECT_FALSE(os_socket_clear_library());
    // The library's clears end only its own start-ups: sockets made by the
    // test support still work.
    corvane::test::socket_pair pair;
    EXPECT_TRUE(os_socket_writable(pair.client, generous_wait_ms, nullptr));
}

}  // namespace

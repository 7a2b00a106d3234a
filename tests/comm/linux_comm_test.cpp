// Linux only: what a pseudo-terminal and the Linux socket layer show and Wine
// cannot (terminal settings and exclusive mode, hang-up, signals, descriptors
// above 1024, a reset peer).
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial_line_fixture.hpp"

namespace {

using namespace corvane::test;
using LinuxSerial = SerialLine;

TEST_F(LinuxSerial, OpenSetsARawExclusiveLineAndCloseReleasesIt) {
    termios settings{};
    ASSERT_EQ(tcgetattr(static_cast<int>(port_), &settings), 0);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
    // Exclusive mode: a second open fails until the port is closed.
    EXPECT_EQ(os_serial_open(line_.name.c_str(), 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    os_serial_close(&port_);
    const int probe = ::open(line_.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int exclusive = 1;
    EXPECT_TRUE(ioctl(probe, TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
    ::close(probe);
    // A pseudo-terminal keeps no parity, so only the stop bits show.
    port_ = os_serial_open(line_.name.c_str(), 9600, 2, 2);
    ASSERT_EQ(tcgetattr(static_cast<int>(port_), &settings), 0);
    EXPECT_TRUE(cfgetospeed(&settings) == B9600 && (settings.c_cflag & CSTOPB) != 0);
}

TEST_F(LinuxSerial, AHungUpLineIsNoInput) {
    ::close(static_cast<int>(std::exchange(line_.far_end, ~uintptr_t{0})));
    EXPECT_FALSE(os_serial_select(port_, generous_wait_ms));
    EXPECT_LE(read(4, "", generous_wait_ms).first, 0);
}

// Waits go through poll, not select: no limit at descriptor 1024, and a
// signal does not cut them short.
TEST(LinuxSocket, WaitsOnADescriptorAbove1024WorkAndResumeAfterSignals) {
    socket_pair pair;
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    const rlimit raised{std::max<rlim_t>(original.rlim_cur, 1501), original.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0) << "hard limit too low";
    const int high = ::dup2(static_cast<int>(pair.client), 1500);
    ASSERT_EQ(high, 1500);
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) {};  // no SA_RESTART: poll fails with EINTR
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    const itimerval every_5ms{{0, 5000}, {0, 5000}}, stop{};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every_5ms, nullptr), 0);
    int32_t error = untouched;
    // Nothing comes: the wait runs out with no error, however often interrupted.
    EXPECT_FALSE(os_socket_readable(high, 100, &error));
    EXPECT_EQ(error, untouched);
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    ASSERT_TRUE(send_bytes(pair.server, "hi"));
    EXPECT_TRUE(os_socket_readable(high, generous_wait_ms, nullptr));
    EXPECT_EQ(os_socket_close(high), 0);
    setrlimit(RLIMIT_NOFILE, &original);
}

// (Wine reports a reset peer as an orderly close.)
TEST(LinuxSocket, ResetConnectionIsNotReportedAsAnOrderlyClose) {
    socket_pair pair;
    const linger abort_on_close{1, 0};
    ASSERT_EQ(setsockopt(static_cast<int>(pair.server), SOL_SOCKET, SO_LINGER, &abort_on_close,
                         sizeof abort_on_close), 0);
    ::close(static_cast<int>(std::exchange(pair.server, CORVANE_INVALID_SOCKET)));
    ASSERT_TRUE(os_socket_readable(pair.client, generous_wait_ms, nullptr));
    // Asked twice: the test leaves the reset for the caller's own receive.
    EXPECT_FALSE(os_socket_is_link_broken(pair.client) || os_socket_is_link_broken(pair.client));
    char byte = 0;
    EXPECT_EQ(::recv(static_cast<int>(pair.client), &byte, 1, MSG_DONTWAIT), -1);
    EXPECT_EQ(errno, ECONNRESET);
}

}  // namespace

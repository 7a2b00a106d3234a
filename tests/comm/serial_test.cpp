// Serial ports over pseudo-terminals: the slave side is opened as the port,
// the test drives the master side.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "corvane/comm.h"
#include "test_support.hpp"

namespace {

// The wait of reads that end on silence. Their bytes are queued before they
// start (see send), so the wait cannot cut a transfer short.
constexpr int silence_ms = 20;

const uint8_t header_ab[] = {'A', 'B'};

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        int slave = -1;
        char name[128];
        ASSERT_EQ(openpty(&master_, &slave, name, nullptr, nullptr), 0);
        name_ = name;
        port_ = os_serial_open(name, 115200, 0, 0);
        ::close(slave);
        ASSERT_NE(port_, CORVANE_INVALID_SERIAL_PORT);
    }
    void TearDown() override {
        os_serial_close(&port_);
        ::close(master_);
    }

    int port_fd() const { return static_cast<int>(port_); }

    // Sends from the far side and waits (bounded) until the port has every
    // byte queued, so that a read's silence comes only after them.
    void send(const std::string& bytes) {
        int before = queued();
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (queued() < before + static_cast<int>(bytes.size())) {
            ASSERT_LT(std::chrono::steady_clock::now(), give_up);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    int queued() const {
        int count = 0;
        ::ioctl(port_fd(), TIOCINQ, &count);
        return count;
    }

    // What the far side receives until it ends with `ending` (bounded).
    std::string received_by_master_until(const std::string& ending) {
        std::string bytes;
        pollfd entry{master_, POLLIN, 0};
        while (!bytes.ends_with(ending) && ::poll(&entry, 1, 5000) == 1) {
            char chunk[4096];
            ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0) break;
            bytes.append(chunk, static_cast<size_t>(n));
        }
        return bytes;
    }

    // Reads with os_serial_read; returns the result and the bytes it delivered.
    std::pair<int32_t, std::string> read(int32_t size, const uint8_t* header = nullptr,
                                         uint32_t header_length = 0) {
        std::string buffer(static_cast<size_t>(size) + 1, '#');
        int32_t result = os_serial_read(port_, reinterpret_cast<uint8_t*>(buffer.data()), size,
                                        header, header_length, silence_ms);
        return {result, buffer.substr(0, result > 0 ? static_cast<size_t>(result) : 0)};
    }
    // Whatever the port still has queued after a read.
    std::string leftover() { return read(static_cast<int32_t>(queued()) + 1).second; }

    int master_ = -1;
    std::string name_;
    intptr_t port_ = CORVANE_INVALID_SERIAL_PORT;
};

std::string every_byte_value() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
    return bytes;
}

TEST_F(SerialPort, OpenSetsRawEightBitLineAndIsExclusive) {
    termios settings{};
    ASSERT_EQ(tcgetattr(port_fd(), &settings), 0);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B115200));
    int exclusive = 0;
    ASSERT_EQ(ioctl(port_fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    EXPECT_EQ(os_serial_open(name_.c_str(), 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    os_serial_close(&port_);
    // Closing clears the terminal's exclusive mode, or it would stay locked.
    int probe = ::open(name_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(probe);

    port_ = os_serial_open(name_.c_str(), 9600, 2, 2);
    ASSERT_NE(port_, CORVANE_INVALID_SERIAL_PORT);
    ASSERT_EQ(tcgetattr(port_fd(), &settings), 0);
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
    EXPECT_NE(settings.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialPort, OpenRefusesBadSettingsAndNonTerminals) {
    os_serial_close(&port_);
    EXPECT_EQ(os_serial_open(name_.c_str(), 9600, 0, 1), CORVANE_INVALID_SERIAL_PORT);
    EXPECT_EQ(os_serial_open(name_.c_str(), 9600, 5, 0), CORVANE_INVALID_SERIAL_PORT);
    EXPECT_EQ(os_serial_open(name_.c_str(), 0, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    EXPECT_EQ(os_serial_open(nullptr, 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    corvane::test::temp_folder folder;
    std::string file = folder.join("plain");
    ::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    // A failed open lets go of its descriptor: the next one takes the same
    // lowest free number.
    int next = ::dup(0);
    ::close(next);
    EXPECT_EQ(os_serial_open(file.c_str(), 9600, 0, 0), CORVANE_INVALID_SERIAL_PORT);
    int after = ::dup(0);
    ::close(after);
    EXPECT_EQ(after, next);
    // Any rate the driver accepts, beyond the standard table too.
    port_ = os_serial_open(name_.c_str(), 250000, 3, 0);
    EXPECT_NE(port_, CORVANE_INVALID_SERIAL_PORT);
}

TEST_F(SerialPort, TransfersEveryByteValueUnchangedBothWays) {
    const std::string bytes = every_byte_value();
    send(bytes);
    EXPECT_EQ(read(256), std::make_pair(int32_t{256}, bytes));

    EXPECT_EQ(os_serial_write(port_, reinterpret_cast<const uint8_t*>(bytes.data()), 256), 256);
    EXPECT_EQ(received_by_master_until(bytes), bytes);
    EXPECT_EQ(os_serial_write(port_, nullptr, 0), 0);
    EXPECT_EQ(os_serial_write(CORVANE_INVALID_SERIAL_PORT, header_ab, 2), -1);
}

TEST_F(SerialPort, PlainReadGathersExactlyTheRequestedCount) {
    send("123456");
    EXPECT_EQ(read(10), std::make_pair(int32_t{6}, std::string("123456")));
    send("0123456789");
    EXPECT_EQ(read(10), std::make_pair(int32_t{10}, std::string("0123456789")));
    send("0123456789abcd");
    EXPECT_EQ(read(10), std::make_pair(int32_t{10}, std::string("0123456789")));
    EXPECT_EQ(leftover(), "abcd");
    EXPECT_EQ(read(10).first, 0);
}

TEST_F(SerialPort, PlainReadCompletesFromBytesArrivingDuringTheWait) {
    std::thread sender([this] {
        for (char piece : std::string("abcd")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_EQ(::write(master_, &piece, 1), 1);
        }
    });
    std::string buffer(4, '#');
    int32_t result =
        os_serial_read(port_, reinterpret_cast<uint8_t*>(buffer.data()), 4, nullptr, 0, 5000);
    sender.join();
    EXPECT_EQ(result, 4);
    EXPECT_EQ(buffer, "abcd");
}

TEST_F(SerialPort, FrameReadDropsStrayBytesAndLeavesTheNextFrameQueued) {
    send("xyAB123AB456");
    EXPECT_EQ(read(5, header_ab, 2), std::make_pair(int32_t{5}, std::string("AB123")));
    EXPECT_EQ(read(5, header_ab, 2), std::make_pair(int32_t{5}, std::string("AB456")));
    // A stray byte equal to the header's first byte must not hide the header.
    send("AAB99rest");
    EXPECT_EQ(read(5, header_ab, 2), std::make_pair(int32_t{5}, std::string("AB99r")));
    EXPECT_EQ(leftover(), "est");
}

TEST_F(SerialPort, FrameReadGivesUpWhenTheHeaderWouldEndAtTheLastByte) {
    send("xyzAB123");
    EXPECT_EQ(read(5, header_ab, 2).first, -1);
    // The strays and the header are consumed, nothing after them.
    EXPECT_EQ(leftover(), "123");
    // With N = L the header can never end within N - 1 bytes.
    send("AB");
    EXPECT_EQ(read(2, header_ab, 2).first, -1);
    EXPECT_EQ(read(2, header_ab, 2).first, 0);
}

TEST_F(SerialPort, FrameReadEndingInSilenceReportsWhatItHas) {
    send("xyz");
    std::pair<int32_t, std::string> result;
    std::string log = corvane::test::capture_stdout([&] { result = read(5, header_ab, 2); });
    EXPECT_EQ(result.first, 0);
    EXPECT_EQ(log, "The frame header may be truncated.\n");

    log = corvane::test::capture_stdout([&] { result = read(5, header_ab, 2); });
    EXPECT_EQ(result.first, 0);
    EXPECT_EQ(log, "");

    send("qAB1");
    log = corvane::test::capture_stdout([&] { result = read(5, header_ab, 2); });
    EXPECT_EQ(result, std::make_pair(int32_t{3}, std::string("AB1")));
    EXPECT_EQ(log, "");
}

TEST_F(SerialPort, ReadRefusesBadArgumentsWithoutConsuming) {
    send("AB123");
    uint8_t buffer[8] = {};
    EXPECT_EQ(os_serial_read(port_, buffer, 0, header_ab, 0, silence_ms), 0);
    EXPECT_EQ(os_serial_read(port_, buffer, 1, header_ab, 2, silence_ms), -1);
    EXPECT_EQ(os_serial_read(port_, buffer, -1, nullptr, 0, silence_ms), -1);
    // A length above INT32_MAX must not pass the size check as a negative.
    EXPECT_EQ(os_serial_read(port_, buffer, 8, header_ab, 0x80000000u, silence_ms), -1);
    EXPECT_EQ(os_serial_read(port_, nullptr, 8, nullptr, 0, silence_ms), -1);
    EXPECT_EQ(os_serial_read(CORVANE_INVALID_SERIAL_PORT, buffer, 8, nullptr, 0, silence_ms), -1);
    EXPECT_EQ(queued(), 5);
}

TEST_F(SerialPort, SelectWaitsAtLeastBrieflyAndSeesQueuedInput) {
    EXPECT_FALSE(os_serial_select(port_, 0));
    EXPECT_FALSE(os_serial_select(port_, -5));
    EXPECT_FALSE(os_serial_select(CORVANE_INVALID_SERIAL_PORT, 0));
    send("z");
    EXPECT_TRUE(os_serial_select(port_, 0));
    EXPECT_TRUE(os_serial_select(port_, -5));

    EXPECT_EQ(read(1).second, "z");
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(::write(master_, "w", 1), 1);
    });
    EXPECT_TRUE(os_serial_select(port_, 5000));
    sender.join();
}

TEST_F(SerialPort, WriteGivesUpAfterItsBoundAndDiscardsTheRest) {
    // Nobody drains the far side, so the output queue fills and stays full.
    const std::string flood(1 << 20, 'f');
    EXPECT_EQ(os_serial_write(port_, reinterpret_cast<const uint8_t*>(flood.data()),
                              static_cast<uint32_t>(flood.size())),
              -1);
    // The discard made room: the next write goes through, and what the far
    // side still receives before it is the undiscarded head of the flood.
    ASSERT_EQ(os_serial_write(port_, header_ab, 2), 2);
    std::string drained = received_by_master_until("AB");
    ASSERT_GE(drained.size(), 2u);
    EXPECT_EQ(drained.find_first_not_of('f'), drained.size() - 2);
}

TEST_F(SerialPort, PurgeDiscardsTheSelectedSide) {
    send("input");
    EXPECT_NE(os_serial_purge(port_, 0), 0);
    EXPECT_NE(os_serial_purge(port_, 1), 0);
    EXPECT_EQ(queued(), 5);
    EXPECT_NE(os_serial_purge(port_, 2), 0);
    EXPECT_EQ(queued(), 0);

    send("more");
    EXPECT_NE(os_serial_purge(port_, 3 | 4), 0);
    EXPECT_EQ(queued(), 0);
    EXPECT_EQ(os_serial_purge(CORVANE_INVALID_SERIAL_PORT, 3), 0);
    EXPECT_EQ(os_serial_purge(CORVANE_INVALID_SERIAL_PORT, 0), 0);
}

TEST_F(SerialPort, ClosingTwiceThroughOneVariableClosesOnce) {
    intptr_t port = port_;
    port_ = CORVANE_INVALID_SERIAL_PORT;
    const int number = static_cast<int>(port);
    os_serial_close(&port);
    EXPECT_EQ(port, CORVANE_INVALID_SERIAL_PORT);
    // The freed number goes to a new descriptor; a second close must not take
    // it away from its new owner.
    int reused = ::dup2(master_, number);
    ASSERT_EQ(reused, number);
    os_serial_close(&port);
    EXPECT_NE(fcntl(reused, F_GETFD), -1);
    ::close(reused);
}

}  // namespace

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "corvane/system.h"
#include "test_support.hpp"

using corvane::test::unique_name;

namespace {

constexpr const char* name_variable = "CORVANE_SHM_TEST_NAME";

std::string system_name(const std::string& plain_name) { return "/corvane.shm." + plain_name; }

bool block_exists(const std::string& plain_name) {
    int fd = shm_open(system_name(plain_name).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

unsigned char* bytes_of(os_sharememory_handle* handle) {
    return static_cast<unsigned char*>(os_sharememory_get_buffer(handle));
}

struct handle_deleter {
    void operator()(os_sharememory_handle* handle) const { os_sharememory_destroy(&handle); }
};
using block = std::unique_ptr<os_sharememory_handle, handle_deleter>;

corvane::test::ready_child start_holder(const std::string& role, const std::string& name) {
    return corvane::test::ready_child("SharedMemoryChild.*", role,
                                      {std::string(name_variable) + "=" + name});
}

}  // namespace

TEST(SharedMemory, HandlesSeeTheSameBytesAndASecondCreateZeroesThem) {
    std::string name = unique_name("same");
    block first(os_sharememory_create(name.c_str(), 4096));
    ASSERT_NE(first, nullptr);
    unsigned char* written = bytes_of(first.get());
    EXPECT_EQ(written[0] + written[4095], 0);
    for (size_t i = 0; i < 4096; ++i) {
        written[i] = static_cast<unsigned char>(i * 7 + 1);
    }
    block opened(os_sharememory_open(name.c_str()));
    ASSERT_NE(opened, nullptr);
    EXPECT_NE(bytes_of(opened.get()), written);
    EXPECT_EQ(std::memcmp(bytes_of(opened.get()), written, 4096), 0);
    bytes_of(opened.get())[100] = 0xEE;
    EXPECT_EQ(written[100], 0xEE);

    // A larger block would write past the existing mapping: refused, untouched.
    EXPECT_EQ(os_sharememory_create(name.c_str(), 4097), nullptr);
    EXPECT_EQ(written[100], 0xEE);
    block partial(os_sharememory_create(name.c_str(), 1000));
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(written[999], 0);
    EXPECT_EQ(written[1000], static_cast<unsigned char>(1000 * 7 + 1));
    block same(os_sharememory_create(name.c_str(), 4096));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(std::count(written, written + 4096, 0), 4096);
}

TEST(SharedMemory, RefusesWhatCannotBeABlockAndCloseEmptiesTheHandle) {
    std::string empty = unique_name("empty");
    EXPECT_EQ(os_sharememory_create(empty.c_str(), 0), nullptr);
    EXPECT_FALSE(block_exists(empty));
    std::string too_long(1024, 'n');
    EXPECT_EQ(os_sharememory_create(too_long.c_str(), 16), nullptr);
    too_long.pop_back();  // valid, however long its system name
    block longest(os_sharememory_create(too_long.c_str(), 16));
    block found(os_sharememory_open(too_long.c_str()));
    EXPECT_TRUE(longest != nullptr && found != nullptr);
    std::string unknown = unique_name("nobody");
    for (const char* name : {unknown.c_str(), "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(os_sharememory_open(name), nullptr);
    }
    EXPECT_EQ(os_sharememory_get_buffer(nullptr), nullptr);
    os_sharememory_close(nullptr);
    os_sharememory_handle* nothing = nullptr;
    os_sharememory_destroy(&nothing);

    std::string closed = unique_name("close");
    for (const char* name : {closed.c_str(), static_cast<const char*>(nullptr)}) {
        os_sharememory_handle* handle = os_sharememory_create(name, 64);
        ASSERT_NE(handle, nullptr);
        os_sharememory_close(handle);
        EXPECT_EQ(os_sharememory_get_buffer(handle), nullptr);
        os_sharememory_close(handle);
        os_sharememory_destroy(&handle);
        EXPECT_EQ(handle, nullptr);
    }
    EXPECT_FALSE(block_exists(closed));
}

TEST(SharedMemory, UnnamedBlocksAreSeparateAndSharedWithChildProcesses) {
    block first(os_sharememory_create(nullptr, 8192));
    block second(os_sharememory_create("", 8192));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    bytes_of(first.get())[0] = 1;
    EXPECT_EQ(bytes_of(second.get())[0], 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bytes_of(first.get())[8191] = 42;
        _exit(0);
    }
    int status = -1;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(bytes_of(first.get())[8191], 42);
}

TEST(SharedMemory, OtherProgramsFindTheBlockByItsDocumentedName) {
    std::string plain = unique_name("plain");
    block made(os_sharememory_create(("Local\\" + plain + " x/y").c_str(), 100));
    ASSERT_NE(made, nullptr);
    std::memcpy(bytes_of(made.get()), "payload", 8);

    int fd = shm_open(system_name(plain + "%20x%2Fy").c_str(), O_RDWR | O_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    struct stat status {};
    ASSERT_EQ(fstat(fd, &status), 0);
    EXPECT_EQ(status.st_size, 1088 + 100);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    void* view = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ | PROT_WRITE,
                      MAP_SHARED, fd, 0);
    ASSERT_NE(view, MAP_FAILED);
    uint64_t size = 0;
    std::memcpy(&size, static_cast<char*>(view) + 16, sizeof size);
    EXPECT_EQ(size, 100u);
    EXPECT_STREQ(static_cast<const char*>(view) + 1088, "payload");

    // Its read lock keeps the block alive after the library lets go.
    struct flock whole {};
    whole.l_type = F_RDLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &whole), 0);
    made.reset();
    block reopened(os_sharememory_open((plain + " x/y").c_str()));
    ASSERT_NE(reopened, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes_of(reopened.get())), "payload");
    munmap(view, static_cast<size_t>(status.st_size));
    close(fd);
    reopened.reset();
    EXPECT_FALSE(block_exists(plain + "%20x%2Fy"));
}

// The child body, run only inside processes started by the test below:
// creates or opens the block, writes to it and holds it until killed.
TEST(SharedMemoryChild, Body) {
    std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const char* name = std::getenv(name_variable);
    os_sharememory_handle* handle =
        role == "create" ? os_sharememory_create(name, 256) : os_sharememory_open(name);
    if (handle == nullptr) {
        std::exit(2);
    }
    std::strcpy(static_cast<char*>(os_sharememory_get_buffer(handle)), "held");
    corvane::test::signal_ready();
    for (;;) {
        pause();
    }
}

TEST(SharedMemoryProcesses, TheBlockOutlivesItsCreatorUntilTheLastHolderEnds) {
    std::string name = unique_name("lifetime");
    {
        block made(os_sharememory_create(name.c_str(), 256));
        ASSERT_NE(made, nullptr);
        auto holder = start_holder("open", name);
        ASSERT_TRUE(holder.ready());
        made.reset();
        block seen(os_sharememory_open(name.c_str()));
        ASSERT_NE(seen, nullptr);
        EXPECT_STREQ(reinterpret_cast<char*>(bytes_of(seen.get())), "held");
        EXPECT_EQ(holder.kill_and_wait(), 128 + SIGKILL);
        seen.reset();
        EXPECT_FALSE(block_exists(name));
    }
    {
        // The killed process was the only holder.
        auto holder = start_holder("create", name);
        ASSERT_TRUE(holder.ready());
        EXPECT_EQ(holder.kill_and_wait(), 128 + SIGKILL);
        EXPECT_EQ(os_sharememory_open(name.c_str()), nullptr);
        EXPECT_FALSE(block_exists(name));
    }
}

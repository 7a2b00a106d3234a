// Linux only: permission bits and the process mask, close-on-exec, named
// pipes, pseudo files of /proc, writes cut short by signals and entries that
// cannot be removed.

#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "fs_test_files.hpp"

namespace {

// Sets or clears the immutable flag (root only; other users get a folder
// without write permission instead); false when neither works here.
bool make_unremovable(const std::string& file, bool on) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    ::close(fd);
    const std::string folder = fs::path(file).parent_path().string();
    return done || (::geteuid() != 0 && ::chmod(folder.c_str(), on ? 0500 : 0700) == 0);
}

}  // namespace

TEST(LinuxFs, CreatedEntriesFollowTheMaskAndDescriptorsStayOutOfChildren) {
    temp_folder folder;
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(os_file_create(folder.join("file").c_str()) && os_folder_create(folder.join("a/b").c_str()));
    EXPECT_EQ(os_clibrary_file_mkdir(folder.join("made").c_str(), 0), 0);
    ::umask(mask);
    for (const char* name : {"file", "a/b", "made"}) {
        EXPECT_EQ(static_cast<unsigned>(fs::status(folder.join(name)).permissions()), name[0] == 'f' ? 0640u : 0750u) << name;
    }
    const int32_t fd = os_clibrary_file_open(folder.join("file").c_str(), O_RDONLY, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    os_clibrary_file_close(fd);
}

TEST(LinuxFs, PipesAndPseudoFilesCopyWithoutWaitingOrLosingContent) {
    temp_folder folder, other;
    const std::string pipe = folder.join("pipe"), file = folder.join("file");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    write_file(file, "content");
    EXPECT_TRUE(os_file_create(pipe.c_str()));
    EXPECT_FALSE(os_file_copy(file.c_str(), pipe.c_str(), false));  // no reader
    EXPECT_TRUE(os_file_copy(pipe.c_str(), folder.join("from-pipe").c_str(), false));  // no writer
    // Size 0 yet content; a file whose read fails (address 0 is never mapped).
    ASSERT_TRUE(os_file_copy("/proc/self/status", file.c_str(), false));
    EXPECT_NE(read_file(file).find("Pid:"), std::string::npos);
    EXPECT_FALSE(os_file_copy("/proc/self/mem", folder.join("memory").c_str(), false));
    ASSERT_TRUE(os_folder_copy(folder.path().c_str(), other.join("copy").c_str(), false));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(other.join("copy/pipe"))));
}

// Writes into a pipe that a signal interrupts come back short; the copy must
// write the rest rather than fail or lose bytes.
TEST(LinuxFs, CopyCompletesWritesThatSignalsCutShort) {
    temp_folder folder;
    const std::string source = folder.join("source"), pipe = folder.join("pipe"), content = random_bytes(4 << 20, 2);
    write_file(source, content);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    struct sigaction interrupting {}, previous {};
    interrupting.sa_handler = [](int) {};  // no SA_RESTART: writes return early
    ASSERT_EQ(::sigaction(SIGUSR1, &interrupting, &previous), 0);
    // Held open until the copy is done, so that the reader cannot see the
    // end of input before the copy has opened the pipe.
    const int held = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);
    std::string received;
    std::thread reader([&] { received = read_file(pipe); });
    std::atomic<bool> done{false};
    std::thread interrupter([&, copier = ::pthread_self()] {
        for (; !done.load(); ::usleep(50)) ::pthread_kill(copier, SIGUSR1);
    });
    EXPECT_TRUE(os_file_copy(source.c_str(), pipe.c_str(), false));
    done = true;
    interrupter.join();
    ::close(held);
    reader.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(received == content);
}

TEST(LinuxFs, RemoveCarriesOnPastAnEntryItCannotRemove) {
    temp_folder folder;
    const std::string doomed = folder.join("doomed");
    make_sample_tree(doomed);
    if (!make_unremovable(doomed + "/sub/inner.txt", true)) {
        GTEST_SKIP() << "no way to make an entry unremovable here";
    }
    const bool removed = os_folder_remove(doomed.c_str(), true), stuck = exists_at_all(doomed + "/sub/inner.txt");
    make_unremovable(doomed + "/sub/inner.txt", false);
    EXPECT_TRUE(!removed && stuck);
    for (const char* gone : {"/top.txt", "/.hidden-file", "/.dotted", "/empty", "/sub/deeper"}) {
        EXPECT_FALSE(exists_at_all(doomed + gone)) << gone;
    }
}

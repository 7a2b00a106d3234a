// Linux-only cases of the system tests: what a started program inherits,
// zombies, another user's processes, fork and the POSIX form of a block.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system_test.hpp"

TEST(LinuxRunApplication, TheProgramGetsOnlyTheStandardDescriptorsAndLeavesNoZombie) {
    std::string mask;
    for (std::ifstream status("/proc/self/status"); !mask.starts_with("SigBlk:");) {
        std::getline(status, mask);
    }
    int held = open("/dev/null", O_RDONLY);  // inheritable, yet it must stay here
    for (uint8_t wait : {1, 0}) {
        temp_folder folder;
        const std::string out = folder.join("out");
        ASSERT_TRUE(os_system_run_application(probe().c_str(), ("inherited " + out).c_str(), wait));
        EXPECT_EQ(read_report(out), "\n" + mask + "\n") << "wait " << int(wait);
        // No child of this process is left, ended or running.
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "wait " << int(wait);
    }
    close(held);
}

// The probe exits 10 when the kill reported true, 20 when false.
TEST(LinuxKillApplication, FailsOnWhatAnotherUserCannotEnd) {
    EXPECT_EQ(os_system_check_root_privileges(), geteuid() == 0);
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    temp_folder folder;
    const std::string name = copy_probe(folder);
    child_process sleeper = child_process::program({folder.join(name), "sleep", "60"});
    EXPECT_EQ(child_process::program({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                      probe(), "kill", name}).wait(), 20);
    EXPECT_TRUE(sleeper.running());
}

TEST(LinuxSharedMemory, UnnamedBlocksAreSharedWithForkedChildren) {
    block shared(os_sharememory_create(nullptr, 8192));
    pid_t child = fork();
    if (child == 0) {
        bytes_of(shared)[8191] = 42;
        _exit(0);
    }
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_EQ(bytes_of(shared)[8191], 42);
}

// The object is private to its user and holds the record before the block.
TEST(LinuxSharedMemory, OtherProgramsFindTheBlockByItsDocumentedName) {
    const std::string plain = unique_name("plain");
    block made(os_sharememory_create(("Local\\" + plain + " x/y").c_str(), 100));
    const std::string system_name = "/corvane.shm." + plain + "%20x%2Fy";
    int fd = shm_open(system_name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    struct stat info {};
    EXPECT_EQ(fstat(fd, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 1088 + 100);
    close(fd);
    made.reset();
    EXPECT_LT(shm_open(system_name.c_str(), O_RDONLY | O_CLOEXEC, 0), 0) << "the name outlived it";
}

// Linux-only cases of the system tests: what a started program inherits,
// zombies, another user's processes and blocks shared across fork.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system_test.hpp"

TEST(LinuxRunApplication, TheProgramGetsOnlyTheStandardDescriptorsAndLeavesNoZombie) {
    std::string mask;
    for (std::ifstream in("/proc/self/status"); !mask.starts_with("SigBlk");) getline(in, mask);
    int held = open("/dev/null", O_RDONLY);  // inheritable, yet it must stay here
    for (uint8_t wait : {1, 0}) {
        temp_folder folder;
        const std::string out = folder.join("out");
        ASSERT_TRUE(os_system_run_application(probe().c_str(), ("inherited " + out).c_str(), wait));
        // 0-2 and the probe's listing of them; the caller's signal mask.
        EXPECT_EQ(read_report(out), "4\n" + mask) << "wait " << int(wait);
        // No child of this process is left, ended or running.
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "wait " << int(wait);
    }
    close(held);
}

// The probe exits 10 when the kill reported true, 20 when false.
TEST(LinuxKillApplication, FailsOnWhatAnotherUserCannotEnd) {
    EXPECT_EQ(os_system_check_root_privileges(), geteuid() == 0);
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
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

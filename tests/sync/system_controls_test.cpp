#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "corvane/sync.h"
#include "test_support.hpp"

namespace {

// Kilobytes of locked memory of this process (VmLck).
long locked_kilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmLck:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

constexpr bool sanitized =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

}  // namespace

// Child body: locking all memory runs in a process of its own so the test
// program's memory is never pinned. Exit code 0: results matched the system.
TEST(MemoryLock, ChildLocksAndUnlocksAllMemory) {
    if (corvane::test::child_role() != "mlock") {
        GTEST_SKIP() << "child body";
    }
    const bool locked = os_memory_manager_mlockall();
    if (locked) {
        EXPECT_GT(locked_kilobytes(), 0);
    } else {
        EXPECT_EQ(locked_kilobytes(), 0);
    }
    EXPECT_TRUE(os_memory_manager_munlockall());
    EXPECT_EQ(locked_kilobytes(), 0);
}

// Child body: a memory-lock limit of 0 (as an unprivileged process has it)
// must turn into false, not a promise.
TEST(MemoryLock, ChildIsRefusedBeyondItsLimit) {
    if (corvane::test::child_role() != "mlock-limited") {
        GTEST_SKIP() << "child body";
    }
    const rlimit none{0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &none), 0);
    // Root may lock memory whatever its limit: become an ordinary user.
    if (geteuid() == 0) {
        constexpr uid_t nobody = 65534;
        ASSERT_EQ(setgid(nobody), 0);
        ASSERT_EQ(setuid(nobody), 0);
    }
    EXPECT_FALSE(os_memory_manager_mlockall());
    EXPECT_EQ(locked_kilobytes(), 0);
}

TEST(MemoryLock, ResultsAreTheSystemsOwn) {
    if (sanitized) {
        GTEST_SKIP() << "sanitizer runtimes replace mlockall with a call that always succeeds";
    }
    const pid_t child =
        corvane::test::spawn_self("MemoryLock.ChildLocksAndUnlocksAllMemory", "mlock");
    EXPECT_EQ(corvane::test::wait_child(child), 0);
    const pid_t limited =
        corvane::test::spawn_self("MemoryLock.ChildIsRefusedBeyondItsLimit", "mlock-limited");
    EXPECT_EQ(corvane::test::wait_child(limited), 0);
}

TEST(FixedResults, CallsWithoutACounterpartReturnTheirFixedResults) {
    EXPECT_TRUE(os_sync_environment_initialize());
    os_sync_environment_uninitialize();
    EXPECT_TRUE(os_thread_init_rt_schedule());
    EXPECT_EQ(os_thread_exit_rt_schedule(), 0);
    int32_t latency = 5;
    EXPECT_TRUE(os_thread_install_latency(&latency));
    EXPECT_EQ(latency, -1);
    os_thread_uninstall_latency();
    os_system_close_exception();
    os_filesystem_sync();
    EXPECT_EQ(latency, -1);
}

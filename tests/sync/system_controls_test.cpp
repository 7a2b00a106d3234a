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

}  // namespace

// Child body, so the test program's memory is never pinned. "limited": a
// memory-lock limit of 0, as an unprivileged process has, must give false.
TEST(MemoryLock, ChildLocksAndUnlocksAllMemory) {
    const std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    if (role == "limited") {
        const rlimit none{0, 0};
        ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &none), 0);
        // Root may lock memory whatever its limit.
        ASSERT_TRUE(geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0));
        EXPECT_FALSE(os_memory_manager_mlockall());
    } else {
        const bool locked = os_memory_manager_mlockall();
        EXPECT_EQ(locked, locked_kilobytes() > 0);
        EXPECT_TRUE(os_memory_manager_munlockall());
    }
    EXPECT_EQ(locked_kilobytes(), 0);
}

TEST(MemoryLock, ResultsAreTheSystemsOwn) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer runtimes replace mlockall with a call that always succeeds";
#endif
    for (const char* role : {"unlimited", "limited"}) {
        EXPECT_EQ(corvane::test::child_process::self("MemoryLock.ChildLocksAndUnlocksAllMemory", role)
                      .wait(),
                  0)
            << role;
    }
}

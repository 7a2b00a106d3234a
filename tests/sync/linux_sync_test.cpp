// Linux only: signals during waits and sleeps, the shared-memory objects
// behind named objects, processor affinity of every thread, memory locking.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using namespace sync_test;

void ignore_signal(int) {}

// The /dev/shm entries whose names hold `token`.
std::vector<std::string> shm_entries(const std::string& token) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        if (entry.path().filename().string().find(token) != std::string::npos) {
            found.push_back(entry.path().filename().string());
        }
    }
    return found;
}

std::vector<pid_t> thread_ids() {
    std::vector<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return ids;
}

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

// Each row blocks the calling thread while SIGUSR1 (without SA_RESTART, so
// plain system calls would fail with EINTR) arrives every few milliseconds.
TEST(LinuxSignals, DoNotEndWaitsOrSleepsEarly) {
    struct sigaction action {}, previous{};
    action.sa_handler = ignore_signal;
    sigaction(SIGUSR1, &action, &previous);
    os_event_handle* event = os_event_create(false, false, nullptr);
    os_semaphore_handle* semaphore = os_semaphore_create(1, unique_name("sem").c_str());
    ASSERT_TRUE(os_semaphore_wait(semaphore));
    const struct {
        const char* what;
        std::function<bool()> block;
        std::function<void()> release;
    } rows[] = {
        {"event wait", [&] { return os_event_wait(event); }, [&] { os_event_set_event(event); }},
        {"event wait with deadline",
         [&] { return os_event_wait_timeout(event, deadline_after_ms(60'000)); },
         [&] { os_event_set_event(event); }},
        {"named semaphore wait", [&] { return os_semaphore_wait(semaphore); },
         [&] { os_semaphore_release(semaphore); }},
        {"sleep of 300 ms", [] { auto start = std::chrono::steady_clock::now();
             os_thread_sleep_milliseconds(300);
             return std::chrono::steady_clock::now() - start >= 300ms; }, [] {}},
        {"sleep until a deadline", [] { auto start = std::chrono::steady_clock::now();
             const time_record end = deadline_after_ms(300);
             os_clock_nano_sleep(&end);
             return std::chrono::steady_clock::now() - start >= 299ms; }, [] {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::atomic<pthread_t> target{};
        std::atomic<bool> result{false}, stop{false};
        blocked_call blocked([&] {
            target = pthread_self();
            result = row.block();
        });
        std::thread storm([&] {
            while (!stop) {
                if (target.load() != pthread_t{}) {
                    pthread_kill(target.load(), SIGUSR1);
                }
                std::this_thread::sleep_for(2ms);
            }
        });
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(blocked.still_blocked());
        row.release();
        EXPECT_TRUE(blocked.finished());
        stop = true;
        storm.join();
        EXPECT_TRUE(result.load());
    }
    os_semaphore_destroy(&semaphore);
    os_event_destroy(&event);
    sigaction(SIGUSR1, &previous, nullptr);
}

// Named objects are owner-only shared-memory objects named as documented,
// whatever the umask, and nothing is left once the last handle closes.
TEST(LinuxNamedObjects, AreOwnerOnlySharedMemoryNamedAsDocumented) {
    const std::string stem = unique_name("map");
    const struct {
        std::string name, entry;
    } rows[] = {
        {stem + " b/c%d\\e", "corvane.event." + stem + "%20b%2Fc%25d\\e"},
        {"Local\\" + stem + "\x01\xff", "corvane.event." + stem + "%01%FF"},
    };
    const mode_t previous = umask(0277);
    for (const auto& row : rows) {
        os_event_handle* event = os_event_create(true, true, row.name.c_str());
        struct stat status {};
        ASSERT_EQ(stat(("/dev/shm/" + row.entry).c_str(), &status), 0) << row.entry;
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        os_event_destroy(&event);
        EXPECT_TRUE(shm_entries(stem).empty());
    }
    umask(previous);
}

// Handles closing at the same instant, in threads and in processes: the last
// one must still remove the name.
TEST(LinuxNamedObjects, HandlesClosingTogetherLeaveNothingBehind) {
    const std::string role = corvane::test::child_role();
    const std::string name = role.empty() ? unique_name("close") : role;
    constexpr int threads = 4;
    constexpr int rounds = 300;
    std::barrier together(threads);
    std::vector<std::thread> closers;
    for (int t = 0; t < threads; ++t) {
        closers.emplace_back([&, t] {
            for (int round = 0; round < rounds; ++round) {
                const std::string round_name = name + "-" + std::to_string(round);
                os_event_handle* event =
                    os_event_create(true, false, (round_name + (t % 2 ? "a" : "b")).c_str());
                os_semaphore_handle* semaphore = os_semaphore_create(1, round_name.c_str());
                together.arrive_and_wait();
                os_semaphore_destroy(&semaphore);
                os_event_destroy(&event);
            }
        });
    }
    std::vector<corvane::test::child_process> processes;
    if (role.empty()) {
        for (int i = 0; i < 2; ++i) {
            processes.push_back(corvane::test::child_process::self(
                "LinuxNamedObjects.HandlesClosingTogetherLeaveNothingBehind", name));
        }
    }
    for (auto& closer : closers) {
        closer.join();
    }
    for (auto& child : processes) {
        EXPECT_EQ(child.wait(), 0);
    }
    if (role.empty()) {
        EXPECT_EQ(shm_entries(name).size(), 0u);
    }
}

TEST(LinuxNamedObjects, AreTheirOwnersAlone) {
    if (corvane::test::child_role() == "other-user") {
        ASSERT_EQ(setgid(65534), 0);
        ASSERT_EQ(setuid(65534), 0);
        os_event_handle* event = os_event_create(true, false, std::getenv("CORVANE_SYNC_NAME"));
        EXPECT_FALSE(os_event_wait_timeout(event, past())) << "opened another user's event";
        os_event_destroy(&event);
        return;
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to start a process of another user";
    }
    const std::string name = unique_name("owner");
    os_event_handle* event = os_event_create(true, true, name.c_str());
    EXPECT_EQ(corvane::test::child_process::self("LinuxNamedObjects.AreTheirOwnersAlone",
                                                 "other-user", {"CORVANE_SYNC_NAME=" + name})
                  .wait(),
              0);
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_destroy(&event);
}

// Picks the highest processor this process may use and restores every
// thread's mask afterwards.
TEST(LinuxAffinity, ProcessAffinityBindsEveryThread) {
    cpu_set_t saved{};
    sched_getaffinity(0, sizeof saved, &saved);
    int cpu = 63;
    while (cpu > 0 && !CPU_ISSET(cpu, &saved)) {
        --cpu;
    }
    std::atomic<bool> stop{false};
    std::thread bystander([&] {
        while (!stop) {
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(os_thread_sched_set_thread_affinity(pthread_self(), cpu));
    ASSERT_TRUE(os_thread_sched_set_affinity(cpu));
    for (const pid_t tid : thread_ids()) {
        cpu_set_t mask{};
        EXPECT_TRUE(sched_getaffinity(tid, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) == 1 &&
                    CPU_ISSET(cpu, &mask))
            << "thread " << tid;
    }
    if (sysconf(_SC_NPROCESSORS_CONF) < 64) {
        EXPECT_FALSE(os_thread_sched_set_affinity(63));
    }
    stop = true;
    bystander.join();
    for (const pid_t tid : thread_ids()) {
        sched_setaffinity(tid, sizeof saved, &saved);
    }
}

// In a child, so the test program's memory is never pinned. "limited": a
// memory-lock limit of 0, as an unprivileged process has, must give false.
TEST(LinuxMemoryLock, ResultsAreTheSystemsOwn) {
    const std::string role = corvane::test::child_role();
    if (role == "limited") {
        const rlimit none{0, 0};
        ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &none), 0);
        // Root may lock memory whatever its limit.
        ASSERT_TRUE(geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0));
        EXPECT_FALSE(os_memory_manager_mlockall());
    } else if (role == "unlimited") {
        const bool locked = os_memory_manager_mlockall();
        EXPECT_EQ(locked, locked_kilobytes() > 0);
        EXPECT_TRUE(os_memory_manager_munlockall());
    }
    if (!role.empty()) {
        EXPECT_EQ(locked_kilobytes(), 0);
        return;
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer runtimes replace mlockall with a call that always succeeds";
#endif
    for (const char* child : {"unlimited", "limited"}) {
        EXPECT_EQ(corvane::test::child_process::self("LinuxMemoryLock.*", child).wait(), 0) << child;
    }
}

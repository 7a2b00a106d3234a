// Linux only: signals during waits and sleeps, the shared-memory objects
// behind named objects, affinity of every thread.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "sync_test_support.hpp"

namespace fs = std::filesystem;

// SIGUSR1 without SA_RESTART, so plain system calls would fail with EINTR,
// arrives every few milliseconds while each row waits out its 300 ms. Events
// and semaphores, named or not, wait in one place.
TEST(LinuxSignals, DoNotEndWaitsOrSleepsEarly) {
    struct sigaction action {}, previous{};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR1, &action, &previous);
    os_event_handle* event = os_event_create(false, false, unique_name("event").c_str());
    const std::function<void(const time_record&)> rows[] = {
        [event](const time_record& end) { EXPECT_FALSE(os_event_wait_timeout(event, end)); },
        [](const time_record& end) { os_clock_nano_sleep(&end); },
        [](const time_record&) { os_thread_sleep_milliseconds(300); },
    };
    for (const auto& row : rows) {
        const auto started = std::chrono::steady_clock::now();
        std::jthread storm([waiter = pthread_self()](std::stop_token stop) {
            for (; !stop.stop_requested(); std::this_thread::sleep_for(2ms))
                pthread_kill(waiter, SIGUSR1);
        });
        row(deadline_after_ms(300));
        EXPECT_GE(std::chrono::steady_clock::now() - started, 299ms) << "ended early";
    }
    os_event_destroy(&event);
    sigaction(SIGUSR1, &previous, nullptr);
}

// Owner-only whatever the umask, and named as documented.
TEST(LinuxNamedObjects, AreOwnerOnlySharedMemoryNamedAsDocumented) {
    const std::string name = unique_name("map");
    const std::pair<std::string, std::string> rows[] = {
        {"Local\\" + name + " /%", "corvane.event." + name + "%20%2F%25"},
        // 312 bytes: the digest's padding needs a second block.
        {"corvane-digest-check-" + std::string(291, 'x'),
         "corvane.event#5248bb7eaf337bdb1aa3dbefc58681351edeb8bd5573d6ba362d79010a96f575"}};
    for (const auto& [object, entry] : rows) {
        const mode_t previous = umask(0277);
        os_event_handle* event = os_event_create(true, true, object.c_str());
        umask(previous);
        struct stat status {};
        EXPECT_TRUE(stat(("/dev/shm/" + entry).c_str(), &status) == 0 &&
                    (status.st_mode & 0777) == 0600) << entry;
        os_event_destroy(&event);
        EXPECT_NE(stat(("/dev/shm/" + entry).c_str(), &status), 0) << entry;
    }
}

// Two processes close their handles on one name at the same instant, a
// boundary of the one monotonic clock, round after round: whichever closes
// last must still remove the name.
TEST(LinuxNamedObjects, HandlesClosingTogetherLeaveNothingBehind) {
    const std::string role = corvane::test::child_role();
    const std::string name = role.empty() ? unique_name("close") : role;
    auto partner = role.empty() ? child_process::self("LinuxNamedObjects.HandlesClosing*", name)
                                : child_process();
    const auto slot = [] { return std::chrono::steady_clock::now().time_since_epoch() / 2ms; };
    for (int round = 0; round < 1000; ++round) {
        const auto closing = slot() + 1;
        const std::string round_name = name + std::to_string(closing);
        os_event_handle* event = os_event_create(true, false, round_name.c_str());
        while (slot() < closing) {
        }
        os_event_destroy(&event);
    }
    EXPECT_EQ(partner.wait(), role.empty() ? 0 : -1);
    for (const auto& entry : fs::directory_iterator("/dev/shm")) {
        EXPECT_TRUE(!role.empty() || entry.path().string().find(name) == std::string::npos);
    }
}

// Bound to the highest processor this process may use, while a bystander
// thread runs.
TEST(LinuxAffinity, ProcessAffinityBindsEveryThread) {
    cpu_set_t saved{};
    sched_getaffinity(0, sizeof saved, &saved);
    int cpu = 63;
    while (cpu > 0 && !CPU_ISSET(cpu, &saved)) --cpu;
    std::jthread bystander([](std::stop_token stop) {
        while (!stop.stop_requested()) std::this_thread::sleep_for(1ms);
    });
    ASSERT_TRUE(os_thread_sched_set_affinity(cpu));
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        const pid_t tid = std::stoi(task.path().filename().string());
        cpu_set_t mask{};
        EXPECT_TRUE(sched_getaffinity(tid, sizeof mask, &mask) == 0 && CPU_COUNT(&mask) == 1 &&
                    CPU_ISSET(cpu, &mask)) << "thread " << tid;
        sched_setaffinity(tid, sizeof saved, &saved);
    }
}

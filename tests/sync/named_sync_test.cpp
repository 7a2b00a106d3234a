// Named events, semaphores and mutexes shared between real processes: one
// object per name, crash tolerance, and no shared memory left behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using sync_test::child_env;
using sync_test::deadline_after_ms;
using sync_test::report_pipe;

constexpr const char* name_variable = "CORVANE_SYNC_NAME";
constexpr const char* counter_variable = "CORVANE_SYNC_COUNTER";
constexpr int stress_children = 4;
constexpr int stress_rounds = 400;

std::string name_env(const std::string& name) {
    return std::string(name_variable) + "=" + name;
}

int units_available(os_semaphore_handle* semaphore) {
    int units = 0;
    while (os_semaphore_wait_timeout(semaphore, deadline_after_ms(-1000))) {
        ++units;
    }
    return units;
}

// Adds 1 to the number kept in `path`; only safe under a lock shared by all
// writers, which is what the stress test checks.
void increment_counter(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT, 0600);
    long value = 0;
    if (pread(fd, &value, sizeof value, 0) != sizeof value) {
        value = 0;
    }
    ++value;
    EXPECT_EQ(pwrite(fd, &value, sizeof value, 0), static_cast<ssize_t>(sizeof value));
    close(fd);
}

long read_counter(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    long value = -1;
    if (fd >= 0) {
        if (pread(fd, &value, sizeof value, 0) != sizeof value) {
            value = -1;
        }
        close(fd);
    }
    return value;
}

}  // namespace

// Child body: opens the event and semaphore with other arguments, sets the
// event once and releases the semaphore three times.
TEST(NamedSync, ChildSignalsEventAndSemaphore) {
    if (corvane::test::child_role() != "signal") {
        GTEST_SKIP() << "child body";
    }
    const std::string name = child_env(name_variable);
    os_event_handle* event = os_event_create(true, true, name.c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(5, name.c_str());
    os_event_set_event(event);
    for (int i = 0; i < 3; ++i) {
        os_semaphore_release(semaphore);
    }
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
}

TEST(NamedSync, SameNameInTwoProcessesIsOneEventAndOneSemaphore) {
    const std::string name = sync_test::unique_name("pair");
    os_event_handle* event = os_event_create(false, false, name.c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(1, name.c_str());
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    const pid_t child =
        corvane::test::spawn_self("NamedSync.ChildSignalsEventAndSemaphore", "signal", {name_env(name)});
    EXPECT_TRUE(os_event_wait_timeout(event, deadline_after_ms(30'000)));
    EXPECT_EQ(corvane::test::wait_child(child), 0);
    // Still auto-reset, and the semaphore kept its maximum of 1.
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(-1000)));
    EXPECT_EQ(units_available(semaphore), 1);
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

// Child body: reports, then sleeps in a wait on the named event until killed.
TEST(NamedSync, ChildSleepsOnEventUntilKilled) {
    if (corvane::test::child_role() != "sleep") {
        GTEST_SKIP() << "child body";
    }
    os_event_handle* event = os_event_create(false, false, child_env(name_variable).c_str());
    report_pipe::report('w');
    os_event_wait(event);
    report_pipe::report('!');
}

TEST(NamedSync, WaiterKilledWhileAsleepLeavesTheEventWorking) {
    const std::string name = sync_test::unique_name("killed");
    os_event_handle* event = os_event_create(false, false, name.c_str());
    report_pipe reports;
    const pid_t child = corvane::test::spawn_self("NamedSync.ChildSleepsOnEventUntilKilled", "sleep",
                                                  {reports.env(), name_env(name)});
    reports.close_write_end();
    ASSERT_EQ(reports.read_report(), 'w');
    ASSERT_TRUE(sync_test::eventually([&] { return sync_test::asleep("/proc/" + std::to_string(child) + "/stat"); }));
    kill(child, SIGKILL);
    EXPECT_EQ(corvane::test::wait_child(child), 128 + SIGKILL);

    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait_timeout(event, deadline_after_ms(-1000)));
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait(event));
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(10)));
    os_event_destroy(&event);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

// Child body: creates, uses and destroys the three named objects over and
// over while its siblings do the same.
TEST(NamedSync, ChildChurnsNamedObjects) {
    if (corvane::test::child_role() != "churn") {
        GTEST_SKIP() << "child body";
    }
    // Every create after the first writes the mutex line; keep the log quiet.
    ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr);
    const std::string name = child_env(name_variable);
    const std::string counter = child_env(counter_variable);
    for (int round = 0; round < stress_rounds; ++round) {
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
        os_event_handle* event = os_event_create(false, false, name.c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(2, name.c_str());
        os_recursive_mutex_lock(mutex);
        increment_counter(counter);
        os_recursive_mutex_unlock(mutex);
        os_event_set_event(event);
        os_event_wait_timeout(event, deadline_after_ms(-1000));
        if (os_semaphore_wait_timeout(semaphore, deadline_after_ms(5))) {
            os_semaphore_release(semaphore);
        }
        os_semaphore_destroy(&semaphore);
        os_event_destroy(&event);
        os_recursive_mutex_destroy(&mutex);
    }
}

TEST(NamedSync, ConcurrentCreateOpenDestroyOverProcessesLeavesNothing) {
    corvane::test::temp_folder folder;
    const std::string name = sync_test::unique_name("churn");
    const std::string counter = folder.join("counter");
    std::vector<pid_t> children;
    for (int i = 0; i < stress_children; ++i) {
        children.push_back(corvane::test::spawn_self(
            "NamedSync.ChildChurnsNamedObjects", "churn",
            {name_env(name), std::string(counter_variable) + "=" + counter}));
    }
    for (const pid_t child : children) {
        EXPECT_EQ(corvane::test::wait_child(child), 0);
    }
    EXPECT_EQ(read_counter(counter), stress_children * stress_rounds);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

// Child body: as another user, the signalled event cannot be opened.
TEST(NamedSync, ChildOfAnotherUserIsRefused) {
    if (corvane::test::child_role() != "other-user") {
        GTEST_SKIP() << "child body";
    }
    constexpr uid_t nobody = 65534;
    ASSERT_EQ(setgid(nobody), 0);
    ASSERT_EQ(setuid(nobody), 0);
    os_event_handle* event = os_event_create(true, false, child_env(name_variable).c_str());
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(-1000)));
    os_event_destroy(&event);
}

TEST(NamedSync, ObjectsAreTheirOwnersAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to start a process of another user";
    }
    const std::string name = sync_test::unique_name("owner");
    os_event_handle* event = os_event_create(true, true, name.c_str());
    const pid_t child =
        corvane::test::spawn_self("NamedSync.ChildOfAnotherUserIsRefused", "other-user", {name_env(name)});
    EXPECT_EQ(corvane::test::wait_child(child), 0);
    EXPECT_TRUE(os_event_wait_timeout(event, deadline_after_ms(-1000)));
    os_event_destroy(&event);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

// Child body: the only holder of a locked mutex and an emptied semaphore,
// until killed.
TEST(NamedSync, ChildHoldsObjectsAloneUntilKilled) {
    if (corvane::test::child_role() != "sole-holder") {
        GTEST_SKIP() << "child body";
    }
    const std::string name = child_env(name_variable);
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(1, name.c_str());
    os_recursive_mutex_lock(mutex);
    ASSERT_TRUE(os_semaphore_wait(semaphore));
    report_pipe::report('H');
    for (;;) {
        pause();
    }
}

TEST(NamedSync, ObjectsWhoseLastHolderDiedStartAfresh) {
    const std::string name = sync_test::unique_name("afresh");
    report_pipe reports;
    const pid_t child = corvane::test::spawn_self("NamedSync.ChildHoldsObjectsAloneUntilKilled",
                                                  "sole-holder", {reports.env(), name_env(name)});
    reports.close_write_end();
    ASSERT_EQ(reports.read_report(), 'H');
    kill(child, SIGKILL);
    EXPECT_EQ(corvane::test::wait_child(child), 128 + SIGKILL);

    os_recursive_mutex_handle* mutex = nullptr;
    EXPECT_EQ(corvane::test::capture_stdout([&] { mutex = os_recursive_mutex_create(name.c_str()); }),
              "");
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_semaphore_handle* semaphore = os_semaphore_create(2, name.c_str());
    EXPECT_EQ(units_available(semaphore), 2);
    os_semaphore_destroy(&semaphore);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

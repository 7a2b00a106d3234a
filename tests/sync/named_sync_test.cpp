// Named events, semaphores and mutexes shared between real processes: one
// object per name, crash tolerance, and no shared memory left behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using corvane::test::capture_stdout;
using corvane::test::ready_child;
using corvane::test::child_process;
using sync_test::deadline_after_ms;
using sync_test::past;
using sync_test::shm_has_entry_containing;

constexpr const char* children = "NamedSync.ChildRoles";
constexpr const char* name_variable = "CORVANE_SYNC_NAME";
constexpr const char* counter_variable = "CORVANE_SYNC_COUNTER";
constexpr int churn_children = 4;
constexpr int churn_rounds = 400;

std::string name_env(const std::string& name) { return std::string(name_variable) + "=" + name; }

// Adds 1 to the number kept in the file at `path`: updates get lost unless
// every process holds one mutex.
void churn(const std::string& name, const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT, 0600);
    for (int round = 0; round < churn_rounds; ++round) {
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
        os_event_handle* event = os_event_create(false, false, name.c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(2, name.c_str());
        os_recursive_mutex_lock(mutex);
        long value = 0;
        if (pread(fd, &value, sizeof value, 0) != sizeof value) {
            value = 0;
        }
        ++value;
        EXPECT_EQ(pwrite(fd, &value, sizeof value, 0), static_cast<ssize_t>(sizeof value));
        os_recursive_mutex_unlock(mutex);
        os_event_set_event(event);
        os_event_wait_timeout(event, past());
        if (os_semaphore_wait_timeout(semaphore, deadline_after_ms(5))) {
            os_semaphore_release(semaphore);
        }
        os_semaphore_destroy(&semaphore);
        os_event_destroy(&event);
        os_recursive_mutex_destroy(&mutex);
    }
    close(fd);
}

}  // namespace

// The bodies of the child processes, chosen by role; each works on the
// objects named in CORVANE_SYNC_NAME.
TEST(NamedSync, ChildRoles) {
    const std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    const std::string name = std::getenv(name_variable);
    if (role == "hold") {
        // Holds the mutex twice (and the semaphore's only unit) until the
        // event is set or the process is killed.
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
        os_event_handle* release = os_event_create(false, false, name.c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(1, name.c_str());
        os_recursive_mutex_lock(mutex);
        os_recursive_mutex_lock(mutex);
        ASSERT_TRUE(os_semaphore_wait(semaphore));
        corvane::test::signal_ready();
        os_event_wait(release);
        os_recursive_mutex_unlock(mutex);
        os_recursive_mutex_unlock(mutex);
        pause();
    } else if (role == "release-then-wait") {
        // Arguments unlike the existing objects': ignored.
        os_event_handle* event = os_event_create(true, true, name.c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(5, name.c_str());
        for (int i = 0; i < 3; ++i) {
            os_semaphore_release(semaphore);
        }
        os_event_set_event(os_event_create(false, false, (name + "-done").c_str()));
        os_event_wait(event);
    } else if (role == "churn") {
        // Every create but the first writes the mutex line; keep the log quiet.
        ASSERT_NE(std::freopen("/dev/null", "w", stdout), nullptr);
        churn(name, std::getenv(counter_variable));
    } else if (role == "other-user") {
        ASSERT_EQ(setgid(65534), 0);
        ASSERT_EQ(setuid(65534), 0);
        os_event_handle* event = os_event_create(true, false, name.c_str());
        EXPECT_FALSE(os_event_wait_timeout(event, past())) << "opened another user's event";
        os_event_destroy(&event);
    }
}

TEST(NamedSync, MutexIsSharedAndAHolderKilledBySigkillDoesNotBlockTheNextLocker) {
    const std::string name = sync_test::unique_name("mutex");
    os_recursive_mutex_handle* mutex = nullptr;
    os_recursive_mutex_handle* other = nullptr;
    os_event_handle* release = os_event_create(false, false, name.c_str());
    capture_stdout([&] {
        mutex = os_recursive_mutex_create(name.c_str());
        other = os_recursive_mutex_create(name.c_str());
    });
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder unlocks");
        ready_child holder(children, "hold", {name_env(name)});
        ASSERT_TRUE(holder.ready());
        sync_test::blocked_call waiter([mutex] {
            os_recursive_mutex_lock(mutex);
            os_recursive_mutex_unlock(mutex);
        });
        EXPECT_TRUE(waiter.still_blocked()) << "got a mutex another process holds";
        if (killed) {
            EXPECT_EQ(holder.kill_and_wait(), corvane::test::killed_status);
        } else {
            os_event_set_event(release);
        }
        EXPECT_TRUE(waiter.finished());
    }
    // The dead holder had locked twice; the next locker owns it outright.
    sync_test::expect_excludes_until_released(mutex, other, 1);
    // The last holder of the children's semaphore died; this destroy ends it.
    os_semaphore_handle* abandoned = os_semaphore_create(1, name.c_str());
    os_semaphore_destroy(&abandoned);
    os_recursive_mutex_destroy(&other);
    os_recursive_mutex_destroy(&mutex);
    os_event_destroy(&release);
    EXPECT_FALSE(shm_has_entry_containing(name));
}

TEST(NamedSync, ObjectsWhoseLastHolderDiedStartAfresh) {
    const std::string name = sync_test::unique_name("afresh");
    EXPECT_EQ(ready_child(children, "hold", {name_env(name)}).kill_and_wait(), corvane::test::killed_status);
    os_recursive_mutex_handle* mutex = nullptr;
    EXPECT_EQ(capture_stdout([&] { mutex = os_recursive_mutex_create(name.c_str()); }), "");
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_semaphore_handle* semaphore = os_semaphore_create(2, name.c_str());
    EXPECT_EQ(sync_test::units_available(semaphore), 2);
    os_event_handle* event = os_event_create(false, true, name.c_str());
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_FALSE(shm_has_entry_containing(name));
}

TEST(NamedSync, SameNameInTwoProcessesIsOneEventAndSemaphoreThatOutliveAKilledWaiter) {
    const std::string name = sync_test::unique_name("pair");
    os_event_handle* event = os_event_create(false, false, name.c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(1, name.c_str());
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    os_event_handle* done = os_event_create(false, false, (name + "-done").c_str());
    child_process child = child_process::self(children, "release-then-wait", {name_env(name)});
    EXPECT_TRUE(os_event_wait_timeout(done, deadline_after_ms(30'000)));
    EXPECT_EQ(sync_test::units_available(semaphore), 1) << "the maximum of 1 was not kept";
    EXPECT_TRUE(sync_test::eventually([&] { return sync_test::asleep(static_cast<pid_t>(child.id())); }));
    EXPECT_EQ(child.kill_and_wait(), corvane::test::killed_status);
    // Still unsignalled and auto-reset.
    EXPECT_FALSE(os_event_wait_timeout(event, past()));
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait(event));
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(10)));
    os_event_destroy(&done);
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
    EXPECT_FALSE(shm_has_entry_containing(name));
}

TEST(NamedSync, ConcurrentCreateOpenDestroyOverProcessesLeavesNothing) {
    corvane::test::temp_folder folder;
    const std::string name = sync_test::unique_name("churn");
    const std::string counter = folder.join("counter");
    std::vector<child_process> pids;
    for (int i = 0; i < churn_children; ++i) {
        pids.push_back(child_process::self(
            children, "churn", {name_env(name), std::string(counter_variable) + "=" + counter}));
    }
    for (auto& child : pids) {
        EXPECT_EQ(child.wait(), 0);
    }
    long total = -1;
    const int fd = open(counter.c_str(), O_RDONLY);
    EXPECT_EQ(pread(fd, &total, sizeof total, 0), static_cast<ssize_t>(sizeof total));
    close(fd);
    EXPECT_EQ(total, churn_children * churn_rounds);
    EXPECT_FALSE(shm_has_entry_containing(name));
}

TEST(NamedSync, ObjectsAreTheirOwnersAlone) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to start a process of another user";
    }
    const std::string name = sync_test::unique_name("owner");
    os_event_handle* event = os_event_create(true, true, name.c_str());
    EXPECT_EQ(child_process::self(children, "other-user", {name_env(name)}).wait(), 0);
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_destroy(&event);
    EXPECT_FALSE(shm_has_entry_containing(name));
}

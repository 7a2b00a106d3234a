// Named mutexes, events and semaphores shared between real processes: one
// object per name, a killed holder hands its mutex on, and an object goes
// with the last process that has it open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using corvane::test::capture_stdout;
using corvane::test::child_process;
using corvane::test::ready_child;
using namespace sync_test;

constexpr const char* children = "NamedProcess.ChildRoles";
constexpr const char* name_variable = "CORVANE_SYNC_NAME";
constexpr const char* counter_variable = "CORVANE_SYNC_COUNTER";
constexpr int churn_children = 4;
constexpr int churn_rounds = 300;

std::string name_env(const std::string& name) { return std::string(name_variable) + "=" + name; }

// Kernel objects of all kinds share one name space on Windows: one name per
// kind.
std::string mutex_name(const std::string& name) { return name + "-m"; }
std::string event_name(const std::string& name) { return name + "-e"; }
std::string semaphore_name(const std::string& name) { return name + "-s"; }

// Adds 1 to the number kept in the file at `path`: updates get lost unless
// every process holds one mutex.
void churn(const std::string& name, const std::string& path) {
    for (int round = 0; round < churn_rounds; ++round) {
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(mutex_name(name).c_str());
        os_event_handle* event = os_event_create(false, false, event_name(name).c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(2, semaphore_name(name).c_str());
        os_recursive_mutex_lock(mutex);
        long value = 0;
        std::ifstream(path) >> value;
        std::ofstream(path, std::ios::trunc) << value + 1;
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
}

}  // namespace

// The bodies of the child processes, chosen by role; each works on the
// objects named after CORVANE_SYNC_NAME.
TEST(NamedProcess, ChildRoles) {
    const std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    const std::string name = std::getenv(name_variable);
    if (role == "hold") {
        // Holds the mutex twice (and the semaphore's only unit) until the
        // event is set, then waits to be killed.
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(mutex_name(name).c_str());
        os_event_handle* release = os_event_create(false, false, event_name(name).c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(1, semaphore_name(name).c_str());
        os_recursive_mutex_lock(mutex);
        os_recursive_mutex_lock(mutex);
        ASSERT_TRUE(os_semaphore_wait(semaphore));
        corvane::test::signal_ready();
        os_event_wait(release);
        os_recursive_mutex_unlock(mutex);
        os_recursive_mutex_unlock(mutex);
        for (;;) {
            os_thread_sleep_milliseconds(1000);
        }
    } else if (role == "release-then-wait") {
        // Arguments unlike the existing objects': ignored.
        os_event_handle* event = os_event_create(true, true, event_name(name).c_str());
        os_semaphore_handle* semaphore = os_semaphore_create(5, semaphore_name(name).c_str());
        for (int i = 0; i < 3; ++i) {
            os_semaphore_release(semaphore);
        }
        os_event_set_event(os_event_create(false, false, (name + "-done").c_str()));
        os_event_wait(event);
    } else if (role == "churn") {
        // Every create but the first writes the mutex line; keep it quiet.
        capture_stdout([&] { churn(name, std::getenv(counter_variable)); });
    }
}

TEST(NamedProcess, MutexIsSharedAndAKilledHolderHandsItToTheNextLocker) {
    const std::string name = unique_name("mutex");
    os_recursive_mutex_handle* mutex = nullptr;
    os_recursive_mutex_handle* other = nullptr;
    os_event_handle* release = os_event_create(false, false, event_name(name).c_str());
    capture_stdout([&] {
        mutex = os_recursive_mutex_create(mutex_name(name).c_str());
        other = os_recursive_mutex_create(mutex_name(name).c_str());
    });
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder unlocks");
        ready_child holder(children, "hold", {name_env(name)});
        ASSERT_TRUE(holder.ready());
        blocked_call waiter([mutex] {
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
    expect_excludes_until_released(mutex, other, 1);
    os_recursive_mutex_destroy(&other);
    os_recursive_mutex_destroy(&mutex);
    os_event_destroy(&release);
}

TEST(NamedProcess, ObjectsWhoseLastHolderDiedStartAfresh) {
    const std::string name = unique_name("afresh");
    EXPECT_EQ(ready_child(children, "hold", {name_env(name)}).kill_and_wait(),
              corvane::test::killed_status);
    os_recursive_mutex_handle* mutex = nullptr;
    EXPECT_EQ(capture_stdout([&] { mutex = os_recursive_mutex_create(mutex_name(name).c_str()); }),
              "");
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_semaphore_handle* semaphore = os_semaphore_create(2, semaphore_name(name).c_str());
    EXPECT_EQ(units_available(semaphore), 2);
    os_event_handle* event = os_event_create(false, true, event_name(name).c_str());
    EXPECT_TRUE(os_event_wait_timeout(event, past()));
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
    os_recursive_mutex_destroy(&mutex);
}

TEST(NamedProcess, ANameIsOneEventAndSemaphoreInTwoProcessesUntilTheLastCloses) {
    const std::string name = unique_name("pair");
    os_event_handle* event = os_event_create(false, false, event_name(name).c_str());
    os_semaphore_handle* semaphore = os_semaphore_create(1, semaphore_name(name).c_str());
    EXPECT_TRUE(os_semaphore_wait(semaphore));
    os_event_handle* done = os_event_create(false, false, (name + "-done").c_str());
    child_process child = child_process::self(children, "release-then-wait", {name_env(name)});
    EXPECT_TRUE(os_event_wait_timeout(done, deadline_after_ms(30'000)));
    EXPECT_EQ(units_available(semaphore), 1) << "the maximum of 1 was not kept";
    EXPECT_EQ(child.kill_and_wait(), corvane::test::killed_status);
    // Still unsignalled and auto-reset.
    EXPECT_FALSE(os_event_wait_timeout(event, past()));
    os_event_set_event(event);
    EXPECT_TRUE(os_event_wait(event));
    EXPECT_FALSE(os_event_wait_timeout(event, deadline_after_ms(10)));
    os_event_set_event(event);
    os_event_destroy(&done);
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
    // Gone with the last handle: the same names now make new objects.
    event = os_event_create(false, false, event_name(name).c_str());
    semaphore = os_semaphore_create(3, semaphore_name(name).c_str());
    EXPECT_FALSE(os_event_wait_timeout(event, past()));
    EXPECT_EQ(units_available(semaphore), 3);
    os_event_destroy(&event);
    os_semaphore_destroy(&semaphore);
}

TEST(NamedProcess, ConcurrentCreateOpenDestroyOverProcessesKeepsOneMutex) {
    corvane::test::temp_folder folder;
    const std::string name = unique_name("churn");
    const std::string counter = folder.join("counter");
    std::vector<child_process> processes;
    for (int i = 0; i < churn_children; ++i) {
        processes.push_back(child_process::self(
            children, "churn", {name_env(name), std::string(counter_variable) + "=" + counter}));
    }
    for (auto& child : processes) {
        EXPECT_EQ(child.wait(), 0);
    }
    long total = -1;
    std::ifstream(counter) >> total;
    EXPECT_EQ(total, churn_children * churn_rounds);
}

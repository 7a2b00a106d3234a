// Named mutexes, events and semaphores shared between real processes: one
// object per name, a killed holder hands its mutex on, and an object goes
// with the last process that has it open. Kernel objects of every kind share
// one name space on Windows, so each kind gets a name of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using corvane::test::capture_stdout;
using corvane::test::child_process;
using namespace sync_test;

namespace {

constexpr const char* children = "NamedProcess.ChildRoles";
constexpr int churn_rounds = 300;

std::vector<std::string> name_env(const std::string& name, const std::string& counter = "") {
    return {"CORVANE_SYNC_NAME=" + name, "CORVANE_SYNC_COUNTER=" + counter};
}

// A semaphore only with a count: a killed holder's unit is lost for as long
// as another process keeps the semaphore.
struct named_set {
    explicit named_set(const std::string& name, int count = 0) {
        capture_stdout([&] { mutex = os_recursive_mutex_create((name + "-m").c_str()); });
        event = os_event_create(false, false, (name + "-e").c_str());
        semaphore = count > 0 ? os_semaphore_create(count, (name + "-s").c_str()) : nullptr;
    }
    ~named_set() {
        os_recursive_mutex_destroy(&mutex);
        os_event_destroy(&event);
        os_semaphore_destroy(&semaphore);
    }
    os_recursive_mutex_handle* mutex;
    os_event_handle* event;
    os_semaphore_handle* semaphore;
};

}  // namespace

// The bodies of the child processes, chosen by role, on the objects named
// after CORVANE_SYNC_NAME.
TEST(NamedProcess, ChildRoles) {
    const std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    const std::string name = std::getenv("CORVANE_SYNC_NAME");
    if (role == "hold") {
        // Holds the mutex twice and the semaphore's unit until the event is
        // set, then waits to be killed.
        named_set objects(name, 1);
        os_recursive_mutex_lock(objects.mutex);
        os_recursive_mutex_lock(objects.mutex);
        ASSERT_TRUE(os_semaphore_wait(objects.semaphore));
        corvane::test::signal_ready();
        os_event_wait(objects.event);
        os_recursive_mutex_unlock(objects.mutex);
        os_recursive_mutex_unlock(objects.mutex);
        for (;;) {
            os_thread_sleep_milliseconds(1000);
        }
    } else if (role == "release-then-wait") {
        named_set objects(name, 5);  // the existing count and maximum stay
        for (int i = 0; i < 3; ++i) {
            os_semaphore_release(objects.semaphore);
        }
        os_event_set_event(os_event_create(false, false, (name + "-done").c_str()));
        os_event_wait(objects.event);
    } else if (role == "churn") {
        // Adds 1 to the number in a file: updates get lost unless every
        // process holds one mutex.
        const std::string path = std::getenv("CORVANE_SYNC_COUNTER");
        for (int round = 0; round < churn_rounds; ++round) {
            named_set objects(name, 2);
            os_recursive_mutex_lock(objects.mutex);
            long value = 0;
            std::ifstream(path) >> value;
            std::ofstream(path, std::ios::trunc) << value + 1;
            os_recursive_mutex_unlock(objects.mutex);
            os_event_set_event(objects.event);
            os_event_wait_timeout(objects.event, past());
            if (os_semaphore_wait_timeout(objects.semaphore, deadline_after_ms(5))) {
                os_semaphore_release(objects.semaphore);
            }
        }
    }
}

TEST(NamedProcess, MutexIsSharedAndAKilledHolderHandsItToTheNextLocker) {
    const std::string name = unique_name("mutex");
    named_set mine(name), other(name);
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder unlocks");
        corvane::test::ready_child holder(children, "hold", name_env(name));
        ASSERT_TRUE(holder.ready());
        blocked_call waiter([&mine] {
            os_recursive_mutex_lock(mine.mutex);
            os_recursive_mutex_unlock(mine.mutex);
        });
        EXPECT_TRUE(waiter.still_blocked()) << "got a mutex another process holds";
        if (killed) {
            EXPECT_EQ(holder.kill_and_wait(), corvane::test::killed_status);
        } else {
            os_event_set_event(mine.event);
        }
        EXPECT_TRUE(waiter.finished());
    }
    // The dead holder had locked twice; the next locker owns it outright.
    expect_excludes_until_released(mine.mutex, other.mutex, 1);
    named_set{name, 1};  // the last handle on the dead holders' semaphore removes its name
}

TEST(NamedProcess, ObjectsWhoseLastHolderDiedStartAfresh) {
    const std::string name = unique_name("afresh");
    EXPECT_EQ(corvane::test::ready_child(children, "hold", name_env(name)).kill_and_wait(),
              corvane::test::killed_status);
    os_recursive_mutex_handle* mutex = nullptr;
    EXPECT_EQ(capture_stdout([&] { mutex = os_recursive_mutex_create((name + "-m").c_str()); }),
              "");
    expect_excludes_until_released(mutex, mutex, 1);
    os_recursive_mutex_destroy(&mutex);
    named_set fresh(name, 2);
    EXPECT_EQ(units_available(fresh.semaphore), 2);
}

TEST(NamedProcess, ANameIsOneEventAndSemaphoreInTwoProcessesUntilTheLastCloses) {
    const std::string name = unique_name("pair");
    {
        named_set objects(name, 1);
        EXPECT_TRUE(os_semaphore_wait(objects.semaphore));
        os_event_handle* done = os_event_create(false, false, (name + "-done").c_str());
        child_process child = child_process::self(children, "release-then-wait", name_env(name));
        EXPECT_TRUE(os_event_wait_timeout(done, deadline_after_ms(30'000)));
        EXPECT_EQ(units_available(objects.semaphore), 1) << "the maximum of 1 was not kept";
        EXPECT_EQ(child.kill_and_wait(), corvane::test::killed_status);
        os_event_destroy(&done);  // after the child, or the name outlives both
        // Still unsignalled and auto-reset.
        EXPECT_FALSE(os_event_wait_timeout(objects.event, past()));
        os_event_set_event(objects.event);
        EXPECT_TRUE(os_event_wait(objects.event));
        EXPECT_FALSE(os_event_wait_timeout(objects.event, deadline_after_ms(10)));
        os_event_set_event(objects.event);
    }
    // Gone with the last handle: the same names now make new objects.
    named_set fresh(name, 3);
    EXPECT_FALSE(os_event_wait_timeout(fresh.event, past()));
    EXPECT_EQ(units_available(fresh.semaphore), 3);
}

TEST(NamedProcess, ConcurrentCreateOpenDestroyOverProcessesKeepsOneMutex) {
    corvane::test::temp_folder folder;
    const std::string name = unique_name("churn");
    std::vector<child_process> processes;
    for (int i = 0; i < 4; ++i) {
        processes.push_back(child_process::self(children, "churn",
                                                name_env(name, folder.join("counter"))));
    }
    for (auto& child : processes) {
        EXPECT_EQ(child.wait(), 0);
    }
    long total = -1;
    std::ifstream(folder.join("counter")) >> total;
    EXPECT_EQ(total, 4 * churn_rounds);
}

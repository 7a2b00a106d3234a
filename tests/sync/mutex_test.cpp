#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

namespace {

using sync_test::eventually;
using sync_test::report_pipe;

constexpr const char* name_variable = "CORVANE_SYNC_NAME";

// Starts a thread that locks `mutex` and records when it got in; the caller
// checks that it stays out while the lock is held.
class contender {
public:
    explicit contender(os_recursive_mutex_handle* mutex)
        : thread_([this, mutex] {
              os_recursive_mutex_lock(mutex);
              inside_ = true;
              os_recursive_mutex_unlock(mutex);
          }) {}
    ~contender() { thread_.join(); }
    bool inside() const { return inside_; }

private:
    std::atomic<bool> inside_{false};
    std::thread thread_;
};

void expect_excludes_until_released(os_recursive_mutex_handle* holder_handle,
                                    os_recursive_mutex_handle* contender_handle, int depth) {
    for (int i = 0; i < depth; ++i) {
        os_recursive_mutex_lock(holder_handle);
    }
    contender other(contender_handle);
    for (int i = 0; i < depth; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(other.inside()) << "got in while " << depth - i << " locks were held";
        os_recursive_mutex_unlock(holder_handle);
    }
    EXPECT_TRUE(eventually([&] { return other.inside(); }));
}

}  // namespace

TEST(RecursiveMutex, LockedTwiceNeedsTwoUnlocksBeforeAnotherThreadGetsIn) {
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(nullptr);
    ASSERT_NE(mutex, nullptr);
    expect_excludes_until_released(mutex, mutex, 2);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
}

TEST(RecursiveMutex, TwoHandlesOnOneNameAreOneMutex) {
    const std::string name = sync_test::unique_name("mutex");
    os_recursive_mutex_handle* first = nullptr;
    EXPECT_EQ(corvane::test::capture_stdout([&] { first = os_recursive_mutex_create(name.c_str()); }),
              "");
    os_recursive_mutex_handle* second = nullptr;
    const std::string output = corvane::test::capture_stdout([&] {
        errno = 1234;
        second = os_recursive_mutex_create(name.c_str());
        EXPECT_EQ(errno, 1234);
    });
    EXPECT_EQ(output, "Mutex[" + name + "] already exist,just open it.\n");
    expect_excludes_until_released(first, second, 2);
    os_recursive_mutex_destroy(&first);
    os_recursive_mutex_destroy(&second);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

TEST(RecursiveMutex, NameOf1024BytesGivesAnUnusableHandle) {
    const std::string too_long(1024, 'm');
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(too_long.c_str());
    ASSERT_NE(mutex, nullptr);
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);

    // 1023 bytes is still a name, longer than a shared-memory name may be.
    const std::string longest =
        (sync_test::unique_name("m") + std::string(1023, 'x')).substr(0, 1023);
    os_recursive_mutex_handle* a = os_recursive_mutex_create(longest.c_str());
    os_recursive_mutex_handle* b = nullptr;
    const std::string output =
        corvane::test::capture_stdout([&] { b = os_recursive_mutex_create(longest.c_str()); });
    EXPECT_NE(output.find("already exist"), std::string::npos);
    expect_excludes_until_released(a, b, 1);
    os_recursive_mutex_destroy(&a);
    os_recursive_mutex_destroy(&b);
}

// Child body: opens the named mutex, reports 'o', locks it, reports 'L'.
TEST(RecursiveMutex, ChildLocksNamedMutex) {
    if (corvane::test::child_role() != "lock") {
        GTEST_SKIP() << "child body";
    }
    os_recursive_mutex_handle* mutex =
        os_recursive_mutex_create(sync_test::child_env(name_variable).c_str());
    report_pipe::report('o');
    os_recursive_mutex_lock(mutex);
    report_pipe::report('L');
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_destroy(&mutex);
}

// Child body: locks the named mutex, reports 'L' and stays until killed.
TEST(RecursiveMutex, ChildHoldsNamedMutexUntilKilled) {
    if (corvane::test::child_role() != "hold") {
        GTEST_SKIP() << "child body";
    }
    os_recursive_mutex_handle* mutex =
        os_recursive_mutex_create(sync_test::child_env(name_variable).c_str());
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_lock(mutex);
    report_pipe::report('L');
    for (;;) {
        pause();
    }
}

TEST(RecursiveMutex, SameNameInTwoProcessesIsOneMutex) {
    const std::string name = sync_test::unique_name("mutex");
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name.c_str());
    os_recursive_mutex_lock(mutex);
    report_pipe reports;
    const pid_t child = corvane::test::spawn_self(
        "RecursiveMutex.ChildLocksNamedMutex", "lock",
        {reports.env(), std::string(name_variable) + "=" + name});
    reports.close_write_end();
    EXPECT_EQ(reports.read_report(), 'o');
    EXPECT_EQ(reports.read_report(100), 0) << "the child got a mutex this process holds";
    os_recursive_mutex_unlock(mutex);
    EXPECT_EQ(reports.read_report(), 'L');
    EXPECT_EQ(corvane::test::wait_child(child), 0);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

TEST(RecursiveMutex, HolderKilledBySigkillHandsTheMutexToTheNextLocker) {
    const std::string name = sync_test::unique_name("mutex");
    report_pipe reports;
    const pid_t child = corvane::test::spawn_self(
        "RecursiveMutex.ChildHoldsNamedMutexUntilKilled", "hold",
        {reports.env(), std::string(name_variable) + "=" + name});
    reports.close_write_end();
    ASSERT_EQ(reports.read_report(), 'L');

    os_recursive_mutex_handle* mutex = nullptr;
    os_recursive_mutex_handle* other = nullptr;
    corvane::test::capture_stdout([&] {
        mutex = os_recursive_mutex_create(name.c_str());
        other = os_recursive_mutex_create(name.c_str());
    });
    {
        // Usually already waiting when the holder dies; the dead holder had
        // locked twice, and the waiter owns the mutex outright.
        contender waiter(mutex);
        kill(child, SIGKILL);
        EXPECT_EQ(corvane::test::wait_child(child), 128 + SIGKILL);
        EXPECT_TRUE(eventually([&] { return waiter.inside(); }));
    }
    expect_excludes_until_released(mutex, other, 1);
    os_recursive_mutex_destroy(&other);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

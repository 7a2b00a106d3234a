#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using corvane::test::capture_stdout;
using sync_test::expect_excludes_until_released;

TEST(RecursiveMutex, LockedTwiceNeedsTwoUnlocksBeforeAnotherThreadGetsIn) {
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(nullptr);
    expect_excludes_until_released(mutex, mutex, 2);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
}

// "Local\x" names x; 1023 bytes is still a name, though too long for /dev/shm.
TEST(RecursiveMutex, SecondCreateOfANameOpensTheSameMutexAndSaysSo) {
    const std::string name = sync_test::unique_name("mutex");
    const std::string longest = (name + std::string(1023, 'x')).substr(0, 1023);
    const std::pair<std::string, std::string> rows[] = {
        {name, name}, {name, "Local\\" + name}, {longest, longest}};
    for (const auto& [once, again] : rows) {
        os_recursive_mutex_handle* first = nullptr;
        os_recursive_mutex_handle* second = nullptr;
        EXPECT_EQ(capture_stdout([&] { first = os_recursive_mutex_create(once.c_str()); }), "");
        const std::string output = capture_stdout([&] {
            errno = 1234;
            second = os_recursive_mutex_create(again.c_str());
            EXPECT_EQ(errno, 1234);
        });
        EXPECT_EQ(output, "Mutex[" + again + "] already exist,just open it.\n");
        expect_excludes_until_released(first, second, 2);
        os_recursive_mutex_destroy(&first);
        os_recursive_mutex_destroy(&second);
        EXPECT_FALSE(sync_test::shm_has_entry_containing(name)) << again.size();
    }
}

TEST(RecursiveMutex, NameOf1024BytesGivesAnUnusableHandle) {
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(std::string(1024, 'm').c_str());
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
}

// The holder's robust-lock bookkeeping lives inside the mutex: closing a held
// named mutex must neither leave it held nor let a later lock write into the
// released mapping.
TEST(RecursiveMutex, ClosingAHeldNamedMutexLetsGoOfIt) {
    const std::string name = sync_test::unique_name("held");
    os_recursive_mutex_handle* held = os_recursive_mutex_create(name.c_str());
    os_recursive_mutex_handle* other = os_recursive_mutex_create(name.c_str());
    os_recursive_mutex_lock(held);
    os_recursive_mutex_lock(held);
    os_recursive_mutex_destroy(&held);
    expect_excludes_until_released(other, other, 1);

    const std::string later_name = sync_test::unique_name("later");
    os_recursive_mutex_handle* later = os_recursive_mutex_create(later_name.c_str());
    os_recursive_mutex_lock(later);
    os_recursive_mutex_unlock(later);
    os_recursive_mutex_destroy(&later);
    os_recursive_mutex_destroy(&other);
    EXPECT_FALSE(sync_test::shm_has_entry_containing(name));
}

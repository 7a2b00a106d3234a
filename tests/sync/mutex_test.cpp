// Recursive and reader/writer mutexes, process-local and named.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using corvane::test::capture_stdout;
using namespace sync_test;

TEST(RecursiveMutex, LockedTwiceNeedsTwoUnlocksBeforeAnotherThreadGetsIn) {
    for_unnamed_and_named([](const char* name) {
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name);
        expect_excludes_until_released(mutex, mutex, 2);
        os_recursive_mutex_destroy(&mutex);
        EXPECT_EQ(mutex, nullptr);
    });
}

// The second create of a name opens the first one's mutex, says so and
// leaves errno alone; names differing anywhere are different mutexes, however
// long and whatever bytes they hold. The lengths straddle where Linux shared
// memory and the Windows calls stop taking names whole.
TEST(RecursiveMutex, ANameIsOneMutexAndTwoNamesAreTwo) {
    const std::string stem = unique_name("m");
    const auto sized = [&stem](size_t size, char last) {
        return stem + std::string(size - stem.size() - 1, 'x') + last;
    };
    const struct {
        std::string first, second;
        bool same;
    } rows[] = {
        {stem + "a", stem + "a", true},
        {stem + "b", "Local\\" + stem + "b", true},
        {stem + "c\\d e/f%", stem + "c\\d e/f%", true},
        {sized(241, 'a'), sized(241, 'a'), true},
        {sized(242, 'a'), sized(242, 'a'), true},
        {sized(259, 'a'), sized(259, 'a'), true},
        {sized(260, 'a'), sized(260, 'a'), true},
        {sized(1023, 'a'), sized(1023, 'a'), true},
        {stem + "g", stem + "h", false},
        {sized(1023, 'a'), sized(1023, 'b'), false},
    };
    for (const auto& row : rows) {
        // Plain references, not structured bindings: lambdas below capture them.
        const std::string& first_name = row.first;
        const std::string& second_name = row.second;
        const bool same = row.same;
        SCOPED_TRACE(second_name.size());
        os_recursive_mutex_handle* first = nullptr;
        os_recursive_mutex_handle* second = nullptr;
        EXPECT_EQ(capture_stdout([&] { first = os_recursive_mutex_create(first_name.c_str()); }),
                  "");
        const std::string output = capture_stdout([&] {
            errno = 1234;
            second = os_recursive_mutex_create(second_name.c_str());
            EXPECT_EQ(errno, 1234);
        });
        EXPECT_EQ(output, same ? "Mutex[" + second_name + "] already exist,just open it.\n" : "");
        if (same) {
            expect_excludes_until_released(first, second, 2);
        } else {
            os_recursive_mutex_lock(first);
            EXPECT_TRUE(blocked_call([second] {
                            os_recursive_mutex_lock(second);
                            os_recursive_mutex_unlock(second);
                        }).finished());
            os_recursive_mutex_unlock(first);
        }
        os_recursive_mutex_destroy(&first);
        os_recursive_mutex_destroy(&second);
    }
}

// Closing a held named mutex lets go of it: another handle gets it at once.
TEST(RecursiveMutex, ClosingAHeldNamedMutexLetsGoOfIt) {
    const std::string name = unique_name("held");
    os_recursive_mutex_handle* held = os_recursive_mutex_create(name.c_str());
    os_recursive_mutex_handle* other = nullptr;
    capture_stdout([&] { other = os_recursive_mutex_create(name.c_str()); });
    os_recursive_mutex_lock(held);
    os_recursive_mutex_lock(held);
    os_recursive_mutex_destroy(&held);
    expect_excludes_until_released(other, other, 1);
    os_recursive_mutex_destroy(&other);
}

// Under ThreadSanitizer the plain fields race unless writers exclude everyone.
// Readers share the lock, and a stream of them does not starve a writer.
TEST(RwMutex, WritersExcludeEveryoneReadersShareAndWritersDoNotStarve) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    long first = 0, second = 0;
    std::atomic<int> readers{0}, writers{0}, violations{0};
    thread_group(4, [&](int t) {
        for (int i = 0; i < 3000; ++i) {
            const bool write = (i + t) % 8 == 0;
            write ? os_rw_mutex_lock_wr(mutex) : os_rw_mutex_lock_rd(mutex);
            (write ? writers : readers)++;
            violations += writers.load() > 1 || (writers.load() != 0 && readers.load() != 0);
            if (write) {
                ++first;
                ++second;
            }
            violations += first != second;
            (write ? writers : readers)--;
            os_rw_mutex_unlock(mutex);
        }
    });
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(first, 4 * 3000 / 8);
    std::atomic<bool> stop{false}, shared{false};
    thread_group overlapping_readers(3, [&](int) {
        while (!stop) {
            os_rw_mutex_lock_rd(mutex);
            shared = shared || ++readers > 1;
            std::this_thread::sleep_for(2ms);
            --readers;
            os_rw_mutex_unlock(mutex);
        }
    });
    EXPECT_TRUE(eventually([&] { return shared.load(); })) << "readers never shared the lock";
    EXPECT_TRUE(blocked_call([mutex] {
                    os_rw_mutex_lock_wr(mutex);
                    os_rw_mutex_unlock(mutex);
                }).finished()) << "the writer starved";
    stop = true;
    overlapping_readers.join();
    os_rw_mutex_destroy(&mutex);
}

// Named, readers and writers alike take one exclusive recursive mutex.
TEST(RwMutex, NamedVariantIsOneExclusiveNamedMutex) {
    const std::string name = unique_name("rw");
    os_rw_mutex_handle* first = os_rw_mutex_create(name.c_str());
    os_rw_mutex_handle* second = nullptr;
    EXPECT_EQ(capture_stdout([&] { second = os_rw_mutex_create(name.c_str()); }),
              "Mutex[" + name + "] already exist,just open it.\n");
    os_rw_mutex_lock_rd(first);
    os_rw_mutex_lock_wr(first);
    blocked_call reader([second] {
        os_rw_mutex_lock_rd(second);
        os_rw_mutex_unlock(second);
    });
    EXPECT_TRUE(reader.still_blocked()) << "a second reader got into the named mutex";
    os_rw_mutex_unlock(first);
    os_rw_mutex_unlock(first);
    EXPECT_TRUE(reader.finished());
    os_rw_mutex_destroy(&first);
    os_rw_mutex_destroy(&second);
}

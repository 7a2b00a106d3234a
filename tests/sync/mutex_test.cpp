// Recursive and reader/writer mutexes, process-local and named.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using corvane::test::capture_stdout;
using namespace sync_test;

TEST(RecursiveMutex, LockedTwiceNeedsTwoUnlocksBeforeAnotherThreadGetsIn) {
    for (const bool named : unnamed_and_named) {
        const std::string name = fresh_name(named);
        os_recursive_mutex_handle* mutex = os_recursive_mutex_create(name_or_null(name));
        expect_excludes_until_released(mutex, mutex, 2);
        os_recursive_mutex_destroy(&mutex);
        EXPECT_EQ(mutex, nullptr);
    }
}

// The second create of a name opens the first one's mutex, says so and
// leaves errno alone; names differing anywhere are different mutexes, however
// long (up to 1023 bytes) and whatever bytes they hold.
TEST(RecursiveMutex, ANameIsOneMutexAndTwoNamesAreTwo) {
    const std::string stem = unique_name("m");
    const auto sized = [&stem](size_t size, char last) {
        std::string name = stem + std::string(size - stem.size(), 'x');
        name.back() = last;
        return name;
    };
    const struct {
        std::string first, second;
        bool same;
        const char* why;
    } rows[] = {
        {stem + "a", stem + "a", true, "the same name"},
        {stem + "b", "Local\\" + stem + "b", true, "Local\\ names the bare name"},
        {stem + "c\\d e/f%", stem + "c\\d e/f%", true, "separators and escapes"},
        {sized(259, 'a'), sized(259, 'a'), true, "longest name some systems take whole"},
        {sized(1023, 'a'), sized(1023, 'a'), true, "the longest name"},
        {stem + "g", stem + "h", false, "different names"},
        {sized(300, 'a'), sized(300, 'b'), false, "long names differing in the last byte"},
        {sized(1023, 'a'), sized(1023, 'b'), false, "longest names differing in the last byte"},
        {stem + "i", "corvane#" + stem + "i", false, "a name like a shortened one"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        os_recursive_mutex_handle* first = nullptr;
        os_recursive_mutex_handle* second = nullptr;
        EXPECT_EQ(capture_stdout([&] { first = os_recursive_mutex_create(row.first.c_str()); }),
                  "");
        const std::string output = capture_stdout([&] {
            errno = 1234;
            second = os_recursive_mutex_create(row.second.c_str());
            EXPECT_EQ(errno, 1234);
        });
        if (row.same) {
            EXPECT_EQ(output, "Mutex[" + row.second + "] already exist,just open it.\n");
            expect_excludes_until_released(first, second, 2);
        } else {
            EXPECT_EQ(output, "");
            os_recursive_mutex_lock(first);
            blocked_call other([second] {
                os_recursive_mutex_lock(second);
                os_recursive_mutex_unlock(second);
            });
            EXPECT_TRUE(other.finished()) << "two names share a mutex";
            os_recursive_mutex_unlock(first);
        }
        os_recursive_mutex_destroy(&first);
        os_recursive_mutex_destroy(&second);
    }
}

TEST(Mutex, NameOf1024BytesGivesAnUnusableHandle) {
    const std::string too_long(1024, 'm');
    os_recursive_mutex_handle* mutex = os_recursive_mutex_create(too_long.c_str());
    os_recursive_mutex_lock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_unlock(mutex);
    os_recursive_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
    os_rw_mutex_handle* rw = os_rw_mutex_create(too_long.c_str());
    os_rw_mutex_lock_rd(rw);
    os_rw_mutex_lock_wr(rw);
    os_rw_mutex_unlock(rw);
    os_rw_mutex_destroy(&rw);
    EXPECT_EQ(rw, nullptr);
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
    os_recursive_mutex_handle* later = os_recursive_mutex_create(unique_name("later").c_str());
    os_recursive_mutex_lock(later);
    os_recursive_mutex_unlock(later);
    os_recursive_mutex_destroy(&later);
    os_recursive_mutex_destroy(&other);
}

// Under ThreadSanitizer the plain fields race unless writers exclude everyone.
TEST(RwMutex, WritersExcludeReadersAndWritersUnderStress) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    long first = 0;
    long second = 0;
    std::atomic<int> readers{0}, writers{0}, violations{0};
    constexpr int threads = 4;
    constexpr int rounds = 3000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                if ((i + t) % 8 == 0) {
                    os_rw_mutex_lock_wr(mutex);
                    violations += ++writers != 1 || readers.load() != 0;
                    ++first;
                    ++second;
                    --writers;
                } else {
                    os_rw_mutex_lock_rd(mutex);
                    ++readers;
                    violations += writers.load() != 0 || first != second;
                    --readers;
                }
                os_rw_mutex_unlock(mutex);
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(first, threads * rounds / 8);
    os_rw_mutex_destroy(&mutex);
}

TEST(RwMutex, ReadersShareAndTheirStreamDoesNotStarveAWriter) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> inside{0}, most{0};
    std::vector<std::thread> readers;
    // Overlapping holds: some reader is inside at every moment.
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                os_rw_mutex_lock_rd(mutex);
                most = std::max(most.load(), ++inside);
                std::this_thread::sleep_for(2ms);
                --inside;
                os_rw_mutex_unlock(mutex);
            }
        });
    }
    EXPECT_TRUE(eventually([&] { return most.load() >= 2; })) << "readers never shared the lock";
    blocked_call writer([mutex] {
        os_rw_mutex_lock_wr(mutex);
        os_rw_mutex_unlock(mutex);
    });
    EXPECT_TRUE(writer.finished()) << "the writer starved";
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    os_rw_mutex_destroy(&mutex);
}

TEST(RwMutex, NamedVariantIsOneExclusiveNamedMutex) {
    const std::string name = unique_name("rw");
    os_rw_mutex_handle* first = os_rw_mutex_create(name.c_str());
    os_rw_mutex_handle* second = nullptr;
    EXPECT_EQ(capture_stdout([&] { second = os_rw_mutex_create(name.c_str()); }),
              "Mutex[" + name + "] already exist,just open it.\n");
    os_rw_mutex_lock_rd(first);
    os_rw_mutex_lock_rd(first);  // the holder may lock again
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

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using sync_test::eventually;

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
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                --inside;
                os_rw_mutex_unlock(mutex);
            }
        });
    }
    EXPECT_TRUE(eventually([&] { return most.load() >= 2; })) << "readers never shared the lock";
    sync_test::blocked_call writer([mutex] {
        os_rw_mutex_lock_wr(mutex);
        os_rw_mutex_unlock(mutex);
    });
    EXPECT_TRUE(eventually([&] { return !writer.still_blocked(); })) << "the writer starved";
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    os_rw_mutex_destroy(&mutex);
}

TEST(RwMutex, NamedVariantIsOneExclusiveNamedMutex) {
    const std::string name = sync_test::unique_name("rw");
    os_rw_mutex_handle* first = os_rw_mutex_create(name.c_str());
    os_rw_mutex_handle* second = nullptr;
    EXPECT_EQ(corvane::test::capture_stdout([&] { second = os_rw_mutex_create(name.c_str()); }),
              "Mutex[" + name + "] already exist,just open it.\n");
    os_rw_mutex_lock_rd(first);
    os_rw_mutex_lock_rd(first);  // the holder may lock again
    sync_test::blocked_call reader([second] {
        os_rw_mutex_lock_rd(second);
        os_rw_mutex_unlock(second);
    });
    EXPECT_TRUE(reader.still_blocked()) << "a second reader got into the named mutex";
    os_rw_mutex_unlock(first);
    os_rw_mutex_unlock(first);
    EXPECT_TRUE(reader.finished());
    os_rw_mutex_destroy(&first);
    os_rw_mutex_destroy(&second);
    EXPECT_FALSE(sync_test::shm_has_entry_containing(name));
}

TEST(RwMutex, NameOf1024BytesGivesAnUnusableHandle) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(std::string(1024, 'r').c_str());
    os_rw_mutex_lock_rd(mutex);
    os_rw_mutex_lock_wr(mutex);
    os_rw_mutex_unlock(mutex);
    os_rw_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
}

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"
#include "sync_test_support.hpp"
#include "test_support.hpp"

using sync_test::eventually;

TEST(RwMutex, ReadersShareAndAWriterFollowsOnceTheyLeave) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    std::atomic<int> inside{0};
    auto reader = [&] {
        os_rw_mutex_lock_rd(mutex);
        ++inside;
        EXPECT_TRUE(eventually([&] { return inside.load() == 2; }));
        os_rw_mutex_unlock(mutex);
    };
    std::thread first(reader);
    std::thread second(reader);
    first.join();
    second.join();

    os_rw_mutex_lock_wr(mutex);
    os_rw_mutex_unlock(mutex);
    os_rw_mutex_lock_rd(mutex);
    std::atomic<bool> writer_in{false};
    std::thread writer([&] {
        os_rw_mutex_lock_wr(mutex);
        writer_in = true;
        os_rw_mutex_unlock(mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(writer_in.load()) << "a writer got in beside a reader";
    os_rw_mutex_unlock(mutex);
    writer.join();
    EXPECT_TRUE(writer_in.load());
    os_rw_mutex_destroy(&mutex);
}

// Run under ThreadSanitizer too: the plain fields below race unless writers
// really exclude everyone.
TEST(RwMutex, WritersExcludeReadersAndWritersUnderStress) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    long first = 0;
    long second = 0;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> violations{0};
    constexpr int threads = 4;
    constexpr int rounds = 3000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                if ((i + t) % 8 == 0) {
                    os_rw_mutex_lock_wr(mutex);
                    if (++writers != 1 || readers.load() != 0) {
                        ++violations;
                    }
                    ++first;
                    ++second;
                    --writers;
                    os_rw_mutex_unlock(mutex);
                } else {
                    os_rw_mutex_lock_rd(mutex);
                    ++readers;
                    if (writers.load() != 0 || first != second) {
                        ++violations;
                    }
                    --readers;
                    os_rw_mutex_unlock(mutex);
                }
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

TEST(RwMutex, AStreamOfReadersDoesNotStarveAWriter) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::thread> readers;
    // Overlapping holds: some reader is inside at every moment.
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                os_rw_mutex_lock_rd(mutex);
                ++reads;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                os_rw_mutex_unlock(mutex);
            }
        });
    }
    ASSERT_TRUE(eventually([&] { return reads.load() > 10; }));
    std::atomic<bool> writer_in{false};
    std::thread writer([&] {
        os_rw_mutex_lock_wr(mutex);
        writer_in = true;
        os_rw_mutex_unlock(mutex);
    });
    EXPECT_TRUE(eventually([&] { return writer_in.load(); }, std::chrono::seconds(20)));
    stop = true;
    writer.join();
    for (auto& reader : readers) {
        reader.join();
    }
    os_rw_mutex_destroy(&mutex);
}

TEST(RwMutex, NamedVariantAdmitsOneHolderReaderOrWriter) {
    const std::string name = sync_test::unique_name("rw");
    os_rw_mutex_handle* first = os_rw_mutex_create(name.c_str());
    os_rw_mutex_handle* second = nullptr;
    os_recursive_mutex_handle* plain = nullptr;
    const std::string output = corvane::test::capture_stdout([&] {
        second = os_rw_mutex_create(name.c_str());
        plain = os_recursive_mutex_create(name.c_str());
    });
    const std::string line = "Mutex[" + name + "] already exist,just open it.\n";
    EXPECT_EQ(output, line + line);

    os_rw_mutex_lock_rd(first);
    os_rw_mutex_lock_rd(first);  // the holder may lock again
    std::atomic<int> got_in{0};
    std::thread reader([&] {
        os_rw_mutex_lock_rd(second);
        ++got_in;
        os_rw_mutex_unlock(second);
        os_recursive_mutex_lock(plain);
        ++got_in;
        os_recursive_mutex_unlock(plain);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(got_in.load(), 0) << "a second reader got into the named mutex";
    os_rw_mutex_unlock(first);
    os_rw_mutex_unlock(first);
    reader.join();
    EXPECT_EQ(got_in.load(), 2);

    os_rw_mutex_destroy(&first);
    os_rw_mutex_destroy(&second);
    os_recursive_mutex_destroy(&plain);
    EXPECT_TRUE(sync_test::shm_entries_containing(name).empty());
}

TEST(RwMutex, NameOf1024BytesGivesAnUnusableHandle) {
    const std::string too_long(1024, 'r');
    os_rw_mutex_handle* mutex = os_rw_mutex_create(too_long.c_str());
    ASSERT_NE(mutex, nullptr);
    os_rw_mutex_lock_rd(mutex);
    os_rw_mutex_lock_wr(mutex);
    os_rw_mutex_unlock(mutex);
    os_rw_mutex_destroy(&mutex);
    EXPECT_EQ(mutex, nullptr);
}

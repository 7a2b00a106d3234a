#include "common/linux/named_object.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/sha256.hpp"
#include "test_support.hpp"

using corvane::detail::named_kind;
using corvane::detail::named_object;
using corvane::detail::sha256;

using corvane::test::unique_name;

namespace {

constexpr const char* name_variable = "CORVANE_NAMED_TEST_NAME";

bool entry_exists(named_kind kind, const std::string& name) {
    std::string system_name = named_object::system_name(kind, name.c_str());
    int fd = shm_open(system_name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

struct counters {
    std::atomic<uint32_t> initialised;
    std::atomic<uint32_t> arrived;
    std::atomic<uint32_t> value;
    std::atomic<uint64_t> slots[8];
};

std::unique_ptr<named_object> create_counters(const std::string& name, bool* created = nullptr) {
    return named_object::create(
        named_kind::event, name.c_str(), sizeof(counters),
        [](void* payload) { static_cast<counters*>(payload)->initialised.fetch_add(1); }, created);
}

counters& counters_of(const named_object& object) {
    return *static_cast<counters*>(object.payload());
}

std::string hex(const corvane::detail::sha256_digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

// Waits for `predicate` with a generous bound; false if it never held.
template <typename Predicate>
bool eventually(Predicate predicate) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > give_up) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A child that holds (or is creating) the object `name` until it is killed.
corvane::test::ready_child start_child(const std::string& role, const std::string& name) {
    return corvane::test::ready_child("NamedObjectChild.*", role,
                                      {std::string(name_variable) + "=" + name});
}

[[noreturn]] void report_ready_and_wait_for_death() {
    corvane::test::signal_ready();
    for (;;) {
        pause();
    }
}

}  // namespace

TEST(Sha256, MatchesTheStandardTestVectors) {
    EXPECT_EQ(hex(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 55 bytes leave room for the length in the last block, 56 do not.
    EXPECT_EQ(hex(sha256(std::string(55, 'x'))),
              "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072");
    EXPECT_EQ(hex(sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(sha256(std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(NamedObjectName, EscapesTheNameAndDropsTheLocalPrefix) {
    EXPECT_EQ(named_object::system_name(named_kind::mutex, "a b/c%d\\e"),
              "/corvane.mutex.a%20b%2Fc%25d\\e");
    EXPECT_EQ(named_object::system_name(named_kind::shared_memory, "\x01\xff~!"),
              "/corvane.shm.%01%FF~!");
    EXPECT_EQ(named_object::system_name(named_kind::event, "Local\\x"),
              named_object::system_name(named_kind::event, "x"));
    EXPECT_EQ(named_object::system_name(named_kind::semaphore, "Local\\"), "/corvane.semaphore.");
    EXPECT_EQ(named_object::system_name(named_kind::event, "local\\x"), "/corvane.event.local\\x");
}

TEST(NamedObjectName, ShortensOnlyNamesBeyondTheComponentLimitByTheirDigest) {
    // "corvane.mutex." is 14 bytes: 241 more reach the 255-byte limit.
    std::string longest_plain(241, 'n');
    EXPECT_EQ(named_object::system_name(named_kind::mutex, longest_plain.c_str()),
              "/corvane.mutex." + longest_plain);
    std::string first_hashed = longest_plain + "n";
    EXPECT_EQ(named_object::system_name(named_kind::mutex, first_hashed.c_str()),
              "/corvane.mutex#" + hex(sha256(first_hashed)));
    // Escaping counts: 81 escaped bytes are 243 characters.
    std::string escaped(81, ' ');
    EXPECT_EQ(named_object::system_name(named_kind::mutex, escaped.c_str()),
              "/corvane.mutex#" + hex(sha256(escaped)));
    std::string local_long = "Local\\" + first_hashed;
    EXPECT_EQ(named_object::system_name(named_kind::mutex, local_long.c_str()),
              named_object::system_name(named_kind::mutex, first_hashed.c_str()));

    EXPECT_EQ(named_object::system_name(named_kind::mutex, nullptr), "");
    EXPECT_EQ(named_object::system_name(named_kind::mutex, std::string(1024, 'n').c_str()), "");
    EXPECT_FALSE(named_object::system_name(named_kind::mutex, std::string(1023, 'n').c_str())
                     .empty());
}

TEST(NamedObject, HandlesInOneProcessShareTheObjectUntilTheLastCloses) {
    std::string name = unique_name("share");
    bool created = false;
    auto first = create_counters(name, &created);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(created);
    EXPECT_EQ(first->payload_size(), sizeof(counters));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first->payload()) % 64, 0u);

    auto second = create_counters(name, &created);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(created);
    auto third = named_object::open(named_kind::event, ("Local\\" + name).c_str());
    ASSERT_NE(third, nullptr);
    counters_of(*first).value = 41;
    EXPECT_EQ(counters_of(*second).value, 41u);
    EXPECT_EQ(counters_of(*third).value, 41u);
    EXPECT_EQ(counters_of(*third).initialised, 1u);

    first.reset();
    second.reset();
    EXPECT_TRUE(entry_exists(named_kind::event, name));
    EXPECT_EQ(counters_of(*third).value, 41u);
    third.reset();
    EXPECT_FALSE(entry_exists(named_kind::event, name));
    EXPECT_EQ(named_object::open(named_kind::event, name.c_str()), nullptr);
}

TEST(NamedObject, KindsAndLongNamesNeverShareAnObject) {
    std::string name = unique_name("kinds");
    auto event = create_counters(name);
    auto mutex = named_object::create(named_kind::mutex, name.c_str(), sizeof(counters), nullptr,
                                      nullptr);
    ASSERT_NE(event, nullptr);
    ASSERT_NE(mutex, nullptr);
    counters_of(*event).value = 1;
    EXPECT_EQ(counters_of(*mutex).value, 0u);
    EXPECT_EQ(named_object::open(named_kind::semaphore, name.c_str()), nullptr);

    std::string long_a = unique_name(std::string(1000, 'L'));
    std::string long_b = long_a;
    long_b.back() = 'M';
    ASSERT_LT(long_a.size(), 1024u);
    auto a = create_counters(long_a);
    auto b = create_counters(long_b);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    counters_of(*a).value = 7;
    EXPECT_EQ(counters_of(*b).value, 0u);
    auto a_again = named_object::open(named_kind::event, long_a.c_str());
    ASSERT_NE(a_again, nullptr);
    EXPECT_EQ(counters_of(*a_again).value, 7u);

    EXPECT_EQ(create_counters(std::string(1024, 'n')), nullptr);
    EXPECT_EQ(named_object::open(named_kind::event, nullptr), nullptr);
}

TEST(NamedObject, IsOwnerOnlyWhateverTheUmaskAndKeepsErrno) {
    std::string name = unique_name("mode");
    mode_t previous = umask(0277);
    errno = 1234;
    auto object = create_counters(name);
    int after_create = errno;
    umask(previous);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(after_create, 1234);

    std::string system_name = named_object::system_name(named_kind::event, name.c_str());
    int fd = shm_open(system_name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    struct stat status {};
    ASSERT_EQ(fstat(fd, &status), 0);
    close(fd);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    errno = 4321;
    auto opened = named_object::open(named_kind::event, name.c_str());
    object.reset();
    EXPECT_EQ(errno, 4321);
}

// Child bodies, run only inside processes started by the tests below.
TEST(NamedObjectChild, Body) {
    std::string role = corvane::test::child_role();
    if (role.empty()) {
        GTEST_SKIP() << "child body";
    }
    std::string name = std::getenv(name_variable);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (role == "hold") {
        auto object = create_counters(name);
        if (!object) {
            std::exit(2);
        }
        report_ready_and_wait_for_death();
    }
    if (role == "die-initialising") {
        named_object::create(named_kind::event, name.c_str(), sizeof(counters),
                             [](void*) { report_ready_and_wait_for_death(); }, nullptr);
        std::exit(2);
    }
    if (role == "churn") {
        // However the processes' calls interleave, every create sees an
        // initialised payload, and the name leads to the object this process
        // holds (no holder is left on an object that lost its name).
        const int slot = std::atoi(std::getenv("CORVANE_NAMED_TEST_SLOT"));
        for (uint64_t i = 1; i <= 1000; ++i) {
            auto object = create_counters(name);
            if (!object || counters_of(*object).initialised != 1) {
                std::exit(2);
            }
            const uint64_t token = (uint64_t{static_cast<uint32_t>(getpid())} << 32) | i;
            counters_of(*object).slots[slot] = token;
            auto by_name = named_object::open(named_kind::event, name.c_str());
            if (!by_name || counters_of(*by_name).slots[slot] != token) {
                std::exit(3);
            }
        }
        std::exit(0);
    }
    if (role == "rounds") {
        // All processes hold each round's object at once; each reports how
        // many rounds it created.
        const uint32_t processes = std::atoi(std::getenv("CORVANE_NAMED_TEST_PROCESSES"));
        int created_rounds = 0;
        for (int round = 0; round < 25; ++round) {
            bool created = false;
            auto object = create_counters(name + "-" + std::to_string(round), &created);
            if (!object) {
                std::exit(101);
            }
            counters& shared = counters_of(*object);
            shared.arrived.fetch_add(1);
            if (!eventually([&] { return shared.arrived.load() >= processes; })) {
                std::exit(102);
            }
            if (shared.initialised != 1) {
                std::exit(103);
            }
            created_rounds += created ? 1 : 0;
            // Nobody may close before everyone has looked, or a late process
            // would create the round's object again.
            shared.value.fetch_add(1);
            if (!eventually([&] { return shared.value.load() >= processes; })) {
                std::exit(104);
            }
        }
        std::exit(created_rounds);
    }
    std::exit(100);
}

TEST(NamedObjectProcesses, AKilledHolderKeepsNothingAlive) {
    std::string name = unique_name("killed");
    {
        auto child = start_child("hold", name);
        ASSERT_TRUE(child.ready());
        auto mine = named_object::open(named_kind::event, name.c_str());
        ASSERT_NE(mine, nullptr);
        EXPECT_EQ(child.kill_and_wait(), 128 + SIGKILL);
        mine.reset();
        EXPECT_FALSE(entry_exists(named_kind::event, name));
    }
    // The only holder dies: the name lingers until the next use finds
    // nobody holding it, and then an open finds nothing and a create makes a
    // fresh object.
    for (bool create : {false, true}) {
        auto child = start_child("hold", name);
        ASSERT_TRUE(child.ready());
        EXPECT_EQ(child.kill_and_wait(), 128 + SIGKILL);
        ASSERT_TRUE(entry_exists(named_kind::event, name));
        if (!create) {
            EXPECT_EQ(named_object::open(named_kind::event, name.c_str()), nullptr);
            EXPECT_FALSE(entry_exists(named_kind::event, name));
            continue;
        }
        bool created = false;
        auto fresh = create_counters(name, &created);
        ASSERT_NE(fresh, nullptr);
        EXPECT_TRUE(created);
        EXPECT_EQ(counters_of(*fresh).initialised, 1u);
        EXPECT_EQ(counters_of(*fresh).value, 0u);
    }
    EXPECT_FALSE(entry_exists(named_kind::event, name));
}

TEST(NamedObjectProcesses, ACreatorThatDiesInitialisingLeavesTheNameToTheNext) {
    std::string name = unique_name("half-made");
    auto child = start_child("die-initialising", name);
    ASSERT_TRUE(child.ready());
    // The waiting create blocks until the initialiser is gone; whichever
    // comes first, it must end up initialising a fresh object itself.
    bool created = false;
    std::unique_ptr<named_object> object;
    std::thread waiter([&] { object = create_counters(name, &created); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(child.kill_and_wait(), 128 + SIGKILL);
    waiter.join();
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(created);
    EXPECT_EQ(counters_of(*object).initialised, 1u);
    object.reset();
    EXPECT_FALSE(entry_exists(named_kind::event, name));

    auto second = start_child("die-initialising", name);
    ASSERT_TRUE(second.ready());
    EXPECT_EQ(second.kill_and_wait(), 128 + SIGKILL);
    EXPECT_EQ(named_object::open(named_kind::event, name.c_str()), nullptr);
    EXPECT_FALSE(entry_exists(named_kind::event, name));
}

TEST(NamedObjectProcesses, ConcurrentCreatorsInitialiseEachObjectOnce) {
    constexpr int processes = 4;
    std::string name = unique_name("rounds");
    std::vector<corvane::test::child_process> children;
    for (int i = 0; i < processes; ++i) {
        children.push_back(corvane::test::child_process::self(
            "NamedObjectChild.*", "rounds",
            {std::string(name_variable) + "=" + name,
             "CORVANE_NAMED_TEST_PROCESSES=" + std::to_string(processes)}));
    }
    int created_rounds = 0;
    for (auto& child : children) {
        int status = child.wait();
        EXPECT_LE(status, 25) << "child failed with " << status;
        created_rounds += status;
    }
    EXPECT_EQ(created_rounds, 25);
    for (int round = 0; round < 25; ++round) {
        EXPECT_FALSE(entry_exists(named_kind::event, name + "-" + std::to_string(round)));
    }
}

TEST(NamedObjectProcesses, CreateDestroyChurnLeavesNoEntryAndNoHalfMadeObject) {
    std::string name = unique_name("churn");
    std::vector<corvane::test::child_process> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(corvane::test::child_process::self(
            "NamedObjectChild.*", "churn",
            {std::string(name_variable) + "=" + name,
             "CORVANE_NAMED_TEST_SLOT=" + std::to_string(i)}));
    }
    for (auto& child : children) {
        EXPECT_EQ(child.wait(), 0);
    }
    EXPECT_FALSE(entry_exists(named_kind::event, name));
}

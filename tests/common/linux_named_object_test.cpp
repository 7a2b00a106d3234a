// Linux only: the shared-memory layer under named objects, driven directly
// so that a creator can die half-way through initialising.
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

#include "common/object_name.hpp"
#include "test_support.hpp"

using corvane::detail::named_kind;
using corvane::detail::named_object;

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

// Kinds have name spaces of their own; "corvane.mutex." is 14 bytes, so 241
// more reach the 255-byte limit, and escapes count three bytes each.
TEST(NamedObjectName, EscapesDropsLocalAndHashesBeyondTheComponentLimit) {
    const std::string longest_plain(241, 'n');
    const struct {
        named_kind kind;
        std::string name, system_name;
    } rows[] = {
        {named_kind::mutex, "a b/c%d\\e", "/corvane.mutex.a%20b%2Fc%25d\\e"},
        {named_kind::shared_memory, "\x01\xff~!", "/corvane.shm.%01%FF~!"},
        {named_kind::event, "Local\\x", "/corvane.event.x"},
        {named_kind::semaphore, "Local\\", "/corvane.semaphore."},
        {named_kind::event, "local\\x", "/corvane.event.local\\x"},
        {named_kind::mutex, longest_plain, "/corvane.mutex." + longest_plain},
        {named_kind::mutex, longest_plain + "n",
         corvane::detail::hashed_object_name("/corvane.mutex", longest_plain + "n")},
        {named_kind::mutex, "Local\\" + longest_plain + "n",
         corvane::detail::hashed_object_name("/corvane.mutex", longest_plain + "n")},
        {named_kind::mutex, std::string(81, ' '),
         corvane::detail::hashed_object_name("/corvane.mutex", std::string(81, ' '))},
        {named_kind::mutex, std::string(1024, 'n'), ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(named_object::system_name(row.kind, row.name.c_str()), row.system_name)
            << row.name.size();
    }
    EXPECT_EQ(named_object::system_name(named_kind::mutex, nullptr), "");
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

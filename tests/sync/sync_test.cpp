// The contract of the sync calls on both systems: the clock, threads,
// atomics, mutexes, events, semaphores and conditions, process-local and
// named, and named objects shared between real processes.
#include <fstream>
#include <tuple>

#include "sync_test_support.hpp"

// A span subtracts field by field, wrapping; normalising carries and borrows
// whole seconds.
TEST(Clock, AdjustNormalisesAndSpanSubtractsFieldByField) {
    // start, end, the span end - start, that span normalised
    const time_record rows[][4] = {
        {{0, 0}, {0, -1}, {0, -1}, {-1, 999'999'999}},
        {{0, 0}, {5, 1'000'000'000}, {5, 1'000'000'000}, {6, 0}},
        {{3, 900'000'000}, {5, 100}, {2, -899'999'900}, {1, 100'000'100}},
        {{0, 0}, {0, INT32_MIN}, {0, INT32_MIN}, {-3, 852'516'352}},
        {{0, -1}, {0, INT32_MAX}, {0, INT32_MIN}, {-3, 852'516'352}},
        {{0, 0}, {0, INT32_MAX}, {0, INT32_MAX}, {2, 147'483'647}},
        {{INT64_MIN, INT32_MIN}, {INT64_MAX, INT32_MAX}, {-1, -1}, {-2, 999'999'999}},
    };
    for (const auto& [start, end, span, normalised] : rows) {
        time_record result{};
        os_clock_get_clock_span(&start, &end, &result);
        EXPECT_TRUE(result.seconds == span.seconds && result.nanoseconds == span.nanoseconds);
        os_clock_adjust_clock_time(&result);
        EXPECT_TRUE(result.seconds == normalised.seconds &&
                    result.nanoseconds == normalised.nanoseconds) << end.nanoseconds;
    }
}

// The last add runs on a thread of its own, started on a stack of 1 byte
// (raised to the system minimum): join waits for it.
TEST(Atomic, CompareAndSwapReturnsThePreviousValueAndAddSubTheNewOne) {
    int32_t target = 5;
    int64_t wide = INT64_C(1) << 40;
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 5, 9), 5);
    EXPECT_EQ(os_thread_sync_compare_and_swap(&target, 4, 1), 9);
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, INT64_C(1) << 40, -7), INT64_C(1) << 40);
    EXPECT_EQ(os_thread_sync_compare_and_swap_64(&wide, 0, 3), -7);
    EXPECT_TRUE(target == 9 && wide == -7);
    target = INT32_MAX;
    EXPECT_EQ(os_thread_sync_fetch_add(&target), INT32_MIN);
    EXPECT_TRUE(os_thread_sync_fetch_sub(&target) == INT32_MAX && target == INT32_MAX);
    const os_thread_routine add = [](void* at) -> void* {
        return os_thread_sync_fetch_add(static_cast<int32_t*>(at)), nullptr;
    };
    os_thread_handle thread = 0;
    os_thread_create(&thread, add, &target, 1);
    EXPECT_TRUE(os_thread_join(thread) == 0 && target == INT32_MIN);
}

// The second create of a name opens the first one's mutex, says so and
// leaves the last system error alone; closing a held handle lets go of the
// mutex. Names differing anywhere are different mutexes, however long and
// whatever bytes they hold, and an unnamed one (empty here) is a mutex of
// its own. The lengths straddle where Linux shared memory and the Windows
// calls stop taking names whole; 1024 bytes is too long, which gives a
// handle that does nothing. Every usable handle is recursive.
TEST(RecursiveMutex, ANameIsOneMutexAndTwoNamesAreTwo) {
    const std::string stem = unique_name("m");
    const auto sized = [&stem](size_t size, char last) {
        return stem + std::string(size - stem.size() - 1, 'x') + last;
    };
    const std::tuple<std::string, std::string, bool> rows[] = {
        {stem + "a", stem + "a", true}, {stem + "b", "Local\\" + stem + "b", true},
        {stem + "c\\d e/f%", stem + "c\\d e/f%", true}, {stem + "g", "", false},
        {sized(241, 'a'), sized(241, 'a'), true}, {sized(242, 'a'), sized(242, 'a'), true},
        {sized(259, 'a'), sized(259, 'a'), true}, {sized(260, 'a'), sized(260, 'a'), true},
        {sized(1023, 'a'), sized(1023, 'a'), true}, {sized(1023, 'a'), sized(1023, 'b'), false},
        {sized(1024, 'a'), sized(1024, 'a'), false},
    };
    for (const auto& row : rows) {
        // Named, not bound: a lambda below captures them.
        const std::string &first_name = std::get<0>(row), &second_name = std::get<1>(row);
        const bool same = std::get<2>(row);
        SCOPED_TRACE(second_name.size());
        os_recursive_mutex_handle* first = os_recursive_mutex_create(first_name.c_str());
        os_recursive_mutex_handle* second = nullptr;
        EXPECT_EQ(capture_stdout([&] {
                      set_last_system_error(1234);
                      second = os_recursive_mutex_create(
                          second_name.empty() ? nullptr : second_name.c_str());
                      EXPECT_EQ(last_system_error(), 1234);
                  }),
                  same ? "Mutex[" + second_name + "] already exist,just open it.\n" : "");
        os_recursive_mutex_lock(first);
        blocked_call contender(lock_and_unlock(second));
        EXPECT_TRUE(same ? contender.still_blocked() : contender.finished());
        os_recursive_mutex_destroy(&first);  // closing a held mutex lets go of it
        ASSERT_TRUE(contender.finished());
        if (second_name.size() < 1024) expect_excludes_until_released(second, second, 2);
        os_recursive_mutex_destroy(&second);
    }
}

// Readers share the lock and a writer waits for them. Once a writer waits, a
// reader that comes later queues behind it, so that writers do not starve
// however many readers keep coming.
TEST(RwMutex, ReadersShareAndAWaitingWriterGoesBeforeLaterReaders) {
    os_rw_mutex_handle* mutex = os_rw_mutex_create(nullptr);
    const auto reader = [mutex] { os_rw_mutex_lock_rd(mutex), os_rw_mutex_unlock(mutex); };
    os_rw_mutex_lock_rd(mutex);
    EXPECT_TRUE(blocked_call(reader).finished()) << "readers did not share the lock";
    blocked_call writer([mutex] { os_rw_mutex_lock_wr(mutex), os_rw_mutex_unlock(mutex); });
    EXPECT_TRUE(writer.still_blocked()) << "a writer got in beside a reader";
    blocked_call later_reader(reader);
    EXPECT_TRUE(later_reader.still_blocked()) << "a reader went before a waiting writer";
    os_rw_mutex_unlock(mutex);
    EXPECT_TRUE(writer.finished() && later_reader.finished());
    os_rw_mutex_destroy(&mutex);
}

// Four threads wait; the first look proves that the waits really wait. Each
// set of an auto-reset event, or release of a semaphore (of four units, taken
// first), lets exactly one of them through; one set of a manual-reset event
// releases them all, even when a reset follows at once. Event waits serve
// semaphores too: both share one handle type. Then five signals more: an
// auto-reset event holds one, a manual-reset one stays set (the count stops
// at its cap) and a semaphore holds its maximum.
TEST(Waitable, ASignalLetsOneWaiterThroughOrEveryWaiterPromptly) {
    for (const int kind : {0, 1, 2}) {  // auto-reset event, manual-reset event, semaphore
        SCOPED_TRACE(kind);
        for_unnamed_and_named([kind](const char* name) {
            const bool manual = kind == 1;
            os_event_handle* object =
                kind == 2 ? os_semaphore_create(4, name) : os_event_create(manual, false, name);
            const auto signal = [&] {
                kind == 2 ? os_semaphore_release(object) : os_event_set_event(object);
            };
            EXPECT_EQ(units_available(object), kind == 2 ? 4 : 0);
            std::atomic<int> entered{0}, released{0};
            std::vector<std::jthread> waiters;
            for (int i = 0; i < 4; ++i) {
                waiters.emplace_back([&] {
                    ++entered;
                    released += os_event_wait_timeout(object, deadline_after_ms(20'000));
                });
            }
            ASSERT_TRUE(eventually([&] { return entered.load() == 4; }));
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(released.load(), 0) << "a wait ended before the signal";
            for (int set = 1; set <= (manual ? 1 : 4); ++set) {
                signal();
                manual ? os_event_reset_event(object) : void();
                const int expected = manual ? 4 : set;
                EXPECT_TRUE(eventually([&] { return released.load() >= expected; }, 10s));
                std::this_thread::sleep_for(20ms);
                EXPECT_EQ(released.load(), expected);
            }
            waiters.clear();
            EXPECT_FALSE(os_event_wait_timeout(object, past())) << "the last signal was not taken";
            for (int i = 0; i < 5; ++i) signal();
            EXPECT_EQ(units_available(object), kind == 0 ? 1 : kind == 1 ? 10 : 4);
            os_event_destroy(&object);
        });
    }
}

TEST(Event, PastDeadlinesPollAndFarOnesNeitherWrapNorEndEarly) {
    for_unnamed_and_named([](const char* name) {
        os_event_handle* event = os_event_create(false, true, name);
        const time_record long_ago{INT64_MIN, 0};
        EXPECT_TRUE(os_event_wait_timeout(event, long_ago));
        EXPECT_FALSE(os_event_wait_timeout(event, long_ago) ||
                     os_event_wait_timeout(event, past()) ||
                     os_event_wait_timeout(event, deadline_after_ms(20)));
        for (const int64_t ahead : {int64_t{1} << 31, int64_t{1} << 32, int64_t{1} << 52}) {
            std::atomic<bool> taken{false};
            blocked_call waiter(
                [&] { taken = os_event_wait_timeout(event, deadline_after_ms(ahead + 9)); });
            EXPECT_TRUE(waiter.still_blocked()) << ahead << " ms ahead ended the wait early";
            os_event_set_event(event);
            EXPECT_TRUE(waiter.finished() && taken.load());
        }
        os_event_set_event(event);
        EXPECT_TRUE(os_event_wait_timeout(event, time_record{INT64_MAX, 0}));
        os_event_destroy(&event);
    });
}

// A woken waiter holds the lock again only once the signaller has let go of
// it.
TEST(Condition, WaitTimesOutUnlessSignalledAndHoldsTheLockAgain) {
    os_condition_handle* condition = os_condition_create();
    os_condition_lock(condition);
    for (const int64_t ahead : {-50, 30}) {
        EXPECT_EQ(os_condition_wait_timeout(condition, deadline_after_ms(ahead)),
                  OS_CONDITION_TIMED_OUT);
    }
    os_condition_unlock(condition);
    bool ready = false;  // guarded by the condition's lock
    blocked_call waiter([&] {
        os_condition_lock(condition);
        while (!ready) EXPECT_EQ(os_condition_wait(condition), OS_CONDITION_WOKEN);
        os_condition_unlock(condition);
    });
    EXPECT_TRUE(waiter.still_blocked());  // gives the waiter time to get into its wait
    os_condition_lock(condition);
    ready = true;
    os_condition_signal(condition);
    EXPECT_TRUE(waiter.still_blocked()) << "got the lock while it was still held";
    os_condition_unlock(condition);
    EXPECT_TRUE(waiter.finished());
    os_condition_destroy(&condition);
}

// Named mutexes, events and semaphores shared between real processes: one
// object per name, a killed holder hands its mutex on, and an object goes
// with the last process that has it open. Kernel objects of every kind share
// one name space on Windows, so each kind gets a name of its own.
namespace {

constexpr int churn_rounds = 300;

// A semaphore only with a count: a killed holder's unit is lost for as long
// as another process keeps the semaphore. `said` is what the mutex create wrote.
struct named_set {
    explicit named_set(const std::string& name, int count = 0)
        : said(capture_stdout([&] { mutex = os_recursive_mutex_create((name + "-m").c_str()); })),
          event(os_event_create(false, false, (name + "-e").c_str())),
          semaphore(os_semaphore_create(count, (name + "-s").c_str())) {}
    ~named_set() {
        os_recursive_mutex_destroy(&mutex);
        os_event_destroy(&event);
        os_semaphore_destroy(&semaphore);
    }
    os_recursive_mutex_handle* mutex = nullptr;
    std::string said;
    os_event_handle* event;
    os_semaphore_handle* semaphore;
};

}  // namespace

// The child bodies, on the objects named by the role. A churner adds 1 to
// the number in a file, each round on objects made afresh under the name:
// updates get lost unless every process that creates, opens and destroys the
// name at once gets one mutex. A holder releases beyond the maximum of an
// existing semaphore (which keeps its count and maximum), takes a unit and
// holds the mutex twice until the event is set, then waits to be killed.
TEST(NamedProcess, Child) {
    const std::string name = child_role();
    if (name.empty()) GTEST_SKIP() << "child body";
    if (const char* counter = std::getenv("CORVANE_SYNC_COUNTER")) {
        for (int round = 0; round < churn_rounds; ++round) {
            named_set objects(name, 2);
            os_recursive_mutex_lock(objects.mutex);
            long value = 0;
            std::ifstream(counter) >> value;
            std::ofstream(counter, std::ios::trunc) << value + 1;
            os_recursive_mutex_unlock(objects.mutex);
        }
        return;
    }
    named_set objects(name, 5);
    for (int i = 0; i < 3; ++i) os_semaphore_release(objects.semaphore);
    ASSERT_TRUE(os_semaphore_wait(objects.semaphore));
    os_recursive_mutex_lock(objects.mutex);
    os_recursive_mutex_lock(objects.mutex);
    signal_ready();
    os_event_wait(objects.event);
    os_recursive_mutex_unlock(objects.mutex);
    os_recursive_mutex_unlock(objects.mutex);
    os_event_wait(objects.event);
}

// Objects whose only holder was killed are gone: the names make new ones.
// Then one mutex, event and semaphore (of maximum 1) are shared with a
// holder that unlocks when the event is set and with one killed holding the
// mutex twice: each hands the mutex to the next locker, who owns it outright.
// The objects go with the last handle.
TEST(NamedProcess, ANameIsOneObjectInTwoProcessesAndAKilledHolderHandsTheMutexOn) {
    const std::string name = unique_name("shared");
    EXPECT_EQ(ready_child("NamedProcess.Child", name).kill_and_wait(), killed_status);
    EXPECT_EQ(units_available(named_set(name, 2).semaphore), 2);
    {
        named_set mine(name, 1), other(name);
        EXPECT_EQ(mine.said, "");
        for (const bool killed : {false, true}) {
            SCOPED_TRACE(killed ? "holder killed" : "holder unlocks");
            ready_child holder("NamedProcess.Child", name);
            ASSERT_TRUE(holder.ready());
            EXPECT_EQ(units_available(mine.semaphore), 0) << "not shared, or beyond the maximum";
            blocked_call waiter(lock_and_unlock(mine.mutex));
            EXPECT_TRUE(waiter.still_blocked()) << "got a mutex another process holds";
            killed ? void(holder.kill_and_wait()) : os_event_set_event(mine.event);
            EXPECT_TRUE(waiter.finished());
        }
        expect_excludes_until_released(mine.mutex, other.mutex, 1);
        os_event_set_event(mine.event);
    }
    named_set fresh(name, 3);
    EXPECT_TRUE(fresh.said.empty() && !os_event_wait_timeout(fresh.event, past()));
    EXPECT_EQ(units_available(fresh.semaphore), 3);
}

TEST(NamedProcess, ConcurrentCreateOpenDestroyOverProcessesKeepsOneMutex) {
    const temp_folder folder;
    const std::string name = unique_name("churn"), counter = folder.join("counter");
    const std::vector<std::string> environment{"CORVANE_SYNC_COUNTER=" + counter};
    std::vector<child_process> children;
    for (int i = 0; i < 4; ++i)
        children.push_back(child_process::self("NamedProcess.Child", name, environment));
    for (auto& child : children) EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(read_file(counter), std::to_string(4 * churn_rounds));
}

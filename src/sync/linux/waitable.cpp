// Events and semaphores on a futex word, for Linux. The same code serves a
// process-local state (private futex) and a named one in the payload of a
// named object (shared futex).

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <new>

#include "common/linux/named_object.hpp"
#include "sync/linux/linux_time.hpp"
#include "sync/sync_platform.hpp"

namespace corvane::detail {

namespace {

// How a state counts. The values are stored in named payloads, so they
// stay fixed.
enum class state_mode : uint32_t {
    auto_reset_event = 1,
    manual_reset_event = 2,
    semaphore = 3,
};

// Bit 0 of an event's word: the signalled flag. A manual-reset event counts
// its sets in the bits above, adding this much per set.
constexpr uint32_t event_signalled_bit = 1;
constexpr uint32_t manual_reset_set = 2;

}  // namespace

// The state of an event or a semaphore: one futex word and a count of
// sleeping waiters, so that a release makes a system call only when someone
// sleeps. There is no internal lock, so a process that dies inside an
// operation cannot block the others; a waiter that dies asleep leaves the
// count too high, which costs later releases a needless wake-up call only.
struct waitable_state {
    // Semaphore: the count. Event: bit 0 is the signalled flag and the bits
    // above count the sets of a manual-reset event, so that a waiter sees a
    // set even when a reset follows before it runs.
    std::atomic<uint32_t> word;
    std::atomic<uint32_t> sleepers;
    state_mode mode;
    uint32_t maximum;
};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "waitable words are shared lock-free");

struct waitable {
    // Null for a process-local state, which lives in `local`.
    std::unique_ptr<named_object> storage;
    waitable_state local{};
    waitable_state* state = &local;
    int futex_private_flag = FUTEX_PRIVATE_FLAG;
};

namespace {

state_mode mode_of(waitable_mode mode) {
    switch (mode) {
    case waitable_mode::auto_reset_event:
        return state_mode::auto_reset_event;
    case waitable_mode::manual_reset_event:
        return state_mode::manual_reset_event;
    case waitable_mode::semaphore:
        break;
    }
    return state_mode::semaphore;
}

void initialise_state(void* place, waitable_mode mode, uint32_t initial, uint32_t maximum) {
    auto* state = new (place) waitable_state{};
    state->mode = mode_of(mode);
    state->maximum = maximum;
    state->word.store(initial);
}

// Sets the event or adds the unit; false when there was nothing to add.
bool offer(waitable_state& state) {
    uint32_t seen = state.word.load();
    uint32_t next = 0;
    do {
        switch (state.mode) {
        case state_mode::semaphore:
            if (seen >= state.maximum) {
                return false;
            }
            next = seen + 1;
            break;
        case state_mode::auto_reset_event:
            if ((seen & event_signalled_bit) != 0) {
                return false;
            }
            next = seen | event_signalled_bit;
            break;
        case state_mode::manual_reset_event:
            if ((seen & event_signalled_bit) != 0) {
                return false;
            }
            next = (seen + manual_reset_set) | event_signalled_bit;
            break;
        }
    } while (!state.word.compare_exchange_weak(seen, next));
    return true;
}

// Takes the event or a unit if `seen` (refreshed by failed exchanges)
// offers one.
bool try_take(waitable_state& state, uint32_t& seen) {
    switch (state.mode) {
    case state_mode::semaphore:
        while (seen > 0) {
            if (state.word.compare_exchange_weak(seen, seen - 1)) {
                return true;
            }
        }
        return false;
    case state_mode::auto_reset_event:
        while ((seen & event_signalled_bit) != 0) {
            if (state.word.compare_exchange_weak(seen, seen & ~event_signalled_bit)) {
                return true;
            }
        }
        return false;
    case state_mode::manual_reset_event:
        break;
    }
    return (seen & event_signalled_bit) != 0;
}

// A manual-reset event set after the wait began releases the waiter, even
// if it was reset again before the waiter ran.
bool set_since(const waitable_state& state, uint32_t seen, uint32_t word_at_start) {
    return state.mode == state_mode::manual_reset_event &&
           (seen & ~event_signalled_bit) != (word_at_start & ~event_signalled_bit);
}

uint32_t* futex_word(waitable_state& state) {
    static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
    return reinterpret_cast<uint32_t*>(&state.word);
}

// Sleeps while the word still holds `seen`, up to the absolute monotonic
// `end` (null: no limit). 0 on a wake-up, else the errno value.
int futex_wait(waitable_state& state, uint32_t seen, const time_record* end, int private_flag) {
    timespec limit{};
    if (end != nullptr) {
        limit = to_timespec(*end);
    }
    // FUTEX_WAIT_BITSET takes an absolute time on CLOCK_MONOTONIC.
    if (syscall(SYS_futex, futex_word(state), FUTEX_WAIT_BITSET | private_flag, seen,
                end != nullptr ? &limit : nullptr, nullptr, FUTEX_BITSET_MATCH_ANY) == 0) {
        return 0;
    }
    return errno;
}

bool wait_asleep(waitable& object, uint32_t word_at_start, const time_record* end) {
    waitable_state& state = *object.state;
    state.sleepers.fetch_add(1);
    bool taken = false;
    for (;;) {
        uint32_t seen = state.word.load();
        if (try_take(state, seen) || set_since(state, seen, word_at_start)) {
            taken = true;
            break;
        }
        // A signal (EINTR) or a change of the word (EAGAIN) only looks again.
        const int result = futex_wait(state, seen, end, object.futex_private_flag);
        if (result != 0 && result != EAGAIN && result != EINTR) {
            // Timed out (or the system refused to wait): one last look.
            seen = state.word.load();
            taken = try_take(state, seen) || set_since(state, seen, word_at_start);
            break;
        }
    }
    state.sleepers.fetch_sub(1);
    return taken;
}

}  // namespace

platform_ptr<waitable> make_waitable(waitable_mode mode, uint32_t initial, uint32_t maximum) {
    platform_ptr<waitable> object(new waitable);
    initialise_state(&object->local, mode, initial, maximum);
    return object;
}

platform_ptr<waitable> open_named_waitable(const char* name, waitable_mode mode, uint32_t initial,
                                           uint32_t maximum) {
    std::unique_ptr<named_object> storage = named_object::create(
        mode == waitable_mode::semaphore ? named_kind::semaphore : named_kind::event, name,
        sizeof(waitable_state),
        [=](void* payload) { initialise_state(payload, mode, initial, maximum); }, nullptr);
    if (!storage) {
        return nullptr;
    }
    platform_ptr<waitable> object(new waitable);
    object->state = static_cast<waitable_state*>(storage->payload());
    object->futex_private_flag = 0;
    object->storage = std::move(storage);
    return object;
}

void platform_deleter::operator()(waitable* object) const {
    delete object;
}

void release(waitable& object) {
    waitable_state& state = *object.state;
    // Both sides are sequentially consistent: either this load sees a
    // sleeper's count, or the sleeper's reload of the word sees the offer.
    if (!offer(state) || state.sleepers.load() == 0) {
        return;
    }
    const int count = state.mode == state_mode::manual_reset_event ? INT_MAX : 1;
    syscall(SYS_futex, futex_word(state), FUTEX_WAKE | object.futex_private_flag, count, nullptr,
            nullptr, 0);
}

void reset(waitable& object) {
    if (object.state->mode != state_mode::semaphore) {
        object.state->word.fetch_and(~event_signalled_bit);
    }
}

bool wait(waitable& object, const time_record* end) {
    uint32_t seen = object.state->word.load();
    return try_take(*object.state, seen) || wait_asleep(object, seen, end);
}

}  // namespace corvane::detail

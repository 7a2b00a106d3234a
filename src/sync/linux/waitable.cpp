// Events and semaphores on a futex word, for Linux. The same code serves a
// process-local state (private futex) and a named one in shared memory
// (shared futex).

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <new>

#include "sync/linux/sync_posix.hpp"

namespace corvane::detail {

namespace {

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

// A manual-reset event set after the wait began releases the waiter, even
// if it was reset again before the waiter ran.
bool set_since(const waitable_state& state, uint32_t seen, uint32_t word_at_start) {
    return state.mode == waitable_mode::manual_reset_event &&
           (seen & ~event_signalled_bit) != (word_at_start & ~event_signalled_bit);
}

waitable_state* initialise_state(void* place, waitable_mode mode, uint32_t initial,
                                 uint32_t maximum) {
    auto* state = new (place) waitable_state{};
    state->mode = mode;
    state->maximum = maximum;
    state->word.store(initial);
    return state;
}

}  // namespace

waitable::waitable(waitable_mode mode, uint32_t initial, uint32_t maximum)
    : state_(initialise_state(&local_, mode, initial, maximum)),
      futex_private_flag_(FUTEX_PRIVATE_FLAG) {}

waitable::waitable(std::unique_ptr<named_object> storage)
    : storage_(std::move(storage)),
      state_(static_cast<waitable_state*>(storage_->payload())),
      futex_private_flag_(0) {}

waitable::~waitable() = default;

std::unique_ptr<named_object> waitable::named_storage(const char* name, waitable_mode mode,
                                                      uint32_t initial, uint32_t maximum) {
    return named_object::create(
        mode == waitable_mode::semaphore ? named_kind::semaphore : named_kind::event, name,
        sizeof(waitable_state),
        [=](void* payload) { initialise_state(payload, mode, initial, maximum); }, nullptr);
}

void waitable::reset() {
    if (state_->mode != waitable_mode::semaphore) {
        state_->word.fetch_and(~event_signalled_bit);
    }
}

bool waitable::wait_asleep(uint32_t word_at_start, const time_record* end) {
    waitable_state& state = *state_;
    state.sleepers.fetch_add(1);
    bool taken = false;
    for (;;) {
        uint32_t seen = state.word.load();
        if (try_take(state, seen) || set_since(state, seen, word_at_start)) {
            taken = true;
            break;
        }
        const int result = futex_wait(state, seen, end, futex_private_flag_);
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

void waitable::wake_sleepers() {
    const int count = state_->mode == waitable_mode::manual_reset_event ? INT_MAX : 1;
    syscall(SYS_futex, futex_word(*state_), FUTEX_WAKE | futex_private_flag_, count, nullptr,
            nullptr, 0);
}

}  // namespace corvane::detail

// Conditions: a process-local recursive lock joined with a condition
// variable.

#include "sync/sync_internal.hpp"

struct os_condition_handle {
    corvane::detail::platform_ptr<corvane::detail::condition_lock> lock =
        corvane::detail::make_condition_lock();
};

using namespace corvane::detail;

namespace {

int32_t result_of(wait_outcome outcome) {
    switch (outcome) {
    case wait_outcome::woken:
        return OS_CONDITION_WOKEN;
    case wait_outcome::timed_out:
        return OS_CONDITION_TIMED_OUT;
    case wait_outcome::failed:
        break;
    }
    return OS_CONDITION_FAILED;
}

}  // namespace

extern "C" {

CORVANE_API os_condition_handle* os_condition_create(void) {
    return new os_condition_handle;
}

CORVANE_API void os_condition_destroy(os_condition_handle** condition) {
    delete *condition;
    *condition = nullptr;
}

CORVANE_API void os_condition_lock(os_condition_handle* condition) {
    if (condition != nullptr) {
        lock(*condition->lock);
    }
}

CORVANE_API void os_condition_unlock(os_condition_handle* condition) {
    if (condition != nullptr) {
        unlock(*condition->lock);
    }
}

CORVANE_API void os_condition_signal(os_condition_handle* condition) {
    if (condition != nullptr) {
        signal(*condition->lock);
    }
}

CORVANE_API int32_t os_condition_wait(os_condition_handle* condition) {
    if (condition == nullptr) {
        return OS_CONDITION_WOKEN;
    }
    return result_of(wait(*condition->lock, nullptr));
}

CORVANE_API int32_t os_condition_wait_timeout(os_condition_handle* condition,
                                              time_record deadline) {
    if (condition == nullptr) {
        return OS_CONDITION_WOKEN;
    }
    const std::optional<time_record> end = wait_end_for(deadline);
    return result_of(wait(*condition->lock, end ? &*end : nullptr));
}

}  // extern "C"

// The caller's last-error value (errno on Linux, GetLastError on Windows),
// which functions that succeed must leave as it was.
#pragma once

#include <cstdint>

namespace corvane::detail {

// Saves the calling thread's last-error value and puts it back when it ends.
class last_error_keeper {
public:
    last_error_keeper();
    ~last_error_keeper();
    last_error_keeper(const last_error_keeper&) = delete;
    last_error_keeper& operator=(const last_error_keeper&) = delete;

private:
    int64_t saved_;
};

}  // namespace corvane::detail

// The last-error value on Linux is errno.

#include "common/last_error.hpp"

#include <cerrno>

namespace corvane::detail {

last_error_keeper::last_error_keeper() : saved_(errno) {}

last_error_keeper::~last_error_keeper() {
    errno = static_cast<int>(saved_);
}

}  // namespace corvane::detail

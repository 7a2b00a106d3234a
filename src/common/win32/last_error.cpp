// The last-error value on Windows is the thread's GetLastError value.

#include "common/last_error.hpp"

#include <windows.h>

namespace corvane::detail {

last_error_keeper::last_error_keeper() : saved_(GetLastError()) {}

last_error_keeper::~last_error_keeper() {
    SetLastError(static_cast<DWORD>(saved_));
}

}  // namespace corvane::detail

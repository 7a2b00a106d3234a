// A system call that a signal interrupted (-1 with EINTR) is repeated: the
// library's callers may install handlers without SA_RESTART.
#pragma once

#include <cerrno>

namespace corvane::detail {

template <typename Call>
auto restart_on_signal(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

}  // namespace corvane::detail

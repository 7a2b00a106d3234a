// Memory locking and file-system sync have no Win32 counterpart: the
// operations keep their fixed results.

#include "sync/sync_platform.hpp"

namespace corvane::detail {

bool lock_all_memory() {
    return true;
}

bool unlock_all_memory() {
    return true;
}

void flush_file_systems() {}

}  // namespace corvane::detail

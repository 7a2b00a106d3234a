// Memory locking and file-system sync for Linux.

#include <sys/mman.h>
#include <unistd.h>

#include "sync/sync_platform.hpp"

namespace corvane::detail {

bool lock_all_memory() {
    return mlockall(MCL_CURRENT | MCL_FUTURE) == 0;
}

bool unlock_all_memory() {
    return munlockall() == 0;
}

void flush_file_systems() {
    sync();
}

}  // namespace corvane::detail

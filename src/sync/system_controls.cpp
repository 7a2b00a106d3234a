// Memory locking, file-system sync and the set-up calls that have nothing to
// set up.

#include "sync/sync_internal.hpp"

using namespace corvane::detail;

extern "C" {

CORVANE_API bool os_memory_manager_mlockall(void) {
    return lock_all_memory();
}

CORVANE_API bool os_memory_manager_munlockall(void) {
    return unlock_all_memory();
}

CORVANE_API bool os_sync_environment_initialize(void) {
    return true;
}

CORVANE_API void os_sync_environment_uninitialize(void) {}

CORVANE_API void os_filesystem_sync(void) {
    flush_file_systems();
}

CORVANE_API void os_system_close_exception(void) {}

}  // extern "C"

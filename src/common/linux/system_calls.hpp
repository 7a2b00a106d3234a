// The system calls whose failures the Linux layer must survive, reached
// through one table. Every call site in the linux/ folders calls through it,
// so a test linked with the library's objects can make the Nth call of a
// kind fail, or come back short, and see what the caller does with that.
// Each entry starts as the real function: unused, it costs one load and an
// indirect call. Nothing in the library changes the table. Paths open
// through openat with AT_FDCWD, so one entry serves every open.
#pragma once

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

namespace corvane::detail {

struct system_call_table {
    decltype(&::openat) openat;
    decltype(&::shm_open) shm_open;
    decltype(&::read) read;
    decltype(&::write) write;
    decltype(&::copy_file_range) copy_file_range;
    decltype(&::ftruncate) ftruncate;
    decltype(&::mmap) mmap;
    decltype(&::fcntl) fcntl;
    decltype(&::poll) poll;
    decltype(&::posix_spawn) posix_spawn;
    decltype(&::iconv) iconv;
};

extern system_call_table system_calls;

}  // namespace corvane::detail

#include "common/linux/system_calls.hpp"

namespace corvane::detail {

system_call_table system_calls = {
    .openat = ::openat,
    .shm_open = ::shm_open,
    .read = ::read,
    .write = ::write,
    .copy_file_range = ::copy_file_range,
    .ftruncate = ::ftruncate,
    .mmap = ::mmap,
    .fcntl = ::fcntl,
    .poll = ::poll,
    .posix_spawn = ::posix_spawn,
    .iconv = ::iconv,
};

}  // namespace corvane::detail

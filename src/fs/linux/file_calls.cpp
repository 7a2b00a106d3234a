// POSIX runtime calls behind the os_clibrary_file_ family.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "common/linux/system_calls.hpp"
#include "fs/file_system.hpp"

namespace corvane::detail {

int32_t runtime_open(const char* path, int32_t flags, int32_t mode) {
    // Close-on-exec stands where the Windows build adds its binary flag: child
    // processes must not inherit the library's descriptors.
    return system_calls.openat(AT_FDCWD, path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
}

int32_t runtime_read(int32_t descriptor, void* buffer, uint32_t count) {
    // The kernel moves at most 0x7ffff000 bytes per call, so the count fits.
    return static_cast<int32_t>(system_calls.read(descriptor, buffer, count));
}

int32_t runtime_write(int32_t descriptor, const void* buffer, uint32_t count) {
    return static_cast<int32_t>(system_calls.write(descriptor, buffer, count));
}

int32_t runtime_seek(int32_t descriptor, int32_t offset, int32_t origin) {
    constexpr off_t largest = std::numeric_limits<int32_t>::max();
    if (origin == SEEK_SET) {
        return static_cast<int32_t>(::lseek(descriptor, offset, SEEK_SET));
    }
    // Relative seeks can land beyond 32 bits: remember where the position
    // was, so that a refused seek leaves it there.
    off_t before = ::lseek(descriptor, 0, SEEK_CUR);
    if (before < 0) {
        return -1;
    }
    off_t after = ::lseek(descriptor, offset, origin);
    if (after > largest) {
        ::lseek(descriptor, before, SEEK_SET);
        errno = EOVERFLOW;
        return -1;
    }
    return static_cast<int32_t>(after);
}

int32_t runtime_close(int32_t descriptor) { return ::close(descriptor); }

int32_t runtime_umask(int32_t mask) {
    return static_cast<int32_t>(::umask(static_cast<mode_t>(mask)));
}

int32_t runtime_unlink(const char* path) { return ::unlink(path); }

int32_t runtime_access(const char* path, int32_t mode) { return ::access(path, mode); }

// The caller's mode is ignored: 0777 lets the process mask decide, as for
// every other program on the system.
int32_t runtime_mkdir(const char* path) { return ::mkdir(path, 0777); }

int32_t runtime_chdir(const char* path) { return ::chdir(path); }

char* runtime_getcwd(char* buffer, int32_t size) {
    return ::getcwd(buffer, size < 0 ? 0 : static_cast<size_t>(size));
}

}  // namespace corvane::detail

// Win32 runtime calls behind the os_clibrary_file_ family: msvcrt's own
// descriptor and directory calls, so descriptors stay valid for callers that
// use the same runtime.

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "fs/file_system.hpp"

namespace corvane::detail {

int32_t runtime_open(const char* path, int32_t flags, int32_t mode) {
    // Binary: bytes are never translated. Not inherited: child processes
    // must not hold the library's descriptors, as on Linux.
    int descriptor = -1;
    return _sopen_s(&descriptor, path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, mode) == 0
               ? descriptor
               : -1;
}

int32_t runtime_read(int32_t descriptor, void* buffer, uint32_t count) {
    return _read(descriptor, buffer, count);
}

int32_t runtime_write(int32_t descriptor, const void* buffer, uint32_t count) {
    return _write(descriptor, buffer, count);
}

int32_t runtime_seek(int32_t descriptor, int32_t offset, int32_t origin) {
    // 64-bit seeks, so that a position beyond 32 bits fails instead of
    // wrapping, and a refused seek leaves the position where it was.
    const int64_t before = _lseeki64(descriptor, 0, SEEK_CUR);
    if (before < 0) {
        return -1;
    }
    const int64_t after = _lseeki64(descriptor, offset, origin);
    if (after > std::numeric_limits<int32_t>::max()) {
        _lseeki64(descriptor, before, SEEK_SET);
        errno = EOVERFLOW;
        return -1;
    }
    return static_cast<int32_t>(after);
}

int32_t runtime_close(int32_t descriptor) { return _close(descriptor); }

int32_t runtime_umask(int32_t mask) { return _umask(mask); }

int32_t runtime_unlink(const char* path) { return _unlink(path); }

int32_t runtime_access(const char* path, int32_t mode) { return _access(path, mode); }

int32_t runtime_mkdir(const char* path) { return _mkdir(path); }

int32_t runtime_chdir(const char* path) { return _chdir(path); }

char* runtime_getcwd(char* buffer, int32_t size) { return _getcwd(buffer, size); }

}  // namespace corvane::detail

// The os_clibrary_file_ family: the runtime library's descriptor and
// directory calls, forwarded with arguments and results unchanged.

#include "corvane/fs.h"
#include "fs/file_system.hpp"

using namespace corvane::detail;

extern "C" {

CORVANE_API int32_t os_clibrary_file_open(const char* path, int32_t flags, int32_t mode) {
    return runtime_open(path, flags, mode);
}

CORVANE_API int32_t os_clibrary_file_read(int32_t descriptor, void* buffer, uint32_t count) {
    return runtime_read(descriptor, buffer, count);
}

CORVANE_API int32_t os_clibrary_file_write(int32_t descriptor, const void* buffer,
                                           uint32_t count) {
    return runtime_write(descriptor, buffer, count);
}

CORVANE_API int32_t os_clibrary_file_seek(int32_t descriptor, int32_t offset, int32_t origin) {
    return runtime_seek(descriptor, offset, origin);
}

CORVANE_API int32_t os_clibrary_file_close(int32_t descriptor) { return runtime_close(descriptor); }

CORVANE_API int32_t os_clibrary_file_umask(int32_t mask) { return runtime_umask(mask); }

CORVANE_API int32_t os_clibrary_file_unlink(const char* path) { return runtime_unlink(path); }

CORVANE_API int32_t os_clibrary_file_access(const char* path, int32_t mode) {
    return runtime_access(path, mode);
}

CORVANE_API int32_t os_clibrary_file_mkdir(const char* path, int32_t /*mode*/) {
    return runtime_mkdir(path);
}

CORVANE_API int32_t os_clibrary_file_chdir(const char* path) { return runtime_chdir(path); }

CORVANE_API char* os_clibrary_file_getcwd(char* buffer, int32_t size) {
    return runtime_getcwd(buffer, size);
}

}  // extern "C"

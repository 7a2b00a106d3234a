// Linux rename that never replaces its target.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "fs/file_system.hpp"

namespace corvane::detail {

namespace {

// For file systems whose rename cannot refuse an existing target.
bool rename_without_replacing(const std::string& from, const std::string& to) {
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        // link() refuses an existing target atomically; the old name goes
        // only once the new one is in place.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0) {
                return true;
            }
            int error = errno;
            ::unlink(to.c_str());
            errno = error;
            return false;
        }
        if (errno == EEXIST || errno == EXDEV || errno == ENOENT) {
            return false;
        }
    }
    // No atomic way is left: test, then rename. Another process can still
    // create the target between the two calls.
    if (::lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool rename_in_place(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
    return rename_without_replacing(from, to);
}

}  // namespace

rename_result rename_entry(const std::string& from, const std::string& to) {
    if (rename_in_place(from, to)) {
        return rename_result::done;
    }
    return errno == EXDEV ? rename_result::other_volume : rename_result::failed;
}

}  // namespace corvane::detail

// POSIX move: a rename that never replaces its target, and a copy followed
// by a removal when the two names lie on different file systems.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "fs/path_rules.hpp"
#include "fs/linux/posix_io.hpp"

namespace corvane::detail {

namespace {

// The last step of a move that made the new name first: remove the old one,
// or, when that fails, the new one again, so that one name remains.
bool drop_old_name(const std::string& from, const std::string& to) {
    if (::unlink(from.c_str()) == 0) {
        return true;
    }
    int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

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
            return drop_old_name(from, to);
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

bool rename_entry(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
    return rename_without_replacing(from, to);
}

bool move_folder_across(const std::string& from, const std::string& to) {
    if (!make_folder(to)) {
        return false;
    }
    auto [to_parent, to_name] = split_last_component(to);
    if (!copy_folder_content(from, to)) {
        remove_tree(to_parent, to_name);
        return false;
    }
    // A source that cannot be removed completely stays with the complete
    // copy: nothing is lost, and the result tells the caller.
    auto [from_parent, from_name] = split_last_component(from);
    return remove_tree(from_parent, from_name);
}

bool move_across_file_systems(const std::string& from, const std::string& to) {
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0) {
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        return move_folder_across(from, to);
    }
    posix::file_end source{AT_FDCWD, from.c_str()};
    posix::file_end destination{AT_FDCWD, to.c_str()};
    bool copied = false;
    if (S_ISLNK(info.st_mode)) {
        copied = posix::copy_link(source, destination, false);
    } else if (S_ISREG(info.st_mode)) {
        copied = posix::copy_file_content(source, destination, O_NOFOLLOW,
                                          posix::copy_target::exclusive);
    } else {
        copied = posix::copy_node(source, destination);
    }
    return copied && drop_old_name(from, to);
}

}  // namespace

bool move_entry(const std::string& from, const std::string& to) {
    if (rename_entry(from, to)) {
        return true;
    }
    return errno == EXDEV && move_across_file_systems(from, to);
}

}  // namespace corvane::detail

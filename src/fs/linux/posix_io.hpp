// Linux helpers shared by the files of src/fs/linux: descriptor ownership,
// restarts after signals and the file copy used by os_file_copy, the tree
// copy and the cross-file-system move.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/linux/restart_on_signal.hpp"
#include "common/linux/unique_fd.hpp"
#include "fs/file_system.hpp"

namespace corvane::detail::posix {

using corvane::detail::unique_fd;

using corvane::detail::restart_on_signal;

inline int descriptor_of(const folder_listing& listing) {
    return dirfd(static_cast<DIR*>(listing.native_state()));
}

// What an entry is, by its mode.
inline listed_kind kind_of(mode_t mode) {
    if (S_ISDIR(mode)) {
        return listed_kind::folder;
    }
    if (S_ISLNK(mode)) {
        return listed_kind::link;
    }
    return S_ISREG(mode) ? listed_kind::file : listed_kind::other;
}

inline bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// One end of a file copy: a name relative to a folder descriptor (AT_FDCWD
// for paths).
struct file_end {
    int folder;
    const char* name;
};

// Copies the content of `source` to `destination`; `open_flags` are added to
// both opens (O_NOFOLLOW | O_NONBLOCK inside a tree). The source must be a
// regular file, or any non-folder when `open_flags` is 0. Refuses a
// destination that is the source itself. With copy_target::exclusive the
// destination keeps the source's permission bits and times (a move).
bool copy_file_content(file_end source, file_end destination, int open_flags,
                       copy_target target);

// Creates at `destination` a symbolic link with the target of the link
// `source`; replaces a link (never anything else) that is there already
// when `replace_link` is set.
bool copy_link(file_end source, file_end destination, bool replace_link);

// Recreates a FIFO, socket or device node.
bool copy_node(file_end source, file_end destination);

}  // namespace corvane::detail::posix

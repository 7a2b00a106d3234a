// Linux primitives for folders and for the entries of open folders. Entries
// are reached through the descriptor of their open folder (openat with
// O_NOFOLLOW, unlinkat, fstatat without following links), so a link inside a
// tree is never followed, and a folder swapped for a link while a tree
// operation runs leads nowhere outside the tree.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fs/linux/posix_io.hpp"

namespace corvane::detail {

bool make_folder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool remove_empty_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool same_folder(const folder_listing& a, const folder_listing& b) {
    struct stat a_info {};
    struct stat b_info {};
    return ::fstat(posix::descriptor_of(a), &a_info) == 0 &&
           ::fstat(posix::descriptor_of(b), &b_info) == 0 && posix::same_file(a_info, b_info);
}

bool entry_kind_at(entry_at entry, listed_kind& kind) {
    struct stat info {};
    if (::fstatat(posix::descriptor_of(entry.folder), entry.name, &info, AT_SYMLINK_NOFOLLOW) !=
        0) {
        return false;
    }
    kind = posix::kind_of(info.st_mode);
    return true;
}

removal remove_at(entry_at entry, bool as_folder) {
    if (::unlinkat(posix::descriptor_of(entry.folder), entry.name, as_folder ? AT_REMOVEDIR : 0) ==
        0) {
        return removal::done;
    }
    if (errno == (as_folder ? ENOTDIR : EISDIR)) {
        return as_folder ? removal::not_folder : removal::is_folder;
    }
    return removal::failed;
}

bool make_folder_at(entry_at entry) {
    return ::mkdirat(posix::descriptor_of(entry.folder), entry.name, 0777) == 0 || errno == EEXIST;
}

bool copy_entry_at(entry_at source, listed_kind kind, entry_at destination, copy_target target) {
    posix::file_end from{posix::descriptor_of(source.folder), source.name};
    posix::file_end to{posix::descriptor_of(destination.folder), destination.name};
    switch (kind) {
        case listed_kind::file:
            return posix::copy_file_content(from, to, O_NOFOLLOW | O_NONBLOCK, target);
        case listed_kind::link: return posix::copy_link(from, to, target == copy_target::replace);
        case listed_kind::other: return posix::copy_node(from, to);
        case listed_kind::folder: break;
    }
    return false;
}

}  // namespace corvane::detail

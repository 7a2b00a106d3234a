// POSIX primitives for folders: creation, removal of a whole tree and the
// tree copy. Trees are handled through descriptors of open folders
// (openat with O_NOFOLLOW, unlinkat, fstatat without following links), so a
// link inside a tree is never followed, and a folder swapped for a link
// while the work runs leads nowhere outside the tree.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fs/linux/posix_io.hpp"

namespace corvane::detail {

namespace {

using posix::descriptor_of;

// ---- Removal

bool remove_entry(const folder_listing& parent, const char* name, listed_kind kind);

bool remove_folder_content(const folder_listing& parent, const char* name) {
    folder_listing folder(parent, name);
    if (!folder.is_open()) {
        return false;
    }
    bool removed_all = true;
    listed_entry entry{};
    while (folder.next(entry)) {
        removed_all = remove_entry(folder, entry.name, entry.kind) && removed_all;
    }
    return removed_all && !folder.failed();
}

bool remove_entry(const folder_listing& parent, const char* name, listed_kind kind) {
    int folder = descriptor_of(parent);
    if (kind != listed_kind::folder) {
        if (::unlinkat(folder, name, 0) == 0) {
            return true;
        }
        // Replaced by a folder since it was listed.
        if (errno != EISDIR) {
            return false;
        }
    }
    bool emptied = remove_folder_content(parent, name);
    if (::unlinkat(folder, name, AT_REMOVEDIR) == 0) {
        return emptied;
    }
    // Swapped for a link or a file since it was listed: remove that entry,
    // never what a link points to.
    return (errno == ENOTDIR && ::unlinkat(folder, name, 0) == 0) && emptied;
}

// ---- Copy

class tree_copy {
public:
    explicit tree_copy(const struct stat& destination_root) : destination_root_(destination_root) {}

    bool copy_level(folder_listing& source, int destination) {
        listed_entry entry{};
        while (source.next(entry)) {
            if (!copy_entry(source, entry, destination)) {
                return false;
            }
        }
        return !source.failed();
    }

private:
    bool copy_entry(const folder_listing& source, const listed_entry& entry, int destination) {
        posix::file_end from{descriptor_of(source), entry.name};
        posix::file_end to{destination, entry.name};
        switch (entry.kind) {
            case listed_kind::folder: return copy_sub_folder(source, entry.name, destination);
            case listed_kind::file:
                return posix::copy_file_content(from, to, O_NOFOLLOW | O_NONBLOCK,
                                                posix::copy_target::replace);
            case listed_kind::link: return posix::copy_link(from, to, true);
            case listed_kind::other: return posix::copy_node(from, to);
        }
        return false;
    }

    bool copy_sub_folder(const folder_listing& source, const char* name, int destination) {
        folder_listing sub_source(source, name);
        struct stat source_info {};
        if (!sub_source.is_open() || ::fstat(descriptor_of(sub_source), &source_info) != 0) {
            return false;
        }
        // The destination inside the source tree: copying it would copy the
        // copy again, without end.
        if (posix::same_file(source_info, destination_root_)) {
            return false;
        }
        if (::mkdirat(destination, name, 0777) != 0 && errno != EEXIST) {
            return false;
        }
        posix::unique_fd sub_destination(posix::restart_on_signal([&] {
            return ::openat(destination, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }));
        return sub_destination && copy_level(sub_source, sub_destination.get());
    }

    struct stat destination_root_;
};

}  // namespace

bool make_folder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool remove_empty_folder(const std::string& path) { return ::rmdir(path.c_str()) == 0; }

bool remove_tree(const std::string& parent, const std::string& name) {
    folder_listing parent_folder(parent.empty() ? std::string(".") : parent);
    struct stat info {};
    if (!parent_folder.is_open() ||
        ::fstatat(descriptor_of(parent_folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    return remove_entry(parent_folder, name.c_str(),
                        S_ISDIR(info.st_mode) ? listed_kind::folder : listed_kind::file);
}

bool copy_folder_content(const std::string& source, const std::string& destination) {
    folder_listing source_folder(source);
    posix::unique_fd destination_folder(posix::restart_on_signal(
        [&] { return ::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    struct stat source_info {};
    struct stat destination_info {};
    if (!source_folder.is_open() || !destination_folder ||
        ::fstat(descriptor_of(source_folder), &source_info) != 0 ||
        ::fstat(destination_folder.get(), &destination_info) != 0 ||
        posix::same_file(source_info, destination_info)) {
        return false;
    }
    return tree_copy(destination_info).copy_level(source_folder, destination_folder.get());
}

}  // namespace corvane::detail

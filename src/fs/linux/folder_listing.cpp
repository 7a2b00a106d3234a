// Linux folder listing: readdir on descriptors opened relative to the parent
// folder, so that a walk never resolves a path twice and never follows a
// link below its starting folder.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/linux/system_calls.hpp"
#include "fs/linux/posix_io.hpp"

namespace corvane::detail {

namespace {

constexpr int folder_open_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

void* stream_for(int fd) {
    if (fd < 0) {
        return nullptr;
    }
    DIR* stream = ::fdopendir(fd);
    if (stream == nullptr) {
        ::close(fd);
    }
    return stream;
}

bool is_dot_or_dot_dot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

folder_listing::folder_listing(const std::string& path)
    : state_(stream_for(posix::restart_on_signal(
          [&] { return system_calls.openat(AT_FDCWD, path.c_str(), folder_open_flags); }))) {}

folder_listing::folder_listing(entry_at sub_folder)
    : state_(stream_for(posix::restart_on_signal([&] {
          return system_calls.openat(posix::descriptor_of(sub_folder.folder), sub_folder.name,
                                     folder_open_flags | O_NOFOLLOW);
      }))) {}

folder_listing::~folder_listing() {
    if (state_ != nullptr) {
        ::closedir(static_cast<DIR*>(state_));
    }
}

bool folder_listing::next(listed_entry& entry) {
    DIR* stream = static_cast<DIR*>(state_);
    for (;;) {
        errno = 0;
        const struct dirent* found = ::readdir(stream);
        if (found == nullptr) {
            failed_ = errno != 0;
            return false;
        }
        if (is_dot_or_dot_dot(found->d_name)) {
            continue;
        }
        entry.name = found->d_name;
        switch (found->d_type) {
            case DT_DIR: entry.kind = listed_kind::folder; return true;
            case DT_REG: entry.kind = listed_kind::file; return true;
            case DT_LNK: entry.kind = listed_kind::link; return true;
            case DT_UNKNOWN: break;
            default: entry.kind = listed_kind::other; return true;
        }
        // Some file systems leave the type out of the entry: ask for it,
        // without following a link. An entry gone meanwhile is skipped.
        struct stat info {};
        if (::fstatat(dirfd(stream), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.kind = posix::kind_of(info.st_mode);
            return true;
        }
    }
}

}  // namespace corvane::detail

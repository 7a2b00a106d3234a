// POSIX primitives for single files: the entry test, creation, removal and
// the content copy.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include "common/linux/system_calls.hpp"
#include "fs/path_rules.hpp"
#include "fs/linux/posix_io.hpp"

namespace corvane::detail {

namespace posix {

namespace {

// Files the library creates: read and write for everyone, as the mask allows.
constexpr mode_t created_file_mode = 0666;

// copy_file_range moves at most this much per call on every kernel.
constexpr size_t kernel_copy_chunk = size_t{1} << 30;

// The read/write fallback's block: large blocks keep the syscall count low.
constexpr size_t copy_block_size = 256 * 1024;

bool write_all(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t put = restart_on_signal([&] { return system_calls.write(fd, data, size); });
        // A short write is progress; only an error or a write that moves
        // nothing ends the copy.
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool copy_by_blocks(int source, int destination) {
    std::unique_ptr<char[]> block(new char[copy_block_size]);
    for (;;) {
        ssize_t got = restart_on_signal(
            [&] { return system_calls.read(source, block.get(), copy_block_size); });
        if (got == 0) {
            return true;
        }
        if (got < 0 || !write_all(destination, block.get(), static_cast<size_t>(got))) {
            return false;
        }
    }
}

// Errors of copy_file_range that mean "not between these two files", not
// that the data cannot be read or written.
bool kernel_copy_refused(int error) {
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP ||
           error == EBADF || error == EPERM;
}

// Copies from the current positions to the end of `source`.
bool copy_descriptor(int source, const struct stat& source_info, int destination) {
    // Files of pseudo file systems report size 0 and make copy_file_range
    // copy nothing: they go through read/write at once.
    if (S_ISREG(source_info.st_mode) && source_info.st_size > 0) {
        bool moved_any = false;
        for (;;) {
            ssize_t moved = restart_on_signal([&] {
                return system_calls.copy_file_range(source, nullptr, destination, nullptr,
                                                    kernel_copy_chunk, 0);
            });
            if (moved > 0) {
                moved_any = true;
                continue;
            }
            if (moved == 0 && moved_any) {
                return true;
            }
            if (moved < 0 && !kernel_copy_refused(errno)) {
                return false;
            }
            break;
        }
    }
    return copy_by_blocks(source, destination);
}

// The move's copy keeps what a rename would have kept.
bool keep_mode_and_times(int destination, const struct stat& source_info) {
    const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
    return ::fchmod(destination, source_info.st_mode & 07777) == 0 &&
           ::futimens(destination, times) == 0;
}

bool fill_destination(int from, const struct stat& from_info, unique_fd& to, copy_target target) {
    struct stat to_info {};
    if (::fstat(to.get(), &to_info) != 0) {
        return false;
    }
    // The destination is emptied only now that it is known not to be the
    // source: truncating on open would destroy a file copied onto itself.
    if (same_file(from_info, to_info) ||
        (S_ISREG(to_info.st_mode) && to_info.st_size != 0 &&
         restart_on_signal([&] { return system_calls.ftruncate(to.get(), 0); }) != 0)) {
        return false;
    }
    if (!copy_descriptor(from, from_info, to.get())) {
        return false;
    }
    if (target == copy_target::exclusive && !keep_mode_and_times(to.get(), from_info)) {
        return false;
    }
    return to.close();
}

bool clear_no_wait(int fd) {
    const int flags = system_calls.fcntl(fd, F_GETFL);
    return flags >= 0 && system_calls.fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace

bool copy_file_content(file_end source, file_end destination, int open_flags,
                       copy_target target) {
    // Named pipes open without waiting for their other end (a destination
    // without a reader then fails); transfers afterwards block as usual.
    constexpr int no_wait = O_NONBLOCK | O_NOCTTY;
    unique_fd from(restart_on_signal([&] {
        return system_calls.openat(source.folder, source.name,
                                   O_RDONLY | O_CLOEXEC | no_wait | open_flags);
    }));
    struct stat from_info {};
    if (!from || ::fstat(from.get(), &from_info) != 0 || S_ISDIR(from_info.st_mode) ||
        (open_flags != 0 && !S_ISREG(from_info.st_mode))) {
        return false;
    }
    int create = target == copy_target::exclusive ? O_CREAT | O_EXCL : O_CREAT;
    unique_fd to(restart_on_signal([&] {
        return system_calls.openat(destination.folder, destination.name,
                                   O_WRONLY | O_CLOEXEC | create | no_wait | open_flags,
                                   created_file_mode);
    }));
    if (!to || !clear_no_wait(from.get()) || !clear_no_wait(to.get())) {
        return false;
    }
    if (fill_destination(from.get(), from_info, to, target)) {
        return true;
    }
    // A file that this call created exclusively is nobody else's: a failed
    // move leaves no half-written copy behind.
    if (target == copy_target::exclusive) {
        int error = errno;
        ::unlinkat(destination.folder, destination.name, 0);
        errno = error;
    }
    return false;
}

bool copy_link(file_end source, file_end destination, bool replace_link) {
    struct stat info {};
    if (::fstatat(source.folder, source.name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode)) {
        return false;
    }
    // A link's size is its target's length; a target that changed meanwhile
    // shows as a full buffer and is read again.
    std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
    for (;;) {
        ssize_t length = ::readlinkat(source.folder, source.name, target.data(), target.size());
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < target.size()) {
            target.resize(static_cast<size_t>(length));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (::symlinkat(target.c_str(), destination.folder, destination.name) == 0) {
        return true;
    }
    struct stat existing {};
    if (errno != EEXIST || !replace_link ||
        ::fstatat(destination.folder, destination.name, &existing, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(existing.st_mode) || ::unlinkat(destination.folder, destination.name, 0) != 0) {
        return false;
    }
    return ::symlinkat(target.c_str(), destination.folder, destination.name) == 0;
}

bool copy_node(file_end source, file_end destination) {
    struct stat info {};
    return ::fstatat(source.folder, source.name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::mknodat(destination.folder, destination.name, info.st_mode, info.st_rdev) == 0;
}

}  // namespace posix

entry_kind probe_entry(const std::string& path) {
    struct stat info {};
    if (::access(path.c_str(), F_OK) != 0 || ::stat(path.c_str(), &info) != 0) {
        return entry_kind::missing;
    }
    return S_ISDIR(info.st_mode) ? entry_kind::folder : entry_kind::file;
}

bool path_is_relative(const char* path) { return !is_separator(path[0]); }

bool create_file(const std::string& path) {
    // O_NONBLOCK: opening an existing named pipe must not wait for a writer.
    posix::unique_fd file(posix::restart_on_signal([&] {
        return system_calls.openat(AT_FDCWD, path.c_str(),
                                   O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                                   posix::created_file_mode);
    }));
    // An existing file that the caller may not read exists all the same.
    return static_cast<bool>(file) || probe_entry(path) == entry_kind::file;
}

bool copy_file(const std::string& source, const std::string& destination) {
    return posix::copy_file_content({AT_FDCWD, source.c_str()}, {AT_FDCWD, destination.c_str()}, 0,
                                    copy_target::replace);
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace corvane::detail

// Win32 primitives for single files: the entry test, creation, removal, the
// rename and the content copy, as the library's own block copy through the
// runtime's descriptor calls.

#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlwapi.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fs/path_rules.hpp"
#include "fs/win32/win32_io.hpp"

namespace corvane::detail {

namespace win32 {

namespace {

constexpr int copy_block_size = 256 * 1024;

constexpr int private_flags = _O_BINARY | _O_NOINHERIT;

// Owns one runtime descriptor.
class descriptor {
public:
    explicit descriptor(int fd) : fd_(fd) {}
    ~descriptor() {
        if (fd_ >= 0) {
            _close(fd_);
        }
    }
    descriptor(const descriptor&) = delete;
    descriptor& operator=(const descriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    HANDLE handle() const { return reinterpret_cast<HANDLE>(_get_osfhandle(fd_)); }
    // Closes now and reports the result: a failed close can mean that
    // written data never reached the file.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return _close(fd) == 0;
    }

private:
    int fd_;
};

int open_file(const std::string& path, int flags) {
    int fd = -1;
    return _sopen_s(&fd, path.c_str(), flags | private_flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) ==
                   0
               ? fd
               : -1;
}

bool write_all(int fd, const char* data, int size) {
    while (size > 0) {
        int put = _write(fd, data, static_cast<unsigned>(size));
        // A short write is progress; only an error or a write that moves
        // nothing ends the copy.
        if (put <= 0) {
            return false;
        }
        data += put;
        size -= put;
    }
    return true;
}

bool copy_blocks(int from, int to) {
    std::unique_ptr<char[]> block(new char[copy_block_size]);
    for (;;) {
        int got = _read(from, block.get(), copy_block_size);
        if (got == 0) {
            return true;
        }
        if (got < 0 || !write_all(to, block.get(), got)) {
            return false;
        }
    }
}

// The move's copy keeps what a rename would have kept.
bool keep_times_and_attributes(HANDLE from, HANDLE to, const std::string& to_path) {
    FILETIME created{};
    FILETIME accessed{};
    FILETIME written{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileTime(from, &created, &accessed, &written) == 0 ||
        SetFileTime(to, &created, &accessed, &written) == 0 ||
        GetFileInformationByHandle(from, &info) == 0) {
        return false;
    }
    return (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0 ||
           SetFileAttributesA(to_path.c_str(), info.dwFileAttributes) != 0;
}

bool fill_destination(descriptor& from, descriptor& to, const std::string& to_path,
                      copy_target target) {
    // The destination is emptied only now that it is known not to be the
    // source: truncating on open would destroy a file copied onto itself.
    // It is still at offset 0, so one SetEndOfFile empties it (the
    // runtime's _chsize_s takes several system calls for the same).
    if (same_object(from.handle(), to.handle()) || SetEndOfFile(to.handle()) == 0 ||
        !copy_blocks(from.get(), to.get())) {
        return false;
    }
    if (target == copy_target::exclusive &&
        !keep_times_and_attributes(from.handle(), to.handle(), to_path)) {
        return false;
    }
    return to.close();
}

}  // namespace

// The file ids name a file without the volume query that
// GetFileInformationByHandle adds (under Wine a round trip to the mount
// manager's process, for each handle); a file system that gives no such id
// is compared the older way.
bool same_object(HANDLE a, HANDLE b) {
    FILE_ID_INFO a_id{};
    FILE_ID_INFO b_id{};
    if (GetFileInformationByHandleEx(a, FileIdInfo, &a_id, sizeof a_id) != 0 &&
        GetFileInformationByHandleEx(b, FileIdInfo, &b_id, sizeof b_id) != 0) {
        return a_id.VolumeSerialNumber == b_id.VolumeSerialNumber &&
               std::memcmp(&a_id.FileId, &b_id.FileId, sizeof a_id.FileId) == 0;
    }
    BY_HANDLE_FILE_INFORMATION a_info{};
    BY_HANDLE_FILE_INFORMATION b_info{};
    return GetFileInformationByHandle(a, &a_info) != 0 &&
           GetFileInformationByHandle(b, &b_info) != 0 &&
           a_info.dwVolumeSerialNumber == b_info.dwVolumeSerialNumber &&
           a_info.nFileIndexHigh == b_info.nFileIndexHigh &&
           a_info.nFileIndexLow == b_info.nFileIndexLow;
}

bool copy_file_content(const std::string& source, const std::string& destination,
                       copy_target target) {
    const DWORD existing = GetFileAttributesA(destination.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && is_redirect(existing)) {
        return false;
    }
    descriptor from(open_file(source, _O_RDONLY));
    if (!from) {
        return false;
    }
    int create = target == copy_target::exclusive ? _O_CREAT | _O_EXCL : _O_CREAT;
    descriptor to(open_file(destination, _O_WRONLY | create));
    if (!to) {
        return false;
    }
    if (fill_destination(from, to, destination, target)) {
        return true;
    }
    // A file that this call created exclusively is nobody else's: a failed
    // move leaves no half-written copy behind.
    if (target == copy_target::exclusive) {
        to.close();
        DeleteFileA(destination.c_str());
    }
    return false;
}

}  // namespace win32

entry_kind probe_entry(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return entry_kind::missing;
    }
    if (!win32::is_redirect(attributes)) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? entry_kind::folder
                                                            : entry_kind::file;
    }
    // A link counts as what it points to: opening follows it, and a
    // dangling one fails.
    HANDLE target = CreateFileA(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        return entry_kind::missing;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(target, &info) != 0;
    CloseHandle(target);
    if (!known) {
        return entry_kind::missing;
    }
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? entry_kind::folder
                                                                   : entry_kind::file;
}

bool path_is_relative(const char* path) {
    // Both separators are accepted on input: "/a" is rooted as "\a" is.
    return PathIsRelativeA(system_path(path).c_str()) != FALSE;
}

bool create_file(const std::string& path) {
    int fd = win32::open_file(path, _O_CREAT | _O_RDONLY);
    if (fd >= 0) {
        _close(fd);
        return true;
    }
    // An existing file that the caller may not read exists all the same.
    return probe_entry(path) == entry_kind::file;
}

bool copy_file(const std::string& source, const std::string& destination) {
    return win32::copy_file_content(source, destination, copy_target::replace);
}

rename_result rename_entry(const std::string& from, const std::string& to) {
    // The runtime's rename never replaces an existing destination and moves
    // files across volumes itself. A folder it cannot move to another
    // volume fails as "access denied"; asked again without copying, the
    // system names the real reason.
    if (std::rename(from.c_str(), to.c_str()) == 0 || MoveFileExA(from.c_str(), to.c_str(), 0) != 0) {
        return rename_result::done;
    }
    return GetLastError() == ERROR_NOT_SAME_DEVICE ? rename_result::other_volume : rename_result::failed;
}

bool remove_file(const std::string& path) {
    if (_unlink(path.c_str()) == 0) {
        return true;
    }
    // A link to a folder is removed as a folder, never what it points to.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && win32::is_redirect(attributes) &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && RemoveDirectoryA(path.c_str()) != 0;
}

bool make_folder(const std::string& path) { return _mkdir(path.c_str()) == 0; }

bool remove_empty_folder(const std::string& path) {
    // A link to a folder is no folder here, as on Linux.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && win32::is_real_folder(attributes) &&
           RemoveDirectoryA(path.c_str()) != 0;
}

}  // namespace corvane::detail

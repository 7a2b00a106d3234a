// Win32 primitives for the entries of open folders. Each open folder is
// pinned by a handle that shares neither deletion nor renaming (see
// open_folder), so a name below it cannot be redirected while the work
// runs; reparse points (links and junctions) are removed or recreated as
// what they are, never entered.

#include <windows.h>
#include <winioctl.h>

#include <cstddef>

#include <string>
#include <vector>

#include "fs/win32/win32_io.hpp"

namespace corvane::detail {

namespace {

// The layout of a link's reparse data (the driver kit's
// REPARSE_DATA_BUFFER, symbolic-link case).
struct link_reparse_data {
    DWORD tag;
    WORD data_length;
    WORD reserved;
    WORD substitute_offset;
    WORD substitute_length;
    WORD print_offset;
    WORD print_length;
    ULONG flags;  // 1: the target is relative to the link's folder
    WCHAR path[1];
};

// The target of the symbolic link at `path`, as its maker wrote it (a
// relative target stays relative); junctions and other reparse points give
// false.
bool read_link(const std::string& path, std::wstring& target) {
    HANDLE link = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (link == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::vector<char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    const bool read = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &size, nullptr) != 0;
    CloseHandle(link);
    const auto* data = reinterpret_cast<const link_reparse_data*>(buffer.data());
    if (!read || size < offsetof(link_reparse_data, path) || data->tag != IO_REPARSE_TAG_SYMLINK ||
        offsetof(link_reparse_data, path) + data->print_offset + data->print_length > size) {
        return false;
    }
    // The printable name is what the link's maker wrote, without the
    // system's "\??\" prefix.
    target.assign(data->path + data->print_offset / sizeof(WCHAR),
                  data->print_length / sizeof(WCHAR));
    return true;
}

bool copy_link(const std::string& from, const std::string& to, copy_target target) {
    const DWORD attributes = GetFileAttributesA(from.c_str());
    std::wstring link_target;
    if (attributes == INVALID_FILE_ATTRIBUTES || !read_link(from, link_target)) {
        return false;
    }
    // Replacing removes only a link that is there, never anything else.
    const DWORD existing = GetFileAttributesA(to.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (target != copy_target::replace || !win32::is_redirect(existing) ||
            !((existing & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryA(to.c_str())
                                                         : DeleteFileA(to.c_str()))) {
            return false;
        }
    }
    std::wstring wide_to(to.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, to.c_str(), -1, wide_to.data(),
                                     static_cast<int>(wide_to.size()));
    if (length == 0) {
        return false;
    }
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    }
    return CreateSymbolicLinkW(wide_to.c_str(), link_target.c_str(), flags) != 0;
}

}  // namespace

bool same_folder(const folder_listing& a, const folder_listing& b) {
    return win32::same_object(win32::state_of(a).pin, win32::state_of(b).pin);
}

bool entry_kind_at(entry_at entry, listed_kind& kind) {
    const DWORD attributes = GetFileAttributesA(win32::path_of(entry).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    kind = win32::kind_of(attributes);
    return true;
}

removal remove_at(entry_at entry, bool as_folder) {
    const std::string path = win32::path_of(entry);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return removal::failed;
    }
    if (win32::is_real_folder(attributes) != as_folder) {
        return as_folder ? removal::not_folder : removal::is_folder;
    }
    // A link to a folder goes with RemoveDirectoryA, which removes the
    // link itself.
    const bool removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                             ? RemoveDirectoryA(path.c_str()) != 0
                             : DeleteFileA(path.c_str()) != 0;
    return removed ? removal::done : removal::failed;
}

bool make_folder_at(entry_at entry) {
    return CreateDirectoryA(win32::path_of(entry).c_str(), nullptr) != 0 ||
           GetLastError() == ERROR_ALREADY_EXISTS;
}

bool copy_entry_at(entry_at source, listed_kind kind, entry_at destination, copy_target target) {
    const std::string from = win32::path_of(source);
    const std::string to = win32::path_of(destination);
    switch (kind) {
        case listed_kind::file: return win32::copy_file_content(from, to, target);
        case listed_kind::link: return copy_link(from, to, target);
        case listed_kind::folder:
        case listed_kind::other: break;
    }
    return false;
}

}  // namespace corvane::detail

// Win32 folder listing over FindFirstFileA/FindNextFileA, the folder pinned
// by a handle for as long as the listing is open.

#include <string>

#include "fs/path_rules.hpp"
#include "fs/win32/win32_io.hpp"

namespace corvane::detail {

namespace {

// Opens the folder at `path` and pins it; a sub-folder of a tree
// (`allow_redirect` false) must be a real folder, never a link or junction.
void* open_state(std::string path, bool allow_redirect) {
    std::string folder = path;
    trim_trailing_separators(folder, windows_paths);
    // The name is looked at too: Wine opens a host link's target even when
    // asked for the link itself, and only the attributes of the name tell.
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (!allow_redirect && win32::is_redirect(attributes))) {
        return nullptr;
    }
    HANDLE pin = CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS |
                                 (allow_redirect ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
                             nullptr);
    if (pin == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    // The basic information holds the attributes without the volume query
    // of GetFileInformationByHandle, costly under Wine.
    FILE_BASIC_INFO info{};
    if (GetFileInformationByHandleEx(pin, FileBasicInfo, &info, sizeof info) == 0 ||
        (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (!allow_redirect && win32::is_redirect(info.FileAttributes))) {
        CloseHandle(pin);
        return nullptr;
    }
    auto* state = new win32::open_folder;
    state->path = std::move(path);
    ensure_trailing_separator(state->path, windows_paths);
    state->pin = pin;
    return state;
}

bool is_dot_or_dot_dot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

folder_listing::folder_listing(const std::string& path) : state_(open_state(path, true)) {}

folder_listing::folder_listing(entry_at sub_folder)
    : state_(open_state(win32::path_of(sub_folder), false)) {}

folder_listing::~folder_listing() {
    auto* state = static_cast<win32::open_folder*>(state_);
    if (state == nullptr) {
        return;
    }
    if (state->search != INVALID_HANDLE_VALUE) {
        FindClose(state->search);
    }
    CloseHandle(state->pin);
    delete state;
}

bool folder_listing::next(listed_entry& entry) {
    auto* state = static_cast<win32::open_folder*>(state_);
    for (;;) {
        // The search starts with the first entry asked for: a listing made
        // only to name entries (a copy's destination) never searches.
        bool found = false;
        if (!state->started) {
            state->started = true;
            state->search = FindFirstFileA((state->path + "*").c_str(), &state->found);
            found = state->search != INVALID_HANDLE_VALUE;
        } else {
            found = state->search != INVALID_HANDLE_VALUE &&
                    FindNextFileA(state->search, &state->found) != 0;
        }
        if (!found) {
            const DWORD error = GetLastError();
            failed_ = state->search != INVALID_HANDLE_VALUE ? error != ERROR_NO_MORE_FILES
                                                             : error != ERROR_FILE_NOT_FOUND;
            return false;
        }
        if (!is_dot_or_dot_dot(state->found.cFileName)) {
            entry.name = state->found.cFileName;
            entry.kind = win32::kind_of(state->found.dwFileAttributes);
            return true;
        }
    }
}

}  // namespace corvane::detail

// Win32 helpers shared by the files of src/fs/win32: the state of an open
// folder, entry paths and the block copy used by os_file_copy, the tree copy
// and the move to another volume.
#pragma once

#include <windows.h>

#include <string>

#include "fs/file_system.hpp"

namespace corvane::detail::win32 {

// An open folder: its path and a handle that pins it. The handle shares
// neither deletion nor renaming, so while a listing is open nobody can swap
// the folder for a link or junction, and names below it stay inside it
// (what descriptor-relative calls give on Linux).
struct open_folder {
    std::string path;  // ends with a separator
    HANDLE pin = INVALID_HANDLE_VALUE;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA found{};
    bool started = false;
};

inline const open_folder& state_of(const folder_listing& listing) {
    return *static_cast<const open_folder*>(listing.native_state());
}

inline std::string path_of(entry_at entry) { return state_of(entry.folder).path + entry.name; }

constexpr bool is_redirect(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

constexpr bool is_real_folder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !is_redirect(attributes);
}

// What attributes say an entry is, a reparse point never resolved.
constexpr listed_kind kind_of(DWORD attributes) {
    if (is_redirect(attributes)) {
        return listed_kind::link;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return listed_kind::folder;
    }
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? listed_kind::other : listed_kind::file;
}

// True when both handles name one file or folder.
bool same_object(HANDLE a, HANDLE b);

// Copies the content of the file `source` to `destination` through the
// runtime's descriptor calls. Refuses a destination that is the source
// itself (under any name) or a link. With copy_target::exclusive the
// destination must not exist and gets the source's times and attributes.
bool copy_file_content(const std::string& source, const std::string& destination,
                       copy_target target);

}  // namespace corvane::detail::win32

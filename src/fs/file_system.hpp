// Platform primitives of the file-system subsystem.
//
// The neutral files (file_calls.cpp, file.cpp, folder.cpp, tree_operations.cpp,
// tree_walk.cpp, path_rules.cpp) hold the rules of the exported functions and
// the tree algorithms; the files under src/fs/<platform>/ carry out the
// primitives below. Paths handed to them are system paths (see
// system_path()), never null.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::detail {

// ---- Runtime-library calls, forwarded with their results unchanged.

int32_t runtime_open(const char* path, int32_t flags, int32_t mode);
int32_t runtime_read(int32_t descriptor, void* buffer, uint32_t count);
int32_t runtime_write(int32_t descriptor, const void* buffer, uint32_t count);
int32_t runtime_seek(int32_t descriptor, int32_t offset, int32_t origin);
int32_t runtime_close(int32_t descriptor);
int32_t runtime_umask(int32_t mask);
int32_t runtime_unlink(const char* path);
int32_t runtime_access(const char* path, int32_t mode);
int32_t runtime_mkdir(const char* path);
int32_t runtime_chdir(const char* path);
char* runtime_getcwd(char* buffer, int32_t size);

// ---- Entries named by a path.

enum class entry_kind { missing, file, folder };

// What the path names, a link counting as what it points to.
entry_kind probe_entry(const std::string& path);

// The platform's rule for relative paths, on the caller's own path.
bool path_is_relative(const char* path);

// Creates an empty file unless one exists; true when it exists afterwards.
bool create_file(const std::string& path);

// Copies the content of one file onto another, created or emptied first.
// Refuses a source that is a folder or the destination itself (under any
// name) before anything is emptied.
bool copy_file(const std::string& source, const std::string& destination);

enum class rename_result { done, other_volume, failed };

// Renames an entry of any kind without ever replacing an existing one;
// other_volume when only a copy can carry it there.
rename_result rename_entry(const std::string& from, const std::string& to);

// Deletes a file or a link; never a folder.
bool remove_file(const std::string& path);

// Creates one folder; false when anything (a folder included) is there.
bool make_folder(const std::string& path);

bool remove_empty_folder(const std::string& path);

// ---- Entries of an open folder: the tree copy, move and removal work
// only through these, so that a link met on the way is seen as a link and
// never followed out of the tree.

// What an entry is, a link (or any other redirecting entry) never resolved.
enum class listed_kind { file, folder, link, other };

struct listed_entry {
    const char* name;  // valid until the next call of next()
    listed_kind kind;
};

class folder_listing;

// An entry given by the open folder that holds it and its name there.
struct entry_at {
    const folder_listing& folder;
    const char* name;
};

// The entries of one open folder, in the order the system keeps them.
class folder_listing {
public:
    // Opens the folder at a system path (links on the way are followed).
    explicit folder_listing(const std::string& path);
    // Opens the sub-folder of an open folder; fails when that entry is a
    // link or no folder.
    explicit folder_listing(entry_at sub_folder);
    ~folder_listing();
    folder_listing(const folder_listing&) = delete;
    folder_listing& operator=(const folder_listing&) = delete;

    bool is_open() const { return state_ != nullptr; }

    // The next entry other than "." and ".."; false after the last one or
    // when reading fails (then failed() tells).
    bool next(listed_entry& entry);
    bool failed() const { return failed_; }

    // The platform's state of the open folder.
    void* native_state() const { return state_; }

private:
    void* state_ = nullptr;
    bool failed_ = false;
};

// True when both open folders are one folder.
bool same_folder(const folder_listing& a, const folder_listing& b);

// What the entry is now; false when it is missing.
bool entry_kind_at(entry_at entry, listed_kind& kind);

enum class removal { done, is_folder, not_folder, failed };

// Removes a file or link (as_folder false) or an empty folder (true); tells
// when the entry turned out to be of the other kind.
removal remove_at(entry_at entry, bool as_folder);

// Creates a folder; true also when a folder or a link to one is already
// there (opening it with folder_listing tells the two apart).
bool make_folder_at(entry_at entry);

enum class copy_target {
    replace,    // create, or empty an existing file first; replace a link
    exclusive,  // create; fail when anything is there; keep permissions and times (a move)
};

// Copies a file, link or other non-folder entry as what it is, never
// following a link at either end.
bool copy_entry_at(entry_at source, listed_kind kind, entry_at destination, copy_target target);

}  // namespace corvane::detail

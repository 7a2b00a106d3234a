// Platform primitives of the file-system subsystem.
//
// The neutral files (file_calls.cpp, file.cpp, folder.cpp, tree_walk.cpp,
// path_rules.cpp) hold the rules of the exported functions; the files under
// src/fs/<platform>/ carry out the primitives below. Paths handed to them
// are system paths (see system_path()), never null.
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

// ---- Single entries.

enum class entry_kind { missing, file, folder };

// What the path names, a symbolic link counting as what it points to.
entry_kind probe_entry(const std::string& path);

// The platform's rule for relative paths, on the caller's own path.
bool path_is_relative(const char* path);

// Creates an empty file unless one exists; true when it exists afterwards.
bool create_file(const std::string& path);

// Copies the content of one file onto another, created or emptied first.
// Refuses a source that is a folder or the destination itself.
bool copy_file(const std::string& source, const std::string& destination);

// Renames an entry of any kind without ever replacing an existing one, also
// across file systems.
bool move_entry(const std::string& from, const std::string& to);

// Deletes a file or a link; never a folder.
bool remove_file(const std::string& path);

// Creates one folder; false when anything (a folder included) is there.
bool make_folder(const std::string& path);

bool remove_empty_folder(const std::string& path);

// Removes the entry `name` of the folder `parent` ("" for the current
// folder) with everything in it, never following a link.
bool remove_tree(const std::string& parent, const std::string& name);

// Copies the content of the folder `source` into the existing folder
// `destination`, level by level; links are recreated, never followed.
bool copy_folder_content(const std::string& source, const std::string& destination);

// ---- Folder listing, for the tree walk.

enum class listed_kind { file, folder, link, other };

struct listed_entry {
    const char* name;  // valid until the next call of next()
    listed_kind kind;  // a link is never resolved
};

// The entries of one open folder, in the order the system keeps them.
class folder_listing {
public:
    // Opens the folder at a system path (links on the way are followed).
    explicit folder_listing(const std::string& path);
    // Opens the sub-folder `name` of an open listing; fails when that entry
    // is a link or no folder.
    folder_listing(const folder_listing& parent, const char* name);
    ~folder_listing();
    folder_listing(const folder_listing&) = delete;
    folder_listing& operator=(const folder_listing&) = delete;

    bool is_open() const { return stream_ != nullptr; }

    // The next entry other than "." and ".."; false after the last one or
    // when reading fails (then failed() tells).
    bool next(listed_entry& entry);
    bool failed() const { return failed_; }

    // The platform's handle of the open folder.
    void* native_stream() const { return stream_; }

private:
    void* stream_ = nullptr;
    bool failed_ = false;
};

}  // namespace corvane::detail

/*
 * Corvane files, folders and the directory tree walk.
 *
 * Three layers:
 *  - os_clibrary_file_*: the runtime library's descriptor and directory calls
 *    under POSIX names. Paths, flags and modes go to the system unchanged;
 *    flag and mode values are those of the system the program runs on.
 *  - os_file_* and os_folder_*: everyday operations on whole files and folder
 *    trees, each answering with a bool.
 *  - os_filesystem_walk_through*: a depth-first walk that reports every
 *    folder and file to a caller's IFileSystemVisitor.
 *
 * Paths of the os_file_, os_folder_ and os_filesystem_ functions: both the
 * backslash and the forward slash separate components, on every platform.
 * The library works on a private copy of each path and writes every
 * separator in it as the system's own before the system sees it; where it
 * adds a separator of its own (walk reports, tree copy) it adds the system's
 * ('/' on Linux, '\' on Windows). Consequently a file or folder whose NAME
 * contains a backslash cannot be reached through these functions on Linux:
 * the backslash is always taken as a separator. Use the os_clibrary_file_
 * calls for such names.
 *
 * A root is never cut or extended: "/" on Linux; "C:\", "\", the
 * drive-relative "C:", "\\server\share\" and the "\\?\" and "\\.\" forms on
 * Windows. Trailing separators are trimmed down to the root at most, "C:"
 * gets no separator appended, and a path that is only a root has no name of
 * its own (os_folder_copy into an existing folder and a recursive
 * os_folder_remove refuse it).
 *
 * Null or empty paths make every os_file_ and os_folder_ function return
 * false at once. No function changes the process file-creation mask: files
 * the library creates get mode 0666 and folders 0777, both filtered by the
 * mask, so the mask decides as for any other program (on Windows: readable
 * and writable, the runtime's mask deciding).
 *
 * Nothing here holds a lock or keeps state between calls. Operations on
 * different paths may run on different threads at once.
 */
#ifndef CORVANE_FS_H
#define CORVANE_FS_H

#include "corvane/base.h"
#include "corvane/value.h"

/* ------------------------------------------------------------------------ */
/* The tree walk's visitor                                                   */
/* ------------------------------------------------------------------------ */
/*
 * IFileSystemVisitor is implemented by callers of the tree walk. It is a table
 * of operations in a fixed slot order: slots 0 to 2 are the IBase operations
 * (Query, AddRef, Release), which the walk never calls; slot 3 is OnFile and
 * slot 4 OnFolder. C++ callers derive from the class and override all five;
 * C callers hand over a structure whose first member points at a
 * IFileSystemVisitorVtbl:
 *
 *     static void on_file(IFileSystemVisitor* self, const char* relative_path,
 *                         const char* root) { ... }
 *     ...
 *     static const IFileSystemVisitorVtbl table = {query, add_ref, release,
 *                                                  on_file, on_folder};
 *     IFileSystemVisitor visitor = {&table};
 *     os_filesystem_walk_through("", "/data", &visitor);
 *
 * Both strings are NUL-terminated and valid only during the call. The walk
 * calls the visitor on the calling thread, one report at a time.
 */

#ifdef __cplusplus
struct IFileSystemVisitor;
#else
typedef struct IFileSystemVisitor IFileSystemVisitor;
#endif

/* Table of IFileSystemVisitor operations in slot order (C view). */
typedef struct IFileSystemVisitorVtbl {
    bool (*Query)(struct IFileSystemVisitor* self, const char* name, void** out); /* slot 0, not called */
    uint32_t (*AddRef)(struct IFileSystemVisitor* self);                          /* slot 1, not called */
    uint32_t (*Release)(struct IFileSystemVisitor* self);                         /* slot 2, not called */
    /* Slot 3: an entry that is not a folder (a symbolic link included). */
    void (*OnFile)(struct IFileSystemVisitor* self, const char* relative_path, const char* root);
    /* Slot 4: a folder, before any of its content is reported. */
    void (*OnFolder)(struct IFileSystemVisitor* self, const char* relative_path,
                     const char* root);
} IFileSystemVisitorVtbl;

#ifdef __cplusplus

/* The caller's visitor of a tree walk (C++ view). */
struct IFileSystemVisitor : IBase {
    /* Slot 3: an entry that is not a folder (a symbolic link included). */
    virtual void OnFile(const char* relative_path, const char* root) = 0;
    /* Slot 4: a folder, before any of its content is reported. */
    virtual void OnFolder(const char* relative_path, const char* root) = 0;

protected:
    /* Not virtual: the table holds exactly the five slots above. The walk
     * never ends a visitor. */
    ~IFileSystemVisitor() = default;
};

#else /* C view */

struct IFileSystemVisitor {
    const IFileSystemVisitorVtbl* vtbl;
};

#endif

CORVANE_BEGIN_DECLS

/* ------------------------------------------------------------------------ */
/* Runtime-library file and directory calls                                  */
/* ------------------------------------------------------------------------ */
/* Thin wrappers: arguments reach the system call unchanged (paths are not
 * converted or trimmed, null and empty paths are not tested) and its result
 * comes back unchanged, errno included: on Windows the C runtime's errno,
 * set by the runtime's own descriptor calls (_open, _read, ...), not
 * GetLastError. */

/* Opens `path` with the system's open flags and, when the open creates the
 * file, the permission mode (filtered by the file-creation mask). The
 * descriptor is always close-on-exec: child processes do not inherit it.
 * Opens never deny other opens of the same file. Returns the descriptor, or
 * -1. */
CORVANE_API int32_t os_clibrary_file_open(const char* path, int32_t flags, int32_t mode);

/* Reads up to `count` bytes: the count read, 0 at end of file, -1 on failure. */
CORVANE_API int32_t os_clibrary_file_read(int32_t descriptor, void* buffer, uint32_t count);

/* Writes up to `count` bytes: the count written (possibly fewer than asked),
 * -1 on failure. */
CORVANE_API int32_t os_clibrary_file_write(int32_t descriptor, const void* buffer,
                                           uint32_t count);

/* Moves the file position by `offset` from `origin` (0 start, 1 current
 * position, 2 end) and returns the new position. Positions are 32-bit: a
 * position beyond 2^31 - 1 is refused with -1 (errno EOVERFLOW) and the
 * position is left where it was. -1 on any other failure. */
CORVANE_API int32_t os_clibrary_file_seek(int32_t descriptor, int32_t offset, int32_t origin);

/* Closes a descriptor: 0, or -1 on failure. */
CORVANE_API int32_t os_clibrary_file_close(int32_t descriptor);

/* Replaces the process-wide file-creation mask and returns the previous one.
 * Affects every thread at once. */
CORVANE_API int32_t os_clibrary_file_umask(int32_t mask);

/* Removes a file: 0, or -1 on failure. */
CORVANE_API int32_t os_clibrary_file_unlink(const char* path);

/* 0 when `path` exists with the access asked for (0 existence, 2 write,
 * 4 read, 6 both), -1 otherwise. */
CORVANE_API int32_t os_clibrary_file_access(const char* path, int32_t mode);

/* Creates one folder: 0, or -1 on failure. `mode` has no effect: the folder
 * gets 0777 filtered by the file-creation mask. */
CORVANE_API int32_t os_clibrary_file_mkdir(const char* path, int32_t mode);

/* Makes `path` the process's current folder (for every thread): 0, or -1. */
CORVANE_API int32_t os_clibrary_file_chdir(const char* path);

/* Stores the current folder in `buffer` (`size` bytes) and returns the
 * buffer, or null when it does not fit or on failure. The runtime's own rule
 * for a null buffer applies: it returns a new block that the caller releases
 * with free(). A negative size counts as 0. */
CORVANE_API char* os_clibrary_file_getcwd(char* buffer, int32_t size);

/* ------------------------------------------------------------------------ */
/* Files                                                                     */
/* ------------------------------------------------------------------------ */

/* True when `path` names an existing entry that is not a folder. Trailing
 * backslashes are ignored; a trailing forward slash is kept and tested with
 * the path. A symbolic link counts as what it points to. */
CORVANE_API bool os_file_exist(const char* path);

/* True when the system calls `path` relative: on Linux when it does not
 * begin with a separator; on Windows by PathIsRelativeA's rule, either
 * separator counting. */
CORVANE_API bool os_file_is_relative_path(const char* path);

/* Creates an empty file (mode 0666 filtered by the mask) unless it exists.
 * True when the file exists after the call; an existing file is left
 * unchanged. Trailing backslashes are ignored. Missing parent folders are
 * not created. */
CORVANE_API bool os_file_create(const char* path);

/* Copies the content of the file `source` to `destination`, which is created
 * (mode 0666 filtered by the mask) or emptied and rewritten. True when every
 * byte was copied. False, with nothing written, when the source cannot be
 * opened, is a folder, or is the destination itself (same file under any
 * name); false when a read or write fails, in which case the destination
 * holds what was written so far. Only content is copied, not mode or times.
 * `flag` has no effect. */
CORVANE_API bool os_file_copy(const char* source, const char* destination, bool flag);

/* Gives the entry `old_path` (a file, a link or a folder) the name
 * `new_path`. Never replaces an existing entry: false when `new_path`
 * exists. Works across file systems (the entry is copied, then removed; a
 * file keeps its permission bits and times). Paths are not trimmed. */
CORVANE_API bool os_file_move(const char* old_path, const char* new_path);

/* Deletes a file (or a symbolic link, never what it points to). False for a
 * folder or a missing entry. Trailing backslashes are ignored. */
CORVANE_API bool os_file_remove(const char* path);

/* ------------------------------------------------------------------------ */
/* Folders                                                                   */
/* ------------------------------------------------------------------------ */

/* True when `path` names an existing folder (a link to a folder counts).
 * Trailing backslashes are ignored. */
CORVANE_API bool os_folder_exist(const char* path);

/* Creates `path` and every missing folder above it (mode 0777 filtered by the
 * mask). Doubled and trailing separators are ignored; a path that begins with
 * a separator is created from the root. True when every level exists as a
 * folder after the call (levels that existed are left alone, also when
 * another thread or process creates them meanwhile); false when a level
 * cannot be created, for instance because it is a file. Levels created
 * before a failure stay. */
CORVANE_API bool os_folder_create(const char* path);

/* Copies the folder tree `source`. When `destination` does not exist it is
 * created and receives the source's content; when it exists, the source is
 * copied into destination/<source folder name> (false, nothing copied, when
 * the source path has no name of its own, such as "/", "." or "..").
 * Sub-folders (dot-named ones too) are copied level by level, files by their
 * content as os_file_copy does, symbolic links as links (never followed).
 * Files in the destination are replaced, entries the source lacks are kept.
 * Stops at the first entry that cannot be copied and returns false, keeping
 * what was copied; also false, when the destination lies inside the source,
 * on reaching it.
 * `flag` has no effect. */
CORVANE_API bool os_folder_copy(const char* source, const char* destination, bool flag);

/* Moves the folder (or file) `source`. When `destination` is an existing
 * folder, the source moves into it under its own name; otherwise it takes
 * the name `destination`, and missing folders above that are created. An
 * existing entry is never replaced (false). Across file systems the tree is
 * copied, then removed; a failed copy is removed again and the source kept.
 * Trailing separators of both paths are ignored. */
CORVANE_API bool os_folder_move(const char* source, const char* destination);

/* Removes the folder `path`. Not recursive: only an empty folder is removed.
 * Recursive: the folder and everything in it; symbolic links (and, on
 * Windows, junctions) inside are removed, never what they point to, and a
 * folder swapped for a link while the removal runs is not followed. A recursive removal of a path that names
 * a file or a link removes that entry. "." and ".." as the last component are
 * refused. On failure the removal goes on with the other entries and the
 * result is false. Trailing separators are ignored. */
CORVANE_API bool os_folder_remove(const char* path, bool recursive);

/* ------------------------------------------------------------------------ */
/* Tree walk                                                                 */
/* ------------------------------------------------------------------------ */

/* Walks the folder `folder`, given relative to `root`, depth first and
 * reports to `visitor` (null: nothing is reported, the walk still runs):
 *  - OnFolder for the starting folder first (also when it cannot be read),
 *    then for every sub-folder, before that sub-folder's content;
 *  - OnFile for every entry that is not a folder, symbolic links included
 *    (a link to a folder is reported, never entered).
 * The second argument of every report is `root` with a separator appended
 * when it does not already end with one (an empty root stays empty). The
 * first is the entry's path relative to that root: its name when `folder` is
 * empty, otherwise `folder` as given, the system's separator and the name.
 * Folders whose names begin with '.' are skipped with their content; files
 * whose names begin with '.' are reported. The folder searched is
 * root + folder + separator, so an empty root and an empty folder walk the
 * file system's root. A null folder or root reports nothing. The walk
 * returns when the tree has been reported; it reports no failure. */
CORVANE_API void os_filesystem_walk_through(const char* folder, const char* root,
                                            IFileSystemVisitor* visitor);

/* As os_filesystem_walk_through, descending at most `max_depth` levels: the
 * starting folder is depth 0, and a folder at depth max_depth is reported
 * but not searched. 0xFFFFFFFF means no limit. */
CORVANE_API void os_filesystem_walk_through_ex(const char* folder, const char* root,
                                               uint32_t max_depth, IFileSystemVisitor* visitor);

CORVANE_END_DECLS

#endif /* CORVANE_FS_H */

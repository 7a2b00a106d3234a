/*
 * Corvane processes, commands, environment, dynamic libraries and shared memory.
 */
#ifndef CORVANE_SYSTEM_H
#define CORVANE_SYSTEM_H

#include "corvane/base.h"

CORVANE_BEGIN_DECLS

/* Processes, commands and privileges */
/* The operations keep no state and may be called from any thread. Strings are
 * byte strings in the system's code page. */

/* Runs `command` through the command interpreter (`system`). Returns true
 * exactly when the command ran and exited with status 0; a non-zero status, a
 * command ended by a signal and a failure to start the interpreter all give
 * false. A null command asks whether an interpreter exists and gives false. */
CORVANE_API bool os_system_invoke_command(const char* command);

/* Starts a program without a shell. The command line is `program`, one space,
 * then `arguments` (null counts as empty); nothing is quoted or expanded.
 *
 * On Windows the line goes to CreateProcessA as it stands, which finds the
 * program from its first token, and the program reads its arguments from it.
 * No handle is inherited.
 *
 * On Linux the line is split into argument words: white space separates,
 * double quotes group (a quoted word may hold spaces), 2n backslashes before
 * a quote give n backslashes, 2n+1 give n backslashes and a literal quote,
 * other backslashes are literal. The first word names the program; a name
 * without "/" is looked up on PATH. The program inherits only the standard
 * descriptors 0, 1 and 2.
 *
 * With `wait` equal to 1 the call blocks until the program has ended; any
 * other value returns once the program is running, and the library leaves no
 * zombie behind on Linux (the program is not a child of the caller). Returns
 * true when the program was started, false when it could not be (not found,
 * not executable, no resources); its exit status is not read. */
CORVANE_API bool os_system_run_application(const char* program, const char* arguments,
                                           uint8_t wait);

/* Ends forcefully every process whose executable has the image name `name`,
 * except the calling process itself. No command interpreter is involved, so
 * any byte of the name is only compared. A null or empty name matches
 * nothing. Returns true when at least one process matched and every match
 * was ended; false when none matched or one could not be ended (for lack of
 * permission).
 *
 * On Windows ".exe" is appended to a name without a full stop ("worker" is
 * "worker.exe"), names are compared without regard to case and the
 * processes end with exit code 1 (TerminateProcess). On Linux the base name
 * of the executable file must equal `name` exactly, and the processes end by
 * SIGKILL; where another user's executable cannot be read, the process's
 * command name is compared instead. */
CORVANE_API bool os_system_kill_application(const char* name);

/* Returns true when the calling process runs with administrator rights: on
 * Windows when its effective token holds the local Administrators group, on
 * Linux when its effective user id is 0 (root). */
CORVANE_API bool os_system_check_root_privileges(void);

/* Environment, application path and dynamic libraries */
/* The two environment operations take one library lock, so that a
 * read-modify-write through the library is not torn by another thread calling
 * the library. Direct calls of setenv/putenv by the caller are not covered. */

/* Reads the variable `name`. With a null `buffer` stores the needed size (the
 * value's length + 1) in *size and returns true. Otherwise, when *size is at
 * least the needed size, copies the value with its terminating NUL, stores the
 * needed size and returns true. Returns false, writing nothing (*size
 * included), for an absent variable, a buffer smaller than needed and a null
 * `name` or `size`. */
CORVANE_API bool os_system_get_os_environmentVariable(const char* name, char* buffer,
                                                      uint32_t* size);

/* Sets the variable `name`. With `overwrite` equal to 1, or when the variable
 * is absent or empty, its value becomes `value`. Otherwise `value` is appended
 * after a ";" unless the current value already contains it as a substring (an
 * empty `value` always counts as contained), in which case the variable is
 * left unchanged. A resulting empty value removes the variable. A null `name`
 * or `value` does nothing. */
CORVANE_API void os_system_set_os_environmentVariable(const char* name, const char* value,
                                                      uint8_t overwrite);

/* Writes the full path of the running program's executable file (not of this
 * library) into `buffer`, whose capacity is `size` bytes. Returns the path's
 * length without the terminator when it fits; when it does not, stores the
 * first size - 1 bytes and a NUL and returns `size`. Returns 0 on failure,
 * including a null buffer or a size of 0. */
CORVANE_API uint64_t os_environment_get_application_path(char* buffer, uint32_t size);

/* The four dynamic-library calls keep no state of their own and may be called
 * from any thread at once; the system's loader serialises them (dlopen, dlsym
 * and dlclose on Linux; LoadLibraryA, GetProcAddress and FreeLibrary on
 * Windows). Freeing a library while another thread still uses its handle,
 * its symbols or its code is the caller's to prevent. On failure the cause is
 * left where the system put it: dlerror() on Linux, GetLastError on Windows. */

/* Loads a dynamic library (LoadLibraryA on Windows, with its search order;
 * on Linux resolving all its symbols now and keeping them out of the global
 * namespace, a name without "/" searched in the system's library path).
 * Loading a library again returns the same handle and counts a reference.
 * Returns null on failure and for a null or empty path. */
CORVANE_API void* os_dynamic_library_loader_load(const char* path);

/* The same as os_dynamic_library_loader_load; `file` and `flags` are accepted
 * for the extended form of the call and ignored. */
CORVANE_API void* os_dynamic_library_loader_load_ex(const char* path, void* file, uint32_t flags);

/* Returns the address of the exported `symbol` of `module`, or null when it is
 * not found or `module` or `symbol` is null. */
CORVANE_API void* os_dynamic_library_loader_get_proc(void* module, const char* symbol);

/* Releases one reference on `module`; the library is unloaded with the last
 * one. A null module does nothing. */
CORVANE_API void os_dynamic_library_loader_free(void* module);

/* Shared memory */
/* A block of memory that several processes map at once. Each handle has its
 * own mapping of the whole block; the memory has no synchronisation of its
 * own (pair it with a named mutex, event or semaphore). A handle is used by
 * one thread at a time. A named block lives while any handle on it is open in
 * any process, also after its creator has closed, and is gone when the last
 * handle closes or its process ends, however it ends. Names are byte strings
 * shorter than 1024 bytes; a leading "Local\" is ignored ("Local\x" is "x").
 * On Linux a block's name does not clash with a named mutex, event or
 * semaphore; on Windows all named objects share one name space.
 *
 * On both platforms the block is stored behind a 1088-byte record: the
 * magic "CRVN", at 16 the block's size as a 64-bit number, at 24 the name's
 * length (32 bits) and at 64 the name without "Local\"; the block's bytes
 * start at offset 1088. A program without this library that maps the block
 * finds them there and must leave the record unchanged.
 *
 * On Windows a named block is a file mapping backed by the paging file,
 * called by its name without a leading "Local\". A name of 260 bytes or
 * more (which the system refuses), one holding a backslash other than after
 * a leading "Global\", one empty after that "Global\" and one beginning
 * "corvane#" is called "corvane#" followed by the SHA-256 of the name in 64
 * lower-case hex digits (a leading "Global\" stays in front and is not
 * hashed). Open it with OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name)
 * and map it whole with MapViewOfFile; holding the mapping keeps the block
 * alive.
 *
 * On Linux named blocks are owner-only: other users' processes cannot open
 * them. A POSIX program finds a named block as the shared-memory object
 * "/corvane.shm.<escaped name>": the name loses a leading "Local\", the
 * bytes '!' to '~' other than '/' and '%' stand for themselves and every
 * other byte becomes '%' and two upper-case hex digits, so "Local\my data"
 * is "/corvane.shm.my%20data". When that would exceed 255 bytes after the
 * '/', the object is "/corvane.shm#" followed by the SHA-256 of the name
 * (without "Local\") in 64 lower-case hex digits. Open it with
 * shm_open(name, O_RDWR, 0) and map it whole (its size from fstat). Such a
 * program keeps the block alive by holding a read lock over the whole object
 * (fcntl F_RDLCK, offset 0, length 0, through F_OFD_SETLK; F_SETLK serves
 * too where the process does not also use the library), as every library
 * handle does; without one the name goes when the last library handle
 * closes. It must never remove the name itself. */
typedef struct os_sharememory_handle os_sharememory_handle;

/* Creates the block `name` of `size` bytes, or opens it when it exists, and
 * maps it. Every create hands out zeroed memory: on an existing block the
 * first `size` bytes are cleared, which other processes see. A null or empty
 * name makes an unnamed block (on Linux shared with children made by fork;
 * on Windows with no other process). Returns
 * null for a size of 0, a name of 1024 bytes or more, an existing block
 * smaller than `size` (left untouched), and a failure to make or map the
 * block; nothing is left allocated then. */
CORVANE_API os_sharememory_handle* os_sharememory_create(const char* name, uint32_t size);

/* Opens the existing block `name` and maps all of it. Returns null when no
 * block of that name exists, for a null or empty name, and when it cannot be
 * mapped. The memory is not changed. */
CORVANE_API os_sharememory_handle* os_sharememory_open(const char* name);

/* Returns the start of this handle's mapping, or null for a null handle and
 * after os_sharememory_close. */
CORVANE_API void* os_sharememory_get_buffer(os_sharememory_handle* handle);

/* Unmaps the block and gives up this handle's hold on it, keeping the handle
 * object (destroy it later). A null handle, or a second close, does nothing. */
CORVANE_API void os_sharememory_close(os_sharememory_handle* handle);

/* Closes as os_sharememory_close does, frees the handle and sets *handle to
 * null. Does nothing when *handle is null; `handle` itself must be valid. */
CORVANE_API void os_sharememory_destroy(os_sharememory_handle** handle);

CORVANE_END_DECLS

#endif /* CORVANE_SYSTEM_H */

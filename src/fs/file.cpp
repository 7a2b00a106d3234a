// The os_file_ family: existence, creation, copy, move and removal of single
// files. Operating-system independent: the argument checks and path rules
// live here, the system work in the platform primitives.

#include "corvane/fs.h"
#include "fs/file_system.hpp"
#include "fs/path_rules.hpp"
#include "fs/tree_operations.hpp"

using namespace corvane::detail;

namespace {

// The caller's path with trailing backslashes trimmed, in system form.
std::string trimmed_system_path(const char* path) {
    std::string trimmed(path);
    trim_trailing_backslashes(trimmed);
    return system_path(std::move(trimmed));
}

}  // namespace

extern "C" {

CORVANE_API bool os_file_exist(const char* path) { return entry_test(path, false); }

CORVANE_API bool os_file_is_relative_path(const char* path) {
    return !is_missing_path(path) && path_is_relative(path);
}

CORVANE_API bool os_file_create(const char* path) {
    if (is_missing_path(path)) {
        return false;
    }
    return create_file(trimmed_system_path(path));
}

CORVANE_API bool os_file_copy(const char* source, const char* destination, bool /*flag*/) {
    if (is_missing_path(source) || is_missing_path(destination)) {
        return false;
    }
    return copy_file(system_path(source), system_path(destination));
}

CORVANE_API bool os_file_move(const char* old_path, const char* new_path) {
    if (is_missing_path(old_path) || is_missing_path(new_path)) {
        return false;
    }
    return move_entry(system_path(old_path), system_path(new_path));
}

CORVANE_API bool os_file_remove(const char* path) {
    if (is_missing_path(path)) {
        return false;
    }
    return remove_file(trimmed_system_path(path));
}

}  // extern "C"

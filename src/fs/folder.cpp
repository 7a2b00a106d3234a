// The os_folder_ family: existence, creation of a whole path, tree copy,
// move and removal of folders. Operating-system independent: the rules for
// paths and for where a copy or move lands live here; the platform
// primitives do the system work.

#include "corvane/fs.h"
#include "fs/file_system.hpp"
#include "fs/path_rules.hpp"
#include "fs/tree_operations.hpp"

using namespace corvane::detail;

namespace {

bool folder_exists(const std::string& path) { return entry_test(path.c_str(), true); }

// Every level of `path`, cut at both separators, as a folder. The root
// stays: "/a/b" and "C:\\a" are made from their roots, "C:a" from the
// drive's current folder, not from the current folder.
bool create_folders(std::string_view path) {
    std::string level = system_path(std::string(path.substr(0, root_length(path))));
    for (std::string_view component : path_components(path)) {
        ensure_trailing_separator(level);
        level.append(component);
        // A level made by someone else meanwhile makes the creation fail
        // but is just as good: look again before giving up.
        if (probe_entry(level) != entry_kind::folder && !make_folder(level) &&
            probe_entry(level) != entry_kind::folder) {
            return false;
        }
    }
    return true;
}

// A last component that names no folder of its own.
bool is_nameless(std::string_view name) { return name.empty() || name == "." || name == ".."; }

}  // namespace

extern "C" {

CORVANE_API bool os_folder_exist(const char* path) { return entry_test(path, true); }

CORVANE_API bool os_folder_create(const char* path) {
    return !is_missing_path(path) && create_folders(path);
}

CORVANE_API bool os_folder_copy(const char* source, const char* destination, bool /*flag*/) {
    if (is_missing_path(source) || is_missing_path(destination)) {
        return false;
    }
    std::string from(source);
    std::string to(destination);
    ensure_trailing_separator(from);
    ensure_trailing_separator(to);
    if (folder_exists(to)) {
        // An existing destination receives the source under its own name.
        std::string_view name = last_component(from);
        if (is_nameless(name)) {
            return false;
        }
        to.append(name);
        to.push_back(native_paths.separator);
    }
    if (!folder_exists(to)) {
        create_folders(to);
    }
    return copy_folder_content(system_path(std::move(from)), system_path(std::move(to)));
}

CORVANE_API bool os_folder_move(const char* source, const char* destination) {
    if (is_missing_path(source) || is_missing_path(destination)) {
        return false;
    }
    std::string from(source);
    std::string to(destination);
    trim_trailing_separators(from);
    trim_trailing_separators(to);
    if (folder_exists(to)) {
        std::string_view name = last_component(from);
        if (is_nameless(name)) {
            return false;
        }
        ensure_trailing_separator(to);
        to.append(name);
    } else {
        std::string parent = split_last_component(to).parent;
        if (!parent.empty()) {
            create_folders(parent);
        }
    }
    return move_entry(system_path(std::move(from)), system_path(std::move(to)));
}

CORVANE_API bool os_folder_remove(const char* path, bool recursive) {
    if (is_missing_path(path)) {
        return false;
    }
    std::string target(path);
    trim_trailing_separators(target);
    if (!recursive) {
        return remove_empty_folder(system_path(std::move(target)));
    }
    auto [parent, name] = split_last_component(target);
    if (is_nameless(name)) {
        return false;
    }
    return remove_tree(system_path(std::move(parent)), name);
}

}  // extern "C"

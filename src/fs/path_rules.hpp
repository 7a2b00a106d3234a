// Separator and root rules of the paths that the file, folder and walk
// functions take.
//
// Callers separate components with '\\' or '/' on every platform. These rules
// are the only code that knows it: the rest of the subsystem asks them, and
// hands the system only paths made by system_path(). The style names the
// separator the platform's system calls use and the roots it knows, so both
// backends share the rules and a test can check either style anywhere.
//
// A root is the part of a path that no rule may cut or extend: "/" for
// POSIX paths; "C:\", "C:" (drive-relative), "\", "\\server\share\" and the
// "\\?\" and "\\.\" forms for Windows paths. Trimming stops at the root,
// components start after it, and a path that is only a root has no name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::detail {

struct path_style {
    char separator;  // the one the library inserts and the system reads
    bool drives_and_shares;  // Windows roots: drive letters, UNC, \\?\ and \\.\ paths
};

inline constexpr path_style posix_paths{'/', false};
inline constexpr path_style windows_paths{'\\', true};
#if defined(_WIN32)
inline constexpr path_style native_paths = windows_paths;
#else
inline constexpr path_style native_paths = posix_paths;
#endif

constexpr bool is_separator(char c) { return c == '\\' || c == '/'; }

// True for a null pointer or an empty string: the paths every operation
// refuses before any system call.
constexpr bool is_missing_path(const char* path) { return path == nullptr || *path == '\0'; }

// Length of the root at the start of `path` (0 for a relative path).
size_t root_length(std::string_view path, path_style style = native_paths);

// Removes backslashes from the end, never from the root; forward slashes stay.
void trim_trailing_backslashes(std::string& path, path_style style = native_paths);

// Removes every separator from the end, never from the root.
void trim_trailing_separators(std::string& path, path_style style = native_paths);

// Appends the style's separator unless the path is empty, already ends with
// a separator of either kind, or is a drive-relative root ("C:" names the
// drive's current folder; "C:\" would be another folder).
void ensure_trailing_separator(std::string& path, path_style style = native_paths);

// The path with every separator written as the style's own.
std::string system_path(std::string path, path_style style = native_paths);

// The components after the root, empty ones left out.
std::vector<std::string_view> path_components(std::string_view path,
                                              path_style style = native_paths);

// The last component before any trailing separators: empty when the path is
// a root or holds separators only.
std::string_view last_component(std::string_view path, path_style style = native_paths);

// Splits a path into the folder that holds its last component (empty for a
// bare name; the root, whole, when the component follows it) and that
// component. Trailing separators are ignored.
struct parent_and_name {
    std::string parent;
    std::string name;
};
parent_and_name split_last_component(std::string_view path, path_style style = native_paths);

}  // namespace corvane::detail

// Separator rules of the paths that the file, folder and walk functions take.
//
// Callers separate components with '\\' or '/' on every platform. These rules
// are the only code that knows it: the rest of the subsystem asks them, and
// hands the system only paths made by system_path(). The style parameter
// names the separator the platform's system calls use, so the Windows
// backend reuses the rules unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::detail {

struct path_style {
    char separator;  // the one the library inserts and the system reads
};

inline constexpr path_style posix_paths{'/'};
inline constexpr path_style windows_paths{'\\'};
#if defined(_WIN32)
inline constexpr path_style native_paths = windows_paths;
#else
inline constexpr path_style native_paths = posix_paths;
#endif

constexpr bool is_separator(char c) { return c == '\\' || c == '/'; }

// True for a null pointer or an empty string: the paths every operation
// refuses before any system call.
constexpr bool is_missing_path(const char* path) { return path == nullptr || *path == '\0'; }

// Removes backslashes from the end; forward slashes stay.
void trim_trailing_backslashes(std::string& path);

// Removes every separator from the end.
void trim_trailing_separators(std::string& path);

// Appends the style's separator unless the path is empty or already ends
// with a separator of either kind.
void ensure_trailing_separator(std::string& path, path_style style = native_paths);

// The path with every separator written as the style's own.
std::string system_path(std::string path, path_style style = native_paths);

// The components between separators, empty ones left out.
std::vector<std::string_view> path_components(std::string_view path);

// The last component before any trailing separators: empty when the path
// holds separators only.
std::string_view last_component(std::string_view path);

// Splits a path without trailing separators into the folder that holds its
// last component (empty for a bare name; the root for "/name") and that
// component.
struct parent_and_name {
    std::string parent;
    std::string name;
};
parent_and_name split_last_component(std::string_view path);

}  // namespace corvane::detail

namespace corvane::detail {

// The entry test: true when `path`, trailing backslashes ignored, names an
// existing folder (want_folder) or an existing entry that is not a folder.
bool entry_test(const char* path, bool want_folder);

}  // namespace corvane::detail

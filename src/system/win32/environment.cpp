// Environment variables and the application path on Windows. The runtime's
// _putenv_s updates its own copy and the process environment that
// CreateProcessA hands to children.

#include <windows.h>

#include <cstdlib>

#include "system/environment.hpp"

namespace corvane::detail {

void write_variable(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}

std::optional<std::string> application_path() {
    // GetModuleFileNameA does not say how long a path it cut short was: grow
    // until the result is shorter than the buffer, which proves it whole. No
    // path is longer than the 32767 characters of the long-path limit.
    constexpr size_t longest_buffer = 1 << 16;
    std::string path(MAX_PATH, '\0');
    while (path.size() <= longest_buffer) {
        DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return std::nullopt;
}

}  // namespace corvane::detail

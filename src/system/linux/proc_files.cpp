// Reading process information from the /proc file system.

#include "system/linux/proc_files.hpp"

#include <unistd.h>

#include <string_view>

namespace corvane::detail {

std::optional<std::string> executable_path_of(const std::string& entry) {
    const std::string link = "/proc/" + entry + "/exe";
    // readlink does not say how long the target is: grow until it fits with
    // room to spare, which proves nothing was cut off.
    std::string path(256, '\0');
    for (;;) {
        ssize_t length = readlink(link.c_str(), path.data(), path.size());
        if (length < 0) {
            return std::nullopt;
        }
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            break;
        }
        path.resize(path.size() * 2);
    }
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted)) {
        path.resize(path.size() - deleted.size());
    }
    return path;
}

}  // namespace corvane::detail

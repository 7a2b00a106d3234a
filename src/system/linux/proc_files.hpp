// Reading process information from the /proc file system.
#pragma once

#include <optional>
#include <string>

namespace corvane::detail {

// The executable of the process /proc/<entry> ("self" or a pid), without the
// " (deleted)" the kernel appends once the file has been removed or replaced.
// On failure returns nothing with errno set: ENOENT for a kernel thread or a
// process that has exited, EACCES or EPERM for another user's process.
std::optional<std::string> executable_path_of(const std::string& entry);

}  // namespace corvane::detail

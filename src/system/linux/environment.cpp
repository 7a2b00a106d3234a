// Environment variables and the application path on POSIX systems.

#include "system/environment.hpp"

#include <cstdlib>

#include "system/linux/proc_files.hpp"

namespace corvane::detail {

void write_variable(const char* name, const std::string& value) {
    if (value.empty()) {
        unsetenv(name);
    } else {
        setenv(name, value.c_str(), 1);
    }
}

std::optional<std::string> application_path() { return executable_path_of("self"); }

}  // namespace corvane::detail

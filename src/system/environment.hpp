// Environment and application path: the platform primitives, and the
// environment snapshot that process start-up takes under the library's
// environment lock.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace corvane::detail {

// Every "NAME=value" entry of the environment, copied under the lock that
// the library's environment setter holds, so that no half-done update of the
// library's is seen.
std::vector<std::string> snapshot_environment();

// Platform primitives; callers hold the environment lock.
std::optional<std::string> read_variable(const char* name);
// An empty value removes the variable.
void write_variable(const char* name, const std::string& value);
std::vector<std::string> environment_entries();

// The full path of the running program's executable, or nothing.
std::optional<std::string> application_path();

}  // namespace corvane::detail

// Environment and application path: the platform primitives, and the lock
// under which the library reads and changes the environment.
#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace corvane::detail {

// The lock the library's environment setter holds for its read-modify-write:
// a reader holding it sees no half-done update of the library's.
std::unique_lock<std::mutex> lock_environment();

// The runtime's value of `name`, or nothing; callers hold the environment lock.
std::optional<std::string> read_variable(const char* name);

// Platform primitives; callers hold the environment lock.
// An empty value removes the variable.
void write_variable(const char* name, const std::string& value);

// The full path of the running program's executable, or nothing.
std::optional<std::string> application_path();

}  // namespace corvane::detail

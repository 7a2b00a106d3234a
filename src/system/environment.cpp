// Environment variables and the application path: the size-query protocol,
// the append-without-duplicate rule and the cut-to-size rule. Only operating-
// system independent code belongs here; the primitives live in
// <platform>/environment.cpp.

#include "system/environment.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/size_query.hpp"
#include "corvane/system.h"

namespace corvane::detail {

namespace {

// The runtime library makes each single update safe, but not the read-modify-
// write of an append: without this lock two threads appending to one variable
// lose one of the values.
std::mutex environment_lock;

std::string value_after_setting(const std::optional<std::string>& current, const char* value,
                                bool overwrite) {
    if (overwrite || !current || current->empty()) {
        return value;
    }
    if (current->find(value) != std::string::npos) {
        // Already there (an empty value always is): keep the current value
        // rather than emptying, and so removing, the variable.
        return *current;
    }
    return *current + ";" + value;
}

}  // namespace

std::unique_lock<std::mutex> lock_environment() { return std::unique_lock(environment_lock); }

std::optional<std::string> read_variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace corvane::detail

extern "C" {

CORVANE_API bool os_system_get_os_environmentVariable(const char* name, char* buffer,
                                                      uint32_t* size) {
    if (name == nullptr || size == nullptr) {
        return false;
    }
    std::optional<std::string> value;
    {
        auto hold = corvane::detail::lock_environment();
        value = corvane::detail::read_variable(name);
    }
    if (!value || value->size() >= std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    return corvane::detail::deliver_text(*value, buffer, size);
}

CORVANE_API void os_system_set_os_environmentVariable(const char* name, const char* value,
                                                      uint8_t overwrite) {
    if (name == nullptr || value == nullptr) {
        return;
    }
    auto hold = corvane::detail::lock_environment();
    auto current = corvane::detail::read_variable(name);
    corvane::detail::write_variable(
        name, corvane::detail::value_after_setting(current, value, overwrite == 1));
}

CORVANE_API uint64_t os_environment_get_application_path(char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    auto path = corvane::detail::application_path();
    if (!path) {
        return 0;
    }
    if (path->size() < size) {
        std::memcpy(buffer, path->c_str(), path->size() + 1);
        return path->size();
    }
    std::memcpy(buffer, path->data(), size - 1);
    buffer[size - 1] = '\0';
    return size;
}

}  // extern "C"

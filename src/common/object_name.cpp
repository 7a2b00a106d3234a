// Only platform-independent name rules belong here; each platform maps the
// result onto its own name space.

#include "common/object_name.hpp"

#include <cstdint>
#include <cstring>

#include "common/sha256.hpp"

namespace corvane::detail {

namespace {
constexpr std::string_view local_prefix = "Local\\";
constexpr std::string_view global_prefix = "Global\\";
constexpr std::string_view hashed_stem = "corvane";
}  // namespace

std::optional<std::string_view> object_name(const char* name) {
    if (name == nullptr) {
        return std::nullopt;
    }
    const std::string_view full(name, strnlen(name, object_name_limit));
    if (full.size() >= object_name_limit) {
        return std::nullopt;
    }
    return full.starts_with(local_prefix) ? full.substr(local_prefix.size()) : full;
}

std::string hashed_object_name(std::string_view stem, std::string_view name) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string hashed(stem);
    hashed += '#';
    for (const uint8_t byte : sha256(name)) {
        hashed += hex[byte >> 4];
        hashed += hex[byte & 0xF];
    }
    return hashed;
}

std::optional<std::string> flat_object_name(const char* name, size_t length_limit) {
    const std::optional<std::string_view> full = object_name(name);
    if (!full) {
        return std::nullopt;
    }
    const std::string_view prefix = full->starts_with(global_prefix) ? global_prefix : "";
    const std::string_view rest = full->substr(prefix.size());
    const bool fits = !rest.empty() && full->size() < length_limit &&
                      rest.find('\\') == std::string_view::npos &&
                      !rest.starts_with(std::string(hashed_stem) + '#');
    if (fits) {
        return std::string(*full);
    }
    return std::string(prefix) + hashed_object_name(hashed_stem, rest);
}

}  // namespace corvane::detail

// The platform-neutral rules for the names of named system objects (mutexes,
// events, semaphores, shared-memory blocks).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::detail {

// Names must be shorter than this many bytes.
inline constexpr size_t object_name_limit = 1024;

// The name an object is known by: `name` without a leading "Local\", so that
// "Local\x" and "x" are one object. Empty for a null name or one of
// object_name_limit bytes or more.
std::optional<std::string_view> object_name(const char* name);

// `stem` + '#' + the SHA-256 of `name` in 64 lower-case hex digits: the
// short form of a name too long for the platform. Two names never share it
// in practice, and the platforms that keep the full name compare it too.
std::string hashed_object_name(std::string_view stem, std::string_view name);

// The name of an object in a flat name space whose names must stay below
// `length_limit` bytes and where '\' separates name spaces ("Global\"): the
// object_name() itself when it fits, else its "Global\" prefix (if any)
// followed by hashed_object_name("corvane", rest). A rest that is empty
// (the system would make an unnamed object), holds a '\' or begins with
// "corvane#" is hashed too, so that any valid name works and no name can
// pose as another's short form. Empty when object_name() is.
std::optional<std::string> flat_object_name(const char* name, size_t length_limit);

}  // namespace corvane::detail

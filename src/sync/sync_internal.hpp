// What the neutral sync files share beyond the platform primitives.
#pragma once

#include <optional>

#include "corvane/sync.h"
#include "sync/sync_platform.hpp"

namespace corvane::detail {

// The absolute monotonic time at which a wait for `deadline` gives up: the
// current reading plus the whole milliseconds left. Empty: no limit.
std::optional<time_record> wait_end_for(const time_record& deadline);

// The named mutex behind both mutex families: writes the log line when the
// name was already open and leaves the caller's last-error value as it was.
// Null when the name is unusable or creation failed.
platform_ptr<recursive_lock> open_named_mutex(const char* name);

}  // namespace corvane::detail

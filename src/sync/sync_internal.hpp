// What the neutral sync files share: the platform primitives, deadlines and
// the named mutex behind both mutex families.
#pragma once

#include <memory>
#include <optional>

#include "corvane/sync.h"
#include "sync/linux/sync_posix.hpp"

namespace corvane::detail {

// The absolute monotonic time at which a wait for `deadline` gives up: the
// current reading plus the whole milliseconds left. Empty: no limit.
std::optional<time_record> wait_end_for(const time_record& deadline);

// Makes `lock` the named mutex `name`, the one behind both mutex families;
// writes the log line when the name was already open and leaves errno as it
// was. `lock` stays empty when the name is unusable or creation failed.
void open_named_mutex(const char* name, std::optional<recursive_lock>& lock);

}  // namespace corvane::detail

// What the Win32 sync files share: system names and waits in slices. Only
// the Win32 backend includes this.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "corvane/sync.h"

namespace corvane::detail {

// The kernel-object name for `name`: the "A" calls refuse names of 260
// bytes or more, so longer ones take their hashed short form. Empty for an
// unusable name.
std::optional<std::string> kernel_object_name(const char* name);

// One wait of at most a 32-bit count of milliseconds towards `end` (null:
// no limit). `last` says whether a time-out of this slice means `end` has
// come; a farther deadline waits again, so it never wraps or ends early.
struct wait_slice {
    DWORD milliseconds;
    bool last;
};
wait_slice next_wait_slice(const time_record* end);

}  // namespace corvane::detail

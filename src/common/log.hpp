// The library's one diagnostic channel.
#pragma once

#include "corvane/base.h"

namespace corvane::detail {

// Writes a printf-style line to standard output exactly as formatted: no
// prefix, time stamp or level, no line break of its own (the format carries
// its "\n"), and no flush.
void log_line(const char* format, ...) CORVANE_PRINTF_FORMAT(1, 2);

}  // namespace corvane::detail

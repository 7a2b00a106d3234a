#include "common/log.hpp"

#include <cstdarg>
#include <cstdio>

namespace corvane::detail {

void log_line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

}  // namespace corvane::detail

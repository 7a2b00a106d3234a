// Formatted length on Linux: glibc's vsnprintf already has the standard
// behaviour.

#include <cstdio>

#include "text/text_platform.hpp"

namespace corvane::detail {

int formatted_length(const char* format, va_list args) {
    return std::vsnprintf(nullptr, 0, format, args);
}

}  // namespace corvane::detail

// The length of printf-style output, and the human-order comparison of
// strings with embedded numbers.

#include <limits>

#include "corvane/text.h"
#include "text/text_platform.hpp"

namespace {

// Exactly '0' to '9': isdigit would follow the process locale, and is
// undefined for the negative values that bytes from 0x80 have as char.
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Compares the digit runs that begin at `a` and `b` by value: <0, 0 or >0.
// Runs are compared as digit strings rather than converted to a machine
// integer, so a run of any length compares exactly and none overflows.
int compare_digit_runs(const char* a, const char* b) {
    while (*a == '0') {
        ++a;
    }
    while (*b == '0') {
        ++b;
    }
    // Once the leading zeros are gone a longer run is the greater value; for
    // runs of one length the first differing digit decides.
    int first_difference = 0;
    for (;; ++a, ++b) {
        bool a_digit = is_digit(*a);
        bool b_digit = is_digit(*b);
        if (!a_digit || !b_digit) {
            return a_digit ? 1 : b_digit ? -1 : first_difference;
        }
        if (first_difference == 0 && *a != *b) {
            first_difference = *a < *b ? -1 : 1;
        }
    }
}

bool intelligent_greater(const char* a, const char* b) {
    while (*a == *b && *a != '\0') {
        ++a;
        ++b;
    }
    if (*a == '\0') {
        return false;
    }
    if (*b == '\0') {
        return true;
    }
    bool a_digit = is_digit(*a);
    bool b_digit = is_digit(*b);
    if (a_digit != b_digit) {
        return b_digit;  // at the first difference a digit sorts before a non-digit
    }
    if (!a_digit) {
        return static_cast<signed char>(*a) > static_cast<signed char>(*b);
    }
    return compare_digit_runs(a, b) > 0;
}

}  // namespace

extern "C" {

CORVANE_API int32_t os_clibrary_string_get_formatted_length(const char* format, va_list args) {
    if (format == nullptr) {
        return -1;
    }
    int length = corvane::detail::formatted_length(format, args);
    if (length < 0 || length >= std::numeric_limits<int32_t>::max()) {
        return -1;
    }
    return length + 1;
}

CORVANE_API bool os_clibrary_string_intelligent_greater(const char* a, const char* b) {
    return intelligent_greater(a, b);
}

CORVANE_API bool os_clibrary_string_intelligent_less(const char* a, const char* b) {
    return intelligent_greater(b, a);
}

}  // extern "C"

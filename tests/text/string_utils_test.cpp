#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "corvane/text.h"

namespace {

int32_t formatted_length(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int32_t length = os_clibrary_string_get_formatted_length(format, args);
    va_end(args);
    return length;
}

TEST(FormattedLength, CountsTheTextAndItsNulOrFailsWithMinusOne) {
    const struct { int32_t length, expected; const char* reason; } rows[] = {
        {formatted_length("%d%s", 12, "x"), 4, "three characters"},
        {formatted_length("%s", ""), 1, "the empty text"},
        {formatted_length("<%s>", std::string(100000, 'y').c_str()), 100003, "beyond any buffer"},
        {formatted_length("%g|%e", 1e6, 1.0), 19, "two-digit exponents: 1e+06|1.000000e+00"},
        // The suite stays in the "C" locale, where the euro sign has no
        // multibyte form.
        {formatted_length("a%ls", L"\u20AC"), -1, "unconvertible wide string, not an empty one"},
        {formatted_length(nullptr), -1, "no format"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.length, row.expected) << row.reason;
}

}  // namespace

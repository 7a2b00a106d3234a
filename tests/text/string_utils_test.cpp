#include <gtest/gtest.h>

#include <cstdarg>
#include <random>
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

TEST(IntelligentCompare, OrdersAtTheFirstDifferenceAndDigitRunsByValue) {
    enum order { before, same, after };
    const struct { std::string a, b; order expected; } rows[] = {
        {"", "", same}, {"", "\x80", before}, {"a", "a\x80", before},  // a prefix sorts first, whatever follows
        {"file9", "file10", before}, {"item10b", "item10a", after},
        {"a05x", "a5y", same},   // only the digit runs are compared
        {"x19", "x100", after},  // tails 9 and 00: earlier digits are common prefix
        {"a1b", "a10", after}, {"a 1", "a1", after},  // a digit sorts before any non-digit...
        {"a\x80", "a1", after},  // ...even one that is negative as char
        {"B", "a", before}, {"\x80", "A", before}, {"\x80", "\xFF", before},
        {"v2147483648", "v999", after},  // beyond 32 bits, exactly
        {"v1" + std::string(300, '0') + "1", "v2" + std::string(301, '0'), before},
        {"a0010", "a9", after}, {"a0009", "a10", before}, {"a" + std::string(10000, '0') + "7", "a7", same},
    };
    for (const auto& [a, b, expected] : rows) {
        EXPECT_EQ(os_clibrary_string_intelligent_greater(a.c_str(), b.c_str()), expected == after) << a << " " << b;
        EXPECT_EQ(os_clibrary_string_intelligent_less(a.c_str(), b.c_str()), expected == before) << a << " " << b;
    }
}

// Over random strings: less is greater swapped, never both ways, never after
// itself.
TEST(IntelligentCompare, RandomPairsOrderConsistently) {
    std::mt19937 random(20261206);
    const std::string alphabet = "0019aB .\x80\xFF";
    auto random_string = [&](std::string s) {
        for (std::size_t n = random() % 10; n > 0; --n) s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 50000; ++round) {
        const std::string a = random_string("");
        // Half the pairs share a prefix, so that the first difference falls late.
        const std::string b = random_string(round % 2 == 0 ? "" : a.substr(0, random() % 10));
        const bool a_after_b = os_clibrary_string_intelligent_greater(a.c_str(), b.c_str());
        const bool b_after_a = os_clibrary_string_intelligent_greater(b.c_str(), a.c_str());
        ASSERT_EQ(os_clibrary_string_intelligent_less(a.c_str(), b.c_str()), b_after_a) << a << " " << b;
        ASSERT_FALSE((a_after_b && b_after_a) || os_clibrary_string_intelligent_greater(a.c_str(), a.c_str()));
    }
}

}  // namespace

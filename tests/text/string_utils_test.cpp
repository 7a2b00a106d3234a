#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "corvane/text.h"

namespace {

int32_t formatted_length(const char* format, ...) CORVANE_PRINTF_FORMAT(1, 2);

int32_t formatted_length(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int32_t length = os_clibrary_string_get_formatted_length(format, args);
    va_end(args);
    return length;
}

TEST(FormattedLength, CountsTheTextAndItsNulOrFailsWithMinusOne) {
    EXPECT_EQ(formatted_length("%d%s", 12, "x"), 4);
    EXPECT_EQ(formatted_length("%s", ""), 1);
    EXPECT_EQ(formatted_length("<%s>", std::string(100000, 'y').c_str()), 100003);
    // The test program stays in the "C" locale, where e-acute has no
    // multibyte form.
    EXPECT_EQ(formatted_length("%lc", static_cast<wint_t>(0xE9)), -1);
    EXPECT_EQ(formatted_length(nullptr), -1);
}

enum class order { before, same, after };

struct ordered_pair {
    std::string a;
    std::string b;
    order expected;
};

// Checks both functions on each pair in both argument orders.
void expect_orders(const std::vector<ordered_pair>& pairs) {
    for (const auto& [a, b, expected] : pairs) {
        SCOPED_TRACE("a=\"" + a + "\" b=\"" + b + "\"");
        EXPECT_EQ(os_clibrary_string_intelligent_greater(a.c_str(), b.c_str()), expected == order::after);
        EXPECT_EQ(os_clibrary_string_intelligent_less(a.c_str(), b.c_str()), expected == order::before);
        EXPECT_EQ(os_clibrary_string_intelligent_greater(b.c_str(), a.c_str()), expected == order::before);
        EXPECT_EQ(os_clibrary_string_intelligent_less(b.c_str(), a.c_str()), expected == order::after);
    }
}

TEST(IntelligentCompare, OrdersAtTheFirstDifference) {
    expect_orders({
        {"", "", order::same},
        {"file10", "file10", order::same},
        {"", "\x80", order::before},
        {"a", "a\x80", order::before},  // a prefix sorts first, whatever follows
        {"file9", "file10", order::before},
        {"item10b", "item10a", order::after},
        {"a05x", "a5y", order::same},  // only the digit runs are compared
        {"x19", "x100", order::after},  // tails 9 and 00: earlier digits are common prefix
        {"a1b", "a10", order::after},  // a digit sorts before any non-digit...
        {"a 1", "a1", order::after},
        {"a\x80", "a1", order::after},  // ...even one that is negative as char
        {"a\xB2", "a1", order::after},  // superscript two is no digit in any locale
        {"B", "a", order::before},
        {"\x80", "A", order::before},
        {"\x80", "\xFF", order::before},
    });
}

TEST(IntelligentCompare, DigitRunsOfAnyLengthCompareByExactValue) {
    expect_orders({
        {"v2147483648", "v999", order::after},
        {"v4294967296", "v1", order::after},
        {"v1" + std::string(300, '0') + "1", "v2" + std::string(301, '0'), order::before},
        {"a0010", "a9", order::after},
        {"a0009", "a10", order::before},
        {"a" + std::string(10000, '0') + "7", "a7", order::same},
    });
}

// The ordering as first stated, with atoi on the digit runs: exact while
// runs stay within nine digits.
bool reference_greater(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < std::min(a.size(), b.size()) && a[i] == b[i]) {
        ++i;
    }
    if (i == a.size() || i == b.size()) {
        return i < a.size();
    }
    bool a_digit = a[i] >= '0' && a[i] <= '9';
    bool b_digit = b[i] >= '0' && b[i] <= '9';
    if (!a_digit) {
        return b_digit || static_cast<signed char>(a[i]) > static_cast<signed char>(b[i]);
    }
    return b_digit && std::atoi(a.c_str() + i) > std::atoi(b.c_str() + i);
}

TEST(IntelligentCompare, RandomStringsKeepTheOrderingsProperties) {
    std::mt19937 random(20261206);
    const std::string alphabet = "0019aB .\x80\xFF";
    std::uniform_int_distribution<std::size_t> length(0, 9);
    std::uniform_int_distribution<std::size_t> letter(0, alphabet.size() - 1);
    auto random_string = [&](std::size_t size) {
        std::string s(size, ' ');
        for (char& c : s) {
            c = alphabet[letter(random)];
        }
        return s;
    };
    int failures = 0;
    for (int round = 0; round < 50000 && failures < 10; ++round) {
        std::string a = random_string(length(random));
        // Half the pairs share a prefix, so that the first difference falls late.
        std::string b = round % 2 == 0 ? "" : a.substr(0, length(random));
        b += random_string(length(random));
        b.resize(std::min<std::size_t>(b.size(), 9));
        const char* pa = a.c_str();
        const char* pb = b.c_str();
        bool a_after_b = os_clibrary_string_intelligent_greater(pa, pb);
        bool b_after_a = os_clibrary_string_intelligent_greater(pb, pa);
        if (os_clibrary_string_intelligent_less(pa, pb) != b_after_a || (a_after_b && b_after_a) ||
            os_clibrary_string_intelligent_greater(pa, pa) || a_after_b != reference_greater(a, b)) {
            ++failures;
            ADD_FAILURE() << "a=\"" << a << "\" b=\"" << b << "\"";
        }
    }
}

}  // namespace

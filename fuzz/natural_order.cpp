// The human-order comparison on arbitrary bytes: agreement with a reference
// written from the rules, less as greater mirrored, nothing above itself.
#include "corvane/text.h"
#include "fuzz_support.hpp"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// -1, 0 or 1 for a below, equal to or above b.
int reference(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a, ++b;
    }
    if (*a == *b) {
        return 0;
    }
    if (*a == '\0' || *b == '\0') {
        return *a == '\0' ? -1 : 1;
    }
    if (is_digit(*a) && is_digit(*b)) {
        while (*a == '0') ++a;
        while (*b == '0') ++b;
        std::size_t na = 0, nb = 0;
        while (is_digit(a[na])) ++na;
        while (is_digit(b[nb])) ++nb;
        if (na != nb) {
            return na < nb ? -1 : 1;
        }
        const int order = std::strncmp(a, b, na);
        return order < 0 ? -1 : order > 0 ? 1 : 0;
    }
    if (is_digit(*a) != is_digit(*b)) {
        return is_digit(*a) ? -1 : 1;
    }
    return static_cast<signed char>(*a) < static_cast<signed char>(*b) ? -1 : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in{data, size};
    const std::string a = in.text();
    const std::string b = in.text();
    const bool above = os_clibrary_string_intelligent_greater(a.c_str(), b.c_str());
    const bool below = os_clibrary_string_intelligent_greater(b.c_str(), a.c_str());
    const int want = reference(a.c_str(), b.c_str());
    FUZZ_CHECK(above == (want > 0) && below == (want < 0));
    FUZZ_CHECK(os_clibrary_string_intelligent_less(a.c_str(), b.c_str()) == below);
    FUZZ_CHECK(os_clibrary_string_intelligent_less(b.c_str(), a.c_str()) == above);
    FUZZ_CHECK(!os_clibrary_string_intelligent_greater(a.c_str(), a.c_str()));
    return 0;
}

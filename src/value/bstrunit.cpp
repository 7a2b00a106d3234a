#include "value/bstrunit.hpp"

#include <cstring>

namespace corvane::detail {

bstrunit* make_unit_from_text(const char* text) {
    return make_unit(text, static_cast<uint32_t>(std::strlen(text) + 1));
}

bool units_equal(const bstrunit& a, const bstrunit& b) noexcept {
    return a.length == b.length && !has_negative_length(&a) &&
           (a.length == 0 || std::memcmp(a.bytes, b.bytes, a.length) == 0);
}

}  // namespace corvane::detail

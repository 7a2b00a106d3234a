#include "value/bstrunit.hpp"

#include <cstring>
#include <new>

namespace corvane::detail {

bstrunit* make_unit(const void* bytes, uint32_t length) {
    void* block = ::operator new(sizeof(bstrunit) + size_t{length});
    auto* unit = static_cast<bstrunit*>(block);
    unit->length = length;
    if (length > 0) {
        std::memcpy(unit->bytes, bytes, length);
    }
    return unit;
}

bstrunit* make_unit_from_text(const char* text) {
    return make_unit(text, static_cast<uint32_t>(std::strlen(text) + 1));
}

bstrunit* duplicate_unit(const bstrunit* unit) {
    return unit == nullptr ? nullptr : make_unit(unit->bytes, unit->length);
}

void release_unit(bstrunit* unit) noexcept {
    ::operator delete(unit);
}

bool units_equal(const bstrunit& a, const bstrunit& b) noexcept {
    return a.length == b.length && (a.length == 0 || std::memcmp(a.bytes, b.bytes, a.length) == 0);
}

}  // namespace corvane::detail

// Records, units and text for the value tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/value.h"

namespace corvane::test {

// A record cleared at the end of its scope, so that a failing assertion
// leaks no unit.
struct scoped_record {
    variant_record r{};
    scoped_record() = default;
    explicit scoped_record(const char* text) { variant_set_string(&r, text, 1); }
    scoped_record(const scoped_record&) = delete;
    ~scoped_record() { variant_clear(&r); }
};

// A record of `type` whose low-order value bytes hold `value`.
template <typename T>
variant_record typed(variant_type type, T value) {
    variant_record r{};
    r.type = type;
    std::memcpy(&r.value, &value, sizeof value);
    return r;
}

// A unit's text up to its first NUL; "<null>" for a null unit.
inline std::string text_of(const bstrunit* unit) {
    return unit == nullptr ? "<null>" : std::string(reinterpret_cast<const char*>(unit->bytes), unit->length).c_str();
}

// A unit in caller memory, never to be attached to a handle; the words keep
// the length field aligned.
struct caller_unit {
    std::vector<uint32_t> block;
    explicit caller_unit(std::string_view bytes) : block(2 + bytes.size() / 4, uint32_t(bytes.size())) {
        std::memcpy(get()->bytes, bytes.data(), bytes.size());
    }
    bstrunit* get() { return reinterpret_cast<bstrunit*>(block.data()); }
};

}  // namespace corvane::test

// bstrunits for the handle tests: units the caller owns in its own memory,
// and units made and released by the library through a byte-string handle.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "corvane/value.h"

namespace corvane::test {

// A unit in caller memory (never to be attached to a handle).
class caller_unit {
public:
    caller_unit(const char* bytes, uint32_t length)
        : block_((sizeof(bstrunit) + length) / sizeof(uint32_t) + 1) {
        get()->length = length;
        std::memcpy(get()->bytes, bytes, length);
    }
    bstrunit* get() { return reinterpret_cast<bstrunit*>(block_.data()); }

private:
    std::vector<uint32_t> block_;  // uint32_t keeps the length field aligned
};

// A unit of the library's own making, holding `text` and its NUL.
inline bstrunit* library_unit(const char* text) {
    bstr_handle* handle = bstr_create();
    bstr_set_string(handle, text);
    bstrunit* unit = bstr_detach_bstrunit(handle);
    bstr_destroy(&handle);
    return unit;
}

// Gives a unit of the library's making back to the library.
inline void release_library_unit(bstrunit* unit) {
    bstr_handle* handle = bstr_create();
    bstr_attach_bstrunit(handle, unit);
    bstr_destroy(&handle);
}

inline const char* text_of(const bstrunit* unit) {
    return reinterpret_cast<const char*>(unit->bytes);
}

}  // namespace corvane::test

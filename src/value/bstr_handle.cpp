// Byte-string handles: a heap object owning at most one bstrunit.

#include "common/handle.hpp"
#include "corvane/value.h"
#include "value/bstrunit.hpp"

using corvane::detail::duplicate_unit;
using corvane::detail::has_negative_length;
using corvane::detail::make_unit_from_text;
using corvane::detail::release_unit;
using corvane::detail::units_equal;

struct bstr_handle : corvane::detail::handle {
    ~bstr_handle() override { release_unit(unit); }

    bstrunit* unit = nullptr;  // owned exclusively, or null when empty
};

namespace {

// Replaces the handle's unit with `fresh`. The new unit is always made before
// the old one is released, so a source that is the handle's own unit (or its
// own bytes) is read while it is still alive, and a failed allocation leaves
// the handle as it was.
void replace_unit(bstr_handle* handle, bstrunit* fresh) noexcept {
    release_unit(handle->unit);
    handle->unit = fresh;
}

// The equality rule shared by both comparisons once the first side is known
// to be a live handle: empty equals only null, otherwise length and bytes.
bool unit_equals(const bstrunit* mine, const bstrunit* other) noexcept {
    if (mine == nullptr || other == nullptr) {
        return mine == other;
    }
    return units_equal(*mine, *other);
}

}  // namespace

extern "C" {

CORVANE_API bstr_handle* bstr_create(void) {
    return new bstr_handle;
}

CORVANE_API void bstr_clear(bstr_handle* handle) {
    if (handle != nullptr) {
        replace_unit(handle, nullptr);
    }
}

CORVANE_API void bstr_attach_bstrunit(bstr_handle* handle, bstrunit* unit) {
    // Attaching the unit the handle already owns must not release it.
    if (handle != nullptr && handle->unit != unit) {
        replace_unit(handle, unit);
    }
}

CORVANE_API bstrunit* bstr_detach_bstrunit(bstr_handle* handle) {
    if (handle == nullptr) {
        return nullptr;
    }
    bstrunit* unit = handle->unit;
    handle->unit = nullptr;
    return unit;
}

CORVANE_API char* bstr_get_string(const bstr_handle* handle) {
    if (handle == nullptr || handle->unit == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<char*>(handle->unit->bytes);
}

CORVANE_API bool bstr_equal_bstr(const bstr_handle* a, const bstr_handle* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return unit_equals(a->unit, b->unit);
}

CORVANE_API bool bstr_equal_bstrunit(const bstr_handle* handle, const bstrunit* unit) {
    if (handle == nullptr) {
        return unit == nullptr;
    }
    return unit_equals(handle->unit, unit);
}

CORVANE_API bool bstr_set_bstr(bstr_handle* destination, const bstr_handle* source) {
    if (destination == nullptr) {
        return source == nullptr;
    }
    if (destination == source) {
        return true;
    }
    replace_unit(destination, source == nullptr ? nullptr : duplicate_unit(source->unit));
    return true;
}

CORVANE_API bool bstr_set_bstrunit(bstr_handle* handle, const bstrunit* unit) {
    if (handle == nullptr || has_negative_length(unit)) {
        return unit == nullptr;
    }
    replace_unit(handle, duplicate_unit(unit));
    return true;
}

CORVANE_API bool bstr_set_string(bstr_handle* handle, const char* text) {
    if (handle == nullptr) {
        return text == nullptr;
    }
    replace_unit(handle, text == nullptr ? nullptr : make_unit_from_text(text));
    return true;
}

}  // extern "C"

// Safe arrays: a resizable run of elements of one variant type, with
// snapshots ("accesses") that live until the next unaccess.

#include <cstddef>
#include <cstring>
#include <list>
#include <memory>

#include "common/handle.hpp"
#include "corvane/value.h"
#include "value/bstrunit.hpp"

using corvane::detail::duplicate_unit;
using corvane::detail::release_unit;

// The plain element block. It is the first member of safearray_handle rather
// than a second base: the handle base must stay the first and only base so
// that the shared destroy function can read any handle as that base. The
// memory order (handle base, then these fields, then the access list) is the
// same either way.
struct tagTSAFEITEMARRAY {
    variant_type element_type = VARIANT_TYPE_EMPTY;
    uint32_t element_count = 0;
    std::byte* element_storage = nullptr;  // null when the count is 0 or the type has no storage
};

namespace {

struct access_record {
    variant_type element_type;
    std::byte* snapshot;
    uint32_t element_count;
};

// Bytes of one element; 0 for the types that have no storage.
size_t element_width(variant_type type) noexcept {
    switch (type) {
    case VARIANT_TYPE_CHAR:
    case VARIANT_TYPE_UCHAR:
    case VARIANT_TYPE_BOOL:
        return 1;
    case VARIANT_TYPE_SHORT:
    case VARIANT_TYPE_USHORT:
        return 2;
    case VARIANT_TYPE_INT:
    case VARIANT_TYPE_UINT:
    case VARIANT_TYPE_LONG:
    case VARIANT_TYPE_ULONG:
    case VARIANT_TYPE_FLOAT:
        return 4;
    case VARIANT_TYPE_LONGLONG:
    case VARIANT_TYPE_ULONGLONG:
    case VARIANT_TYPE_DOUBLE:
        return 8;
    case VARIANT_TYPE_STRING:
        return sizeof(bstrunit*);
    default:
        return 0;
    }
}

// String slots hold unit pointers in a byte buffer; they are read and written
// with memcpy because caller buffers need not be aligned for a pointer.
bstrunit* load_unit(const std::byte* slot) noexcept {
    bstrunit* unit;
    std::memcpy(&unit, slot, sizeof unit);
    return unit;
}

void store_unit(std::byte* slot, const bstrunit* unit) noexcept {
    std::memcpy(slot, &unit, sizeof unit);
}

std::byte* allocate_zeroed(size_t bytes) {
    return new std::byte[bytes]();
}

// Fills `to` with duplicates of the `count` units in `from`. If an allocation
// fails, the duplicates already made are released before the failure leaves.
void duplicate_units(const std::byte* from, std::byte* to, uint32_t count) {
    uint32_t made = 0;
    try {
        for (; made < count; ++made) {
            store_unit(to + made * sizeof(bstrunit*),
                       duplicate_unit(load_unit(from + made * sizeof(bstrunit*))));
        }
    } catch (...) {
        for (uint32_t i = 0; i < made; ++i) {
            release_unit(load_unit(to + i * sizeof(bstrunit*)));
        }
        throw;
    }
}

}  // namespace

struct safearray_handle : corvane::detail::handle {
    explicit safearray_handle(variant_type type) { items.element_type = type; }

    ~safearray_handle() override {
        end_accesses();
        resize(0);
    }

    size_t width() const noexcept { return element_width(items.element_type); }
    bool holds_strings() const noexcept { return items.element_type == VARIANT_TYPE_STRING; }
    std::byte* slot(uint32_t index) const noexcept { return items.element_storage + index * width(); }

    // The element operations' shared precondition.
    bool has_slot(uint32_t index, const void* caller_memory) const noexcept {
        return caller_memory != nullptr && width() != 0 && index < items.element_count;
    }

    bool resize(uint32_t count) {
        if (count == items.element_count) {
            return true;
        }
        const size_t width_bytes = width();
        if (width_bytes == 0) {
            // The count follows the request even though there is nothing to store.
            items.element_count = count;
            return false;
        }
        std::byte* fresh = count > 0 ? allocate_zeroed(count * width_bytes) : nullptr;
        const uint32_t kept = count < items.element_count ? count : items.element_count;
        if (kept > 0) {
            std::memcpy(fresh, items.element_storage, kept * width_bytes);
        }
        // Kept string units move to the new storage as they are: the array
        // owns them alone, so only the cut-off ones are released.
        if (holds_strings()) {
            for (uint32_t i = kept; i < items.element_count; ++i) {
                release_unit(load_unit(slot(i)));
            }
        }
        delete[] items.element_storage;
        items.element_storage = fresh;
        items.element_count = count;
        return true;
    }

    void end_accesses() noexcept {
        for (const access_record& record : accesses) {
            delete[] record.snapshot;
        }
        accesses.clear();
    }

    tagTSAFEITEMARRAY items;
    std::list<access_record> accesses;  // in order of creation
};

extern "C" {

CORVANE_API safearray_handle* safearray_create(variant_type type, uint32_t count) {
    auto array = std::make_unique<safearray_handle>(type);
    array->resize(count);
    return array.release();
}

CORVANE_API void safearray_clear(safearray_handle* handle) {
    if (handle != nullptr) {
        handle->resize(0);
    }
}

CORVANE_API bool safearray_resize(safearray_handle* handle, uint32_t count) {
    return handle != nullptr && handle->resize(count);
}

CORVANE_API uint32_t safearray_get_element_count(const safearray_handle* handle) {
    return handle == nullptr ? 0 : handle->items.element_count;
}

CORVANE_API variant_type safearray_get_element_type(const safearray_handle* handle) {
    return handle == nullptr ? VARIANT_TYPE_EMPTY : handle->items.element_type;
}

CORVANE_API bool safearray_get_element(const safearray_handle* handle, uint32_t index, void* out) {
    if (handle == nullptr || !handle->has_slot(index, out)) {
        return false;
    }
    if (handle->holds_strings()) {
        store_unit(static_cast<std::byte*>(out), duplicate_unit(load_unit(handle->slot(index))));
    } else {
        std::memcpy(out, handle->slot(index), handle->width());
    }
    return true;
}

CORVANE_API bool safearray_set_element(safearray_handle* handle, uint32_t index, const void* value) {
    if (handle == nullptr || !handle->has_slot(index, value)) {
        return false;
    }
    if (handle->holds_strings()) {
        const bstrunit* unit = load_unit(static_cast<const std::byte*>(value));
        if (corvane::detail::has_negative_length(unit)) {
            return false;
        }
        bstrunit* fresh = duplicate_unit(unit);
        release_unit(load_unit(handle->slot(index)));
        store_unit(handle->slot(index), fresh);
    } else {
        std::memcpy(handle->slot(index), value, handle->width());
    }
    return true;
}

CORVANE_API bool safearray_access_element(safearray_handle* handle, void** snapshot) {
    if (handle == nullptr || snapshot == nullptr) {
        return false;
    }
    const uint32_t count = handle->items.element_count;
    if (count == 0) {
        *snapshot = nullptr;
        return true;
    }
    const size_t width = handle->width();
    if (width == 0) {
        return false;
    }
    // The record goes in first, so that nothing can fail once the caller's
    // string duplicates exist.
    access_record& record =
        handle->accesses.emplace_back(access_record{handle->items.element_type, nullptr, count});
    try {
        record.snapshot = allocate_zeroed(count * width);
        if (handle->holds_strings()) {
            duplicate_units(handle->items.element_storage, record.snapshot, count);
        } else {
            std::memcpy(record.snapshot, handle->items.element_storage, count * width);
        }
    } catch (...) {
        delete[] record.snapshot;
        handle->accesses.pop_back();
        throw;
    }
    *snapshot = record.snapshot;
    return true;
}

CORVANE_API bool safearray_unaccess_element(safearray_handle* handle) {
    if (handle == nullptr) {
        return false;
    }
    handle->end_accesses();
    return true;
}

}  // extern "C"

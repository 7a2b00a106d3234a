// The variant record's basic operations: emptying, comparison, deep copy and
// the lookups between type codes and type names.
#include <cstring>
#include <iterator>

#include "common/size_query.hpp"
#include "value/bstrunit.hpp"
#include "value/variant_record.hpp"

namespace corvane::detail {
namespace {

// Indexed by type code; code 0 has no name.
constexpr const char* type_names[] = {
    nullptr, "char",      "unsigned char",      "short", "unsigned short", "int",    "unsigned int", "long",
    "unsigned long", "long long", "unsigned long long", "float", "double",         "string", "bool",
};
static_assert(std::size(type_names) == VARIANT_TYPE_BOOL + 1);

bool strings_equal(const bstrunit* a, const bstrunit* b) noexcept {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    return units_equal(*a, *b);
}

}  // namespace

void copy_record(variant_record& destination, const variant_record& source) {
    const bool refused = source.type == VARIANT_TYPE_STRING && has_negative_length(source.value.unit);
    if (&destination == &source || refused) {
        return;
    }
    // The unit is copied before the destination is emptied, so that a failed
    // allocation leaves the destination as it was.
    bstrunit* unit = source.type == VARIANT_TYPE_STRING ? duplicate_unit(source.value.unit) : nullptr;
    clear_record(destination);
    if (source.type == VARIANT_TYPE_STRING) {
        destination.type = VARIANT_TYPE_STRING;
        destination.value.unit = unit;
    } else {
        std::memcpy(&destination, &source, sizeof destination);
    }
}

}  // namespace corvane::detail

using namespace corvane::detail;

extern "C" {

CORVANE_API void variant_init(variant_record* v) {
    v->type = VARIANT_TYPE_EMPTY;
}

CORVANE_API void variant_clear(variant_record* v) {
    clear_record(*v);
}

CORVANE_API bool variant_equal_variant(const variant_record* a, const variant_record* b) {
    if (a->type != b->type) {
        return false;
    }
    switch (a->type) {
    case VARIANT_TYPE_EMPTY:
        return true;
    // IEEE equality: a NaN equals nothing, itself included; 0.0 equals -0.0.
    case VARIANT_TYPE_FLOAT:
        return a->value.f32 == b->value.f32;
    case VARIANT_TYPE_DOUBLE:
        return a->value.f64 == b->value.f64;
    case VARIANT_TYPE_STRING:
        return strings_equal(a->value.unit, b->value.unit);
    default:
        // Integers and bool compare their own member only; the bool byte is
        // compared as stored, so 1 and 2 differ.
        return is_valid_type(a->type) && integer_bits(a->value, a->type) == integer_bits(b->value, b->type);
    }
}

CORVANE_API bool variant_get_datatype_size(variant_type type, uint32_t* bits) {
    *bits = type_bit_size(type);
    return *bits != 0;
}

CORVANE_API void variant_set_variant(variant_record* destination, const variant_record* source) {
    copy_record(*destination, *source);
}

CORVANE_API void variant_set_bstrunit(variant_record* v, const bstrunit* unit) {
    if (has_negative_length(unit)) {
        return;
    }
    // Copied first: `unit` may be the record's own unit.
    bstrunit* copy = duplicate_unit(unit);
    clear_record(*v);
    v->type = VARIANT_TYPE_STRING;
    v->value.unit = copy;
}

CORVANE_API bool variant_resolve_display_type(variant_type type, char* buffer, uint32_t* size) {
    if (!is_value_type(type)) {
        return false;
    }
    return corvane::detail::deliver_text(type_names[type], buffer, size);
}

CORVANE_API bool variant_resolve_type(const char* name, variant_type* type) {
    if (name == nullptr) {
        return false;
    }
    for (variant_type code = VARIANT_TYPE_CHAR; code <= VARIANT_TYPE_BOOL; ++code) {
        if (std::strcmp(name, type_names[code]) == 0) {
            *type = code;
            return true;
        }
    }
    *type = VARIANT_TYPE_EMPTY;
    return false;
}

}  // extern "C"

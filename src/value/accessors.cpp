// Typed setters and getters of variant records. A setter either replaces the
// record's type and value or keeps the record's type and converts the value
// into it; a getter reads the record as its own type without changing it.
#include "value/bstrunit.hpp"
#include "value/variant_record.hpp"

using namespace corvane::detail;

namespace {

// Stores `value` under the setter's own type with force_type 1; otherwise
// converts it to the type `v` holds when that conversion exists. The
// conversion runs on a temporary before `v` is emptied, so a failed
// allocation leaves `v` as it was.
template <variant_type Type, auto Member, typename Value>
void set_typed(variant_record& v, Value value, uint8_t force_type) {
    if (force_type == 1) {
        // Written in place: a record assembled on the stack and copied whole
        // stalls on store forwarding, which costs more than the conversion.
        clear_record(v);
        v.type = Type;
        v.value.*Member = value;
        return;
    }
    variant_record own{};
    own.type = Type;
    own.value.*Member = value;
    // A refused conversion leaves `own` as it was: the setter's type wins.
    change_type(own, v.type);
    clear_record(v);
    v = own;
}

template <variant_type Type, auto Member>
auto resolve_as(const variant_record& v) noexcept {
    return value_as(v, Type).*Member;
}

}  // namespace

extern "C" {

CORVANE_API void variant_set_char(variant_record* v, int8_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_CHAR, &variant_value::i8>(*v, value, force_type);
}
CORVANE_API void variant_set_byte(variant_record* v, uint8_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_UCHAR, &variant_value::u8>(*v, value, force_type);
}
CORVANE_API void variant_set_short(variant_record* v, int16_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_SHORT, &variant_value::i16>(*v, value, force_type);
}
CORVANE_API void variant_set_ushort(variant_record* v, uint16_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_USHORT, &variant_value::u16>(*v, value, force_type);
}
CORVANE_API void variant_set_int(variant_record* v, int32_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_INT, &variant_value::i32>(*v, value, force_type);
}
CORVANE_API void variant_set_uint(variant_record* v, uint32_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_UINT, &variant_value::u32>(*v, value, force_type);
}
CORVANE_API void variant_set_long(variant_record* v, int32_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_LONG, &variant_value::i32>(*v, value, force_type);
}
CORVANE_API void variant_set_ulong(variant_record* v, uint32_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_ULONG, &variant_value::u32>(*v, value, force_type);
}
CORVANE_API void variant_set_longlong(variant_record* v, int64_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_LONGLONG, &variant_value::i64>(*v, value, force_type);
}
CORVANE_API void variant_set_ulonglong(variant_record* v, uint64_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_ULONGLONG, &variant_value::u64>(*v, value, force_type);
}
CORVANE_API void variant_set_float(variant_record* v, float value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_FLOAT, &variant_value::f32>(*v, value, force_type);
}
CORVANE_API void variant_set_double(variant_record* v, double value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_DOUBLE, &variant_value::f64>(*v, value, force_type);
}
CORVANE_API void variant_set_bool(variant_record* v, uint8_t value, uint8_t force_type) {
    set_typed<VARIANT_TYPE_BOOL, &variant_value::u8>(*v, value, force_type);
}

CORVANE_API void variant_set_string(variant_record* v, const char* text, uint8_t force_type) {
    if (text == nullptr) {
        return;
    }
    // The unit is made before `v` is emptied: `text` may be `v`'s own text.
    set_typed<VARIANT_TYPE_STRING, &variant_value::unit>(*v, make_unit_from_text(text), force_type);
}

CORVANE_API int8_t variant_resolve_as_char(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_CHAR, &variant_value::i8>(*v);
}
CORVANE_API uint8_t variant_resolve_as_byte(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_UCHAR, &variant_value::u8>(*v);
}
CORVANE_API int16_t variant_resolve_as_short(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_SHORT, &variant_value::i16>(*v);
}
CORVANE_API uint16_t variant_resolve_as_ushort(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_USHORT, &variant_value::u16>(*v);
}
CORVANE_API int32_t variant_resolve_as_int(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_INT, &variant_value::i32>(*v);
}
CORVANE_API uint32_t variant_resolve_as_uint(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_UINT, &variant_value::u32>(*v);
}
CORVANE_API int32_t variant_resolve_as_long(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_LONG, &variant_value::i32>(*v);
}
CORVANE_API uint32_t variant_resolve_as_ulong(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_ULONG, &variant_value::u32>(*v);
}
CORVANE_API int64_t variant_resolve_as_longlong(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_LONGLONG, &variant_value::i64>(*v);
}
CORVANE_API uint64_t variant_resolve_as_ulonglong(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_ULONGLONG, &variant_value::u64>(*v);
}
CORVANE_API float variant_resolve_as_float(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_FLOAT, &variant_value::f32>(*v);
}
CORVANE_API double variant_resolve_as_double(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_DOUBLE, &variant_value::f64>(*v);
}
CORVANE_API uint8_t variant_resolve_as_bool(const variant_record* v) {
    return resolve_as<VARIANT_TYPE_BOOL, &variant_value::u8>(*v);
}

}  // extern "C"

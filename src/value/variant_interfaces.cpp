// The read and write objects of the variant wrapper, and the filling of a
// record from any read object.

#include "value/variant_interfaces.hpp"

#include <cstring>
#include <string>
#include <string_view>

#include "common/portability.hpp"
#include "common/size_query.hpp"
#include "corvane/sync.h"
#include "value/bstrunit.hpp"
#include "value/variant_record.hpp"

namespace corvane::detail {

template <class Interface>
bool interface_stub<Interface>::Query(const char* name, void** out) {
    if (name == nullptr || out == nullptr) {
        return false;
    }
    if (std::strcmp(name, "IBase") != 0 && std::strcmp(name, interface_name<Interface>) != 0) {
        return false;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return true;
}

template <class Interface>
uint32_t interface_stub<Interface>::AddRef() {
    return static_cast<uint32_t>(os_thread_sync_fetch_add(&count_));
}

template <class Interface>
uint32_t interface_stub<Interface>::Release() {
    const auto count = static_cast<uint32_t>(os_thread_sync_fetch_sub(&count_));
    if (count != 0) {
        return count;
    }
    FinalRelease();
    delete this;
    return 0;
}

template class interface_stub<IVariantRead>;
template class interface_stub<IVariantWrite>;

}  // namespace corvane::detail

namespace {

using corvane::detail::deliver_text;
using corvane::detail::is_value_type;

// A unit read as text: its bytes up to the first NUL, never past its length.
// A null unit is the empty text.
std::string_view unit_text(const bstrunit* unit) {
    if (unit == nullptr || corvane::detail::has_negative_length(unit)) {
        return {};
    }
    const auto* bytes = reinterpret_cast<const char*>(unit->bytes);
    const void* nul = std::memchr(bytes, '\0', unit->length);
    return {bytes, nul == nullptr ? unit->length : static_cast<size_t>(static_cast<const char*>(nul) - bytes)};
}

template <class T>
bool read_as(const variant_record* value, T* out, T (*resolve)(const variant_record*)) {
    if (value == nullptr || out == nullptr) {
        return false;
    }
    *out = resolve(value);
    return true;
}

template <class T>
bool write_as(variant_record* value, void (*set)(variant_record*, T, uint8_t), T new_value, uint8_t force_type) {
    if (value == nullptr) {
        return false;
    }
    set(value, new_value, force_type);
    return true;
}

}  // namespace

bool CVariantRead::GetType(char* buffer, uint32_t* size) {
    if (value == nullptr || size == nullptr) {
        return false;
    }
    // The longest name, "unsigned long long", needs 19 bytes.
    char name[32] = {};
    uint32_t name_size = sizeof name;
    if (!variant_resolve_display_type(value->type, name, &name_size)) {
        name[0] = '\0';
    }
    return deliver_text(name, buffer, size);
}

bool CVariantRead::GetString(char* buffer, uint32_t* size) {
    if (value == nullptr || size == nullptr) {
        return false;
    }
    if (value->type == VARIANT_TYPE_STRING) {
        return deliver_text(unit_text(value->value.unit), buffer, size);
    }
    // Empty and invalid records have no text: converting them would take
    // their value bytes for a unit pointer.
    if (!is_value_type(value->type)) {
        return deliver_text({}, buffer, size);
    }
    variant_record text;
    variant_init(&text);
    variant_set_variant(&text, value);
    const bstrunit* unit = variant_change_type(&text, VARIANT_TYPE_STRING) ? text.value.unit : nullptr;
    const bool delivered = deliver_text(unit_text(unit), buffer, size);
    variant_clear(&text);
    return delivered;
}

bool CVariantRead::GetBool(uint8_t* out) { return read_as(value, out, variant_resolve_as_bool); }
bool CVariantRead::GetDouble(double* out) { return read_as(value, out, variant_resolve_as_double); }
bool CVariantRead::GetFloat(float* out) { return read_as(value, out, variant_resolve_as_float); }
bool CVariantRead::GetLongLong(int64_t* out) { return read_as(value, out, variant_resolve_as_longlong); }
bool CVariantRead::GetULongLong(uint64_t* out) { return read_as(value, out, variant_resolve_as_ulonglong); }
bool CVariantRead::GetLong(int32_t* out) { return read_as(value, out, variant_resolve_as_long); }
bool CVariantRead::GetULong(uint32_t* out) { return read_as(value, out, variant_resolve_as_ulong); }
bool CVariantRead::GetInt(int32_t* out) { return read_as(value, out, variant_resolve_as_int); }
bool CVariantRead::GetUInt(uint32_t* out) { return read_as(value, out, variant_resolve_as_uint); }
bool CVariantRead::GetShort(int16_t* out) { return read_as(value, out, variant_resolve_as_short); }
bool CVariantRead::GetUShort(uint16_t* out) { return read_as(value, out, variant_resolve_as_ushort); }
bool CVariantRead::GetChar(int8_t* out) { return read_as(value, out, variant_resolve_as_char); }
bool CVariantRead::GetByte(uint8_t* out) { return read_as(value, out, variant_resolve_as_byte); }

bool CVariantWrite::SetType(const char* type_name) {
    if (value == nullptr) {
        return false;
    }
    // A null or unknown name leaves the code 0, which the conversion refuses
    // for every value type.
    variant_type code = VARIANT_TYPE_EMPTY;
    if (type_name != nullptr) {
        variant_resolve_type(type_name, &code);
    }
    variant_change_type(value, code);
    return true;
}

bool CVariantWrite::SetString(const char* text, uint8_t force_type) {
    return write_as(value, variant_set_string, text, force_type);
}

bool CVariantWrite::SetBool(uint8_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_bool, new_value, force_type);
}
bool CVariantWrite::SetDouble(double new_value, uint8_t force_type) {
    return write_as(value, variant_set_double, new_value, force_type);
}
bool CVariantWrite::SetFloat(float new_value, uint8_t force_type) {
    return write_as(value, variant_set_float, new_value, force_type);
}
bool CVariantWrite::SetLongLong(int64_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_longlong, new_value, force_type);
}
bool CVariantWrite::SetULongLong(uint64_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_ulonglong, new_value, force_type);
}
bool CVariantWrite::SetLong(int32_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_long, new_value, force_type);
}
bool CVariantWrite::SetULong(uint32_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_ulong, new_value, force_type);
}
bool CVariantWrite::SetInt(int32_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_int, new_value, force_type);
}
bool CVariantWrite::SetUInt(uint32_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_uint, new_value, force_type);
}
bool CVariantWrite::SetShort(int16_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_short, new_value, force_type);
}
bool CVariantWrite::SetUShort(uint16_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_ushort, new_value, force_type);
}
bool CVariantWrite::SetChar(int8_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_char, new_value, force_type);
}
bool CVariantWrite::SetByte(uint8_t new_value, uint8_t force_type) {
    return write_as(value, variant_set_byte, new_value, force_type);
}

namespace {

// The source of variant_set_variantread may be implemented in C: it then has
// the table of operations but none of the type information that the vptr
// sanitizer looks for, so the two functions that call into it are exempt
// from that check.
//
// Asks a read object for a text by the size-query protocol. A failed call or
// a size of 0 gives the empty text; the text ends at its first NUL and never
// runs past the buffer the object was given.
CORVANE_NO_SANITIZE_VPTR std::string query_text(IVariantRead* source,
                                                  bool (IVariantRead::*get)(char*, uint32_t*)) {
    uint32_t size = 0;
    if (!(source->*get)(nullptr, &size) || size == 0) {
        return {};
    }
    std::string text(size, '\0');
    if (!(source->*get)(text.data(), &size)) {
        return {};
    }
    text.resize(std::strlen(text.c_str()));
    return text;
}

CORVANE_NO_SANITIZE_VPTR void read_typed_value(IVariantRead* source, variant_type code,
                                               variant_record* destination) {
    auto& v = destination->value;
    switch (code) {
    case VARIANT_TYPE_CHAR: source->GetChar(&v.i8); break;
    case VARIANT_TYPE_UCHAR: source->GetByte(&v.u8); break;
    case VARIANT_TYPE_SHORT: source->GetShort(&v.i16); break;
    case VARIANT_TYPE_USHORT: source->GetUShort(&v.u16); break;
    case VARIANT_TYPE_INT: source->GetInt(&v.i32); break;
    case VARIANT_TYPE_UINT: source->GetUInt(&v.u32); break;
    case VARIANT_TYPE_LONG: source->GetLong(&v.i32); break;
    case VARIANT_TYPE_ULONG: source->GetULong(&v.u32); break;
    case VARIANT_TYPE_LONGLONG: source->GetLongLong(&v.i64); break;
    case VARIANT_TYPE_ULONGLONG: source->GetULongLong(&v.u64); break;
    case VARIANT_TYPE_FLOAT: source->GetFloat(&v.f32); break;
    case VARIANT_TYPE_DOUBLE: source->GetDouble(&v.f64); break;
    case VARIANT_TYPE_BOOL: source->GetBool(&v.u8); break;
    default: break;
    }
}

}  // namespace

extern "C" CORVANE_API void variant_set_variantread(variant_record* destination, IVariantRead* source) {
    variant_clear(destination);
    if (source == nullptr) {
        return;
    }
    variant_type code = VARIANT_TYPE_EMPTY;
    variant_resolve_type(query_text(source, &IVariantRead::GetType).c_str(), &code);
    if (code == VARIANT_TYPE_STRING) {
        variant_set_string(destination, query_text(source, &IVariantRead::GetString).c_str(), 1);
        return;
    }
    // A getter that fails leaves the type set and the value zero.
    destination->type = code;
    read_typed_value(source, code, destination);
}

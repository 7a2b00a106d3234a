// Operations on variant records shared by the variant_ functions: the type
// code table, integer members by width, emptying, deep copy and conversion.
#pragma once

#include <cstdint>
#include <cstring>

#include "corvane/value.h"
#include "value/bstrunit.hpp"

namespace corvane::detail {

using variant_value = decltype(variant_record::value);

constexpr bool is_valid_type(variant_type type) noexcept {
    return type <= VARIANT_TYPE_BOOL;
}

// A code that holds a value: valid and not empty.
constexpr bool is_value_type(variant_type type) noexcept {
    return type != VARIANT_TYPE_EMPTY && is_valid_type(type);
}

constexpr bool is_integer_type(variant_type type) noexcept {
    return type >= VARIANT_TYPE_CHAR && type <= VARIANT_TYPE_ULONGLONG;
}

// The signed integer codes are the odd ones: char, short, int, long, long long.
constexpr bool is_signed_integer_type(variant_type type) noexcept {
    return is_integer_type(type) && type % 2 == 1;
}

// Bits of the value a code holds (8, 16, 32, 64), or 0 for empty, string
// and invalid codes.
constexpr uint32_t type_bit_size(variant_type type) noexcept {
    switch (type) {
    case VARIANT_TYPE_CHAR:
    case VARIANT_TYPE_UCHAR:
    case VARIANT_TYPE_BOOL:
        return 8;
    case VARIANT_TYPE_SHORT:
    case VARIANT_TYPE_USHORT:
        return 16;
    case VARIANT_TYPE_INT:
    case VARIANT_TYPE_UINT:
    case VARIANT_TYPE_LONG:
    case VARIANT_TYPE_ULONG:
    case VARIANT_TYPE_FLOAT:
        return 32;
    case VARIANT_TYPE_LONGLONG:
    case VARIANT_TYPE_ULONGLONG:
    case VARIANT_TYPE_DOUBLE:
        return 64;
    default:
        return 0;
    }
}

// The integer member of an integer or bool `type`, widened to 64 bits: sign-
// extended for the signed codes, zero-extended otherwise. The bits are
// returned unsigned so that callers can cut them without overflow.
inline uint64_t integer_bits(const variant_value& value, variant_type type) noexcept {
    switch (type_bit_size(type)) {
    case 8:
        return is_signed_integer_type(type) ? static_cast<uint64_t>(int64_t{value.i8}) : value.u8;
    case 16:
        return is_signed_integer_type(type) ? static_cast<uint64_t>(int64_t{value.i16}) : value.u16;
    case 32:
        return is_signed_integer_type(type) ? static_cast<uint64_t>(int64_t{value.i32}) : value.u32;
    default:
        return value.u64;
    }
}

// Stores the low bits of `bits` in the member of an integer or bool `type`;
// bytes above that member keep what they held.
inline void store_integer_bits(variant_value& value, variant_type type, uint64_t bits) noexcept {
    switch (type_bit_size(type)) {
    case 8:
        value.u8 = static_cast<uint8_t>(bits);
        break;
    case 16:
        value.u16 = static_cast<uint16_t>(bits);
        break;
    case 32:
        value.u32 = static_cast<uint32_t>(bits);
        break;
    default:
        value.u64 = bits;
        break;
    }
}

// Empties a record as variant_clear does: releases a string's unit and
// zeroes all 16 bytes.
inline void clear_record(variant_record& v) noexcept {
    if (v.type == VARIANT_TYPE_STRING) {
        release_unit(v.value.unit);
    }
    std::memset(&v, 0, sizeof v);
}

// The deep copy of variant_set_variant.
void copy_record(variant_record& destination, const variant_record& source);

// The in-place conversion of variant_change_type.
bool change_type(variant_record& v, variant_type target);

// The value that converting `v` to the number or bool `target` gives, without
// changing `v` or allocating: what variant_change_type would leave in a copy
// of `v`. An empty or invalid record gives its value bytes unchanged.
variant_value value_as(const variant_record& v, variant_type target) noexcept;

}  // namespace corvane::detail

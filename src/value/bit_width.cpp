// Normalising an integer record that carries an n-bit field in its low bits.
#include "value/variant_record.hpp"

using namespace corvane::detail;

extern "C" CORVANE_API bool variant_ajust_data_value(variant_record* v, int32_t bits) {
    if (!is_integer_type(v->type)) {
        return false;
    }
    const uint32_t width = type_bit_size(v->type);
    if (bits < 1 || static_cast<uint32_t>(bits) >= width) {
        return true;  // a field of the whole width, or no field: nothing to adjust
    }
    const uint64_t field_mask = (uint64_t{1} << bits) - 1;
    uint64_t value = integer_bits(v->value, v->type);
    if (!is_signed_integer_type(v->type)) {
        value &= field_mask;
    } else if ((value >> (bits - 1)) & 1) {
        // Bits above a field whose sign bit is clear are left alone: they are
        // taken to be zero or copies of the sign already.
        value |= ~field_mask;
    }
    store_integer_bits(v->value, v->type, value);
    return true;
}

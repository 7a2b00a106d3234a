// Any record (every type code 0 to 255, arbitrary value bytes, a library unit
// for strings) converted to every target code and back, and adjusted to an
// arbitrary bit width: refusals leave the record as it was, conversions that
// lose nothing come back equal, and every unit made is released.
#include "fuzz_support.hpp"

namespace {

bool is_integer(unsigned code) {
    return code >= VARIANT_TYPE_CHAR && code <= VARIANT_TYPE_ULONGLONG;
}
bool is_valid(unsigned code) { return code >= VARIANT_TYPE_CHAR && code <= VARIANT_TYPE_BOOL; }

// A refused conversion or adjustment leaves the record as it was.
bool unchanged(const variant_record& now, const variant_record& before) {
    return before.type == VARIANT_TYPE_STRING ? variant_equal_variant(&now, &before)
                                              : std::memcmp(&now, &before, sizeof now) == 0;
}

unsigned width(unsigned code) { return code < 16 ? fuzz::type_bits[code] : 0; }

// Whether source -> target -> source gives the source value back.
bool round_trips(unsigned source, unsigned target) {
    if (!is_integer(source)) {
        return false;
    }
    const unsigned bits = width(source);
    return (is_integer(target) && width(target) >= bits) || target == VARIANT_TYPE_STRING ||
           (target == VARIANT_TYPE_DOUBLE && bits <= 32) ||
           (target == VARIANT_TYPE_FLOAT && bits <= 16);
}

// Signed: a set bit n-1 is copied upward, a clear one changes nothing.
// Unsigned: only the low n bits stay. Counts outside 1 to the width change nothing.
std::uint64_t adjusted(std::uint64_t raw, unsigned code, int bits) {
    const unsigned full = width(code);
    if (bits < 1 || static_cast<unsigned>(bits) >= full) {
        return raw;
    }
    const std::uint64_t field = (std::uint64_t{1} << bits) - 1;
    const std::uint64_t type_mask = full == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << full) - 1;
    if (code % 2 == 0) {
        return raw & field;
    }
    return ((raw >> (bits - 1)) & 1) != 0 ? (raw | ~field) & type_mask : raw;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::input in{data, size};
    const unsigned source = in.take<std::uint8_t>();
    std::uint32_t bits_reported = 1;
    FUZZ_CHECK(variant_get_datatype_size(static_cast<variant_type>(source), &bits_reported) ==
                   (width(source) != 0) &&
               bits_reported == width(source));
    const auto bits = in.take<std::int32_t>();
    variant_record original{};
    original.value.u64 = in.take<std::uint64_t>();
    original = source == VARIANT_TYPE_STRING ? fuzz::string_record(in.bytes()) : original;
    original.type = static_cast<variant_type>(source);
    for (unsigned target = 0; target < 256; ++target) {
        // Bytes of an empty or invalid record taken as a unit pointer would be freed.
        if (!is_valid(source) && target == VARIANT_TYPE_STRING) {
            continue;
        }
        variant_record v{};
        variant_set_variant(&v, &original);
        const bool done = variant_change_type(&v, static_cast<variant_type>(target));
        FUZZ_CHECK(done == (v.type == target));
        FUZZ_CHECK(done || unchanged(v, original));
        if (done && !is_valid(source)) {
            FUZZ_CHECK(v.value.u64 == original.value.u64);
        }
        // 64-bit integers to bool may go either way.
        const bool open = (source == VARIANT_TYPE_LONGLONG || source == VARIANT_TYPE_ULONGLONG) &&
                          target == VARIANT_TYPE_BOOL;
        FUZZ_CHECK(open || done == (source == target || !is_valid(source) || is_valid(target)));
        if (done && round_trips(source, target)) {
            FUZZ_CHECK(variant_change_type(&v, static_cast<variant_type>(source)));
            FUZZ_CHECK(variant_equal_variant(&v, &original));
        }
        variant_clear(&v);
    }
    variant_record adjusted_record{};
    variant_set_variant(&adjusted_record, &original);
    const bool adjusts = variant_ajust_data_value(&adjusted_record, bits);
    FUZZ_CHECK(adjusts == is_integer(source));
    const std::uint64_t want = adjusted(fuzz::member_bits(original), source, bits);
    FUZZ_CHECK(adjusts ? fuzz::member_bits(adjusted_record) == want
                       : unchanged(adjusted_record, original));
    variant_clear(&adjusted_record);
    variant_clear(&original);
    return 0;
}

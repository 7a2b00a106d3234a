// Text read as every numeric type, through variant_change_type and through
// the typed getters, against a reference of the parse rules: base 0, strtol
// clamped at 32 bits, strtoul clamped and negated modulo 2^32, 64-bit strtoll
// and strtoull, strtod. The unit holds the input bytes exactly, with or
// without a NUL, so a read past its end leaves the heap block; the empty input
// stands for a null unit, which reads as empty text.
#include <cerrno>
#include <cstdlib>

#include "fuzz_support.hpp"

namespace {

struct parsed {
    std::int32_t l32;
    std::uint32_t ul32;
    std::int64_t ll;
    std::uint64_t ull;
    double d;
};

parsed reference(const std::string& text) {
    const char* s = text.c_str();
    parsed p{};
    errno = 0;
    const long long l = std::strtoll(s, nullptr, 0);
    p.l32 = static_cast<std::int32_t>(l < INT32_MIN ? INT32_MIN : l > INT32_MAX ? INT32_MAX : l);
    p.ll = l;
    errno = 0;
    p.ull = std::strtoull(s, nullptr, 0);
    const bool overflow = errno == ERANGE;
    const char* sign = s + std::strspn(s, " \t\n\v\f\r");
    const std::uint64_t magnitude = *sign == '-' ? 0 - p.ull : p.ull;
    p.ul32 = overflow || magnitude > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(p.ull);
    p.d = std::strtod(s, nullptr);
    return p;
}

template <typename T>
std::uint64_t bits(T value) {
    std::uint64_t out = 0;
    std::memcpy(&out, &value, sizeof value);
    return value == value ? out : ~std::uint64_t{0};  // NaNs alike
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const parsed p = reference(bytes.substr(0, bytes.find('\0')));
    variant_record v{};
    v.type = VARIANT_TYPE_STRING;
    v = size > 0 ? fuzz::string_record(bytes) : v;
    const std::uint64_t want[] = {
        0,           bits<std::int8_t>(p.l32),  bits<std::uint8_t>(p.ul32),
        bits<std::int16_t>(p.l32), bits<std::uint16_t>(p.ul32), bits(p.l32), bits(p.ul32),
        bits(p.l32), bits(p.ul32), bits(p.ll), bits(p.ull), bits(static_cast<float>(p.d)),
        bits(p.d),   0,           bits<std::uint8_t>(p.l32 != 0)};
    const std::uint64_t got[] = {
        0, bits(variant_resolve_as_char(&v)), bits(variant_resolve_as_byte(&v)),
        bits(variant_resolve_as_short(&v)), bits(variant_resolve_as_ushort(&v)),
        bits(variant_resolve_as_int(&v)), bits(variant_resolve_as_uint(&v)),
        bits(variant_resolve_as_long(&v)), bits(variant_resolve_as_ulong(&v)),
        bits(variant_resolve_as_longlong(&v)), bits(variant_resolve_as_ulonglong(&v)),
        bits(variant_resolve_as_float(&v)), bits(variant_resolve_as_double(&v)), 0,
        bits(variant_resolve_as_bool(&v))};
    for (variant_type target = 1; target <= VARIANT_TYPE_BOOL; ++target) {
        variant_record copy{};
        variant_set_variant(&copy, &v);
        FUZZ_CHECK(target == VARIANT_TYPE_STRING || got[target] == want[target]);
        FUZZ_CHECK(variant_change_type(&copy, target) && copy.type == target);
        const std::uint64_t member = target == VARIANT_TYPE_FLOAT    ? bits(copy.value.f32)
                                     : target == VARIANT_TYPE_DOUBLE ? bits(copy.value.f64)
                                                                     : fuzz::member_bits(copy);
        FUZZ_CHECK(target == VARIANT_TYPE_STRING || member == want[target]);
        variant_clear(&copy);
    }
    FUZZ_CHECK(v.type == VARIANT_TYPE_STRING);
    FUZZ_CHECK(size > 0 ? v.value.unit->length == size : v.value.unit == nullptr);
    variant_clear(&v);
    return 0;
}

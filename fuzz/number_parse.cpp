// Text read as every numeric type, through variant_change_type and through
// the typed getters, against a reference of the parse rules: base 0, strtol
// clamped at 32 bits, strtoul clamped and negated modulo 2^32, 64-bit strtoll
// and strtoull, strtod. The unit holds the input bytes exactly, with or
// without a NUL, so a read past its end leaves the heap block; the empty input
// stands for a null unit, which reads as empty text.
#include <cerrno>
#include <cmath>
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

bool same_double(double a, double b) {
    return a == b ? std::signbit(a) == std::signbit(b) : a != a && b != b;
}

// The record as read through variant_change_type of a deep copy.
variant_record converted(const variant_record& source, variant_type target) {
    variant_record copy{};
    variant_set_variant(&copy, &source);
    FUZZ_CHECK(variant_change_type(&copy, target));
    FUZZ_CHECK(copy.type == target);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const parsed want = reference(bytes.substr(0, bytes.find('\0')));
    variant_record v{};
    v.type = VARIANT_TYPE_STRING;
    v.value.unit = size > 0 ? fuzz::library_unit(bytes) : nullptr;
    using std::uint8_t;
    FUZZ_CHECK(converted(v, VARIANT_TYPE_CHAR).value.i8 == static_cast<std::int8_t>(want.l32));
    FUZZ_CHECK(converted(v, VARIANT_TYPE_UCHAR).value.u8 == static_cast<uint8_t>(want.ul32));
    FUZZ_CHECK(converted(v, VARIANT_TYPE_SHORT).value.i16 == static_cast<std::int16_t>(want.l32));
    FUZZ_CHECK(converted(v, VARIANT_TYPE_USHORT).value.u16 ==
               static_cast<std::uint16_t>(want.ul32));
    FUZZ_CHECK(converted(v, VARIANT_TYPE_INT).value.i32 == want.l32);
    FUZZ_CHECK(converted(v, VARIANT_TYPE_UINT).value.u32 == want.ul32);
    FUZZ_CHECK(converted(v, VARIANT_TYPE_LONG).value.i32 == want.l32);
    FUZZ_CHECK(converted(v, VARIANT_TYPE_ULONG).value.u32 == want.ul32);
    FUZZ_CHECK(converted(v, VARIANT_TYPE_LONGLONG).value.i64 == want.ll);
    FUZZ_CHECK(converted(v, VARIANT_TYPE_ULONGLONG).value.u64 == want.ull);
    FUZZ_CHECK(same_double(converted(v, VARIANT_TYPE_FLOAT).value.f32, static_cast<float>(want.d)));
    FUZZ_CHECK(same_double(converted(v, VARIANT_TYPE_DOUBLE).value.f64, want.d));
    FUZZ_CHECK(converted(v, VARIANT_TYPE_BOOL).value.u8 == (want.l32 != 0 ? 1 : 0));

    FUZZ_CHECK(variant_resolve_as_char(&v) == static_cast<std::int8_t>(want.l32));
    FUZZ_CHECK(variant_resolve_as_byte(&v) == static_cast<uint8_t>(want.ul32));
    FUZZ_CHECK(variant_resolve_as_short(&v) == static_cast<std::int16_t>(want.l32));
    FUZZ_CHECK(variant_resolve_as_ushort(&v) == static_cast<std::uint16_t>(want.ul32));
    FUZZ_CHECK(variant_resolve_as_int(&v) == want.l32);
    FUZZ_CHECK(variant_resolve_as_uint(&v) == want.ul32);
    FUZZ_CHECK(variant_resolve_as_long(&v) == want.l32);
    FUZZ_CHECK(variant_resolve_as_ulong(&v) == want.ul32);
    FUZZ_CHECK(variant_resolve_as_longlong(&v) == want.ll);
    FUZZ_CHECK(variant_resolve_as_ulonglong(&v) == want.ull);
    FUZZ_CHECK(same_double(variant_resolve_as_float(&v), static_cast<float>(want.d)));
    FUZZ_CHECK(same_double(variant_resolve_as_double(&v), want.d));
    FUZZ_CHECK(variant_resolve_as_bool(&v) == (want.l32 != 0 ? 1 : 0));
    FUZZ_CHECK(v.type == VARIANT_TYPE_STRING);
    FUZZ_CHECK(size > 0 ? v.value.unit->length == size : v.value.unit == nullptr);
    variant_clear(&v);
    return 0;
}

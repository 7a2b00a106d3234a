// A getter through the read interface beside its peers: the direct typed
// getter it forwards to, and for text the limit of std::from_chars plus the
// one allocation that a private copy of the string costs.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

#include "corvane/value.h"

namespace {

// A wrapper holding a copy of `value`, and its read interface. The record
// handed in is consumed: a string's unit is released once the copy exists.
class wrapped_value {
public:
    explicit wrapped_value(variant_record value) : wrapper_(variant_wrapper_create()) {
        variant_wrapper_set_wrapper_value(wrapper_, &value, 1);
        variant_clear(&value);
        reader_ = variant_wrapper_get_variantread(wrapper_);
    }
    ~wrapped_value() {
        reader_->Release();
        variant_wrapper_destroy(&wrapper_);
    }
    wrapped_value(const wrapped_value&) = delete;
    wrapped_value& operator=(const wrapped_value&) = delete;

    IVariantRead* reader() const { return reader_; }
    const variant_record* value() const { return variant_wrapper_get_wrapper_value(wrapper_); }

private:
    variant_wrapper_handle* wrapper_;
    IVariantRead* reader_ = nullptr;
};

variant_record int_record() {
    variant_record record{};
    variant_set_int(&record, 42, 1);
    return record;
}

variant_record string_record() {
    variant_record record{};
    variant_set_string(&record, "42", 1);
    return record;
}

// Each getter runs on an int record and on a string record that parses.
void BM_ReadInterfaceGetInt(benchmark::State& state, variant_record (*make_record)()) {
    const wrapped_value wrapped(make_record());
    int32_t number = 0;
    for (auto _ : state) {
        wrapped.reader()->GetInt(&number);
        benchmark::DoNotOptimize(number);
    }
}

void BM_ResolveAsInt(benchmark::State& state, variant_record (*make_record)()) {
    const wrapped_value wrapped(make_record());
    for (auto _ : state) {
        benchmark::DoNotOptimize(variant_resolve_as_int(wrapped.value()));
    }
}

BENCHMARK_CAPTURE(BM_ReadInterfaceGetInt, Int, int_record);
BENCHMARK_CAPTURE(BM_ResolveAsInt, Int, int_record);
BENCHMARK_CAPTURE(BM_ReadInterfaceGetInt, String, string_record);
BENCHMARK_CAPTURE(BM_ResolveAsInt, String, string_record);

// The limit: copy the unit's bytes into one new block, parse, free.
void BM_FromCharsPlusAllocation_String(benchmark::State& state) {
    const wrapped_value wrapped(string_record());
    const bstrunit* unit = wrapped.value()->value.unit;
    for (auto _ : state) {
        const std::unique_ptr<char[]> copy(new char[unit->length]);
        std::memcpy(copy.get(), unit->bytes, unit->length);
        benchmark::DoNotOptimize(copy.get());
        int32_t number = 0;
        std::from_chars(copy.get(), copy.get() + unit->length - 1, number);
        benchmark::DoNotOptimize(number);
    }
}
BENCHMARK(BM_FromCharsPlusAllocation_String);

}  // namespace

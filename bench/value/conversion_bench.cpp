// Number <-> text through variant_change_type, each beside two peers that do
// the same work by hand with one allocation: the C library's snprintf /
// strtol / strtod, and std::to_chars / std::from_chars (the limit).
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "corvane/value.h"

namespace {

constexpr std::size_t input_count = 1024;

std::vector<int32_t> int_inputs() {
    std::mt19937 random(1);
    std::vector<int32_t> values(input_count);
    for (auto& value : values) {
        value = static_cast<int32_t>(random()) >> (random() % 31);
    }
    return values;
}

std::vector<double> double_inputs() {
    std::mt19937_64 random(2);
    std::uniform_real_distribution<double> spread(-1e6, 1e6);
    std::vector<double> values(input_count);
    for (auto& value : values) {
        value = spread(random);
    }
    return values;
}

template <typename Number, typename Format>
std::vector<std::string> texts_of(const std::vector<Number>& values, Format format) {
    std::vector<std::string> texts;
    for (Number value : values) {
        char text[64];
        std::snprintf(text, sizeof text, format, value);
        texts.emplace_back(text);
    }
    return texts;
}

// The peers' one allocation: a length-prefixed block holding the text and its
// NUL, as a unit would, released again.
void store_and_release(const char* text, std::size_t length) {
    auto* block = static_cast<char*>(::operator new(4 + length + 1));
    std::memcpy(block + 4, text, length + 1);
    benchmark::DoNotOptimize(block);
    ::operator delete(block);
}

// Units in the caller's storage holding each text and its NUL: a string
// variant copies one with a known length, as the peers copy their text.
std::vector<std::vector<uint32_t>> units_of(const std::vector<std::string>& texts) {
    std::vector<std::vector<uint32_t>> units;
    for (const auto& text : texts) {
        std::vector<uint32_t> storage(1 + (text.size() + 4) / 4);
        storage[0] = static_cast<uint32_t>(text.size() + 1);
        std::memcpy(storage.data() + 1, text.c_str(), text.size() + 1);
        units.push_back(std::move(storage));
    }
    return units;
}

// A string variant made from a unit, converted to Target (which releases it).
template <variant_type Target>
void from_text_variant(benchmark::State& state, const std::vector<std::vector<uint32_t>>& units) {
    std::size_t i = 0;
    for (auto _ : state) {
        variant_record v{};
        variant_set_bstrunit(&v, reinterpret_cast<const bstrunit*>(units[i++ % input_count].data()));
        variant_change_type(&v, Target);
        benchmark::DoNotOptimize(v.value.u64);
    }
}

template <variant_type Type, auto Member, typename Number>
void to_text_variant(benchmark::State& state, const std::vector<Number>& values) {
    std::size_t i = 0;
    for (auto _ : state) {
        variant_record v{};
        v.type = Type;
        v.value.*Member = values[i++ % input_count];
        variant_change_type(&v, VARIANT_TYPE_STRING);
        benchmark::DoNotOptimize(v.value.unit);
        variant_clear(&v);
    }
}

// `format` writes a value's text into 400 bytes and returns its length.
template <typename Number, typename Format>
void to_text_peer(benchmark::State& state, const std::vector<Number>& values, Format format) {
    std::size_t i = 0;
    for (auto _ : state) {
        char text[400];
        store_and_release(text, format(text, values[i++ % input_count]));
    }
}

// `parse` reads a number from text of a known length.
template <typename Parse>
void from_text_peer(benchmark::State& state, const std::vector<std::string>& texts, Parse parse) {
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& text = texts[i++ % input_count];
        auto* block = static_cast<char*>(::operator new(4 + text.size() + 1));
        std::memcpy(block + 4, text.c_str(), text.size() + 1);
        benchmark::DoNotOptimize(parse(block + 4, text.size()));
        ::operator delete(block);
    }
}

template <typename Number>
std::size_t with_to_chars(char* text, Number value) {
    char* end = nullptr;
    if constexpr (std::is_floating_point_v<Number>) {
        end = std::to_chars(text, text + 400, value, std::chars_format::fixed, 6).ptr;
    } else {
        end = std::to_chars(text, text + 400, value).ptr;
    }
    *end = '\0';
    return static_cast<std::size_t>(end - text);
}

template <typename Number>
Number with_from_chars(const char* text, std::size_t length) {
    Number value{};
    std::from_chars(text, text + length, value);
    return value;
}

const std::vector<int32_t>& ints() {
    static const auto values = int_inputs();
    return values;
}
const std::vector<double>& doubles() {
    static const auto values = double_inputs();
    return values;
}
const std::vector<std::string>& int_texts() {
    static const auto texts = texts_of(ints(), "%d");
    return texts;
}
const std::vector<std::string>& double_texts() {
    static const auto texts = texts_of(doubles(), "%.17g");
    return texts;
}

void IntToText_Variant(benchmark::State& state) {
    to_text_variant<VARIANT_TYPE_INT, &decltype(variant_record::value)::i32>(state, ints());
}
void IntToText_Snprintf(benchmark::State& state) {
    to_text_peer(state, ints(), [](char* text, int32_t value) {
        return static_cast<std::size_t>(std::snprintf(text, 400, "%d", value));
    });
}
void IntToText_ToChars(benchmark::State& state) {
    to_text_peer(state, ints(), with_to_chars<int32_t>);
}

void DoubleToText_Variant(benchmark::State& state) {
    to_text_variant<VARIANT_TYPE_DOUBLE, &decltype(variant_record::value)::f64>(state, doubles());
}
void DoubleToText_Snprintf(benchmark::State& state) {
    to_text_peer(state, doubles(), [](char* text, double value) {
        return static_cast<std::size_t>(std::snprintf(text, 400, "%f", value));
    });
}
void DoubleToText_ToChars(benchmark::State& state) {
    to_text_peer(state, doubles(), with_to_chars<double>);
}

void TextToInt_Variant(benchmark::State& state) {
    static const auto units = units_of(int_texts());
    from_text_variant<VARIANT_TYPE_INT>(state, units);
}
void TextToInt_Strtol(benchmark::State& state) {
    from_text_peer(state, int_texts(), [](const char* text, std::size_t) { return std::strtol(text, nullptr, 0); });
}
void TextToInt_FromChars(benchmark::State& state) {
    from_text_peer(state, int_texts(), with_from_chars<int32_t>);
}

void TextToDouble_Variant(benchmark::State& state) {
    static const auto units = units_of(double_texts());
    from_text_variant<VARIANT_TYPE_DOUBLE>(state, units);
}
void TextToDouble_Strtod(benchmark::State& state) {
    from_text_peer(state, double_texts(), [](const char* text, std::size_t) { return std::strtod(text, nullptr); });
}
void TextToDouble_FromChars(benchmark::State& state) {
    from_text_peer(state, double_texts(), with_from_chars<double>);
}

}  // namespace

BENCHMARK(IntToText_Variant);
BENCHMARK(IntToText_Snprintf);
BENCHMARK(IntToText_ToChars);
BENCHMARK(DoubleToText_Variant);
BENCHMARK(DoubleToText_Snprintf);
BENCHMARK(DoubleToText_ToChars);
BENCHMARK(TextToInt_Variant);
BENCHMARK(TextToInt_Strtol);
BENCHMARK(TextToInt_FromChars);
BENCHMARK(TextToDouble_Variant);
BENCHMARK(TextToDouble_Strtod);
BENCHMARK(TextToDouble_FromChars);

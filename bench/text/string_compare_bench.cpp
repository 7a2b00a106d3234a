// Sorting file-like names with the human-order comparison, beside the same
// sort with glibc's strverscmp (the natural peer) and with plain strcmp.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "corvane/text.h"

namespace {

constexpr int name_count = 100000;

// Stems, numbers of one to six digits, sometimes a second number, suffixes;
// fixed seed, so every run and every peer sorts the same names.
const std::vector<std::string>& file_names() {
    static const std::vector<std::string> names = [] {
        const char* stems[] = {"file", "IMG_", "track ", "report-2024-", "Chapter", "log.", "scan_", "v"};
        const char* suffixes[] = {"", ".txt", ".jpg", "_final", "b", ".tar.gz", " (copy 2)"};
        std::mt19937 random(20261206);
        std::uniform_int_distribution<int> stem(0, std::size(stems) - 1);
        std::uniform_int_distribution<int> suffix(0, std::size(suffixes) - 1);
        std::uniform_int_distribution<int> digit_count(1, 6);
        std::uniform_int_distribution<int> digit(0, 9);
        std::uniform_int_distribution<int> one_in_four(0, 3);
        std::vector<std::string> result;
        result.reserve(name_count);
        for (int i = 0; i < name_count; ++i) {
            std::string name = stems[stem(random)];
            for (int count = digit_count(random); count > 0; --count) {
                name += static_cast<char>('0' + digit(random));
            }
            if (one_in_four(random) == 0) {
                name += '-';
                name += static_cast<char>('0' + digit(random));
            }
            name += suffixes[suffix(random)];
            result.push_back(std::move(name));
        }
        return result;
    }();
    return names;
}

// The human order is not transitive for every set of names, which std::sort
// formally requires; it is asymmetric, which keeps the sort within the range,
// and the time it takes is what is measured here.
template <typename Less>
void sort_names(benchmark::State& state, Less less) {
    std::vector<const char*> unsorted;
    for (const auto& name : file_names()) {
        unsorted.push_back(name.c_str());
    }
    std::vector<const char*> names;
    for (auto _ : state) {
        state.PauseTiming();
        names = unsorted;
        state.ResumeTiming();
        std::sort(names.begin(), names.end(), less);
        benchmark::DoNotOptimize(names.data());
    }
    state.SetItemsProcessed(state.iterations() * name_count);
}

void BM_SortNames_IntelligentLess(benchmark::State& state) {
    sort_names(state, os_clibrary_string_intelligent_less);
}

void BM_SortNames_Strverscmp(benchmark::State& state) {
    sort_names(state, [](const char* a, const char* b) { return strverscmp(a, b) < 0; });
}

void BM_SortNames_Strcmp(benchmark::State& state) {
    sort_names(state, [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

BENCHMARK(BM_SortNames_IntelligentLess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNames_Strverscmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortNames_Strcmp)->Unit(benchmark::kMillisecond);

}  // namespace

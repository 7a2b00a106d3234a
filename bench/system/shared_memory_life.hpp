// The library's side of the shared-memory benchmark on every platform: a
// named block's life, created, opened from a second handle, one write seen
// through the other view, both closed.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "corvane/system.h"

inline void shared_memory_life(benchmark::State& state, const std::string& name) {
    const auto size = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        os_sharememory_handle* made = os_sharememory_create(name.c_str(), size);
        os_sharememory_handle* opened = os_sharememory_open(name.c_str());
        if (made == nullptr || opened == nullptr) {
            state.SkipWithError("create or open failed");
            break;
        }
        static_cast<volatile unsigned char*>(os_sharememory_get_buffer(made))[0] = 1;
        benchmark::DoNotOptimize(
            static_cast<volatile unsigned char*>(os_sharememory_get_buffer(opened))[0]);
        os_sharememory_destroy(&opened);
        os_sharememory_destroy(&made);
    }
}

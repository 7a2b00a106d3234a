// Processes, shared memory and the environment on Windows, each beside the
// Win32 calls a Windows program would make instead. Pairs are named
// <operation>/library and <operation>/<Win32 peer>.

#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "corvane/system.h"
#include "shared_memory_life.hpp"

namespace {

// empty_program.exe, built beside this program.
std::string empty_program() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1) + "empty_program.exe";
}

std::string object_name() { return "corvane-bench-" + std::to_string(GetCurrentProcessId()); }

// ---- start a program and wait for its end --------------------------------

void process_library(benchmark::State& state) {
    const std::string program = empty_program();
    for (auto _ : state) {
        if (!os_system_run_application(program.c_str(), nullptr, 1)) {
            state.SkipWithError("run_application failed");
            break;
        }
    }
}

void process_win32(benchmark::State& state) {
    const std::string program = empty_program();
    for (auto _ : state) {
        std::string line = program;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &started)) {
            state.SkipWithError("CreateProcessA failed");
            break;
        }
        WaitForSingleObject(started.hProcess, INFINITE);
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
    }
}

BENCHMARK(process_library)->Name("process_start_wait/library")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(process_win32)->Name("process_start_wait/CreateProcessA")->UseRealTime()->Unit(benchmark::kMillisecond);

// ---- a named block's life: create, open from a second handle, one write
// seen through the other view, both closed --------------------------------

void shared_memory_library(benchmark::State& state) { shared_memory_life(state, object_name()); }

void shared_memory_win32(benchmark::State& state) {
    const std::string name = object_name();
    const auto size = static_cast<DWORD>(state.range(0));
    for (auto _ : state) {
        HANDLE made = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
        HANDLE opened = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
        void* made_view = made ? MapViewOfFile(made, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
        void* opened_view = opened ? MapViewOfFile(opened, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
        if (made_view == nullptr || opened_view == nullptr) {
            state.SkipWithError("mapping failed");
            break;
        }
        static_cast<volatile unsigned char*>(made_view)[0] = 1;
        benchmark::DoNotOptimize(static_cast<volatile unsigned char*>(opened_view)[0]);
        UnmapViewOfFile(opened_view);
        CloseHandle(opened);
        UnmapViewOfFile(made_view);
        CloseHandle(made);
    }
}

BENCHMARK(shared_memory_library)->Name("shared_memory_life/library")->Arg(4096)->Arg(1 << 20);
BENCHMARK(shared_memory_win32)->Name("shared_memory_life/CreateFileMappingA")->Arg(4096)->Arg(1 << 20);

// ---- read an environment variable -----------------------------------------

constexpr const char* variable = "CORVANE_BENCH_VARIABLE";

void environment_library(benchmark::State& state) {
    os_system_set_os_environmentVariable(variable, "a value of some length", 1);
    char value[64];
    for (auto _ : state) {
        uint32_t size = sizeof value;
        if (!os_system_get_os_environmentVariable(variable, value, &size)) {
            state.SkipWithError("variable not found");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

void environment_win32(benchmark::State& state) {
    SetEnvironmentVariableA(variable, "a value of some length");
    char value[64];
    for (auto _ : state) {
        if (GetEnvironmentVariableA(variable, value, sizeof value) == 0) {
            state.SkipWithError("variable not found");
            break;
        }
        benchmark::DoNotOptimize(value);
    }
}

BENCHMARK(environment_library)->Name("environment_get/library");
BENCHMARK(environment_win32)->Name("environment_get/GetEnvironmentVariableA");

}  // namespace

// A named block's whole life (create, open from a second handle, one write
// seen through the other mapping, both closed) beside the same steps done
// with raw POSIX shared memory. The library's extra work is its lifetime
// bookkeeping: a record lock per handle and the record before the payload.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "corvane/system.h"
#include "shared_memory_life.hpp"

namespace {

std::string bench_name() { return "shm-bench-" + std::to_string(getpid()); }

void library_block(benchmark::State& state) { shared_memory_life(state, bench_name()); }

void raw_block(benchmark::State& state) {
    const std::string name = std::string("/raw-") + bench_name();
    const auto size = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        int made_fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (made_fd < 0 || ftruncate(made_fd, static_cast<off_t>(size)) != 0) {
            state.SkipWithError("shm_open or ftruncate failed");
            break;
        }
        void* made = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, made_fd, 0);
        int opened_fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
        struct stat status {};
        fstat(opened_fd, &status);
        const auto opened_size = static_cast<size_t>(status.st_size);
        void* opened =
            mmap(nullptr, opened_size, PROT_READ | PROT_WRITE, MAP_SHARED, opened_fd, 0);
        static_cast<volatile unsigned char*>(made)[0] = 1;
        benchmark::DoNotOptimize(static_cast<volatile unsigned char*>(opened)[0]);
        munmap(opened, opened_size);
        close(opened_fd);
        munmap(made, size);
        close(made_fd);
        shm_unlink(name.c_str());
    }
}

}  // namespace

BENCHMARK(library_block)->Arg(4096)->Arg(1 << 20);
BENCHMARK(raw_block)->Arg(4096)->Arg(1 << 20);

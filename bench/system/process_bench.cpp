// Starting /bin/true and waiting for it: through os_system_run_application
// with wait 1, beside posix_spawn + waitpid (the peer it builds on).

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include "corvane/system.h"

extern char** environ;

namespace {

constexpr const char* program = "/bin/true";

void run_application_and_wait(benchmark::State& state) {
    for (auto _ : state) {
        if (!os_system_run_application(program, nullptr, 1)) {
            state.SkipWithError("run_application failed");
            break;
        }
    }
}
BENCHMARK(run_application_and_wait)->UseRealTime();

void posix_spawn_and_waitpid(benchmark::State& state) {
    char* argv[] = {const_cast<char*>(program), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("posix_spawn failed");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
}
BENCHMARK(posix_spawn_and_waitpid)->UseRealTime();

}  // namespace

// The Linux half of the test support: processes through posix_spawn and the
// ready signal through an inherited pipe.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "test_support.hpp"

extern char** environ;

namespace corvane::test {

namespace {

constexpr const char* ready_fd_variable = "CORVANE_TEST_READY_FD";

std::vector<char*> pointers_to(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

[[noreturn]] void fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

std::string self_path() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

uint64_t process_id() { return static_cast<uint64_t>(getpid()); }

child_process child_process::program(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& extra_env) {
    std::vector<std::string> env, words(argv);
    for (char** entry = environ; *entry != nullptr; ++entry) env.emplace_back(*entry);
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    auto argv_pointers = pointers_to(words);
    auto env_pointers = pointers_to(env);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, argv_pointers[0], nullptr, nullptr, argv_pointers.data(),
                                   env_pointers.data());
    if (error != 0) fail(error, "posix_spawnp " + argv.at(0));
    return child_process(pid);
}

int child_process::wait() {
    if (handle_ < 0) return -1;
    const auto pid = static_cast<pid_t>(std::exchange(handle_, -1));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

int child_process::kill_and_wait() {
    if (handle_ >= 0) ::kill(static_cast<pid_t>(handle_), SIGKILL);
    return wait();
}

bool child_process::running() const {
    siginfo_t info{};
    // WNOWAIT leaves an ended child to wait(), which reports its status.
    return handle_ >= 0 &&
           waitid(P_PID, static_cast<id_t>(handle_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

uint64_t child_process::id() const { return static_cast<uint64_t>(handle_); }

ready_child::ready_child(const std::string& gtest_filter, const std::string& role,
                         const std::vector<std::string>& extra_env) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) fail(errno, "pipe2");
    // Only the child's copy of the write end may stay open across exec, so
    // that the read below ends when the child is ready or gone.
    fcntl(ends[1], F_SETFD, 0);
    auto env = extra_env;
    env.push_back(std::string(ready_fd_variable) + "=" + std::to_string(ends[1]));
    try {
        process_ = child_process::self(gtest_filter, role, env);
    } catch (...) {
        close(ends[0]);
        close(ends[1]);
        throw;
    }
    close(ends[1]);
    char byte = 0;
    ssize_t got = 0;
    while ((got = read(ends[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    ready_ = got == 1;
    close(ends[0]);
}

void signal_ready() {
    const char* fd_text = std::getenv(ready_fd_variable);
    const int fd = fd_text != nullptr ? std::atoi(fd_text) : -1;
    const char byte = 1;
    if (fd < 0 || write(fd, &byte, 1) != 1) std::abort();
    close(fd);
}

}  // namespace corvane::test

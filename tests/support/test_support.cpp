#include "test_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

extern char** environ;

namespace corvane::test {

namespace {

constexpr const char* child_marker = "CORVANE_TEST_CHILD";
constexpr const char* ready_fd_variable = "CORVANE_TEST_READY_FD";

std::vector<std::string> environment_with(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> pointers_to(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& extra_env) {
    auto env = environment_with(extra_env);
    auto argv_pointers = pointers_to(argv);
    auto env_pointers = pointers_to(env);
    pid_t pid = -1;
    int error = posix_spawnp(&pid, argv_pointers[0], nullptr, nullptr, argv_pointers.data(),
                             env_pointers.data());
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "posix_spawnp " + argv[0]);
    }
    return pid;
}

}  // namespace

temp_folder::temp_folder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/corvane-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
}

temp_folder::~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string temp_folder::join(std::string_view name) const {
    return path_ + "/" + std::string(name);
}

std::string unique_name(std::string_view stem) {
    static std::atomic<int> serial{0};
    return "cvtest-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + "-" +
           std::string(stem);
}

std::string self_path() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string child_role() {
    const char* role = std::getenv(child_marker);
    return role != nullptr ? role : "";
}

pid_t spawn_self(const std::string& gtest_filter, const std::string& role,
                 const std::vector<std::string>& extra_env) {
    auto env = extra_env;
    env.push_back(std::string(child_marker) + "=" + role);
    return spawn({self_path(), "--gtest_filter=" + gtest_filter}, env);
}

pid_t spawn_program(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env) {
    return spawn(argv, extra_env);
}

ready_child::ready_child(const std::string& gtest_filter, const std::string& role,
                         const std::vector<std::string>& extra_env) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    // Only the child's copy of the write end may stay open across exec, so
    // that the read below ends when the child is ready or gone.
    fcntl(ends[1], F_SETFD, 0);
    auto env = extra_env;
    env.push_back(std::string(ready_fd_variable) + "=" + std::to_string(ends[1]));
    try {
        pid_ = spawn_self(gtest_filter, role, env);
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

ready_child::~ready_child() { kill_and_wait(); }

int ready_child::kill_and_wait() {
    if (pid_ < 0) {
        return -1;
    }
    kill(pid_, SIGKILL);
    return wait_child(std::exchange(pid_, -1));
}

void signal_ready() {
    const char* fd_text = std::getenv(ready_fd_variable);
    const int fd = fd_text != nullptr ? std::atoi(fd_text) : -1;
    const char byte = 1;
    if (fd < 0 || write(fd, &byte, 1) != 1) {
        std::abort();
    }
    close(fd);
}

int wait_child(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::string capture_stdout(const std::function<void()>& body) {
    std::fflush(stdout);
    std::FILE* sink = std::tmpfile();
    if (sink == nullptr) {
        throw std::runtime_error("tmpfile failed");
    }
    int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink), STDOUT_FILENO);
    body();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string text;
    std::rewind(sink);
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, sink)) > 0) {
        text.append(chunk, n);
    }
    std::fclose(sink);
    return text;
}

}  // namespace corvane::test

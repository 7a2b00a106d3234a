// The Linux half of the test support: processes through posix_spawn, and
// locales built with localedef into a private folder that LOCPATH names, so
// the tests need no locale installed system-wide.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "test_support.hpp"

extern char** environ;

// glibc's newlocale loses its copy of LOCPATH on every call while that is set,
// which the leak checker would report in every child started in a code page.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:__argz_create_sep\nleak:__argz_add_sep\n";
}

namespace corvane::test {

namespace {

std::vector<char*> pointers_to(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

std::string self_path() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

uint64_t process_id() { return static_cast<uint64_t>(getpid()); }

int last_system_error() { return errno; }

void set_last_system_error(int code) { errno = code; }

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
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "posix_spawnp " + argv[0]);
    }
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

std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder& folder,
                                                              std::string& why) {
    const bool chinese = code_page == 936;
    const std::string name = chinese ? "zh_CN.GBK" : "en_US.CP1252";
    // The name is the source locale and the character set, joined by a dot.
    const std::vector<std::string> argv = {"localedef", "--quiet", "-i", name.substr(0, 5), "-f",
                                           name.substr(6), folder.join(name)};
    const int status = child_process::program(argv).wait();
    if (status == 0) return std::vector<std::string>{"LC_ALL=" + name, "LOCPATH=" + folder.path()};
    why = "localedef could not build " + name + " (status " + std::to_string(status) + ")";
    return std::nullopt;
}

}  // namespace corvane::test

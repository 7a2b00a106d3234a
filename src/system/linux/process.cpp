// Processes, commands and privileges on POSIX systems: programs start through
// posix_spawn with only the standard descriptors, processes are found in
// /proc and ended through pidfds.

#include "system/process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "common/linux/restart_on_signal.hpp"
#include "common/linux/system_calls.hpp"
#include "system/environment.hpp"
#include "system/linux/proc_files.hpp"

#if !defined(__GLIBC__) || __GLIBC__ < 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ < 34)
#error "posix_spawn_file_actions_addclosefrom_np (glibc 2.34) is needed"
#endif

extern char** environ;

namespace corvane::detail {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Splits a command line into argv words: white space separates, double
// quotes group, and backslashes escape only a following quote (2n
// backslashes before a quote give n and the quote groups; 2n+1 give n and a
// literal quote).
std::vector<std::string> split_command_line(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (!quoted && is_blank(c)) {
            if (in_word) {
                words.push_back(std::move(word));
                word.clear();
                in_word = false;
            }
            ++i;
            continue;
        }
        in_word = true;
        if (c == '\\') {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                word.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    word.push_back('"');
                    ++i;
                }
            } else {
                word.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else {
            word.push_back(c);
        }
        ++i;
    }
    if (in_word) {
        words.push_back(std::move(word));
    }
    return words;
}

// Every "NAME=value" entry of the environment, copied under the library's
// environment lock.
std::vector<std::string> snapshot_environment() {
    auto hold = lock_environment();
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        entries.emplace_back(*entry);
    }
    return entries;
}

// What execvp searches when PATH is unset.
constexpr std::string_view default_search_path = "/bin:/usr/bin";

// A started program keeps 0, 1 and 2 and nothing else.
constexpr int first_private_descriptor = 3;

std::string_view search_path(const std::vector<std::string>& environment) {
    constexpr std::string_view prefix = "PATH=";
    for (const auto& entry : environment) {
        if (entry.starts_with(prefix)) {
            return std::string_view(entry).substr(prefix.size());
        }
    }
    return default_search_path;
}

bool is_executable_file(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

// A name with a slash is used as it stands; any other is searched on PATH as
// execvp searches it (an empty entry means the current folder).
std::optional<std::string> find_program(const std::string& name,
                                        const std::vector<std::string>& environment) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string_view folders = search_path(environment);
    for (;;) {
        size_t end = folders.find(':');
        std::string_view folder = folders.substr(0, end);
        std::string candidate = folder.empty() ? "." : std::string(folder);
        candidate += '/';
        candidate += name;
        if (is_executable_file(candidate)) {
            return candidate;
        }
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        folders.remove_prefix(end + 1);
    }
}

std::vector<char*> pointers_to(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Everything posix_spawn needs, prepared before any fork: the intermediate
// child of a multithreaded caller may not allocate.
class spawn_plan {
public:
    spawn_plan(std::string path, std::vector<std::string> words,
               std::vector<std::string> environment, const sigset_t& signal_mask)
        : path_(std::move(path)),
          words_(std::move(words)),
          environment_(std::move(environment)),
          argv_(pointers_to(words_)),
          envp_(pointers_to(environment_)) {
        setup_error_ = posix_spawn_file_actions_init(&actions_);
        if (setup_error_ == 0) {
            // Closes every other descriptor in the child (close_range, or a
            // walk of /proc/self/fd on kernels without it), so that neither
            // the library's nor the caller's descriptors leak into it.
            setup_error_ =
                posix_spawn_file_actions_addclosefrom_np(&actions_, first_private_descriptor);
        }
        if (setup_error_ == 0) {
            setup_error_ = posix_spawnattr_init(&attributes_);
        }
        if (setup_error_ == 0) {
            posix_spawnattr_setsigmask(&attributes_, &signal_mask);
            setup_error_ = posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK);
        }
    }

    ~spawn_plan() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }

    spawn_plan(const spawn_plan&) = delete;
    spawn_plan& operator=(const spawn_plan&) = delete;

    // Starts the program: 0, or the errno value of the failed start (an exec
    // failure included, and then the failed child is already reaped).
    int spawn(pid_t* pid) const {
        if (setup_error_ != 0) {
            return setup_error_;
        }
        return system_calls.posix_spawn(pid, path_.c_str(), &actions_, &attributes_, argv_.data(),
                                        envp_.data());
    }

private:
    std::string path_;
    std::vector<std::string> words_;
    std::vector<std::string> environment_;
    std::vector<char*> argv_;
    std::vector<char*> envp_;
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
    int setup_error_ = 0;
};

// A caller's SIGCHLD handler may have reaped the child already; ECHILD then
// only means there is nothing left to wait for.
void reap(pid_t pid) { restart_on_signal([pid] { return waitpid(pid, nullptr, 0); }); }

bool run_to_completion(const spawn_plan& plan) {
    pid_t pid = 0;
    if (plan.spawn(&pid) != 0) {
        return false;
    }
    reap(pid);
    return true;
}

// The result of the spawn, or ECHILD when the intermediate child ended
// without reporting one.
int read_report(int descriptor) {
    int error = 0;
    const ssize_t length =
        restart_on_signal([&] { return system_calls.read(descriptor, &error, sizeof error); });
    return length == static_cast<ssize_t>(sizeof error) ? error : ECHILD;
}

// The library starts no thread, so nothing would reap a program it does not
// wait for. A short-lived intermediate child starts it and exits at once; the
// program is re-parented to init (or the nearest subreaper) and the caller
// reaps only the intermediate. Its result travels through a pipe, not its
// exit status, which a caller's SIGCHLD handler or SIG_IGN could swallow.
bool start_detached(const spawn_plan& plan) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    // With every signal blocked, none of the caller's handlers can run in the
    // intermediate child; the program gets the caller's mask from the plan.
    sigset_t all_signals;
    sigset_t caller_mask;
    sigfillset(&all_signals);
    pthread_sigmask(SIG_SETMASK, &all_signals, &caller_mask);
    pid_t intermediate = fork();
    if (intermediate == 0) {
        pid_t pid = 0;
        int error = plan.spawn(&pid);
        // A write of a few bytes to a pipe is all or nothing.
        (void)!system_calls.write(report[1], &error, sizeof error);
        _exit(0);
    }
    int fork_error = errno;
    pthread_sigmask(SIG_SETMASK, &caller_mask, nullptr);
    close(report[1]);
    int error = intermediate < 0 ? fork_error : read_report(report[0]);
    close(report[0]);
    if (intermediate > 0) {
        reap(intermediate);
    }
    return error == 0;
}

std::string_view base_name(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string command_name_of(const std::string& entry) {
    std::string name;
    int descriptor = system_calls.openat(AT_FDCWD, ("/proc/" + entry + "/comm").c_str(),
                                         O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return name;
    }
    char text[64];
    ssize_t length = system_calls.read(descriptor, text, sizeof text);
    close(descriptor);
    if (length > 0) {
        name.assign(text, static_cast<size_t>(length));
        if (name.back() == '\n') {
            name.pop_back();
        }
    }
    return name;
}

bool runs_program_named(pid_t pid, const std::string& name) {
    const std::string entry = std::to_string(pid);
    if (auto path = executable_path_of(entry)) {
        return base_name(*path) == name;
    }
    // Kernel threads and exited processes have no executable. Another user's
    // executable may be unreadable: its command name (the executable's name
    // cut to 15 bytes) is the best evidence, and a longer name cannot match.
    if (errno != EACCES && errno != EPERM) {
        return false;
    }
    return command_name_of(entry) == name;
}

kill_outcome outcome_of_signal(long result) {
    if (result == 0) {
        return kill_outcome::ended;
    }
    return errno == ESRCH ? kill_outcome::gone : kill_outcome::refused;
}

#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
int open_pidfd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }
long send_kill_through(int pidfd) {
    return syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
}
#else
int open_pidfd(pid_t) {
    errno = ENOSYS;
    return -1;
}
long send_kill_through(int) {
    errno = ENOSYS;
    return -1;
}
#endif

kill_outcome end_process(pid_t pid, const std::string& name) {
    int pidfd = open_pidfd(pid);
    if (pidfd < 0) {
        if (errno == ESRCH) {
            return kill_outcome::gone;
        }
        // No pidfds here (old kernel, seccomp filter, no descriptors left):
        // a plain kill, without the guard against a reused process id.
        return outcome_of_signal(kill(pid, SIGKILL));
    }
    // The pidfd pins the process that holds the id now, which may not be the
    // one the scan found: check the program again before signalling.
    kill_outcome outcome = kill_outcome::gone;
    if (runs_program_named(pid, name)) {
        long result = send_kill_through(pidfd);
        if (result < 0 && errno == ENOSYS) {
            result = kill(pid, SIGKILL);
        }
        outcome = outcome_of_signal(result);
    }
    close(pidfd);
    return outcome;
}

pid_t pid_from_entry_name(std::string_view name) {
    pid_t pid = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    return error == std::errc() && end == name.data() + name.size() ? pid : 0;
}

}  // namespace

bool start_program(const std::string& command_line, bool wait_for_exit) {
    auto words = split_command_line(command_line);
    if (words.empty() || words.front().empty()) {
        return false;
    }
    auto environment = snapshot_environment();
    auto path = find_program(words.front(), environment);
    if (!path) {
        return false;
    }
    sigset_t caller_mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &caller_mask);
    const spawn_plan plan(std::move(*path), words, std::move(environment), caller_mask);
    return wait_for_exit ? run_to_completion(plan) : start_detached(plan);
}

bool end_processes_named(const std::string& name) {
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return false;
    }
    const pid_t self = getpid();
    kill_tally tally;
    while (const dirent* entry = readdir(processes)) {
        pid_t pid = pid_from_entry_name(entry->d_name);
        if (pid <= 0 || pid == self || !runs_program_named(pid, name)) {
            continue;
        }
        tally.add(end_process(pid, name));
    }
    closedir(processes);
    return tally.succeeded();
}

bool has_root_privileges() { return geteuid() == 0; }

}  // namespace corvane::detail

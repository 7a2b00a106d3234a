// Helpers shared by the sync tests: unique object names, deadlines, bounded
// waits for a condition, a pipe through which child processes report, and a
// look at /dev/shm.
#pragma once

#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "corvane/sync.h"

namespace sync_test {

// Every named object a test makes carries its process id, so parallel test
// programs never meet.
inline std::string unique_name(const std::string& what) {
    static std::atomic<int> serial{0};
    return "cvtest-" + std::to_string(getpid()) + "-" + what + "-" + std::to_string(++serial);
}

// Names handed to a child process through the environment.
inline std::string child_env(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? value : "";
}

inline time_record deadline_after_ms(int64_t ms) {
    time_record now{};
    os_clock_get_time(1, &now);
    now.seconds += ms / 1000;
    now.nanoseconds += static_cast<int32_t>(ms % 1000) * 1'000'000;
    os_clock_adjust_clock_time(&now);
    return now;
}

// Polls `condition` until it holds or the generous bound passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds bound = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// True once the thread or process whose stat file is `stat_path` (for
// example /proc/self/task/<tid>/stat) is blocked in the kernel.
inline bool asleep(const std::string& stat_path) {
    std::ifstream stat(stat_path);
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'S';
}

// Entries of /dev/shm whose name contains `token`.
inline std::vector<std::string> shm_entries_containing(const std::string& token) {
    std::vector<std::string> found;
    if (DIR* folder = opendir("/dev/shm")) {
        while (const dirent* entry = readdir(folder)) {
            if (std::string(entry->d_name).find(token) != std::string::npos) {
                found.emplace_back(entry->d_name);
            }
        }
        closedir(folder);
    }
    return found;
}

// A pipe whose write end a child process inherits (its number travels in
// the environment); the child writes one byte per step it reports.
class report_pipe {
public:
    static constexpr const char* variable = "CORVANE_SYNC_REPORT_FD";

    report_pipe() {
        if (pipe(ends_) != 0) {
            ends_[0] = ends_[1] = -1;
        }
    }
    ~report_pipe() {
        close_write_end();
        if (ends_[0] >= 0) {
            close(ends_[0]);
        }
    }
    report_pipe(const report_pipe&) = delete;
    report_pipe& operator=(const report_pipe&) = delete;

    std::string env() const { return std::string(variable) + "=" + std::to_string(ends_[1]); }

    // After the children started: only they hold the write end now, so a
    // child that ends shows as end of file.
    void close_write_end() {
        if (ends_[1] >= 0) {
            close(ends_[1]);
            ends_[1] = -1;
        }
    }

    // Reads one report byte, waiting at most `bound_ms`; 0 when none came.
    char read_report(int bound_ms = 30000) const {
        pollfd entry{ends_[0], POLLIN, 0};
        char byte = 0;
        if (poll(&entry, 1, bound_ms) == 1 && read(ends_[0], &byte, 1) == 1) {
            return byte;
        }
        return 0;
    }

    // Child side.
    static void report(char byte) {
        const int fd = std::atoi(child_env(variable).c_str());
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }

private:
    int ends_[2] = {-1, -1};
};

}  // namespace sync_test

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "corvane/system.h"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using corvane::test::spawn_program;
using corvane::test::temp_folder;
using corvane::test::wait_child;

constexpr const char* probe = CORVANE_PROCESS_PROBE;
constexpr int probe_true = 10;
constexpr int probe_false = 20;
constexpr int killed = 128 + SIGKILL;

// Polls for a report the probe writes whole; the bound only keeps a broken
// build from hanging.
std::string read_report(const std::string& path) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(path) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// What the probe reports on its first two lines: the program started with
// the standard descriptors only and with this process's signal mask.
bool started_clean(const std::string& report) {
    std::istringstream lines(report);
    std::string descriptors;
    std::string blocked;
    std::getline(lines, descriptors);
    std::getline(lines, blocked);
    std::istringstream numbers(descriptors);
    int descriptor = 0;
    while (numbers >> descriptor) {
        if (descriptor > 2) {
            return false;
        }
    }
    std::ifstream own_status("/proc/self/status");
    std::string line;
    while (std::getline(own_status, line) && !line.starts_with("SigBlk:")) {
    }
    return blocked == line;
}

// The arguments the probe reported, after its first two lines.
std::string reported_arguments(const std::string& report) {
    return report.substr(report.find('\n', report.find('\n') + 1) + 1);
}

// Every process whose parent is this one, zombies included.
std::vector<pid_t> children_of_this_process() {
    std::vector<pid_t> children;
    DIR* processes = opendir("/proc");
    while (const dirent* entry = readdir(processes)) {
        std::string line;
        std::getline(std::ifstream(std::string("/proc/") + entry->d_name + "/stat"), line);
        // Parse after the command name, which may hold spaces.
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        pid_t parent = 0;
        if (!line.empty() && rest >> state >> parent && parent == getpid()) {
            children.push_back(std::atoi(entry->d_name));
        }
    }
    closedir(processes);
    return children;
}

// A copy of a program under a name no other process has, short enough to be
// a whole kernel command name (15 bytes).
std::string copy_program(const temp_folder& folder, const std::string& from) {
    static int serial = 0;
    std::string to = folder.join("cv" + std::to_string(getpid()) + "-" + std::to_string(++serial));
    fs::copy_file(from, to);
    return to;
}

std::string name_of(const std::string& path) { return fs::path(path).filename(); }

}  // namespace

TEST(InvokeCommand, TrueExactlyWhenTheCommandExitsWithZero) {
    temp_folder folder;
    EXPECT_TRUE(os_system_invoke_command(("echo ran > " + folder.join("ran")).c_str()));
    EXPECT_EQ(read_report(folder.join("ran")), "ran\n");
    EXPECT_FALSE(os_system_invoke_command("exit 3"));
    EXPECT_FALSE(os_system_invoke_command("kill -KILL $$"));
    EXPECT_FALSE(os_system_invoke_command("corvane-no-such-command-anywhere"));
    EXPECT_FALSE(os_system_invoke_command(nullptr));
}

TEST(RunApplication, WaitOneRunsTheProgramFoundOnPathToItsEnd) {
    temp_folder folder;
    const std::string out = folder.join("out");
    const std::string old_path = std::getenv("PATH");
    setenv("PATH", (fs::path(probe).parent_path().string() + ":" + old_path).c_str(), 1);
    // Inheritable on purpose, yet the program must not receive it.
    int held = open(folder.join("held").c_str(), O_CREAT | O_WRONLY, 0600);

    const std::string arguments =
        "report " + out + R"( - "hello world"  plain "say \"hi\"" back\slash "" $HOME *)";
    ASSERT_TRUE(os_system_run_application(name_of(probe).c_str(), arguments.c_str(), 1));
    // The report is there at once: the call came back after the program ended.
    ASSERT_TRUE(fs::exists(out));
    const std::string report = read_report(out);
    EXPECT_TRUE(started_clean(report)) << report;
    EXPECT_EQ(reported_arguments(report),
              "hello world\nplain\nsay \"hi\"\nback\\slash\n\n$HOME\n*\n");
    EXPECT_TRUE(children_of_this_process().empty());
    close(held);
    setenv("PATH", old_path.c_str(), 1);
}

TEST(RunApplication, OtherWaitValuesReturnWhileTheProgramRunsAndLeaveNoZombie) {
    int held = open("/dev/null", O_RDONLY);
    for (uint8_t wait : {0, 2}) {
        SCOPED_TRACE(static_cast<int>(wait));
        temp_folder folder;
        const std::string go = folder.join("go");
        const std::string out = folder.join("out");
        ASSERT_TRUE(os_system_run_application(probe, ("report " + out + " " + go).c_str(), wait));
        // The program reports only once `go` exists, which is only now.
        EXPECT_FALSE(fs::exists(out));
        EXPECT_TRUE(children_of_this_process().empty());
        std::ofstream(go).put('!');
        const std::string report = read_report(out);
        EXPECT_TRUE(started_clean(report)) << report;
    }
    close(held);
}

TEST(RunApplication, FalseWhenTheProgramCannotStart) {
    temp_folder folder;
    const std::string not_executable = folder.join("data");
    std::ofstream(not_executable) << "#!/bin/sh\n";
    for (uint8_t wait : {1, 0}) {
        SCOPED_TRACE(static_cast<int>(wait));
        EXPECT_FALSE(os_system_run_application("corvane-no-such-program-anywhere", "", wait));
        EXPECT_FALSE(os_system_run_application(folder.join("missing").c_str(), nullptr, wait));
        EXPECT_FALSE(os_system_run_application(folder.path().c_str(), nullptr, wait));
        EXPECT_FALSE(os_system_run_application(not_executable.c_str(), nullptr, wait));
        EXPECT_FALSE(os_system_run_application(nullptr, " ", wait));
    }
    EXPECT_TRUE(children_of_this_process().empty());
}

TEST(KillApplication, EndsEveryProcessOfTheNameAndNoOther) {
    temp_folder folder;
    const std::string sleeper = copy_program(folder, "/bin/sleep");
    pid_t first = spawn_program({sleeper, "60"});
    pid_t second = spawn_program({sleeper, "60"});
    pid_t bystander = spawn_program({copy_program(folder, "/bin/sleep"), "60"});

    EXPECT_TRUE(os_system_kill_application(name_of(sleeper).c_str()));
    EXPECT_EQ(wait_child(first), killed);
    EXPECT_EQ(wait_child(second), killed);
    EXPECT_EQ(waitpid(bystander, nullptr, WNOHANG), 0);
    kill(bystander, SIGKILL);
    wait_child(bystander);

    EXPECT_FALSE(os_system_kill_application(name_of(sleeper).c_str()));
    EXPECT_FALSE(os_system_kill_application(nullptr));
    EXPECT_FALSE(os_system_kill_application(""));
}

TEST(KillApplication, NeverEndsTheCallingProcess) {
    temp_folder folder;
    const std::string copy = copy_program(folder, probe);
    EXPECT_EQ(wait_child(spawn_program({copy, "kill", name_of(copy)})), probe_false);

    pid_t sleeper = spawn_program({copy, "sleep"});
    EXPECT_EQ(wait_child(spawn_program({copy, "kill", name_of(copy)})), probe_true);
    EXPECT_EQ(wait_child(sleeper), killed);
}

TEST(KillApplication, FalseWhenAMatchCannotBeEnded) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to start a process as another user";
    }
    temp_folder folder;
    const std::string sleeper = copy_program(folder, "/bin/sleep");
    pid_t target = spawn_program({sleeper, "60"});
    EXPECT_EQ(wait_child(spawn_program({probe, "kill-as-nobody", name_of(sleeper)})), probe_false);
    EXPECT_EQ(waitpid(target, nullptr, WNOHANG), 0);
    kill(target, SIGKILL);
    wait_child(target);
}

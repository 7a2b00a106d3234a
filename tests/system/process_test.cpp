#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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
using corvane::test::child_process;
using corvane::test::temp_folder;

constexpr const char* probe = CORVANE_PROCESS_PROBE;
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

// How the probe's report starts when the program received no descriptor
// beyond the standard ones and this process's signal mask.
std::string clean_start() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("SigBlk:")) {
    }
    return "\n" + line + "\n";
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
// a whole kernel command name (15 bytes); returns that name.
std::string copy_program(const temp_folder& folder, const std::string& from) {
    static int serial = 0;
    std::string name = "cv" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    fs::copy_file(from, folder.join(name));
    return name;
}

}  // namespace

TEST(InvokeCommand, TrueExactlyWhenTheCommandExitsWithZero) {
    temp_folder folder;
    EXPECT_TRUE(os_system_invoke_command(("echo ran > " + folder.join("ran")).c_str()));
    EXPECT_EQ(read_report(folder.join("ran")), "ran\n");
    EXPECT_FALSE(os_system_invoke_command("exit 3") || os_system_invoke_command("kill -KILL $$") ||
                 os_system_invoke_command("corvane-no-such-command-anywhere") ||
                 os_system_invoke_command(nullptr));
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
    const std::string name = fs::path(probe).filename();
    ASSERT_TRUE(os_system_run_application(name.c_str(), arguments.c_str(), 1));
    // The report is there at once: the call came back after the program ended.
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(read_report(out),
              clean_start() + "hello world\nplain\nsay \"hi\"\nback\\slash\n\n$HOME\n*\n");
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
        EXPECT_EQ(read_report(out), clean_start());
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
        EXPECT_FALSE(os_system_run_application(folder.path().c_str(), nullptr, wait));
        EXPECT_FALSE(os_system_run_application(not_executable.c_str(), nullptr, wait));
        EXPECT_FALSE(os_system_run_application(nullptr, " ", wait));
    }
    EXPECT_TRUE(children_of_this_process().empty());
}

TEST(KillApplication, EndsEveryProcessOfTheNameAndNoOther) {
    temp_folder folder;
    const std::string sleeper = copy_program(folder, "/bin/sleep");
    child_process first = child_process::program({folder.join(sleeper), "60"});
    child_process second = child_process::program({folder.join(sleeper), "60"});
    child_process bystander =
        child_process::program({folder.join(copy_program(folder, "/bin/sleep")), "60"});

    EXPECT_TRUE(os_system_kill_application(sleeper.c_str()));
    EXPECT_EQ(first.wait(), killed);
    EXPECT_EQ(second.wait(), killed);
    EXPECT_TRUE(bystander.running());
    EXPECT_FALSE(os_system_kill_application(sleeper.c_str()) ||
                 os_system_kill_application(nullptr) || os_system_kill_application(""));
}

// The probe exits 10 when the kill reported true, 20 when false.
TEST(KillApplication, NeverEndsTheCallingProcessAndFailsOnWhatItCannotEnd) {
    temp_folder folder;
    const std::string copy = folder.join(copy_program(folder, probe));
    const std::string name = fs::path(copy).filename();
    EXPECT_EQ(child_process::program({copy, "kill", name}).wait(), 20);
    child_process sleeper = child_process::program({copy, "sleep"});
    if (geteuid() == 0) {
        // Another user's kill cannot end it.
        EXPECT_EQ(child_process::program({probe, "kill-as-nobody", name}).wait(), 20);
        EXPECT_TRUE(sleeper.running());
    }
    EXPECT_EQ(child_process::program({copy, "kill", name}).wait(), 10);
    EXPECT_EQ(sleeper.wait(), killed);
}

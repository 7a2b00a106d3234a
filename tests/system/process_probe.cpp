// A program that the process tests start, to see from outside what a started
// program receives and what the library does in another process.
//
//   process_probe report <out> <go> [args...]  once the file <go> exists ("-":
//       at once), writes its open descriptors beyond 0-2, its blocked
//       signals and then its args, a line each
//   process_probe sleep                        sleeps for a minute
//   process_probe kill <name>                  exits 10 when
//       os_system_kill_application(name) is true, 20 when false
//   process_probe kill-as-nobody <name>        the same as user nobody

#include <dirent.h>
#include <grp.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "corvane/system.h"

namespace {

constexpr auto patience = std::chrono::seconds(60);

std::string descriptors_beyond_standard() {
    std::string list;
    DIR* folder = opendir("/proc/self/fd");
    while (const dirent* entry = readdir(folder)) {
        int descriptor = std::atoi(entry->d_name);
        if (descriptor > 2 && descriptor != dirfd(folder)) {
            list += std::string(entry->d_name) + " ";
        }
    }
    closedir(folder);
    return list;
}

std::string blocked_signals() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line) && !line.starts_with("SigBlk:")) {
    }
    return line;
}

int report(int argc, char** argv) {
    const std::string out = argv[2];
    const std::string go = argv[3];
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (go != "-" && !std::filesystem::exists(go) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string text = descriptors_beyond_standard() + "\n" + blocked_signals() + "\n";
    for (int i = 4; i < argc; ++i) {
        text += std::string(argv[i]) + "\n";
    }
    // Readers poll for <out>: it appears whole or not at all.
    std::ofstream(out + ".draft") << text;
    std::filesystem::rename(out + ".draft", out);
    return 0;
}

int kill_result(const char* name) { return os_system_kill_application(name) ? 10 : 20; }

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "report" && argc >= 4) {
        return report(argc, argv);
    }
    if (mode == "sleep") {
        std::this_thread::sleep_for(patience);
        return 0;
    }
    if (mode == "kill" && argc == 3) {
        return kill_result(argv[2]);
    }
    constexpr uid_t nobody = 65534;
    if (mode == "kill-as-nobody" && argc == 3 && setgroups(0, nullptr) == 0 &&
        setgid(nobody) == 0 && setuid(nobody) == 0) {
        return kill_result(argv[2]);
    }
    return 2;
}

// A program that the process tests start, to see from outside what a started
// program receives and what the library does in another process.
//
//   process_probe report <out> <go> [words...]  once the file <go> exists
//       ("-": at once), writes its words to <out>, one a line
//   process_probe inherited <out>   (Linux) writes the descriptors it holds
//       beyond 0-2 and the signals it blocks, a line each
//   process_probe sleep             sleeps for a minute
//   process_probe exit <n>          exits with status n
//   process_probe kill <name>       exits 10 when os_system_kill_application
//       (name) is true, 20 when false

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "corvane/system.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::string text;
    if (mode == "report" && argc >= 4) {
        while (std::string(argv[3]) != "-" && !fs::exists(argv[3]) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (int i = 4; i < argc; ++i) {
            text += std::string(argv[i]) + "\n";
        }
    } else if (mode == "inherited" && argc == 3) {
        // The listing's own descriptor is the one that shows the listed folder.
        const fs::path own = fs::path("/proc") / fs::read_symlink("/proc/self") / "fd";
        for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
            if (std::stoi(entry.path().filename()) > 2 && fs::read_symlink(entry) != own) {
                text += entry.path().filename().string() + " ";
            }
        }
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line) && !line.starts_with("SigBlk:")) {
        }
        text += "\n" + line + "\n";
    } else if (mode == "sleep") {
        std::this_thread::sleep_until(deadline);
        return 0;
    } else if (mode == "exit" && argc == 3) {
        return std::stoi(argv[2]);
    } else if (mode == "kill" && argc == 3) {
        return os_system_kill_application(argv[2]) ? 10 : 20;
    } else {
        return 2;
    }
    // Readers poll for <out>: it appears whole or not at all.
    std::ofstream(std::string(argv[2]) + ".draft") << text;
    fs::rename(std::string(argv[2]) + ".draft", argv[2]);
    return 0;
}

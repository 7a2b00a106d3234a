// A program that the process tests start, to see from outside what a started
// program receives and what the library does in another process.
//
//   process_probe kill <name>       exits 10 when os_system_kill_application
//       (name) is true, 20 when false
//   process_probe sleep <seconds>   sleeps, then exits 0
//   process_probe report <out> <go> [words...]  once the file <go> exists,
//       writes its words to <out>, one a line
//   process_probe inherited <out>   (Linux) writes how many descriptors it
//       holds and the signals it blocks, a line each
//   process_probe hold <out> create|open <name>  makes or opens the shared
//       block <name>, writes "held" into it and to <out>, then waits to be
//       killed
//   anything else                   exits 2
// A report appears whole or not at all: readers poll for it.

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "corvane/system.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "", out = argc > 2 ? argv[2] : "";
    if (mode == "kill") return os_system_kill_application(out.c_str()) ? 10 : 20;
    if (mode == "sleep") {
        std::this_thread::sleep_for(std::chrono::seconds(std::stoi(out)));
        return 0;
    }
    std::string text;
    if (mode == "report" && argc > 3) {
        for (int polls = 0; !fs::exists(argv[3]) && polls < 6000; ++polls) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        for (int i = 4; i < argc; ++i) text += std::string(argv[i]) + "\n";
    } else if (mode == "inherited") {
        // 0-2 and the listing's own descriptor make 4.
        text = std::to_string(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("SigBlk:")) text += "\n" + line;
        }
    } else if (mode == "hold" && argc > 4) {
        const bool create = std::string(argv[3]) == "create";
        auto* block = create ? os_sharememory_create(argv[4], 256) : os_sharememory_open(argv[4]);
        text = std::strcpy(static_cast<char*>(os_sharememory_get_buffer(block)), "held");
    } else {
        return 2;
    }
    std::ofstream(out + "~", std::ios::binary) << text;
    fs::rename(out + "~", out);
    if (mode == "hold") std::this_thread::sleep_for(std::chrono::minutes(5));
}

// Helpers of the system tests: the probe program built beside them, reading
// what it reports, and shared-memory handles that destroy themselves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "corvane/system.h"
#include "test_support.hpp"  // also std::optional, std::string, std::vector

namespace fs = std::filesystem;
using namespace corvane::test;
using namespace std::chrono_literals;

// ".exe" where programs carry it, else "".
inline std::string exe_suffix() { return fs::path(self_path()).extension().string(); }

inline std::string probe() {
    return fs::path(self_path()).replace_filename("system_process_probe").string() + exe_suffix();
}

// Copies the probe into `folder` under a name without a full stop that no
// other process has, short enough to be a whole Linux command name (15
// bytes); returns the name, which lacks exe_suffix(). Windows finds the
// library beside the program, so it goes along where there is one.
inline std::string copy_probe(const temp_folder& folder) {
    static int serial = 0;
    auto name = "cv" + std::to_string(process_id() % 100000000) + "-" + std::to_string(++serial);
    fs::copy_file(probe(), folder.join(name + exe_suffix()));
    const fs::path library = fs::path(probe()).replace_filename("corvane.dll");
    if (fs::exists(library)) fs::copy(library, folder.path(), fs::copy_options::skip_existing);
    return name;
}

// Polls for a report a program writes whole; the bound only keeps a broken
// build from hanging.
inline std::string read_report(const std::string& path) {
    for (int i = 0; !fs::exists(path) && i < 6000; ++i) std::this_thread::sleep_for(5ms);
    return read_file(path);
}

struct block_deleter {
    void operator()(os_sharememory_handle* handle) const { os_sharememory_destroy(&handle); }
};
using block = std::unique_ptr<os_sharememory_handle, block_deleter>;
inline unsigned char* bytes_of(const block& handle) {
    return static_cast<unsigned char*>(os_sharememory_get_buffer(handle.get()));
}

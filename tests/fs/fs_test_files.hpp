// Small file helpers shared by the file-system tests: whole files and a
// sample tree.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace corvane::test {

namespace fs = std::filesystem;

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// True for a dangling link too.
inline bool exists_at_all(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

inline mode_t current_umask() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// root/ top.txt .hidden-file sub/inner.txt sub/deeper/leaf.txt .dotted/secret.txt empty/
inline void make_sample_tree(const std::string& root) {
    fs::create_directories(root + "/sub/deeper");
    fs::create_directories(root + "/.dotted");
    fs::create_directories(root + "/empty");
    write_file(root + "/top.txt", "top");
    write_file(root + "/.hidden-file", "hidden");
    write_file(root + "/sub/inner.txt", "inner");
    write_file(root + "/sub/deeper/leaf.txt", "leaf");
    write_file(root + "/.dotted/secret.txt", "secret");
}

inline void expect_sample_tree(const std::string& root) {
    EXPECT_EQ(read_file(root + "/top.txt") + read_file(root + "/.hidden-file") +
                  read_file(root + "/sub/inner.txt") + read_file(root + "/sub/deeper/leaf.txt") +
                  read_file(root + "/.dotted/secret.txt"),
              "tophiddeninnerleafsecret")
        << root;
    EXPECT_TRUE(fs::is_directory(root + "/empty")) << root;
}

}  // namespace corvane::test

// Small file helpers shared by the file-system tests: write and read whole
// files, a sample tree, and a second private folder on another file system.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <system_error>

namespace corvane::test {

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

inline bool is_folder(const std::string& path) { return std::filesystem::is_directory(path); }

inline bool is_link(const std::string& path) { return std::filesystem::is_symlink(path); }

inline bool exists_at_all(const std::string& path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

inline mode_t current_umask() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A sample tree:
// root/
//   top.txt, .hidden-file
//   sub/inner.txt
//   sub/deeper/leaf.txt
//   .dotted/secret.txt
//   empty/
inline void make_sample_tree(const std::string& root) {
    std::filesystem::create_directories(root + "/sub/deeper");
    std::filesystem::create_directories(root + "/.dotted");
    std::filesystem::create_directories(root + "/empty");
    write_file(root + "/top.txt", "top");
    write_file(root + "/.hidden-file", "hidden");
    write_file(root + "/sub/inner.txt", "inner");
    write_file(root + "/sub/deeper/leaf.txt", "leaf");
    write_file(root + "/.dotted/secret.txt", "secret");
}

inline void expect_sample_tree(const std::string& root) {
    EXPECT_EQ(read_file(root + "/top.txt"), "top") << root;
    EXPECT_EQ(read_file(root + "/.hidden-file"), "hidden") << root;
    EXPECT_EQ(read_file(root + "/sub/inner.txt"), "inner") << root;
    EXPECT_EQ(read_file(root + "/sub/deeper/leaf.txt"), "leaf") << root;
    EXPECT_EQ(read_file(root + "/.dotted/secret.txt"), "secret") << root;
    EXPECT_TRUE(is_folder(root + "/empty")) << root;
}

// A private folder under /dev/shm, for moves and copies across file systems.
// Absent (no folder made) when /dev/shm is missing or on the same file
// system as `near`.
class other_file_system_folder {
public:
    explicit other_file_system_folder(const std::string& near) {
        struct stat here {};
        struct stat there {};
        if (::stat(near.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
            here.st_dev == there.st_dev) {
            return;
        }
        std::string pattern = "/dev/shm/corvane-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~other_file_system_folder() {
        if (path_) {
            std::error_code ignored;
            std::filesystem::remove_all(*path_, ignored);
        }
    }
    other_file_system_folder(const other_file_system_folder&) = delete;
    other_file_system_folder& operator=(const other_file_system_folder&) = delete;

    bool available() const { return path_.has_value(); }
    std::string join(const std::string& name) const { return *path_ + "/" + name; }

private:
    std::optional<std::string> path_;
};

}  // namespace corvane::test

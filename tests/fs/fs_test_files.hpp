// File helpers shared by the file-system tests: whole files, links and a
// sample tree, through the standard library only. The fs tests include
// this header, the library's and the support's with it, and its names.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "corvane/fs.h"
#include "test_support.hpp"
#include "wine_support.hpp"

namespace corvane::test {

namespace fs = std::filesystem;

inline void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

inline std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

// True for a dangling link too.
inline bool exists_at_all(const fs::path& path) { return fs::exists(fs::symlink_status(path)); }

// Wine shows host links but cannot read, make or delete them as links (it
// deletes what a link points to): such cases are shown on real systems only.
inline bool links_fully_supported() { return !under_wine(); }

// A symbolic link at `link` to `target`; false where this system makes none
// that a test can rely on. Under Wine a folder link is made on the host
// (Wine's own call reports success and makes nothing); a file link is not
// made there, as Wine shows it as a plain file.
inline bool make_link(const fs::path& target, const fs::path& link, bool folder = false) {
    if (!links_fully_supported()) return folder && make_host_link(target.string(), link.string());
    std::error_code error;
    folder ? fs::create_directory_symlink(target, link, error)
           : fs::create_symlink(target, link, error);
    return !error;
}

// root/ top.txt .hidden-file sub/inner.txt sub/deeper/leaf.txt .dotted/secret.txt empty/
inline const char* const sample_files[] = {"top.txt", ".hidden-file", "sub/inner.txt",
                                           "sub/deeper/leaf.txt", ".dotted/secret.txt"};

inline void make_sample_tree(const fs::path& root) {
    fs::create_directories(root / "empty");
    for (const fs::path name : sample_files) {
        fs::create_directories((root / name).parent_path());
        write_file(root / name, name.string());
    }
}

inline void expect_sample_tree(const fs::path& root) {
    for (const fs::path name : sample_files) EXPECT_EQ(read_file(root / name), name.string()) << root;
    EXPECT_TRUE(fs::is_directory(root / "empty")) << root;
}

// Runs `body` with the current folder set to `folder`, then restores it.
template <typename Body> void in_folder(const fs::path& folder, Body body) {
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    body();
    fs::current_path(before);
}

}  // namespace corvane::test

using namespace corvane::test;

// Whole-operation timings of the file-system layer on Windows, each beside
// the system call it is measured against:
//   os_file_copy of a 64 MiB file               vs CopyFileA
//   the tree walk over 5,000 files              vs a FindFirstFileA/FindNextFileA walk
//   os_folder_copy of that tree                 vs a CopyFileA/CreateDirectoryA copy
//   recursive os_folder_remove of that tree     vs a DeleteFileA/RemoveDirectoryA removal
// Plain program (no benchmark library in the cross build): each pair runs
// interleaved, three times, and the medians and their ratio are printed.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "corvane/fs.h"

namespace {

constexpr int tops = 25;
constexpr int subs_per_top = 9;      // 25 + 225 = 250 folders
constexpr int files_per_folder = 20;  // 5,000 files
constexpr size_t big_file_size = size_t{64} << 20;

void write_file(const std::string& path, const std::string& content, size_t times = 1) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (size_t i = 0; i < times; ++i) {
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    }
    CloseHandle(file);
}

void fill_folder(const std::string& folder) {
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < files_per_folder; ++i) {
        write_file(folder + "\\file" + std::to_string(i) + ".dat", std::string(200, 'x'));
    }
}

// Visits every entry below `folder` with FindFirstFileA/FindNextFileA.
template <typename Visit>
void find_walk(const std::string& folder, Visit visit) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") {
            visit(folder + "\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
}

void system_walk(const std::string& folder, long& entries) {
    find_walk(folder, [&](const std::string& path, bool is_folder) {
        ++entries;
        if (is_folder) {
            system_walk(path, entries);
        }
    });
}

bool system_copy(const std::string& from, const std::string& to) {
    bool copied = CreateDirectoryA(to.c_str(), nullptr) != 0;
    find_walk(from, [&](const std::string& path, bool is_folder) {
        std::string target = to + path.substr(from.size());
        copied = copied && (is_folder ? system_copy(path, target) : CopyFileA(path.c_str(), target.c_str(), FALSE) != 0);
    });
    return copied;
}

bool system_remove(const std::string& folder) {
    bool removed = true;
    find_walk(folder, [&](const std::string& path, bool is_folder) {
        removed = (is_folder ? system_remove(path) : DeleteFileA(path.c_str()) != 0) && removed;
    });
    return RemoveDirectoryA(folder.c_str()) != 0 && removed;
}

class counting_visitor final : public IFileSystemVisitor {
public:
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char*, const char*) override { ++entries; }
    void OnFolder(const char*, const char*) override { ++entries; }
    long entries = 0;
};

double seconds(const std::function<bool()>& operation) {
    const auto start = std::chrono::steady_clock::now();
    const bool done = operation();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return done ? took.count() : -1.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the pair three times, interleaved, `reset` outside the clock.
void compare(const char* name, const std::function<bool()>& library, const std::function<bool()>& system,
             const std::function<void()>& reset) {
    std::vector<double> ours;
    std::vector<double> theirs;
    for (int round = 0; round < 3; ++round) {
        reset();
        ours.push_back(seconds(library));
        reset();
        theirs.push_back(seconds(system));
    }
    std::printf("%-12s library %8.1f ms   system %8.1f ms   ratio %.2f\n", name, median(ours) * 1e3,
                median(theirs) * 1e3, median(ours) / median(theirs));
}

}  // namespace

int main() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string base = std::string(temp) + "corvane-bench-" + std::to_string(GetCurrentProcessId());
    const std::string tree = base + "\\tree";
    const std::string copy = base + "\\copy";
    CreateDirectoryA(base.c_str(), nullptr);
    write_file(base + "\\big.bin", std::string(size_t{1} << 20, 'b'), big_file_size >> 20);
    CreateDirectoryA(tree.c_str(), nullptr);
    for (int top = 0; top < tops; ++top) {
        const std::string top_path = tree + "\\top" + std::to_string(top);
        fill_folder(top_path);
        for (int sub = 0; sub < subs_per_top; ++sub) {
            fill_folder(top_path + "\\sub" + std::to_string(sub));
        }
    }
    const std::string big = base + "\\big.bin";
    const std::string big_copy = base + "\\big.copy";
    auto no_copy = [&] {
        DeleteFileA(big_copy.c_str());
        system_remove(copy);
    };
    compare("file copy", [&] { return os_file_copy(big.c_str(), big_copy.c_str(), false); },
            [&] { return CopyFileA(big.c_str(), big_copy.c_str(), FALSE) != 0; }, no_copy);
    compare("walk", [&] {
        counting_visitor visitor;
        os_filesystem_walk_through("", tree.c_str(), &visitor);
        return visitor.entries > 0;
    }, [&] {
        long entries = 0;
        system_walk(tree, entries);
        return entries > 0;
    }, [] {});
    compare("tree copy", [&] { return os_folder_copy(tree.c_str(), copy.c_str(), false); },
            [&] { return system_copy(tree, copy); }, no_copy);
    auto fresh_copy = [&] {
        system_remove(copy);
        system_copy(tree, copy);
    };
    compare("tree remove", [&] { return os_folder_remove(copy.c_str(), true); },
            [&] { return system_remove(copy); }, fresh_copy);
    no_copy();
    system_remove(base);
    return 0;
}

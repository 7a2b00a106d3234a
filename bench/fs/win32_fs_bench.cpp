// Whole-operation benchmarks of the file-system layer on Windows, each beside
// the Win32 calls a Windows program would make instead:
//   os_file_copy (4 KiB, 1 MiB, 64 MiB)          vs CopyFileA
//   the tree walk over 5,000 files               vs a FindFirstFileA/FindNextFileA recursion
//   os_folder_copy of that tree                  vs a CreateDirectoryA/CopyFileA recursion
//   recursive os_folder_remove of that tree      vs a DeleteFileA/RemoveDirectoryA recursion
// Pairs are named <operation>/library and <operation>/<Win32 peer>. The data
// is made once in the temporary folder and removed when the program ends.

#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "corvane/fs.h"
#include "counting_visitor.hpp"

namespace {

constexpr int top_folders = 25;
constexpr int folders_per_top = 9;   // 25 + 225 = 250 folders
constexpr int files_per_folder = 20;  // 5,000 files

bool write_blocks(const std::string& path, const std::string& block, size_t times) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool written = file != INVALID_HANDLE_VALUE;
    for (size_t i = 0; written && i < times; ++i) {
        DWORD count = 0;
        written = WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &count, nullptr) != 0 &&
                  count == block.size();
    }
    CloseHandle(file);
    return written;
}

// Visits every entry of `folder` but "." and ".." with FindFirstFileA/FindNextFileA.
template <typename Visit>
void find_each(const std::string& folder, Visit visit) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            visit(folder + "\\" + name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
}

void find_walk(const std::string& folder, int64_t& entries) {
    find_each(folder, [&](const std::string& path, bool is_folder) {
        ++entries;
        if (is_folder) {
            find_walk(path, entries);
        }
    });
}

bool find_copy(const std::string& from, const std::string& to) {
    bool copied = CreateDirectoryA(to.c_str(), nullptr) != 0;
    find_each(from, [&](const std::string& path, bool is_folder) {
        const std::string target = to + path.substr(from.size());
        copied = copied && (is_folder ? find_copy(path, target)
                                      : CopyFileA(path.c_str(), target.c_str(), FALSE) != 0);
    });
    return copied;
}

bool find_remove(const std::string& folder) {
    bool removed = true;
    find_each(folder, [&](const std::string& path, bool is_folder) {
        removed = (is_folder ? find_remove(path) : DeleteFileA(path.c_str()) != 0) && removed;
    });
    return RemoveDirectoryA(folder.c_str()) != 0 && removed;
}

// The generated data, made on first use and removed at exit.
class bench_data {
public:
    static bench_data& get() {
        static bench_data data;
        return data;
    }
    ~bench_data() { find_remove(base_); }
    bench_data(const bench_data&) = delete;
    bench_data& operator=(const bench_data&) = delete;

    std::string join(const std::string& name) const { return base_ + "\\" + name; }

    // A file of `size` bytes (a multiple of 4 KiB).
    const std::string& file(size_t size) {
        std::string& path = files_[size];
        if (path.empty()) {
            path = join("file" + std::to_string(size) + ".bin");
            constexpr size_t block_size = 4096;
            std::string block(block_size, '\0');
            for (size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<char>((i * 2654435761u) >> 13);
            }
            if (!write_blocks(path, block, size / block_size)) std::abort();
        }
        return path;
    }

    const std::string& tree() {
        if (tree_.empty()) {
            tree_ = join("tree");
            CreateDirectoryA(tree_.c_str(), nullptr);
            const std::string content(200, 'x');
            for (int top = 0; top < top_folders; ++top) {
                const std::string top_path = tree_ + "\\top" + std::to_string(top);
                fill_folder(top_path, content);
                for (int sub = 0; sub < folders_per_top; ++sub) {
                    fill_folder(top_path + "\\sub" + std::to_string(sub), content);
                }
            }
        }
        return tree_;
    }

private:
    bench_data() {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        base_ = std::string(temp) + "corvane-bench-" + std::to_string(GetCurrentProcessId());
        if (!CreateDirectoryA(base_.c_str(), nullptr)) std::abort();
    }

    static void fill_folder(const std::string& folder, const std::string& content) {
        CreateDirectoryA(folder.c_str(), nullptr);
        for (int i = 0; i < files_per_folder; ++i) {
            if (!write_blocks(folder + "\\file" + std::to_string(i) + ".dat", content, 1)) std::abort();
        }
    }

    std::string base_;
    std::map<size_t, std::string> files_;
    std::string tree_;
};

// Times `operation` alone: `prepare` and `clean_up` run outside the clock.
template <typename Prepare, typename Operation, typename CleanUp>
void time_operation(benchmark::State& state, Prepare prepare, Operation operation, CleanUp clean_up) {
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        state.ResumeTiming();
        if (!operation()) {
            state.SkipWithError("operation failed");
            break;
        }
        state.PauseTiming();
        clean_up();
        state.ResumeTiming();
    }
}

void nothing() {}

// ---- the operations, library and peer side by side -----------------------

bool library_copy_file(const std::string& from, const std::string& to) {
    return os_file_copy(from.c_str(), to.c_str(), false);
}

bool win32_copy_file(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

int64_t library_walk(const std::string& tree) {
    counting_visitor visitor;
    os_filesystem_walk_through("", tree.c_str(), &visitor);
    return visitor.entries;
}

int64_t win32_walk(const std::string& tree) {
    int64_t entries = 0;
    find_walk(tree, entries);
    return entries;
}

bool library_copy_tree(const std::string& from, const std::string& to) {
    return os_folder_copy(from.c_str(), to.c_str(), false);
}

bool library_remove_tree(const std::string& folder) {
    return os_folder_remove(folder.c_str(), true);
}

// ---- the benchmarks --------------------------------------------------------

// Copies a file of state.range(0) bytes over the same destination each time.
template <bool (*copy)(const std::string&, const std::string&)>
void file_copy(benchmark::State& state) {
    bench_data& data = bench_data::get();
    const auto size = static_cast<size_t>(state.range(0));
    const std::string& source = data.file(size);
    const std::string destination = data.join("copy.bin");
    for (auto _ : state) {
        if (!copy(source, destination)) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    DeleteFileA(destination.c_str());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

template <int64_t (*walk)(const std::string&)>
void tree_walk(benchmark::State& state) {
    const std::string& tree = bench_data::get().tree();
    int64_t entries = 0;
    time_operation(state, nothing, [&] { return (entries = walk(tree)) > 0; }, nothing);
    state.counters["entries"] = static_cast<double>(entries);
}

template <bool (*copy)(const std::string&, const std::string&)>
void tree_copy(benchmark::State& state) {
    bench_data& data = bench_data::get();
    const std::string& tree = data.tree();
    const std::string destination = data.join("tree.copy");
    time_operation(state, nothing, [&] { return copy(tree, destination); },
                   [&] { find_remove(destination); });
}

// Removes a fresh copy of the tree, made outside the clock.
template <bool (*remove)(const std::string&)>
void tree_remove(benchmark::State& state) {
    bench_data& data = bench_data::get();
    const std::string& tree = data.tree();
    const std::string victim = data.join("tree.victim");
    time_operation(state, [&] { find_copy(tree, victim); }, [&] { return remove(victim); }, nothing);
}

// Whole operations of up to seconds under Wine: one iteration a repetition,
// the repetitions' median reported.
#define CORVANE_WHOLE_OPERATION(bench, name) \
    BENCHMARK(bench)->Name(name)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime()

BENCHMARK(file_copy<library_copy_file>)
    ->Name("file_copy/library")
    ->Arg(4 << 10)
    ->Arg(1 << 20)
    ->Arg(64 << 20)
    ->UseRealTime();
BENCHMARK(file_copy<win32_copy_file>)
    ->Name("file_copy/CopyFileA")
    ->Arg(4 << 10)
    ->Arg(1 << 20)
    ->Arg(64 << 20)
    ->UseRealTime();
CORVANE_WHOLE_OPERATION(tree_walk<library_walk>, "tree_walk/library");
CORVANE_WHOLE_OPERATION(tree_walk<win32_walk>, "tree_walk/FindFirstFileA");
CORVANE_WHOLE_OPERATION(tree_copy<library_copy_tree>, "tree_copy/library");
CORVANE_WHOLE_OPERATION(tree_copy<find_copy>, "tree_copy/CopyFileA");
CORVANE_WHOLE_OPERATION(tree_remove<library_remove_tree>, "tree_remove/library");
CORVANE_WHOLE_OPERATION(tree_remove<find_remove>, "tree_remove/DeleteFileA");

}  // namespace

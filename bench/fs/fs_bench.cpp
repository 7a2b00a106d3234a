// Whole-operation benchmarks of the file-system layer, each beside the
// system tool or libc routine it is measured against:
//   os_file_copy of a 256 MiB file           vs cp
//   the tree walk over 100,000 files         vs find, vs nftw
//   os_folder_copy of that tree              vs cp -r
//   recursive os_folder_remove of that tree  vs rm -rf
// The data is generated once under /tmp and removed when the program ends.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/fs.h"
#include "counting_visitor.hpp"

extern char** environ;

namespace {

constexpr size_t big_file_size = size_t{256} << 20;
constexpr int top_folders = 50;
constexpr int folders_per_top = 99;  // 50 + 50 * 99 = 5,000 folders
constexpr int files_per_folder = 20;  // 100,000 files

// Writes `block` `times` times into a new file.
void write_blocks(const std::string& path, const std::string& block, size_t times) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("cannot create " + path);
    }
    for (size_t i = 0; i < times; ++i) {
        if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path);
        }
    }
    ::close(fd);
}

void fill_folder(const std::string& folder) {
    static const std::string content(200, 'x');
    for (int i = 0; i < files_per_folder; ++i) {
        write_blocks(folder + "/file" + std::to_string(i) + ".dat", content, 1);
    }
}

// The generated data, made on first use and removed at exit.
class bench_data {
public:
    static bench_data& get() {
        static bench_data data;
        return data;
    }
    ~bench_data() {
        std::error_code ignored;
        std::filesystem::remove_all(base_, ignored);
    }

    std::string join(const std::string& name) const { return base_ + "/" + name; }

    const std::string& big_file() {
        if (big_file_.empty()) {
            big_file_ = join("big.bin");
            std::string block(size_t{1} << 20, '\0');
            for (size_t i = 0; i < block.size(); ++i) {
                block[i] = static_cast<char>((i * 2654435761u) >> 13);
            }
            write_blocks(big_file_, block, big_file_size / block.size());
        }
        return big_file_;
    }

    const std::string& tree() {
        if (tree_.empty()) {
            tree_ = join("tree");
            std::filesystem::create_directory(tree_);
            for (int top = 0; top < top_folders; ++top) {
                std::string top_path = tree_ + "/top" + std::to_string(top);
                std::filesystem::create_directory(top_path);
                fill_folder(top_path);
                for (int sub = 0; sub < folders_per_top; ++sub) {
                    std::string sub_path = top_path + "/sub" + std::to_string(sub);
                    std::filesystem::create_directory(sub_path);
                    fill_folder(sub_path);
                }
            }
        }
        return tree_;
    }

private:
    bench_data() {
        std::string pattern = "/tmp/corvane-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        base_ = pattern;
    }

    std::string base_;
    std::string big_file_;
    std::string tree_;
};

// Runs a program to its end, its standard output thrown away; true when it
// succeeded.
bool run(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& arg : argv) {
        pointers.push_back(const_cast<char*>(arg.c_str()));
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int error = posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return error == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool remove_quietly(const std::string& path) {
    os_folder_remove(path.c_str(), true);
    return true;
}

bool nothing() { return true; }

// Times `operation` alone: `prepare` and `clean_up` run outside the clock.
template <typename Prepare, typename Operation, typename CleanUp>
void time_operation(benchmark::State& state, Prepare prepare, Operation operation,
                    CleanUp clean_up) {
    for (auto _ : state) {
        state.PauseTiming();
        bool ready = prepare();
        state.ResumeTiming();
        if (!ready || !operation()) {
            state.SkipWithError("operation failed");
            break;
        }
        state.PauseTiming();
        clean_up();
        state.ResumeTiming();
    }
}

// ---- File copy

// Times `copy(source, destination)` of the big file to a fresh name.
template <typename Copy>
void time_file_copy(benchmark::State& state, Copy copy) {
    bench_data& data = bench_data::get();
    const std::string& source = data.big_file();
    std::string destination = data.join("big.copy");
    time_operation(
        state, nothing, [&] { return copy(source, destination); },
        [&] { return remove_quietly(destination); });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * big_file_size));
}

void BM_FileCopy_Corvane(benchmark::State& state) {
    time_file_copy(state, [](const std::string& source, const std::string& destination) {
        return os_file_copy(source.c_str(), destination.c_str(), false);
    });
}

void BM_FileCopy_cp(benchmark::State& state) {
    time_file_copy(state, [](const std::string& source, const std::string& destination) {
        return run({"cp", source, destination});
    });
}

// ---- Tree walk

void BM_Walk_Corvane(benchmark::State& state) {
    const std::string& tree = bench_data::get().tree();
    counting_visitor visitor;
    time_operation(
        state, nothing,
        [&] {
            os_filesystem_walk_through("", tree.c_str(), &visitor);
            return true;
        },
        nothing);
    state.counters["entries"] = static_cast<double>(visitor.entries);
}

void BM_Walk_find(benchmark::State& state) {
    const std::string& tree = bench_data::get().tree();
    time_operation(state, nothing, [&] { return run({"find", tree}); }, nothing);
}

int64_t nftw_entries = 0;

int count_entry(const char*, const struct stat*, int, struct FTW*) {
    ++nftw_entries;
    return 0;
}

void BM_Walk_nftw(benchmark::State& state) {
    const std::string& tree = bench_data::get().tree();
    time_operation(
        state, nothing,
        [&] {
            nftw_entries = 0;
            return ::nftw(tree.c_str(), count_entry, 64, FTW_PHYS) == 0;
        },
        nothing);
    state.counters["entries"] = static_cast<double>(nftw_entries);
}

// ---- Tree copy

// Times `copy(tree, destination)` of the whole tree to a fresh name.
template <typename Copy>
void time_tree_copy(benchmark::State& state, Copy copy) {
    bench_data& data = bench_data::get();
    const std::string& tree = data.tree();
    std::string destination = data.join("tree.copy");
    time_operation(
        state, nothing, [&] { return copy(tree, destination); },
        [&] { return remove_quietly(destination); });
}

void BM_TreeCopy_Corvane(benchmark::State& state) {
    time_tree_copy(state, [](const std::string& tree, const std::string& destination) {
        return os_folder_copy(tree.c_str(), destination.c_str(), false);
    });
}

void BM_TreeCopy_cp(benchmark::State& state) {
    time_tree_copy(state, [](const std::string& tree, const std::string& destination) {
        return run({"cp", "-r", tree, destination});
    });
}

// ---- Recursive remove

// Times `remove(victim)` of a fresh copy of the tree, made outside the clock.
template <typename Remove>
void time_tree_remove(benchmark::State& state, Remove remove) {
    bench_data& data = bench_data::get();
    const std::string& tree = data.tree();
    std::string victim = data.join("tree.victim");
    time_operation(
        state, [&] { return run({"cp", "-r", tree, victim}); }, [&] { return remove(victim); },
        nothing);
}

void BM_TreeRemove_Corvane(benchmark::State& state) {
    time_tree_remove(state, [](const std::string& victim) {
        return os_folder_remove(victim.c_str(), true);
    });
}

void BM_TreeRemove_rm(benchmark::State& state) {
    time_tree_remove(state, [](const std::string& victim) { return run({"rm", "-rf", victim}); });
}

// Whole operations of seconds: single-iteration repetitions, medians
// reported. The machine is shared: run with
// --benchmark_enable_random_interleaving=true so that a pair meets the same
// load.
#define CORVANE_WHOLE_OPERATION(bench, repetitions)                                        \
    BENCHMARK(bench)->Iterations(1)->Repetitions(repetitions)->ReportAggregatesOnly(true)->Unit( \
        benchmark::kMillisecond)

CORVANE_WHOLE_OPERATION(BM_FileCopy_Corvane, 5);
CORVANE_WHOLE_OPERATION(BM_FileCopy_cp, 5);
CORVANE_WHOLE_OPERATION(BM_Walk_Corvane, 5);
CORVANE_WHOLE_OPERATION(BM_Walk_find, 5);
CORVANE_WHOLE_OPERATION(BM_Walk_nftw, 5);
CORVANE_WHOLE_OPERATION(BM_TreeCopy_Corvane, 3);
CORVANE_WHOLE_OPERATION(BM_TreeCopy_cp, 3);
CORVANE_WHOLE_OPERATION(BM_TreeRemove_Corvane, 3);
CORVANE_WHOLE_OPERATION(BM_TreeRemove_rm, 3);

}  // namespace

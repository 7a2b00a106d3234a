// The platform-neutral half of the test support, with the few C runtime
// calls that differ only in spelling.
#include "test_support.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

// dup, dup2 and close: mingw-w64 declares them here too.
#include <unistd.h>

namespace corvane::test {

namespace {

constexpr const char* child_marker = "CORVANE_TEST_CHILD";
constexpr const char* ready_marker = "CORVANE_TEST_READY";

// The C runtime's _putenv_s also updates the Windows process environment; an
// empty value removes the variable.
void set_variable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

}  // namespace

// A leftover of an earlier run may hold the name: take the next one.
temp_folder::temp_folder() {
    const auto base = std::filesystem::temp_directory_path();
    while (!std::filesystem::create_directory(path_ = (base / unique_name("folder")).string())) {
    }
}

temp_folder::~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string temp_folder::join(std::string_view name) const {
    return path_ + path_separator + std::string(name);
}

std::string unique_name(std::string_view stem) {
    static std::atomic<int> serial{0};
    return "cvtest-" + std::to_string(process_id()) + "-" + std::to_string(++serial) + "-" +
           std::string(stem);
}

std::string child_role() {
    const char* role = std::getenv(child_marker);
    return role != nullptr ? role : "";
}

child_process child_process::self(const std::string& gtest_filter, const std::string& role,
                                  const std::vector<std::string>& extra_env) {
    auto env = extra_env;
    env.push_back(std::string(child_marker) + "=" + role);
    return program({self_path(), "--gtest_filter=" + gtest_filter}, env);
}

child_process::child_process(child_process&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)) {}

child_process& child_process::operator=(child_process&& other) noexcept {
    if (this != &other) {
        kill_and_wait();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

child_process::~child_process() { kill_and_wait(); }

// The child makes the file named in its environment once it is ready; one
// that ends first never does, so the wait ends either way. Windows refuses
// to remove the file while the child still has it open.
ready_child::ready_child(const std::string& gtest_filter, const std::string& role,
                         const std::vector<std::string>& extra_env) {
    const auto flag = std::filesystem::temp_directory_path() / unique_name("ready");
    auto env = extra_env;
    env.push_back(std::string(ready_marker) + "=" + flag.string());
    child_process::operator=(child_process::self(gtest_filter, role, env));
    std::error_code busy;
    while (!(ready_ = std::filesystem::remove(flag, busy)) && running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void signal_ready() {
    const char* flag = std::getenv(ready_marker);
    if (flag == nullptr || !std::ofstream(flag)) std::abort();
}

scoped_environment_variable::scoped_environment_variable(std::string name,
                                                         const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    set_variable(name_, value);
}

scoped_environment_variable::~scoped_environment_variable() { set_variable(name_, saved_); }

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Descriptor 1 points at a file of a private folder while the body runs.
std::string capture_stdout(const std::function<void()>& body) {
    const temp_folder folder;
    const std::string path = folder.join("stdout");
    std::fflush(stdout);
    const int saved = dup(1);
    std::FILE* sink = std::fopen(path.c_str(), "wb");
    if (sink == nullptr) std::abort();
    dup2(fileno(sink), 1);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(sink);
    return read_file(path);
}

}  // namespace corvane::test

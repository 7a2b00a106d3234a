// The Windows half of the test support: processes through CreateProcessA,
// the ready signal through an inherited pipe handle, the environment through
// the C runtime's _putenv_s, which also updates the process environment.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "test_support.hpp"

namespace corvane::test {

namespace {

constexpr const char* ready_handle_variable = "CORVANE_TEST_READY_HANDLE";

[[noreturn]] void fail(const std::string& what) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

HANDLE as_handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One argument quoted so that the child's argument splitting gives it back
// unchanged: backslashes count only before a quote.
std::string quoted(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
        return word;
    }
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + "\"";
}

std::string variable_name(const std::string& entry) {
    // "=C:=C:\dir" entries start with '='; their name runs to the second one.
    return entry.substr(0, entry.find('=', 1));
}

// This process's environment with `extra` ("NAME=value") replacing entries of
// the same name, as the block CreateProcessA takes.
std::string environment_block(const std::vector<std::string>& extra) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string name = variable_name(entry);
        bool replaced = false;
        for (const auto& added : extra) {
            replaced = replaced || _stricmp(variable_name(added).c_str(), name.c_str()) == 0;
        }
        if (!replaced) {
            block.append(entry).push_back('\0');
        }
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& added : extra) {
        block.append(added).push_back('\0');
    }
    block.push_back('\0');
    return block;
}

}  // namespace

temp_folder::temp_folder() {
    char base[MAX_PATH + 1];
    if (GetTempPathA(sizeof base, base) == 0) {
        fail("GetTempPathA");
    }
    static unsigned serial = 0;
    for (;;) {
        path_ = std::string(base) + "corvane-test-" + std::to_string(process_id()) + "-" +
                std::to_string(++serial);
        if (CreateDirectoryA(path_.c_str(), nullptr)) {
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            fail("CreateDirectoryA " + path_);
        }
    }
}

std::string self_path() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            fail("GetModuleFileNameA");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

uint64_t process_id() { return GetCurrentProcessId(); }

child_process child_process::program(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& extra_env) {
    std::string command_line;
    for (const auto& word : argv) {
        command_line += (command_line.empty() ? "" : " ") + quoted(word);
    }
    std::string environment = environment_block(extra_env);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // Handles are inherited so that the child keeps the standard streams and
    // a ready_child's pipe end.
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                        environment.data(), nullptr, &startup, &started)) {
        fail("CreateProcessA " + argv.at(0));
    }
    CloseHandle(started.hThread);
    return child_process(reinterpret_cast<intptr_t>(started.hProcess));
}

int child_process::wait() {
    if (handle_ < 0) {
        return -1;
    }
    const HANDLE process = as_handle(std::exchange(handle_, -1));
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ended ? static_cast<int>(code) : -1;
}

int child_process::kill_and_wait() {
    if (handle_ >= 0) {
        TerminateProcess(as_handle(handle_), killed_status);
    }
    return wait();
}

bool child_process::running() const {
    return handle_ >= 0 && WaitForSingleObject(as_handle(handle_), 0) == WAIT_TIMEOUT;
}

uint64_t child_process::id() const {
    return handle_ >= 0 ? GetProcessId(as_handle(handle_)) : static_cast<uint64_t>(-1);
}

ready_child::ready_child(const std::string& gtest_filter, const std::string& role,
                         const std::vector<std::string>& extra_env) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
        fail("CreatePipe");
    }
    // Only the write end goes to the child, so that the read below ends when
    // the child is ready or gone.
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    auto env = extra_env;
    env.push_back(std::string(ready_handle_variable) + "=" +
                  std::to_string(reinterpret_cast<uintptr_t>(write_end)));
    try {
        process_ = child_process::self(gtest_filter, role, env);
    } catch (...) {
        CloseHandle(read_end);
        CloseHandle(write_end);
        throw;
    }
    CloseHandle(write_end);
    char byte = 0;
    DWORD got = 0;
    ready_ = ReadFile(read_end, &byte, 1, &got, nullptr) && got == 1;
    CloseHandle(read_end);
}

void signal_ready() {
    const char* handle_text = std::getenv(ready_handle_variable);
    if (handle_text == nullptr) {
        std::abort();
    }
    const auto pipe = reinterpret_cast<HANDLE>(std::strtoull(handle_text, nullptr, 10));
    const char byte = 1;
    DWORD written = 0;
    if (!WriteFile(pipe, &byte, 1, &written, nullptr) || written != 1) {
        std::abort();
    }
    CloseHandle(pipe);
}

scoped_environment_variable::scoped_environment_variable(std::string name,
                                                         const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) {
        saved_ = old;
    }
    // An empty value removes the variable.
    _putenv_s(name_.c_str(), value ? value->c_str() : "");
}

scoped_environment_variable::~scoped_environment_variable() {
    _putenv_s(name_.c_str(), saved_ ? saved_->c_str() : "");
}

std::string capture_stdout(const std::function<void()>& body) {
    std::fflush(stdout);
    // tmpfile() would write to the drive's root; use the private folder.
    const temp_folder folder;
    const std::string path = folder.join("stdout");
    std::FILE* sink = std::fopen(path.c_str(), "w+b");
    if (sink == nullptr) {
        throw std::runtime_error("cannot open " + path);
    }
    const int saved = _dup(1);
    _dup2(_fileno(sink), 1);
    body();
    std::fflush(stdout);
    _dup2(saved, 1);
    _close(saved);

    std::string text;
    std::rewind(sink);
    char chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, sink)) > 0) {
        text.append(chunk, n);
    }
    std::fclose(sink);
    return text;
}

}  // namespace corvane::test

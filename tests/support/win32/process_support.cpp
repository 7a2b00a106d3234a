// The Windows half of the test support: processes through CreateProcessA
// and the ready signal through an inherited pipe handle.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\') += c;
        backslashes = 0;
    }
    return text.append(2 * backslashes, '\\') + "\"";
}

// This process's environment with `extra` ("NAME=value") in place of the
// entries of the same name, as the block CreateProcessA takes.
std::string environment_block(const std::vector<std::string>& extra) {
    std::string block;
    for (const auto& added : extra) block.append(added).push_back('\0');
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        // "=C:=C:\dir" entries start with '='; their name runs to the second one.
        const size_t name_end = std::strchr(entry + 1, '=') - entry + 1;
        bool replaced = false;
        for (const auto& added : extra) {
            replaced = replaced || added.compare(0, added.find('=') + 1, entry, name_end) == 0;
        }
        if (!replaced) block.append(entry).push_back('\0');
    }
    FreeEnvironmentStringsA(strings);
    return block + '\0';
}

}  // namespace

std::string self_path() {
    std::string path(MAX_PATH, '\0');
    DWORD length = 0;
    while ((length = GetModuleFileNameA(nullptr, path.data(), path.size())) == path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    return path;
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
    // Handles are inherited: the standard streams and a ready_child's pipe end.
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                        environment.data(), nullptr, &startup, &started)) {
        fail("CreateProcessA " + argv.at(0));
    }
    CloseHandle(started.hThread);
    return child_process(reinterpret_cast<intptr_t>(started.hProcess));
}

int child_process::wait() {
    if (handle_ < 0) return -1;
    const HANDLE process = as_handle(std::exchange(handle_, -1));
    DWORD code = 0;
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return ended ? static_cast<int>(code) : -1;
}

int child_process::kill_and_wait() {
    if (handle_ >= 0) TerminateProcess(as_handle(handle_), killed_status);
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
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) fail("CreatePipe");
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
    const auto pipe = as_handle(handle_text != nullptr ? std::atoll(handle_text) : 0);
    const char byte = 1;
    DWORD written = 0;
    if (!WriteFile(pipe, &byte, 1, &written, nullptr) || written != 1) std::abort();
    CloseHandle(pipe);
}

}  // namespace corvane::test

// The Windows half of the test support: processes through CreateProcessA;
// the ANSI code page is the system's, or under Wine the one that LC_ALL
// named when Wine started. Wine is told apart by its exports
// wine_get_version (ntdll) and wine_get_unix_file_name (kernel32), which
// Windows lacks; both modules are loaded into every process.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include "test_support.hpp"
#include "wine_support.hpp"

namespace corvane::test {

namespace {

HANDLE as_handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// One argument quoted so that the child's argument splitting gives it back
// unchanged: backslashes count only before a quote.
std::string quoted(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
    std::string text = "\"";
    size_t backslashes = 0;
    // The backslashes before a quote or the closing quote are doubled, and
    // the quote itself escaped.
    for (char c : word) {
        if (c == '"') text.append(backslashes + 1, '\\');
        backslashes = c == '\\' ? backslashes + 1 : 0;
        text += c;
    }
    return text.append(backslashes, '\\') + "\"";
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

FARPROC wine_export(const char* module, const char* name) {
    return GetProcAddress(GetModuleHandleA(module), name);
}

// The host path of a Windows path (test paths are ASCII); "" when there is none.
std::string host_path(const std::string& path) {
    auto convert = reinterpret_cast<char*(CDECL*)(LPCWSTR)>(
        reinterpret_cast<void*>(wine_export("kernel32.dll", "wine_get_unix_file_name")));
    char* converted = convert != nullptr ? convert(std::wstring(path.begin(), path.end()).c_str())
                                         : nullptr;
    const std::string result = converted != nullptr ? converted : "";
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

}  // namespace

std::string self_path() {
    std::string path(32768, '\0');  // the longest path Windows has
    path.resize(GetModuleFileNameA(nullptr, path.data(), path.size()));
    return path;
}

uint64_t process_id() { return GetCurrentProcessId(); }

int last_system_error() { return static_cast<int>(GetLastError()); }

void set_last_system_error(int code) { SetLastError(static_cast<DWORD>(code)); }

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
    // Handles are inherited: the standard streams.
    if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                        environment.data(), nullptr, &startup, &started)) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateProcessA " + argv.at(0));
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

std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder&,
                                                              std::string& why) {
    if (GetACP() == static_cast<UINT>(code_page)) return std::vector<std::string>{};
    // Under Wine a child started with another LC_ALL keeps the parent's code
    // page too: Wine reads the Unix environment it was started with. The
    // build runs the child body once per code page with LC_ALL set instead.
    why = "every process this one starts has the ANSI code page " + std::to_string(GetACP());
    return std::nullopt;
}

bool under_wine() { return wine_export("ntdll.dll", "wine_get_version") != nullptr; }

// Wine starts host programs given by their host path, but cannot wait for
// one (its handle is signalled at once): the link is watched for instead.
bool make_host_link(const std::string& target, const std::string& link) {
    const bool relative = target.find(':') == std::string::npos && target.find_first_of("\\/") != 0;
    std::string host_target = relative ? target : host_path(target);
    std::replace(host_target.begin(), host_target.end(), '\\', '/');
    const std::string host_link = host_path(link);
    if (host_target.empty() || host_link.empty()) return false;
    child_process::program({"/bin/ln", "-s", host_target, host_link}).wait();
    for (int tries = 0; tries < 3000 && !std::filesystem::exists(link); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::filesystem::exists(link);
}

}  // namespace corvane::test

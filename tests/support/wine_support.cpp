// Wine detection and host-side links. Wine exports wine_get_version from
// ntdll and wine_get_unix_file_name from kernel32; Windows has neither.

#include "wine_support.hpp"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>

namespace corvane::test {

namespace {

// Both modules are loaded into every process.
FARPROC wine_export(const char* module, const char* name) {
    return GetProcAddress(GetModuleHandleA(module), name);
}

// The host path of a Windows path (test paths are ASCII); "" when there is none.
std::string host_path(const std::string& path) {
    auto convert = reinterpret_cast<char*(CDECL*)(LPCWSTR)>(
        reinterpret_cast<void*>(wine_export("kernel32.dll", "wine_get_unix_file_name")));
    char* converted = convert != nullptr ? convert(std::wstring(path.begin(), path.end()).c_str()) : nullptr;
    const std::string result = converted != nullptr ? converted : "";
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

}  // namespace

bool under_wine() { return wine_export("ntdll.dll", "wine_get_version") != nullptr; }

bool make_host_link(const std::string& target, const std::string& link) {
    const bool absolute = target.find(':') != std::string::npos || target.find_first_of("\\/") == 0;
    std::string host_target = absolute ? host_path(target) : target;
    std::replace(host_target.begin(), host_target.end(), '\\', '/');
    // Wine starts host programs given by their host path.
    const std::string host_link = host_path(link);
    std::string command = "/bin/ln -s \"" + host_target + "\" \"" + host_link + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (host_target.empty() || host_link.empty() ||
        !CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine cannot wait for a host process (its handle is signalled at once):
    // watch for the link instead, bounded generously.
    for (int tries = 0; tries < 3000 && GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++tries) {
        Sleep(10);
    }
    return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace corvane::test
#endif

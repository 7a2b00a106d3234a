// Wine detection and host-side links. Wine exports wine_get_version from
// ntdll and wine_get_unix_file_name from kernel32; Windows has neither.

#include "wine_support.hpp"

#if defined(_WIN32)
#include <windows.h>

#include <algorithm>
#include <optional>

namespace corvane::test {

namespace {

FARPROC wine_export(const char* module, const char* name) {
    HMODULE loaded = GetModuleHandleA(module);
    return loaded != nullptr ? GetProcAddress(loaded, name) : nullptr;
}

// The host path of a Windows path.
std::optional<std::string> host_path(const std::string& path) {
    using unix_name = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<unix_name>(
        reinterpret_cast<void*>(wine_export("kernel32.dll", "wine_get_unix_file_name")));
    std::wstring wide(path.size() + 1, L'\0');
    if (convert == nullptr ||
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size())) == 0) {
        return std::nullopt;
    }
    char* converted = convert(wide.c_str());
    if (converted == nullptr) {
        return std::nullopt;
    }
    std::string result(converted);
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

}  // namespace

bool under_wine() { return wine_export("ntdll.dll", "wine_get_version") != nullptr; }

bool make_host_link(const std::string& target, const std::string& link) {
    std::optional<std::string> host_link = host_path(link);
    bool relative = target.empty() || (target[0] != '\\' && target[0] != '/' &&
                                       (target.size() < 2 || target[1] != ':'));
    std::optional<std::string> host_target = relative ? std::optional(target) : host_path(target);
    if (!under_wine() || !host_link || !host_target) {
        return false;
    }
    std::replace(host_target->begin(), host_target->end(), '\\', '/');
    // Wine starts host programs given by their host path.
    std::string command = "/bin/ln -s \"" + *host_target + "\" \"" + *host_link + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == 0) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine cannot wait for a host process (its handle is signalled at once):
    // watch for the link instead, bounded generously.
    for (int tries = 0; tries < 3000; ++tries) {
        if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

}  // namespace corvane::test

#else

namespace corvane::test {

bool under_wine() { return false; }

bool make_host_link(const std::string&, const std::string&) { return false; }

}  // namespace corvane::test

#endif

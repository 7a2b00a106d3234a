// Processes and privileges on Windows: programs start through CreateProcessA
// with the command line as it stands, and processes are found by a snapshot
// of the process list and ended with TerminateProcess, without a command
// interpreter (a name holding a quote or '&' must not become a command).

#include <windows.h>
#include <tlhelp32.h>

#include <string_view>

#include "system/process.hpp"

namespace corvane::detail {

namespace {

// The exit code taskkill /f gives the processes it ends.
constexpr UINT forced_exit_code = 1;

// Image names are compared as the system compares file names: without
// regard to case, and the same in every locale.
bool same_image_name(std::string_view a, std::string_view b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string_view base_name(std::string_view path) {
    size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

class scoped_handle {
public:
    explicit scoped_handle(HANDLE handle) : handle_(handle) {}
    ~scoped_handle() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    scoped_handle(const scoped_handle&) = delete;
    scoped_handle& operator=(const scoped_handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

kill_outcome end_process(DWORD id, std::string_view image) {
    scoped_handle process(
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process.valid()) {
        return GetLastError() == ERROR_INVALID_PARAMETER ? kill_outcome::gone
                                                         : kill_outcome::refused;
    }
    // The id may have passed to another program since the snapshot: check the
    // program again through the handle, which pins the process.
    char path[MAX_PATH * 4];
    DWORD length = sizeof path;
    if (QueryFullProcessImageNameA(process.get(), 0, path, &length) &&
        !same_image_name(base_name(std::string_view(path, length)), image)) {
        return kill_outcome::gone;
    }
    if (TerminateProcess(process.get(), forced_exit_code)) {
        return kill_outcome::ended;
    }
    // A process that is already ending refuses with access denied.
    DWORD exit_code = 0;
    return GetExitCodeProcess(process.get(), &exit_code) && exit_code != STILL_ACTIVE
               ? kill_outcome::gone
               : kill_outcome::refused;
}

}  // namespace

bool start_program(const std::string& command_line, bool wait_for_exit) {
    // CreateProcessA may write into the command line; it gets a copy.
    std::string line = command_line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return false;
    }
    scoped_handle process(started.hProcess);
    scoped_handle thread(started.hThread);
    if (wait_for_exit) {
        WaitForSingleObject(process.get(), INFINITE);
    }
    return true;
}

bool end_processes_named(const std::string& name) {
    // A name without a full stop names an executable: "worker" is
    // "worker.exe".
    const std::string image = name.find('.') == std::string::npos ? name + ".exe" : name;
    scoped_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
        return false;
    }
    const DWORD self = GetCurrentProcessId();
    kill_tally tally;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot.get(), &entry); more;
         more = Process32Next(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self || !same_image_name(entry.szExeFile, image)) {
            continue;
        }
        tally.add(end_process(entry.th32ProcessID, image));
    }
    return tally.succeeded();
}

bool has_root_privileges() {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        return false;
    }
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) {
        member = FALSE;
    }
    FreeSid(administrators);
    return member != FALSE;
}

}  // namespace corvane::detail

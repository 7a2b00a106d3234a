// Shared helpers of the contract suite: a private temporary folder, unique
// names for named objects, child processes made by running the test program
// again, a scoped environment variable and standard-output capture.
//
// Test files include this header and the library's, never a platform header;
// everything that differs between Linux and Windows lives in
// support/<platform>/ behind the names declared here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// The separator the library inserts into paths on this platform.
inline constexpr char path_separator = std::filesystem::path::preferred_separator;

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object ends.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return path_; }
    // path() + path_separator + name
    std::string join(std::string_view name) const;

private:
    std::string path_;
};

// A name for a named object that no other test, and no concurrent run of the
// suite, uses: plain characters, the process id, a serial, then `stem`.
std::string unique_name(std::string_view stem);

// Absolute path of the running program.
std::string self_path();

// The id of the running process.
uint64_t process_id();

// The role handed to this process by child_process::self, or "" when it was
// started normally. A test that serves as a child body starts with
//     if (corvane::test::child_role().empty()) GTEST_SKIP() << "child body";
std::string child_role();

// What wait() reports for a child ended by kill_and_wait(): 128 + SIGKILL on
// Linux, and the same number as the exit code TerminateProcess gives on
// Windows, so that tests compare one value.
inline constexpr int killed_status = 137;

// A process started by a test. A child still running when the object ends
// is killed and waited for, so no test leaves one behind.
class child_process {
public:
    // No process: wait() and kill_and_wait() return -1.
    child_process() = default;
    // Runs this test program again, running only the tests matched by
    // `gtest_filter`, with CORVANE_TEST_CHILD=`role` and `extra_env`
    // ("NAME=value") added to the environment.
    static child_process self(const std::string& gtest_filter, const std::string& role,
                              const std::vector<std::string>& extra_env = {});
    // Starts any program; argv[0] is looked up on the search path.
    static child_process program(const std::vector<std::string>& argv,
                                 const std::vector<std::string>& extra_env = {});

    child_process(child_process&& other) noexcept;
    child_process& operator=(child_process&& other) noexcept;
    ~child_process();

    // Waits for the child to end: its exit code, or on Linux 128 + the
    // signal that ended it.
    int wait();
    // Ends the child forcefully and waits for it: killed_status, or its exit
    // code if it had already ended.
    int kill_and_wait();
    // True while the child has not ended; does not wait.
    bool running() const;

private:
    explicit child_process(intptr_t handle) : handle_(handle) {}
    // The pid on Linux, the process handle on Windows; -1 once waited for.
    intptr_t handle_ = -1;
};

// A child started like child_process::self that calls signal_ready() once it
// has set itself up (for example, taken hold of a shared object) and then
// waits to be killed. The constructor returns when the child is ready or has
// ended.
class ready_child : public child_process {
public:
    ready_child(const std::string& gtest_filter, const std::string& role,
                const std::vector<std::string>& extra_env = {});

    bool ready() const { return ready_; }

private:
    bool ready_ = false;
};

// In a child started by ready_child: tells the parent that it is ready.
void signal_ready();

// Sets (or, with nullopt, removes) an environment variable for the lifetime
// of the object, then restores what was there.
class scoped_environment_variable {
public:
    scoped_environment_variable(std::string name, const std::optional<std::string>& value);
    ~scoped_environment_variable();
    scoped_environment_variable(const scoped_environment_variable&) = delete;
    scoped_environment_variable& operator=(const scoped_environment_variable&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// The calling thread's last system error: errno on Linux, GetLastError() on
// Windows.
int last_system_error();
void set_last_system_error(int code);

// The environment entries ("NAME=value") under which a process started now
// converts text through the ANSI code page `code_page` (1252 or 936), made
// in `folder` where needed; nullopt with the reason in `why` when this machine
// cannot give a new process that code page.
std::optional<std::vector<std::string>> code_page_environment(int code_page, const temp_folder& folder,
                                                              std::string& why);

// The whole content of a file, as bytes ("" when it cannot be read).
std::string read_file(const std::filesystem::path& path);

// Runs `body` with standard output redirected and returns what it printed
// (stdout is flushed before it is restored).
std::string capture_stdout(const std::function<void()>& body);

}  // namespace corvane::test

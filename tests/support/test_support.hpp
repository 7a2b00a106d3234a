// Shared helpers of the test programs: a private temporary folder, unique
// names for named objects, child processes made by running the test program
// again, and stdout capture.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::test {

// A folder of its own under $TMPDIR (or /tmp), removed with everything in it
// when the object ends.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string join(std::string_view name) const;

private:
    std::string path_;
};

// A name for a named object that no other test, and no concurrent run of the
// suite, uses: plain characters, the pid, a serial, then `stem`.
std::string unique_name(std::string_view stem);

// Absolute path of the running program.
std::string self_path();

// The role handed to this process by spawn_self, or "" when it was started
// normally. A test that serves as a child body starts with
//     if (corvane::test::child_role().empty()) GTEST_SKIP() << "child body";
std::string child_role();

// Starts the running test program again, running only the tests matched by
// `gtest_filter`, with the environment variable CORVANE_TEST_CHILD set to
// `role` and `extra_env` ("NAME=value") added. Returns the child's pid.
pid_t spawn_self(const std::string& gtest_filter, const std::string& role,
                 const std::vector<std::string>& extra_env = {});

// A child started like spawn_self that calls signal_ready() once it has set
// itself up (for example, taken hold of a shared object) and then waits to be
// killed. The constructor returns when the child is ready or has ended; the
// child is killed with SIGKILL and reaped when the object ends.
class ready_child {
public:
    ready_child(const std::string& gtest_filter, const std::string& role,
                const std::vector<std::string>& extra_env = {});
    ~ready_child();
    ready_child(const ready_child&) = delete;
    ready_child& operator=(const ready_child&) = delete;

    bool ready() const { return ready_; }
    // Kills the child with SIGKILL and returns wait_child's result for it.
    int kill_and_wait();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

// In a child started by ready_child: tells the parent that it is ready.
void signal_ready();

// Starts any program (argv[0] is looked up on PATH) and returns its pid.
pid_t spawn_program(const std::vector<std::string>& argv,
                    const std::vector<std::string>& extra_env = {});

// Waits for a child: its exit code, or 128 + the signal that ended it.
int wait_child(pid_t pid);

// Runs `body` with standard output redirected and returns what it printed
// (stdout is flushed before it is restored).
std::string capture_stdout(const std::function<void()>& body);

}  // namespace corvane::test

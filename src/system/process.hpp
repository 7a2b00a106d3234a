// Processes: the command-line rules shared by every platform, and the
// platform primitives that start, find and end processes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::detail {

// Splits a command line into words: white space separates, double quotes
// group, and backslashes escape only a following quote (2n backslashes before
// a quote give n and the quote groups; 2n+1 give n and a literal quote).
std::vector<std::string> split_command_line(std::string_view line);

// Runs `command` through the command interpreter; true when it exited with 0.
bool run_command(const char* command);

// Starts the program named by words[0] with `words` as its arguments and only
// the standard descriptors. With `wait_for_exit` returns after it has ended;
// otherwise returns at once and leaves no child behind. True when it started.
bool start_program(const std::vector<std::string>& words, bool wait_for_exit);

// Ends forcefully every process, other than the caller, whose executable is
// named `name`. True when at least one matched and all matches were ended.
bool end_processes_named(const std::string& name);

bool has_root_privileges();

}  // namespace corvane::detail

// Processes: the platform primitives that start, find and end processes.
#pragma once

#include <string>

namespace corvane::detail {

// What the attempt to end one process of a name came to.
enum class kill_outcome { ended, gone, refused };

// The outcomes of ending every process of a name: it succeeded when at least
// one was ended and none refused.
class kill_tally {
public:
    void add(kill_outcome outcome) {
        any_ended_ = any_ended_ || outcome == kill_outcome::ended;
        any_refused_ = any_refused_ || outcome == kill_outcome::refused;
    }
    bool succeeded() const { return any_ended_ && !any_refused_; }

private:
    bool any_ended_ = false;
    bool any_refused_ = false;
};

// Starts the program that the first word of `command_line` names, handing it
// the whole line as the platform hands a program its arguments (Windows keeps
// one line; Linux splits it into words), and no descriptor or handle beyond
// the standard ones. With `wait_for_exit` returns after it has ended;
// otherwise returns at once and leaves no child behind. True when it started.
bool start_program(const std::string& command_line, bool wait_for_exit);

// Ends forcefully every process, other than the caller, whose executable has
// the image name `name` as the platform spells image names. `name` is not
// empty. True when at least one matched and all matches were ended.
bool end_processes_named(const std::string& name);

bool has_root_privileges();

}  // namespace corvane::detail

// Processes, commands and privileges: argument rules. Only operating-system
// independent code belongs here; the primitives live in
// <platform>/process.cpp.

#include "system/process.hpp"

#include <cstdlib>

#include "corvane/system.h"

extern "C" {

CORVANE_API bool os_system_invoke_command(const char* command) {
    // system(NULL) only asks whether a command interpreter exists; it runs
    // nothing.
    return command != nullptr && std::system(command) == 0;
}

CORVANE_API bool os_system_run_application(const char* program, const char* arguments,
                                           uint8_t wait) {
    // The program and its arguments form one command line, read as a whole:
    // quotes may group words across the joining space.
    std::string line = program != nullptr ? program : "";
    line += ' ';
    line += arguments != nullptr ? arguments : "";
    return corvane::detail::start_program(line, wait == 1);
}

CORVANE_API bool os_system_kill_application(const char* name) {
    if (name == nullptr || *name == '\0') {
        return false;
    }
    return corvane::detail::end_processes_named(name);
}

CORVANE_API bool os_system_check_root_privileges(void) {
    return corvane::detail::has_root_privileges();
}

}  // extern "C"

// Processes, commands and privileges: argument rules and the command-line
// splitting. Only operating-system independent code belongs here; the
// primitives live in <platform>/process.cpp.

#include "system/process.hpp"

#include "corvane/system.h"

namespace corvane::detail {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (!quoted && is_blank(c)) {
            if (in_word) {
                words.push_back(std::move(word));
                word.clear();
                in_word = false;
            }
            ++i;
            continue;
        }
        in_word = true;
        if (c == '\\') {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                word.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    word.push_back('"');
                    ++i;
                }
            } else {
                word.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        } else {
            word.push_back(c);
        }
        ++i;
    }
    if (in_word) {
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace corvane::detail

extern "C" {

CORVANE_API bool os_system_invoke_command(const char* command) {
    return corvane::detail::run_command(command);
}

CORVANE_API bool os_system_run_application(const char* program, const char* arguments,
                                           uint8_t wait) {
    // The program and its arguments form one command line, split as a whole:
    // quotes may group words across the joining space.
    std::string line = program != nullptr ? program : "";
    line += ' ';
    line += arguments != nullptr ? arguments : "";
    auto words = corvane::detail::split_command_line(line);
    if (words.empty() || words.front().empty()) {
        return false;
    }
    return corvane::detail::start_program(words, wait == 1);
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

// Separator rules; operating-system independent.

#include "fs/path_rules.hpp"

#include "fs/file_system.hpp"

#include <algorithm>

namespace corvane::detail {

namespace {

template <typename Predicate>
void trim_trailing(std::string& path, Predicate should_go) {
    while (!path.empty() && should_go(path.back())) {
        path.pop_back();
    }
}

}  // namespace

void trim_trailing_backslashes(std::string& path) {
    trim_trailing(path, [](char c) { return c == '\\'; });
}

void trim_trailing_separators(std::string& path) { trim_trailing(path, is_separator); }

void ensure_trailing_separator(std::string& path, path_style style) {
    if (!path.empty() && !is_separator(path.back())) {
        path.push_back(style.separator);
    }
}

std::string system_path(std::string path, path_style style) {
    std::replace_if(path.begin(), path.end(), is_separator, style.separator);
    return path;
}

std::vector<std::string_view> path_components(std::string_view path) {
    std::vector<std::string_view> components;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = start;
        while (end < path.size() && !is_separator(path[end])) {
            ++end;
        }
        if (end > start) {
            components.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return components;
}

std::string_view last_component(std::string_view path) {
    while (!path.empty() && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    size_t start = path.size();
    while (start > 0 && !is_separator(path[start - 1])) {
        --start;
    }
    return path.substr(start);
}

parent_and_name split_last_component(std::string_view path) {
    std::string_view name = last_component(path);
    std::string parent(path.substr(0, static_cast<size_t>(name.data() - path.data())));
    if (!parent.empty()) {
        // Keep one separator of a parent that is the root itself.
        char first = parent.front();
        trim_trailing_separators(parent);
        if (parent.empty()) {
            parent.push_back(first);
        }
    }
    return {std::move(parent), std::string(name)};
}

bool entry_test(const char* path, bool want_folder) {
    if (is_missing_path(path)) {
        return false;
    }
    std::string trimmed(path);
    trim_trailing_backslashes(trimmed);
    if (trimmed.empty()) {
        return false;
    }
    entry_kind kind = probe_entry(system_path(std::move(trimmed)));
    return kind == (want_folder ? entry_kind::folder : entry_kind::file);
}

}  // namespace corvane::detail

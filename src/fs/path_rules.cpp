// Separator and root rules; operating-system independent.

#include "fs/path_rules.hpp"

#include <algorithm>

namespace corvane::detail {

namespace {

constexpr bool is_drive_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr bool starts_with_drive(std::string_view path) {
    return path.size() >= 2 && is_drive_letter(path[0]) && path[1] == ':';
}

bool starts_with_unc_marker(std::string_view path) {
    return path.size() >= 4 && (path[0] == 'U' || path[0] == 'u') &&
           (path[1] == 'N' || path[1] == 'n') && (path[2] == 'C' || path[2] == 'c') &&
           is_separator(path[3]);
}

// Reads a root from the position `at` on.
class root_reader {
public:
    root_reader(std::string_view path, size_t at) : path_(path), at_(at) {}

    void skip_component() {
        while (at_ < path_.size() && !is_separator(path_[at_])) {
            ++at_;
        }
    }
    bool skip_separator() {
        if (at_ < path_.size() && is_separator(path_[at_])) {
            ++at_;
            return true;
        }
        return false;
    }
    // "server\share\", as far as the path has it: an unfinished share root
    // ("\\server") is a root all the same and is never cut down.
    size_t share_root() {
        skip_component();
        if (skip_separator()) {
            skip_component();
            skip_separator();
        }
        return at_;
    }
    size_t position() const { return at_; }
    size_t drive_root() {
        at_ += 2;
        skip_separator();
        return at_;
    }

private:
    std::string_view path_;
    size_t at_;
};

size_t windows_root_length(std::string_view path) {
    if (starts_with_drive(path)) {
        return root_reader(path, 0).drive_root();
    }
    if (path.empty() || !is_separator(path[0])) {
        return 0;
    }
    if (path.size() < 2 || !is_separator(path[1])) {
        return 1;
    }
    // "\\?\" and "\\.\" lead to a drive, "UNC\server\share" or a device name.
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && is_separator(path[3])) {
        std::string_view rest = path.substr(4);
        if (starts_with_drive(rest)) {
            return root_reader(path, 4).drive_root();
        }
        if (starts_with_unc_marker(rest)) {
            return root_reader(path, 8).share_root();
        }
        root_reader device(path, 4);
        device.skip_component();
        device.skip_separator();
        return device.position();
    }
    return root_reader(path, 2).share_root();
}

template <typename Predicate>
void trim_trailing(std::string& path, path_style style, Predicate should_go) {
    const size_t root = root_length(path, style);
    while (path.size() > root && should_go(path.back())) {
        path.pop_back();
    }
}

}  // namespace

size_t root_length(std::string_view path, path_style style) {
    if (style.drives_and_shares) {
        return windows_root_length(path);
    }
    size_t length = 0;
    while (length < path.size() && is_separator(path[length])) {
        ++length;
    }
    return length;
}

void trim_trailing_backslashes(std::string& path, path_style style) {
    trim_trailing(path, style, [](char c) { return c == '\\'; });
}

void trim_trailing_separators(std::string& path, path_style style) {
    trim_trailing(path, style, is_separator);
}

void ensure_trailing_separator(std::string& path, path_style style) {
    if (path.empty() || is_separator(path.back()) ||
        (path.back() == ':' && root_length(path, style) == path.size())) {
        return;
    }
    path.push_back(style.separator);
}

std::string system_path(std::string path, path_style style) {
    std::replace_if(path.begin(), path.end(), is_separator, style.separator);
    return path;
}

std::vector<std::string_view> path_components(std::string_view path, path_style style) {
    std::vector<std::string_view> components;
    size_t start = root_length(path, style);
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

std::string_view last_component(std::string_view path, path_style style) {
    const size_t root = root_length(path, style);
    while (path.size() > root && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    size_t start = path.size();
    while (start > root && !is_separator(path[start - 1])) {
        --start;
    }
    return path.substr(start);
}

parent_and_name split_last_component(std::string_view path, path_style style) {
    std::string_view name = last_component(path, style);
    std::string parent(path.substr(0, static_cast<size_t>(name.data() - path.data())));
    trim_trailing_separators(parent, style);
    return {std::move(parent), std::string(name)};
}

}  // namespace corvane::detail

// The directory tree walk: depth first, a folder reported before its
// content, paths relative to the caller's root. Operating-system
// independent; folder_listing reads the entries.

#include <cstdint>
#include <string>

#include "common/portability.hpp"
#include "corvane/fs.h"
#include "fs/file_system.hpp"
#include "fs/path_rules.hpp"

using namespace corvane::detail;

// A visitor written in C is a table of functions, not a C++ object: calls
// go through its table, which the sanitizer's vptr check must not judge by
// C++ object rules.
#define CORVANE_VISITOR_CALL CORVANE_NO_SANITIZE_VPTR

namespace {

constexpr uint32_t unlimited_depth = 0xFFFFFFFFu;

class tree_walk {
public:
    tree_walk(std::string completed_root, uint32_t max_depth, IFileSystemVisitor* visitor)
        : root_(std::move(completed_root)), max_depth_(max_depth), visitor_(visitor) {}

    void walk(const char* folder) {
        std::string relative(folder);
        report_folder(relative);
        if (stops_at(0)) {
            return;
        }
        std::string searched = root_ + relative;
        searched.push_back(native_paths.separator);
        folder_listing listing(system_path(std::move(searched)));
        if (listing.is_open()) {
            walk_level(listing, relative, 0);
        }
    }

private:
    bool stops_at(uint32_t depth) const { return max_depth_ != unlimited_depth && depth >= max_depth_; }

    // `relative` is the folder's relative path; it is extended by each
    // entry's name in turn and given back unchanged.
    void walk_level(folder_listing& listing, std::string& relative, uint32_t depth) {
        const size_t folder_length = relative.size();
        listed_entry entry{};
        while (listing.next(entry)) {
            bool is_folder = entry.kind == listed_kind::folder;
            // Dot-named folders are hidden with all they hold; dot-named
            // files are reported like any other.
            if (is_folder && entry.name[0] == '.') {
                continue;
            }
            if (folder_length != 0) {
                relative.push_back(native_paths.separator);
            }
            relative.append(entry.name);
            if (!is_folder) {
                report_file(relative);
            } else {
                report_folder(relative);
                if (!stops_at(depth + 1)) {
                    folder_listing sub(entry_at{listing, entry.name});
                    if (sub.is_open()) {
                        walk_level(sub, relative, depth + 1);
                    }
                }
            }
            relative.resize(folder_length);
        }
    }

    CORVANE_VISITOR_CALL void report_folder(const std::string& relative) {
        if (visitor_ != nullptr) {
            visitor_->OnFolder(relative.c_str(), root_.c_str());
        }
    }

    CORVANE_VISITOR_CALL void report_file(const std::string& relative) {
        if (visitor_ != nullptr) {
            visitor_->OnFile(relative.c_str(), root_.c_str());
        }
    }

    const std::string root_;
    const uint32_t max_depth_;
    IFileSystemVisitor* const visitor_;
};

}  // namespace

extern "C" {

CORVANE_API void os_filesystem_walk_through_ex(const char* folder, const char* root,
                                               uint32_t max_depth, IFileSystemVisitor* visitor) {
    if (folder == nullptr || root == nullptr) {
        return;
    }
    std::string completed_root(root);
    ensure_trailing_separator(completed_root);
    tree_walk(std::move(completed_root), max_depth, visitor).walk(folder);
}

CORVANE_API void os_filesystem_walk_through(const char* folder, const char* root,
                                            IFileSystemVisitor* visitor) {
    os_filesystem_walk_through_ex(folder, root, unlimited_depth, visitor);
}

}  // extern "C"

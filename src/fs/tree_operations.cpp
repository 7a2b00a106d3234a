// The tree copy, the move and the tree removal over the per-entry
// primitives. Operating-system independent. Every step below the starting
// folders goes through an open parent folder and an entry name, so a link
// inside a tree is copied or removed as a link and never followed, and a
// folder swapped for a link while the work runs leads nowhere outside the
// tree.

#include "fs/tree_operations.hpp"

#include "fs/file_system.hpp"
#include "fs/path_rules.hpp"

namespace corvane::detail {

namespace {

// ---- Removal

bool remove_entry(entry_at entry, listed_kind kind);

bool remove_folder_content(entry_at entry) {
    folder_listing folder(entry);
    if (!folder.is_open()) {
        return false;
    }
    bool removed_all = true;
    listed_entry listed{};
    while (folder.next(listed)) {
        removed_all = remove_entry({folder, listed.name}, listed.kind) && removed_all;
    }
    return removed_all && !folder.failed();
}

bool remove_entry(entry_at entry, listed_kind kind) {
    if (kind != listed_kind::folder) {
        removal result = remove_at(entry, false);
        // Replaced by a folder since it was listed: empty it first.
        if (result != removal::is_folder) {
            return result == removal::done;
        }
    }
    bool emptied = remove_folder_content(entry);
    switch (remove_at(entry, true)) {
        case removal::done: return emptied;
        // Swapped for a link or a file since it was listed: remove that
        // entry, never what a link points to.
        case removal::not_folder: return remove_at(entry, false) == removal::done && emptied;
        default: return false;
    }
}

// ---- Copy

class tree_copy {
public:
    explicit tree_copy(const folder_listing& destination_root)
        : destination_root_(destination_root) {}

    bool copy_level(folder_listing& source, const folder_listing& destination) {
        listed_entry entry{};
        while (source.next(entry)) {
            entry_at from{source, entry.name};
            entry_at to{destination, entry.name};
            bool copied = entry.kind == listed_kind::folder
                              ? copy_sub_folder(from, to)
                              : copy_entry_at(from, entry.kind, to, copy_target::replace);
            if (!copied) {
                return false;
            }
        }
        return !source.failed();
    }

private:
    bool copy_sub_folder(entry_at from, entry_at to) {
        folder_listing sub_source(from);
        // The destination inside the source tree: copying it would copy the
        // copy again, without end.
        if (!sub_source.is_open() || same_folder(sub_source, destination_root_) ||
            !make_folder_at(to)) {
            return false;
        }
        // Opened without following: a link the destination holds where the
        // source has a folder is refused, never written through.
        folder_listing sub_destination(to);
        return sub_destination.is_open() && copy_level(sub_source, sub_destination);
    }

    const folder_listing& destination_root_;
};

// ---- Move to another volume

// The last step of a move that made the new name first: remove the old
// one, or, when that fails, the new one again, so that one name remains.
bool drop_old_name(entry_at from, entry_at to) {
    if (remove_at(from, false) == removal::done) {
        return true;
    }
    remove_at(to, false);
    return false;
}

// An empty parent is the current folder.
std::string folder_or_current(std::string parent) { return parent.empty() ? "." : parent; }

bool move_across(entry_at source, listed_kind kind, entry_at destination,
                 const std::string& to) {
    if (kind != listed_kind::folder) {
        return copy_entry_at(source, kind, destination, copy_target::exclusive) &&
               drop_old_name(source, destination);
    }
    if (!make_folder(to)) {
        return false;
    }
    bool copied = false;
    {
        folder_listing sub_source(source);
        folder_listing sub_destination(destination);
        copied = sub_source.is_open() && sub_destination.is_open() &&
                 tree_copy(sub_destination).copy_level(sub_source, sub_destination);
    }
    if (!copied) {
        remove_entry(destination, listed_kind::folder);
        return false;
    }
    // A source that cannot be removed completely stays with the complete
    // copy: nothing is lost, and the result tells the caller.
    return remove_entry(source, listed_kind::folder);
}

}  // namespace

bool move_entry(const std::string& from, const std::string& to) {
    switch (rename_entry(from, to)) {
        case rename_result::done: return true;
        case rename_result::failed: return false;
        case rename_result::other_volume: break;
    }
    auto [from_parent, from_name] = split_last_component(from);
    auto [to_parent, to_name] = split_last_component(to);
    folder_listing source_folder(folder_or_current(std::move(from_parent)));
    folder_listing destination_folder(folder_or_current(std::move(to_parent)));
    entry_at source{source_folder, from_name.c_str()};
    entry_at destination{destination_folder, to_name.c_str()};
    listed_kind kind{};
    return source_folder.is_open() && destination_folder.is_open() && !from_name.empty() &&
           !to_name.empty() && entry_kind_at(source, kind) &&
           move_across(source, kind, destination, to);
}

bool remove_tree(const std::string& parent, const std::string& name) {
    folder_listing parent_folder(folder_or_current(parent));
    entry_at entry{parent_folder, name.c_str()};
    listed_kind kind{};
    return parent_folder.is_open() && entry_kind_at(entry, kind) && remove_entry(entry, kind);
}

bool copy_folder_content(const std::string& source, const std::string& destination) {
    folder_listing source_folder(source);
    folder_listing destination_folder(destination);
    return source_folder.is_open() && destination_folder.is_open() &&
           !same_folder(source_folder, destination_folder) &&
           tree_copy(destination_folder).copy_level(source_folder, destination_folder);
}

bool entry_test(const char* path, bool want_folder) {
    if (is_missing_path(path)) {
        return false;
    }
    std::string trimmed(path);
    trim_trailing_backslashes(trimmed);
    entry_kind kind = probe_entry(system_path(std::move(trimmed)));
    return kind == (want_folder ? entry_kind::folder : entry_kind::file);
}

}  // namespace corvane::detail

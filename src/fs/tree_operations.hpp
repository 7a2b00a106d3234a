// Neutral operations shared by the os_file_ and os_folder_ families: the
// entry test, the tree copy, the move and the tree removal, built on the
// platform primitives of file_system.hpp.
#pragma once

#include <string>

namespace corvane::detail {

// The entry test: true when `path`, trailing backslashes ignored, names an
// existing folder (want_folder) or an existing entry that is not a folder.
bool entry_test(const char* path, bool want_folder);

// Renames an entry of any kind without ever replacing an existing one; on
// another volume it is copied as what it is and then removed.
bool move_entry(const std::string& from, const std::string& to);

// Removes the entry `name` of the folder `parent` ("" for the current
// folder) with everything in it, never following a link.
bool remove_tree(const std::string& parent, const std::string& name);

// Copies the content of the folder `source` into the existing folder
// `destination`, level by level; links are recreated, never followed.
bool copy_folder_content(const std::string& source, const std::string& destination);

}  // namespace corvane::detail

// The path rules on arbitrary paths, in both styles: trimming keeps a prefix
// and never cuts into the root, separators are rewritten one for one,
// components hold no separator, and the last component agrees everywhere.
// Then the path, put under a private box folder, is created and removed:
// nothing may appear or vanish beside the box, whatever the path holds.
#include "fs/path_rules.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "corvane/fs.h"
#include "fuzz_support.hpp"

namespace {

namespace rules = corvane::detail;
namespace fs = std::filesystem;

void check_rules(const std::string& path, rules::path_style style) {
    const std::size_t root = rules::root_length(path, style);
    FUZZ_CHECK(root <= path.size());
    std::string trimmed = path;
    rules::trim_trailing_separators(trimmed, style);
    FUZZ_CHECK(path.starts_with(trimmed) && trimmed.size() >= root);
    FUZZ_CHECK(trimmed.size() == root || !rules::is_separator(trimmed.back()));
    std::string backslashes_gone = path;
    rules::trim_trailing_backslashes(backslashes_gone, style);
    FUZZ_CHECK(path.starts_with(backslashes_gone) && backslashes_gone.size() >= trimmed.size());
    FUZZ_CHECK(backslashes_gone.size() == root || backslashes_gone.back() != '\\');
    const std::string system = rules::system_path(path, style);
    FUZZ_CHECK(system.size() == path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        FUZZ_CHECK(system[i] == (rules::is_separator(path[i]) ? style.separator : path[i]));
    }
    const auto components = rules::path_components(path, style);
    for (const auto component : components) {
        FUZZ_CHECK(!component.empty() &&
                   std::none_of(component.begin(), component.end(), rules::is_separator));
    }
    const std::string_view last = components.empty() ? std::string_view{} : components.back();
    FUZZ_CHECK(rules::last_component(path, style) == last);
    FUZZ_CHECK(rules::split_last_component(path, style).name == last);
}

struct box_folder {
    fs::path outer, box;
    box_folder() {
        outer =
            fs::temp_directory_path() / ("corvane-fuzz-" + std::to_string(std::random_device{}()));
        box = outer / "box";
        fs::create_directories(box);
        std::fclose(std::fopen((outer / "sentinel").c_str(), "w"));
    }
    ~box_folder() { fs::remove_all(outer); }
    bool alone() const {
        return std::distance(fs::directory_iterator(outer), fs::directory_iterator{}) == 2 &&
               fs::is_directory(box) && fs::exists(outer / "sentinel");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static box_folder folder;
    fuzz::input in{data, size};
    const std::string path = in.text();
    check_rules(path, rules::posix_paths);
    check_rules(path, rules::windows_paths);
    const auto components = rules::path_components(path, rules::posix_paths);
    // ".." climbs out of the box by design; "." alone names the box itself.
    if (std::count(components.begin(), components.end(), "..") > 0 ||
        std::count(components.begin(), components.end(), ".") ==
            static_cast<long>(components.size())) {
        return 0;
    }
    const std::string inside = folder.box.string() + "/" + path;
    if (os_folder_create(inside.c_str())) {
        FUZZ_CHECK(os_folder_exist(inside.c_str()));
    }
    FUZZ_CHECK(folder.alone());
    os_folder_remove(inside.c_str(), true);
    FUZZ_CHECK(folder.alone());
    for (const auto& entry : fs::directory_iterator(folder.box)) {
        fs::remove_all(entry.path());
    }
    return 0;
}

// The path rules in both styles, on every platform: roots survive every rule.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "fs/path_rules.hpp"

using namespace corvane::detail;

TEST(PathRules, RootsSurviveEveryRuleInBothStyles) {
    const struct {
        path_style style;
        const char *path, *trimmed, *completed;  // trim_trailing_separators, ensure_trailing_separator
        const char *parent, *name;               // split_last_component, last_component
        const char *components, *reason;         // path_components, each followed by '|'
    } cases[] = {
        {posix_paths, "a/b//", "a/b", "a/b//", "a", "b", "a|b|", "trailing separators go"},
        {posix_paths, "a", "a", "a/", "", "a", "a|", "a bare name has no parent"},
        {posix_paths, "/a", "/a", "/a/", "/", "a", "a|", "the root is the parent"},
        {posix_paths, "/", "/", "/", "/", "", "", "the root stays whole and has no name"},
        {posix_paths, "\\\\", "\\\\", "\\\\", "\\\\", "", "", "separators only are a root"},
        {posix_paths, "x\\y/", "x\\y", "x\\y/", "x", "y", "x|y|", "both separators cut"},
        {windows_paths, "C:\\", "C:\\", "C:\\", "C:\\", "", "", "a drive root stays whole"},
        {windows_paths, "C:\\a\\", "C:\\a", "C:\\a\\", "C:\\", "a", "a|", "C: is no parent of C:\\a"},
        {windows_paths, "C:", "C:", "C:", "C:", "", "", "a drive-relative root gets no separator"},
        {windows_paths, "c:a/b", "c:a/b", "c:a/b\\", "c:a", "b", "a|b|", "drive-relative path"},
        {windows_paths, "\\a", "\\a", "\\a\\", "\\", "a", "a|", "the current drive's root"},
        {windows_paths, "\\\\server", "\\\\server", "\\\\server\\", "\\\\server", "", "", "an unfinished share never collapses"},
        {windows_paths, "\\\\server\\share\\", "\\\\server\\share\\", "\\\\server\\share\\", "\\\\server\\share\\", "", "", "a share root has no name"},
        {windows_paths, "//server/share/x/", "//server/share/x", "//server/share/x/", "//server/share/", "x", "x|", "a share path written with slashes"},
        {windows_paths, "\\\\?\\C:\\a\\b", "\\\\?\\C:\\a\\b", "\\\\?\\C:\\a\\b\\", "\\\\?\\C:\\a", "b", "a|b|", "a \\\\?\\ drive path"},
        {windows_paths, "\\\\?\\UNC\\s\\h\\x", "\\\\?\\UNC\\s\\h\\x", "\\\\?\\UNC\\s\\h\\x\\", "\\\\?\\UNC\\s\\h\\", "x", "x|", "a \\\\?\\ share path"},
        {windows_paths, "\\\\.\\COM5", "\\\\.\\COM5", "\\\\.\\COM5\\", "\\\\.\\COM5", "", "", "a device is a root"},
    };
    for (const auto& row : cases) {
        std::string trimmed = row.path, completed = row.path, components;
        trim_trailing_separators(trimmed, row.style);
        ensure_trailing_separator(completed, row.style);
        const parent_and_name split = split_last_component(row.path, row.style);
        EXPECT_EQ(trimmed + " " + completed + " " + split.parent + " " + split.name,
                  std::string(row.trimmed) + " " + row.completed + " " + row.parent + " " + row.name)
            << row.reason;
        EXPECT_EQ(last_component(row.path, row.style), row.name) << row.reason;
        for (std::string_view component : path_components(row.path, row.style)) {
            components += std::string(component) + "|";
        }
        EXPECT_EQ(components, row.components) << row.reason;
        const std::string system = system_path(row.path, row.style);
        EXPECT_EQ(system.find(row.style.separator == '/' ? '\\' : '/'), std::string::npos) << row.reason;
    }
    // Only backslashes are trimmed by the entry test's rule, and never into a root.
    for (auto [style, path, trimmed] : {std::tuple{posix_paths, "a/\\\\", "a/"},
                                        std::tuple{windows_paths, "C:\\\\", "C:\\"}}) {
        std::string text = path;
        trim_trailing_backslashes(text, style);
        EXPECT_EQ(text, trimmed) << path;
    }
}

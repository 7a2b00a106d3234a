// The path rules in both styles, on every platform: roots survive every rule.
// The path_rules fuzz target checks the rules' invariants on any path; these
// rows pin what each rule gives for each kind of root.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "fs/path_rules.hpp"

using namespace corvane::detail;

TEST(PathRules, RootsSurviveEveryRuleInBothStyles) {
    // Each row: the path, then what trim_trailing_separators,
    // ensure_trailing_separator and split_last_component (parent, name) give;
    // "=" stands for the path unchanged, "-" for an empty text.
    const struct { path_style style; const char *row, *reason; } cases[] = {
        {posix_paths, "a/b// a/b = a b", "trailing separators go"},
        {posix_paths, "a = a/ - a", "a bare name has no parent"},
        {posix_paths, "/a = /a/ / a", "the root is the parent"},
        {posix_paths, "/ = = = -", "the root stays whole and has no name"},
        {posix_paths, "\\\\ = = = -", "separators only are a root"},
        {posix_paths, "x\\y/ x\\y = x y", "both separators cut"},
        {windows_paths, "C:\\ = = = -", "a drive root stays whole"},
        {windows_paths, "C:\\a\\ C:\\a = C:\\ a", "C: is no parent of C:\\a"},
        {windows_paths, "C: = = = -", "a drive-relative root gets no separator"},
        {windows_paths, "c:a/b = c:a/b\\ c:a b", "drive-relative path"},
        {windows_paths, "\\a = \\a\\ \\ a", "the current drive's root"},
        {windows_paths, "\\\\server = \\\\server\\ = -", "an unfinished share never collapses"},
        {windows_paths, "\\\\server\\share\\ = = = -", "a share root has no name"},
        {windows_paths, "//s/h/x/ //s/h/x = //s/h/ x", "a share path written with slashes"},
        {windows_paths, "\\\\?\\C:\\a\\b = \\\\?\\C:\\a\\b\\ \\\\?\\C:\\a b", "a long drive path"},
        {windows_paths, "\\\\?\\UNC\\s\\h\\x = \\\\?\\UNC\\s\\h\\x\\ \\\\?\\UNC\\s\\h\\ x",
         "a long share path"},
        {windows_paths, "\\\\.\\COM5 = \\\\.\\COM5\\ = -", "a device is a root"},
    };
    for (const auto& row : cases) {
        std::istringstream fields(row.row);
        std::string path, expected[4];
        fields >> path;
        for (std::string& field : expected) {
            fields >> field;
            field = field == "-" ? "" : field == "=" ? path : field;
        }
        std::string trimmed = path, completed = path;
        trim_trailing_separators(trimmed, row.style);
        ensure_trailing_separator(completed, row.style);
        const parent_and_name split = split_last_component(path, row.style);
        EXPECT_EQ(trimmed + " " + completed + " " + split.parent + " " + split.name,
                  expected[0] + " " + expected[1] + " " + expected[2] + " " + expected[3])
            << row.reason;
    }
    // Only backslashes are trimmed by the entry test's rule, and never into a root.
    std::string posix = "a/\\\\", windows = "C:\\\\";
    trim_trailing_backslashes(posix, posix_paths);
    trim_trailing_backslashes(windows, windows_paths);
    EXPECT_EQ(posix + " " + windows, "a/ C:\\");
}

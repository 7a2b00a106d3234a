// The tree walk over real folder trees in a private folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "corvane/fs.h"
#include "fs_test_files.hpp"
#include "test_support.hpp"

using namespace corvane::test;
using reports = std::vector<std::string>;

extern "C" int walk_with_c_visitor(const char* root, const char* completed_root, int* files,
                                   int* folders);

namespace {

// Keeps every report as "D:relative" or "F:relative", in order, and every root.
class recording_visitor final : public IFileSystemVisitor {
public:
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char* relative, const char* root) override { add("F:", relative, root); }
    void OnFolder(const char* relative, const char* root) override { add("D:", relative, root); }

    reports seen;
    reports roots;

private:
    void add(const char* kind, const char* relative, const char* root) {
        seen.push_back(kind + std::string(relative));
        roots.emplace_back(root);
    }
};

// Space-separated reports, '/' standing for the separator the walk inserts.
reports expected_reports(std::string text) {
    std::replace(text.begin(), text.end(), '/', path_separator);
    std::istringstream words(text);
    reports list{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
    std::sort(list.begin(), list.end());
    return list;
}

}  // namespace

// Links are reported as files and never entered: no loops, no escape.
TEST(TreeWalk, ReportsEachFolderBeforeItsContentWithinItsDepth) {
    temp_folder folder;
    const std::string tree = folder.join("linked");
    make_sample_tree(tree);
    make_sample_tree(folder.join("top"));
    const bool links = make_link("..", tree + "/sub/loop", true) && make_link(folder.join("top"), tree + "/away", true);
    const std::string s(1, path_separator);
    const struct {
        const char* start;
        std::string root, completed_root;
        uint32_t depth;
        std::string expected;
        const char* reason;
    } cases[] = {
        {"", tree, tree + s, 0xFFFFFFFFu,
         "D: D:empty D:sub D:sub/deeper F:.hidden-file F:top.txt F:sub/inner.txt F:sub/deeper/leaf.txt" +
             std::string(links ? " F:sub/loop F:away" : ""),
         "dot folders are skipped, dot files reported"},
        {"top\\sub", folder.path() + "\\", folder.path() + "\\", 0xFFFFFFFFu,
         "D:top\\sub D:top\\sub/deeper F:top\\sub/inner.txt F:top\\sub/deeper/leaf.txt",
         "start folder and root keep their spelling"},
        {"top", "", "", 1, "D:top D:top/empty D:top/sub F:top/.hidden-file F:top/top.txt",
         "an empty root is the current folder; depth 1 reports sub-folders unsearched"},
        {"", tree + "/", tree + "/", 0, "D:", "depth 0 reports the start only"},
        {"not-there", tree, tree + s, 0xFFFFFFFFu, "D:not-there", "a missing start is reported once"},
    };
    for (const auto& row : cases) {
        recording_visitor visitor;
        in_folder(folder.path(), [&] { os_filesystem_walk_through_ex(row.start, row.root.c_str(), row.depth, &visitor); });
        reports sorted = visitor.seen;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, expected_reports(row.expected)) << row.reason;
        EXPECT_EQ(visitor.roots, reports(visitor.seen.size(), row.completed_root)) << row.reason;
        ASSERT_FALSE(visitor.seen.empty());
        EXPECT_EQ(visitor.seen.front(), "D:" + std::string(row.start)) << row.reason;
        // Pre-order: the folder holding each entry was reported before it.
        for (size_t i = 0; i < visitor.seen.size(); ++i) {
            const std::string relative = visitor.seen[i].substr(2);
            const size_t cut = relative.rfind(path_separator);
            if (cut != std::string::npos && cut >= std::string(row.start).size()) {
                const auto holder = std::find(visitor.seen.begin(), visitor.seen.end(), "D:" + relative.substr(0, cut));
                EXPECT_LT(holder - visitor.seen.begin(), static_cast<std::ptrdiff_t>(i)) << relative;
            }
        }
    }
    recording_visitor none;
    os_filesystem_walk_through(nullptr, tree.c_str(), &none);
    os_filesystem_walk_through("", nullptr, &none);
    os_filesystem_walk_through("", tree.c_str(), nullptr);  // runs and reports to no one
    EXPECT_TRUE(none.seen.empty());
}

TEST(TreeWalk, CallersWrittenInCUseTheTableView) {
    temp_folder folder;
    make_sample_tree(folder.path());
    const std::string root = folder.path() + path_separator;
    int files = 0;
    int folders = 0;
    EXPECT_TRUE(walk_with_c_visitor(folder.path().c_str(), root.c_str(), &files, &folders));
    EXPECT_EQ(files, 4);
    EXPECT_EQ(folders, 4);
}

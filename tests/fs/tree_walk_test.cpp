// The tree walk over real folder trees in a private folder.

#include <gtest/gtest.h>

#include <algorithm>
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

reports sorted(reports list) {
    std::sort(list.begin(), list.end());
    return list;
}

const std::string s(1, path_separator);

// Keeps every report as "D rel" or "F rel", in order, and every root seen.
class recording_visitor final : public IFileSystemVisitor {
public:
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char* relative, const char* root) override { add("F ", relative, root); }
    void OnFolder(const char* relative, const char* root) override { add("D ", relative, root); }

    size_t position(const std::string& report) const {
        return static_cast<size_t>(std::find(seen.begin(), seen.end(), report) - seen.begin());
    }

    reports seen;
    std::vector<std::string> roots;

private:
    void add(const char* kind, const char* relative, const char* root) {
        seen.push_back(kind + std::string(relative));
        roots.emplace_back(root);
    }
};

}  // namespace

// Links are reported as files and never entered: no loops, no escape.
TEST(TreeWalk, ReportsEveryFolderBeforeItsContentAndSkipsDotFoldersAndLinks) {
    temp_folder folder;
    std::string tree = folder.join("tree");
    make_sample_tree(tree);
    make_sample_tree(folder.join("outside"));
    reports expected{"D ",        "D empty",   "D sub", "D sub" + s + "deeper", "F .hidden-file",
                     "F top.txt", "F sub" + s + "inner.txt", "F sub" + s + "deeper" + s + "leaf.txt"};
    if (make_link("..", tree + "/sub/loop", true) && make_link(folder.join("outside"), tree + "/away", true)) {
        expected.insert(expected.end(), {"F sub" + s + "loop", "F away"});
    }
    recording_visitor visitor;
    os_filesystem_walk_through("", tree.c_str(), &visitor);
    EXPECT_EQ(sorted(visitor.seen), sorted(expected));
    ASSERT_FALSE(visitor.seen.empty());
    EXPECT_EQ(visitor.seen.front(), "D ");
    EXPECT_LT(visitor.position("D sub"), visitor.position("F sub" + s + "inner.txt"));
    EXPECT_LT(visitor.position("D sub"), visitor.position("D sub" + s + "deeper"));
    EXPECT_LT(visitor.position("D sub" + s + "deeper"),
              visitor.position("F sub" + s + "deeper" + s + "leaf.txt"));
    EXPECT_EQ(visitor.roots, std::vector<std::string>(visitor.seen.size(), tree + s));
}

TEST(TreeWalk, StartFolderAndRootKeepTheirSpelling) {
    temp_folder folder;
    make_sample_tree(folder.join("top"));
    recording_visitor below;
    std::string root = folder.path() + "\\";
    os_filesystem_walk_through("top\\sub", root.c_str(), &below);
    EXPECT_EQ(sorted(below.seen), sorted({"D top\\sub", "D top\\sub" + s + "deeper",
                                          "F top\\sub" + s + "inner.txt",
                                          "F top\\sub" + s + "deeper" + s + "leaf.txt"}));
    EXPECT_EQ(below.seen.front(), "D top\\sub");
    EXPECT_EQ(below.roots, std::vector<std::string>(below.seen.size(), root));

    // An empty root starts from the current folder.
    recording_visitor here;
    in_folder(folder.path(), [&] { os_filesystem_walk_through_ex("top", "", 1, &here); });
    EXPECT_EQ(sorted(here.seen), sorted({"D top", "D top" + s + "empty", "D top" + s + "sub",
                                         "F top" + s + ".hidden-file", "F top" + s + "top.txt"}));
    EXPECT_EQ(here.roots, std::vector<std::string>(here.seen.size(), ""));
}

TEST(TreeWalk, DepthLimitsMissingFoldersAndNullArgumentsBoundTheReports) {
    temp_folder folder;
    make_sample_tree(folder.path());
    recording_visitor none;
    os_filesystem_walk_through_ex("", folder.path().c_str(), 0, &none);
    os_filesystem_walk_through("not-there", folder.path().c_str(), &none);
    os_filesystem_walk_through(nullptr, folder.path().c_str(), &none);
    os_filesystem_walk_through("", nullptr, &none);
    EXPECT_EQ(none.seen, (reports{"D ", "D not-there"}));

    recording_visitor one;
    os_filesystem_walk_through_ex("", folder.path().c_str(), 1, &one);
    EXPECT_EQ(sorted(one.seen), sorted({"D ", "D empty", "D sub", "F .hidden-file", "F top.txt"}));
    // No visitor: the walk runs through the tree and reports to no one.
    os_filesystem_walk_through("", folder.path().c_str(), nullptr);
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

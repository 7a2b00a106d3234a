// The tree walk over real folder trees in a private folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/fs.h"
#include "fs_test_files.hpp"
#include "test_support.hpp"

using namespace corvane::test;

extern "C" int walk_with_c_visitor(const char* root, const char* completed_root, int* files,
                                   int* folders);

namespace {

// Keeps every report as "D rel" or "F rel", and every root seen.
class recording_visitor final : public IFileSystemVisitor {
public:
    bool Query(const char*, void**) override { return false; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnFile(const char* relative_path, const char* root) override {
        reports.push_back(std::string("F ") + relative_path);
        roots.emplace_back(root);
    }
    void OnFolder(const char* relative_path, const char* root) override {
        reports.push_back(std::string("D ") + relative_path);
        roots.emplace_back(root);
    }

    std::vector<std::string> sorted() const {
        std::vector<std::string> copy = reports;
        std::sort(copy.begin(), copy.end());
        return copy;
    }
    size_t position(const std::string& report) const {
        return static_cast<size_t>(std::find(reports.begin(), reports.end(), report) -
                                   reports.begin());
    }

    std::vector<std::string> reports;
    std::vector<std::string> roots;
};

}  // namespace

TEST(TreeWalk, ReportsEveryFolderBeforeItsContentAndSkipsDotFolders) {
    temp_folder folder;
    make_sample_tree(folder.path());
    recording_visitor visitor;
    os_filesystem_walk_through("", folder.path().c_str(), &visitor);

    std::vector<std::string> expected = {"D ",          "D empty", "D sub",
                                         "D sub/deeper", "F .hidden-file", "F top.txt",
                                         "F sub/inner.txt", "F sub/deeper/leaf.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(visitor.sorted(), expected);
    ASSERT_EQ(visitor.reports.size(), expected.size());
    EXPECT_EQ(visitor.reports.front(), "D ");
    EXPECT_LT(visitor.position("D sub"), visitor.position("F sub/inner.txt"));
    EXPECT_LT(visitor.position("D sub"), visitor.position("D sub/deeper"));
    EXPECT_LT(visitor.position("D sub/deeper"), visitor.position("F sub/deeper/leaf.txt"));
    for (const std::string& root : visitor.roots) {
        EXPECT_EQ(root, folder.path() + "/");
    }
}

TEST(TreeWalk, StartsInAFolderBelowTheRootAndKeepsItsSpelling) {
    temp_folder folder;
    make_sample_tree(folder.join("top"));
    recording_visitor visitor;
    std::string root = folder.path() + "\\";
    os_filesystem_walk_through("top\\sub", root.c_str(), &visitor);

    std::vector<std::string> expected = {"D top\\sub", "D top\\sub/deeper", "F top\\sub/inner.txt",
                                         "F top\\sub/deeper/leaf.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(visitor.sorted(), expected);
    EXPECT_EQ(visitor.reports.front(), "D top\\sub");
    EXPECT_LT(visitor.position("D top\\sub/deeper"), visitor.position("F top\\sub/deeper/leaf.txt"));
    for (const std::string& reported : visitor.roots) {
        EXPECT_EQ(reported, root);
    }
}

TEST(TreeWalk, DepthLimitsReportFoldersWithoutSearchingThem) {
    temp_folder folder;
    make_sample_tree(folder.path());

    recording_visitor none;
    os_filesystem_walk_through_ex("", folder.path().c_str(), 0, &none);
    EXPECT_EQ(none.reports, std::vector<std::string>{"D "});

    recording_visitor one;
    os_filesystem_walk_through_ex("", folder.path().c_str(), 1, &one);
    std::vector<std::string> expected = {"D ", "D empty", "D sub", "F .hidden-file", "F top.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(one.sorted(), expected);

    recording_visitor two;
    os_filesystem_walk_through_ex("", folder.path().c_str(), 2, &two);
    EXPECT_EQ(two.position("F sub/deeper/leaf.txt"), two.reports.size());
    EXPECT_LT(two.position("D sub/deeper"), two.reports.size());
}

TEST(TreeWalk, ReportsLinksAsFilesAndNeverEntersThem) {
    temp_folder folder;
    std::string outside = folder.join("outside");
    make_sample_tree(outside);
    std::string tree = folder.join("tree");
    std::filesystem::create_directories(tree + "/inner");
    ASSERT_EQ(symlink("..", (tree + "/inner/loop").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/away").c_str()), 0);

    recording_visitor visitor;
    os_filesystem_walk_through("", tree.c_str(), &visitor);
    std::vector<std::string> expected = {"D ", "D inner", "F away", "F inner/loop"};
    EXPECT_EQ(visitor.sorted(), expected);
}

TEST(TreeWalk, MissingFolderIsReportedOnceAndNullArgumentsReportNothing) {
    temp_folder folder;
    make_sample_tree(folder.path());
    recording_visitor missing;
    os_filesystem_walk_through("not-there", folder.path().c_str(), &missing);
    EXPECT_EQ(missing.reports, std::vector<std::string>{"D not-there"});

    recording_visitor nulls;
    os_filesystem_walk_through(nullptr, folder.path().c_str(), &nulls);
    os_filesystem_walk_through("", nullptr, &nulls);
    EXPECT_TRUE(nulls.reports.empty());

    // No visitor: the walk runs through the tree and reports to no one.
    os_filesystem_walk_through("", folder.path().c_str(), nullptr);
}

TEST(TreeWalk, EmptyRootTakesTheFolderFromTheCurrentFolder) {
    temp_folder folder;
    make_sample_tree(folder.join("here"));
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    recording_visitor visitor;
    os_filesystem_walk_through_ex("here", "", 1, &visitor);
    ASSERT_EQ(chdir(before), 0);

    std::vector<std::string> expected = {"D here", "D here/empty", "D here/sub",
                                         "F here/.hidden-file", "F here/top.txt"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(visitor.sorted(), expected);
    for (const std::string& root : visitor.roots) {
        EXPECT_EQ(root, "");
    }
}

TEST(TreeWalk, CallersWrittenInCUseTheTableView) {
    temp_folder folder;
    make_sample_tree(folder.path());
    std::string root = folder.path() + "/";
    int files = 0;
    int folders = 0;
    EXPECT_TRUE(walk_with_c_visitor(folder.path().c_str(), root.c_str(), &files, &folders));
    EXPECT_EQ(files, 4);
    EXPECT_EQ(folders, 4);
}

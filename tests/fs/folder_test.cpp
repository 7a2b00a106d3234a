// The os_folder_ family on real folder trees in a private folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "corvane/fs.h"
#include "fs_test_files.hpp"
#include "test_support.hpp"

using namespace corvane::test;

namespace {

// Runs `body` with the current folder set to `folder`, then restores it.
template <typename Body>
void in_folder(const std::string& folder, Body body) {
    char before[PATH_MAX];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    body();
    ASSERT_EQ(chdir(before), 0);
}

}  // namespace

TEST(Folder, EveryFunctionRefusesNullAndEmptyPaths) {
    temp_folder folder;
    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(os_folder_exist(bad));
        EXPECT_FALSE(os_folder_create(bad));
        EXPECT_FALSE(os_folder_remove(bad, true));
        EXPECT_FALSE(os_folder_copy(bad, folder.path().c_str(), false));
        EXPECT_FALSE(os_folder_copy(folder.path().c_str(), bad, false));
        EXPECT_FALSE(os_folder_move(bad, folder.path().c_str()));
        EXPECT_FALSE(os_folder_move(folder.path().c_str(), bad));
    }
    EXPECT_TRUE(is_folder(folder.path()));
}

TEST(Folder, ExistAnswersForFoldersOnly) {
    temp_folder folder;
    write_file(folder.join("file"), "x");
    ASSERT_EQ(symlink(folder.path().c_str(), folder.join("link").c_str()), 0);
    EXPECT_TRUE(os_folder_exist(folder.path().c_str()));
    EXPECT_TRUE(os_folder_exist((folder.path() + "\\\\").c_str()));
    EXPECT_TRUE(os_folder_exist((folder.path() + "/").c_str()));
    EXPECT_TRUE(os_folder_exist(folder.join("link").c_str()));
    EXPECT_FALSE(os_folder_exist(folder.join("file").c_str()));
    EXPECT_FALSE(os_folder_exist(folder.join("missing").c_str()));
    EXPECT_FALSE(os_folder_exist("\\\\\\"));
}

TEST(Folder, CreateMakesEveryLevelWhicheverSeparatorsAreUsed) {
    temp_folder folder;
    EXPECT_TRUE(os_folder_create((folder.path() + "\\a\\\\b//c\\").c_str()));
    EXPECT_TRUE(is_folder(folder.join("a/b/c")));
    struct stat info {};
    ASSERT_EQ(stat(folder.join("a/b/c").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0777 & ~current_umask());

    // Every level exists: nothing to do.
    EXPECT_TRUE(os_folder_create(folder.join("a/b").c_str()));

    // A level that is a file stops the creation; the levels above stay.
    write_file(folder.join("a/file"), "x");
    EXPECT_FALSE(os_folder_create(folder.join("a/file/below").c_str()));
    EXPECT_EQ(read_file(folder.join("a/file")), "x");
    EXPECT_TRUE(is_folder(folder.join("a")));
}

TEST(Folder, CreateOfAnAbsolutePathStartsAtTheRoot) {
    temp_folder current;
    temp_folder target;
    in_folder(current.path(), [&] {
        EXPECT_TRUE(os_folder_create((target.path() + "/x/y").c_str()));
        EXPECT_TRUE(os_folder_create("relative\\level"));
        // Only separators: no level to make.
        EXPECT_TRUE(os_folder_create("\\\\\\"));
    });
    EXPECT_TRUE(is_folder(target.join("x/y")));
    EXPECT_TRUE(is_folder(current.join("relative/level")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(current.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(Folder, CopyToAMissingDestinationThenNestsUnderTheSourceName) {
    temp_folder folder;
    std::string source = folder.join("source");
    make_sample_tree(source);
    std::string destination = folder.join("made/copy");

    ASSERT_TRUE(os_folder_copy(source.c_str(), destination.c_str(), false));
    expect_sample_tree(destination);
    EXPECT_FALSE(exists_at_all(destination + "/source"));

    // Now the destination exists: the tree lands under the source's name.
    ASSERT_TRUE(os_folder_copy((source + "\\").c_str(), destination.c_str(), false));
    expect_sample_tree(destination + "/source");

    // A bare relative name nests under that whole name.
    in_folder(folder.path(), [&] {
        ASSERT_TRUE(os_folder_copy("source", "made", false));
    });
    expect_sample_tree(folder.join("made/source"));
}

TEST(Folder, CopyReplacesFilesKeepsExtrasAndCopiesEmptyFolders) {
    temp_folder folder;
    std::string source = folder.join("source");
    make_sample_tree(source);
    std::string destination = folder.join("destination");
    std::filesystem::create_directories(destination + "/source");
    write_file(destination + "/source/top.txt", "an older and longer content");
    write_file(destination + "/source/extra.txt", "extra");
    ASSERT_TRUE(os_folder_copy(source.c_str(), destination.c_str(), false));
    EXPECT_EQ(read_file(destination + "/source/top.txt"), "top");
    EXPECT_EQ(read_file(destination + "/source/extra.txt"), "extra");

    std::filesystem::create_directories(folder.join("bare"));
    EXPECT_TRUE(os_folder_copy(folder.join("bare").c_str(), folder.join("bare-copy").c_str(), false));
    EXPECT_TRUE(is_folder(folder.join("bare-copy")));
}

TEST(Folder, CopyRecreatesLinksWithoutFollowingThem) {
    temp_folder folder;
    std::string outside = folder.join("outside");
    std::filesystem::create_directories(outside);
    write_file(outside + "/big.txt", "not to be copied");
    std::string source = folder.join("source");
    std::filesystem::create_directories(source);
    ASSERT_EQ(symlink(outside.c_str(), (source + "/to-outside").c_str()), 0);
    ASSERT_EQ(symlink(".", (source + "/loop").c_str()), 0);
    ASSERT_EQ(mkfifo((source + "/pipe").c_str(), 0600), 0);

    std::string destination = folder.join("destination");
    ASSERT_TRUE(os_folder_copy(source.c_str(), destination.c_str(), false));
    EXPECT_TRUE(is_link(destination + "/to-outside"));
    EXPECT_EQ(std::filesystem::read_symlink(destination + "/to-outside"), outside);
    EXPECT_EQ(std::filesystem::read_symlink(destination + "/loop"), ".");
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(destination + "/pipe")));

    // Copying again replaces the links, never what they point to.
    std::string nested = folder.join("nested");
    ASSERT_TRUE(os_folder_copy(source.c_str(), nested.c_str(), false));
    std::filesystem::remove(source + "/pipe");
    ASSERT_TRUE(os_folder_copy((source + "/").c_str(), nested.c_str(), false));
    EXPECT_TRUE(is_link(nested + "/source/to-outside"));
    EXPECT_EQ(read_file(outside + "/big.txt"), "not to be copied");
}

TEST(Folder, CopyRefusesASourceWithoutANameAndADestinationInsideTheSource) {
    temp_folder folder;
    std::string existing = folder.join("existing");
    std::filesystem::create_directories(existing);
    EXPECT_FALSE(os_folder_copy("\\//", existing.c_str(), false));
    EXPECT_TRUE(std::filesystem::is_empty(existing));

    std::string source = folder.join("source");
    make_sample_tree(source);
    EXPECT_FALSE(os_folder_copy(source.c_str(), (source + "/sub/inside").c_str(), false));
    EXPECT_FALSE(exists_at_all(source + "/sub/inside/sub/inside"));

    EXPECT_FALSE(os_folder_copy(folder.join("missing").c_str(), folder.join("d").c_str(), false));
}

TEST(Folder, MoveRenamesOrMovesIntoAnExistingFolder) {
    temp_folder folder;
    std::string source = folder.join("source");
    make_sample_tree(source);

    ASSERT_TRUE(os_folder_move((source + "\\").c_str(), folder.join("parents/made/renamed/").c_str()));
    expect_sample_tree(folder.join("parents/made/renamed"));
    EXPECT_FALSE(exists_at_all(source));

    std::filesystem::create_directories(folder.join("holder"));
    ASSERT_TRUE(os_folder_move(folder.join("parents/made/renamed").c_str(), folder.join("holder").c_str()));
    expect_sample_tree(folder.join("holder/renamed"));

    // An entry of that name in the destination is never replaced.
    make_sample_tree(folder.join("renamed"));
    EXPECT_FALSE(os_folder_move(folder.join("renamed").c_str(), folder.join("holder").c_str()));
    expect_sample_tree(folder.join("renamed"));
    EXPECT_FALSE(os_folder_move(folder.join("missing").c_str(), folder.join("elsewhere").c_str()));
}

TEST(Folder, MoveAcrossFileSystemsCopiesTheTreeThenRemovesIt) {
    temp_folder folder;
    other_file_system_folder other(folder.path());
    if (!other.available()) {
        GTEST_SKIP() << "/dev/shm is not a different file system from the temporary folder";
    }
    std::string source = folder.join("source");
    make_sample_tree(source);
    ASSERT_EQ(symlink("/nowhere", (source + "/sub/link").c_str()), 0);

    ASSERT_TRUE(os_folder_move(source.c_str(), other.join("moved").c_str()));
    expect_sample_tree(other.join("moved"));
    EXPECT_EQ(std::filesystem::read_symlink(other.join("moved/sub/link")), "/nowhere");
    EXPECT_FALSE(exists_at_all(source));

    ASSERT_TRUE(os_folder_move(other.join("moved").c_str(), folder.path().c_str()));
    expect_sample_tree(folder.join("moved"));
}

TEST(Folder, RemoveWithoutRecursionTakesOnlyEmptyFolders) {
    temp_folder folder;
    std::string full = folder.join("full");
    make_sample_tree(full);
    EXPECT_FALSE(os_folder_remove(full.c_str(), false));
    expect_sample_tree(full);
    EXPECT_TRUE(os_folder_remove((full + "/empty\\/").c_str(), false));
    EXPECT_FALSE(exists_at_all(full + "/empty"));
    EXPECT_FALSE(os_folder_remove(folder.join("missing").c_str(), false));
}

TEST(Folder, RecursiveRemoveDeletesLinksButNeverWhatTheyPointTo) {
    temp_folder folder;
    std::string outside = folder.join("outside");
    make_sample_tree(outside);
    std::string doomed = folder.join("doomed");
    make_sample_tree(doomed);
    ASSERT_EQ(symlink(outside.c_str(), (doomed + "/sub/to-outside").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/top.txt").c_str(), (doomed + "/to-file").c_str()), 0);
    ASSERT_EQ(symlink("..", (doomed + "/sub/deeper/up").c_str()), 0);

    EXPECT_TRUE(os_folder_remove((doomed + "\\").c_str(), true));
    EXPECT_FALSE(exists_at_all(doomed));
    expect_sample_tree(outside);

    // The path itself a link: the link goes, its folder stays.
    ASSERT_EQ(symlink(outside.c_str(), folder.join("alias").c_str()), 0);
    EXPECT_TRUE(os_folder_remove(folder.join("alias").c_str(), true));
    EXPECT_FALSE(exists_at_all(folder.join("alias")));
    expect_sample_tree(outside);

    EXPECT_FALSE(os_folder_remove(folder.join("missing").c_str(), true));
}

TEST(Folder, RecursiveRemoveRefusesDotNames) {
    temp_folder folder;
    std::string tree = folder.join("tree");
    make_sample_tree(tree);
    EXPECT_FALSE(os_folder_remove((tree + "/.").c_str(), true));
    EXPECT_FALSE(os_folder_remove((tree + "/sub/..").c_str(), true));
    in_folder(tree, [] {
        EXPECT_FALSE(os_folder_remove(".", true));
        EXPECT_FALSE(os_folder_remove("..", true));
    });
    expect_sample_tree(tree);
}

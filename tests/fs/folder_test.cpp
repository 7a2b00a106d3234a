// The os_folder_ family on real folder trees in a private folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

TEST(Folder, ExistAnswersForFoldersOnlyAndNullOrEmptyPathsDoNothing) {
    temp_folder folder;
    const char* here = folder.path().c_str();
    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(os_folder_exist(bad) || os_folder_create(bad) || os_folder_remove(bad, true));
        EXPECT_FALSE(os_folder_copy(bad, here, false) || os_folder_copy(here, bad, false));
        EXPECT_FALSE(os_folder_move(bad, here) || os_folder_move(here, bad));
    }
    write_file(folder.join("file"), "x");
    ASSERT_EQ(symlink(here, folder.join("link").c_str()), 0);
    for (const std::string& path :
         {folder.path(), folder.path() + "\\\\", folder.path() + "/", folder.join("link")}) {
        EXPECT_TRUE(os_folder_exist(path.c_str())) << path;
    }
    for (const std::string& path : {folder.join("file"), folder.join("missing")}) {
        EXPECT_FALSE(os_folder_exist(path.c_str())) << path;
    }
}

TEST(Folder, CreateMakesEveryLevelFromWhereThePathStarts) {
    temp_folder current;
    temp_folder target;
    in_folder(current.path(), [&] {
        EXPECT_TRUE(os_folder_create((target.path() + "\\a\\\\b//c\\").c_str()));
        EXPECT_TRUE(os_folder_create("relative\\level"));
        EXPECT_TRUE(os_folder_create("\\\\\\"));  // only separators: no level to make
    });
    EXPECT_TRUE(fs::is_directory(current.join("relative/level")));
    EXPECT_EQ(std::distance(fs::directory_iterator(current.path()), fs::directory_iterator()), 1);
    struct stat info {};
    ASSERT_EQ(stat(target.join("a/b/c").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0777 & ~current_umask());
    EXPECT_TRUE(os_folder_create(target.join("a/b").c_str()));

    // A level that is a file stops the creation; the levels above stay.
    write_file(target.join("a/file"), "x");
    EXPECT_FALSE(os_folder_create(target.join("a/file/below").c_str()));
    EXPECT_EQ(read_file(target.join("a/file")), "x");
}

TEST(Folder, CopyMakesAMissingDestinationOrNestsUnderTheSourceName) {
    temp_folder folder;
    std::string source = folder.join("source");
    make_sample_tree(source);
    std::string destination = folder.join("made/copy");
    ASSERT_TRUE(os_folder_copy(source.c_str(), destination.c_str(), false));
    expect_sample_tree(destination);
    EXPECT_FALSE(exists_at_all(destination + "/source"));

    // Now the destination exists: the tree lands under the source's name,
    // replacing files and keeping extras.
    fs::create_directories(destination + "/source");
    write_file(destination + "/source/top.txt", "an older and longer content");
    write_file(destination + "/source/extra.txt", "extra");
    ASSERT_TRUE(os_folder_copy((source + "\\").c_str(), destination.c_str(), false));
    expect_sample_tree(destination + "/source");
    EXPECT_EQ(read_file(destination + "/source/extra.txt"), "extra");

    in_folder(folder.path(), [&] { ASSERT_TRUE(os_folder_copy("source", "made", false)); });
    expect_sample_tree(folder.join("made/source"));

    // No name to nest under, or a destination inside the source: refused.
    fs::create_directories(folder.join("empty"));
    EXPECT_FALSE(os_folder_copy("\\//", folder.join("empty").c_str(), false));
    in_folder(source, [&] {
        EXPECT_FALSE(os_folder_copy("..", folder.join("empty").c_str(), false));
        EXPECT_FALSE(os_folder_copy("sub/.", folder.join("empty").c_str(), false));
    });
    EXPECT_TRUE(fs::is_empty(folder.join("empty")));
    EXPECT_FALSE(os_folder_copy(source.c_str(), (source + "/sub/inside").c_str(), false));
    EXPECT_FALSE(exists_at_all(source + "/sub/inside/sub/inside"));
    EXPECT_FALSE(os_folder_copy(folder.join("missing").c_str(), folder.join("d").c_str(), false));
}

TEST(Folder, CopyRecreatesLinksWithoutFollowingThem) {
    temp_folder folder;
    std::string outside = folder.join("outside");
    std::string source = folder.join("source");
    fs::create_directories(source);
    make_sample_tree(outside);
    ASSERT_EQ(symlink(outside.c_str(), (source + "/to-outside").c_str()), 0);
    ASSERT_EQ(symlink(".", (source + "/loop").c_str()), 0);
    ASSERT_EQ(mkfifo((source + "/pipe").c_str(), 0600), 0);

    std::string copy = folder.join("copy");
    ASSERT_TRUE(os_folder_copy(source.c_str(), copy.c_str(), false));
    EXPECT_EQ(fs::read_symlink(copy + "/to-outside"), outside);
    EXPECT_EQ(fs::read_symlink(copy + "/loop"), ".");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(copy + "/pipe")));

    // Copying onto the links replaces them, never what they point to.
    fs::remove(source + "/pipe");
    ASSERT_TRUE(os_folder_copy(source.c_str(), copy.c_str(), false));
    ASSERT_TRUE(os_folder_copy((source + "/").c_str(), copy.c_str(), false));
    EXPECT_EQ(fs::read_symlink(copy + "/source/to-outside"), outside);
    expect_sample_tree(outside);
    EXPECT_FALSE(exists_at_all(outside + "/source"));
}

TEST(Folder, MoveRenamesOrMovesIntoAnExistingFolder) {
    temp_folder folder;
    std::string source = folder.join("source");
    make_sample_tree(source);
    ASSERT_TRUE(os_folder_move((source + "\\").c_str(), folder.join("made/renamed/").c_str()));
    expect_sample_tree(folder.join("made/renamed"));
    EXPECT_FALSE(exists_at_all(source));

    fs::create_directories(folder.join("holder"));
    ASSERT_TRUE(os_folder_move(folder.join("made/renamed").c_str(), folder.join("holder").c_str()));
    expect_sample_tree(folder.join("holder/renamed"));

    // An entry of that name in the destination is never replaced.
    make_sample_tree(folder.join("renamed"));
    EXPECT_FALSE(os_folder_move(folder.join("renamed").c_str(), folder.join("holder").c_str()));
    expect_sample_tree(folder.join("renamed"));
    EXPECT_FALSE(os_folder_move(folder.join("missing").c_str(), folder.join("elsewhere").c_str()));
}

TEST(Folder, RemoveDeletesLinksButNeverWhatTheyPointTo) {
    temp_folder folder;
    std::string outside = folder.join("outside");
    std::string doomed = folder.join("doomed");
    make_sample_tree(outside);
    make_sample_tree(doomed);
    ASSERT_EQ(symlink(outside.c_str(), (doomed + "/sub/to-outside").c_str()), 0);
    ASSERT_EQ(symlink((outside + "/top.txt").c_str(), (doomed + "/to-file").c_str()), 0);
    ASSERT_EQ(symlink("..", (doomed + "/sub/deeper/up").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), folder.join("alias").c_str()), 0);
    // Without recursion only an empty folder goes.
    EXPECT_FALSE(os_folder_remove(doomed.c_str(), false));
    EXPECT_TRUE(os_folder_remove((doomed + "/empty\\/").c_str(), false));
    EXPECT_FALSE(exists_at_all(doomed + "/empty"));
    fs::create_directories(doomed + "/empty");

    // Dot names name no folder of their own: refused, nothing removed.
    EXPECT_FALSE(os_folder_remove((doomed + "/.").c_str(), true));
    EXPECT_FALSE(os_folder_remove((doomed + "/sub/..").c_str(), true));
    in_folder(doomed + "/sub",
              [] { EXPECT_FALSE(os_folder_remove(".", true) || os_folder_remove("..", true)); });
    expect_sample_tree(doomed);

    EXPECT_TRUE(os_folder_remove((doomed + "\\").c_str(), true));
    EXPECT_FALSE(exists_at_all(doomed));
    // The path itself a link: the link goes, its folder stays.
    EXPECT_TRUE(os_folder_remove(folder.join("alias").c_str(), true));
    EXPECT_FALSE(exists_at_all(folder.join("alias")));
    expect_sample_tree(outside);
    EXPECT_FALSE(os_folder_remove(doomed.c_str(), true) || os_folder_remove(doomed.c_str(), false));
}

// The os_folder_ family on real folder trees in a private folder; the same
// cases for every platform.

#include <chrono>

#include "fs_test_files.hpp"

TEST(Folder, CopyMakesAMissingDestinationOrNestsUnderTheSourceName) {
    temp_folder folder;
    const std::string source = folder.join("source"), destination = folder.join("made/copy"), empty = folder.join("empty");
    make_sample_tree(source);
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
    fs::create_directories(empty);
    const struct { std::string from, to; const char* reason; } refused[] = {
        {"\\//", empty, "separators only: no name to nest under"},
        {"..", empty, "a dot name is no name"}, {"sub/.", empty, "a trailing dot is no name"},
        {source, source + "/sub/inside", "the copy would copy itself"},
        {folder.join("missing"), folder.join("d"), "no source"}};
    in_folder(source, [&] {
        for (const auto& row : refused) {
            EXPECT_FALSE(os_folder_copy(row.from.c_str(), row.to.c_str(), false)) << row.reason;
        }
    });
    EXPECT_TRUE(fs::is_empty(empty));
    EXPECT_FALSE(exists_at_all(source + "/sub/inside/sub/inside"));
}

TEST(Folder, CopyNeverWritesThroughLinksAndRecreatesThem) {
    temp_folder folder;
    const std::string outside = folder.join("outside"), source = folder.join("source"), copy = folder.join("copy");
    make_sample_tree(outside);
    fs::create_directories(source + "/sub");
    write_file(source + "/sub/file", "inside");
    // A destination holding a link where the source has a folder: refused,
    // nothing written where the link points.
    fs::create_directories(copy + "/source");
    if (!make_link(outside, copy + "/source/sub", true)) {
        GTEST_SKIP() << "this system makes no symbolic link here";
    }
    EXPECT_FALSE(os_folder_copy(source.c_str(), copy.c_str(), false));
    EXPECT_FALSE(exists_at_all(outside + "/file") || exists_at_all(outside + "/source"));
    expect_sample_tree(outside);
    if (!links_fully_supported()) {
        GTEST_SKIP() << "Wine can neither read nor make links through the Windows calls";
    }
    // Links are recreated; copied again, a link is replaced, never followed.
    fs::remove_all(copy);
    ASSERT_TRUE(make_link(outside, source + "/to-outside", true));
    for (const std::string& from : {source, source, source + "/"}) {
        ASSERT_TRUE(os_folder_copy(from.c_str(), copy.c_str(), false)) << from;
    }
    EXPECT_TRUE(fs::read_symlink(copy + "/to-outside") == outside &&
                fs::read_symlink(copy + "/source/to-outside") == outside);
    // Only a link is replaced by a link: a file of that name stays.
    fs::remove(copy + "/source/to-outside");
    write_file(copy + "/source/to-outside", "mine");
    EXPECT_FALSE(os_folder_copy(source.c_str(), copy.c_str(), false));
    EXPECT_EQ(read_file(copy + "/source/to-outside"), "mine");
    expect_sample_tree(outside);
}

// Moves within a volume and, where a tmpfs is found (/dev/shm; drive Z: under
// Wine), to another one, where the entry is copied, then removed.
TEST(Folder, MovesRenameOrMoveIntoFoldersAndNeverReplace) {
    temp_folder folder, near;
    const fs::path volume = path_separator == '/' ? "/dev/shm" : "Z:\\dev\\shm";
    std::error_code error;
    const std::string other = fs::is_directory(volume, error) ? (volume / fs::path(folder.path()).filename()).string()
                                                               : near.join("other");
    ASSERT_TRUE(fs::create_directory(other));
    struct removed_at_end {
        const std::string& path;
        ~removed_at_end() { std::error_code ignored; fs::remove_all(path, ignored); }
    } cleanup{other};
    const std::string file = folder.join("file"), moved = other + "/file";
    write_file(file, "content");
    const auto written = fs::last_write_time(file) - std::chrono::hours(50);
    fs::last_write_time(file, written);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const fs::perms permissions = fs::status(file).permissions();
    ASSERT_TRUE(os_file_move(file.c_str(), moved.c_str()));
    EXPECT_TRUE(!exists_at_all(file) && fs::last_write_time(moved) == written && fs::status(moved).permissions() == permissions);
    write_file(file, "occupied");  // back onto an existing name: refused, both kept
    EXPECT_FALSE(os_file_move(moved.c_str(), file.c_str()));
    EXPECT_EQ(read_file(file) + read_file(moved), "occupiedcontent");
    // A folder takes the new name, missing folders above made, links kept as
    // links; into an existing folder it moves under its own name, never
    // replacing an entry of that name.
    make_sample_tree(folder.join("tree"));
    const bool link = links_fully_supported() && make_link("nowhere", folder.join("tree/sub/link"));
    ASSERT_TRUE(os_folder_move(folder.join("tree\\").c_str(), (other + "/made/tree/").c_str()));
    EXPECT_TRUE(!exists_at_all(folder.join("tree")) && (!link || fs::read_symlink(other + "/made/tree/sub/link") == "nowhere"));
    make_sample_tree(folder.join("tree"));
    EXPECT_FALSE(os_folder_move(folder.join("tree").c_str(), (other + "/made").c_str()) ||
                 os_folder_move(folder.join("missing").c_str(), folder.join("elsewhere").c_str()));
    expect_sample_tree(folder.join("tree"));
    fs::remove_all(folder.join("tree"));
    ASSERT_TRUE(os_folder_move((other + "/made/tree").c_str(), folder.path().c_str()));
    expect_sample_tree(folder.join("tree"));
}

TEST(Folder, RemoveTakesLinksButNeverWhatTheyPointTo) {
    temp_folder folder;
    const std::string outside = folder.join("outside"), doomed = folder.join("doomed");
    make_sample_tree(outside);
    make_sample_tree(doomed);
    // Without recursion only an empty folder goes.
    EXPECT_FALSE(os_folder_remove(doomed.c_str(), false));
    EXPECT_TRUE(os_folder_remove((doomed + "/empty\\/").c_str(), false) && !exists_at_all(doomed + "/empty"));
    fs::create_directories(doomed + "/empty");
    // Dot names and roots name no folder of their own: refused.
    for (const std::string& path : {doomed + "/.", doomed + "/sub/..", folder.path().substr(0, path_separator == '/' ? 1 : 3)}) {
        EXPECT_FALSE(os_folder_remove(path.c_str(), true)) << path;
    }
    in_folder(doomed + "/sub", [] { EXPECT_FALSE(os_folder_remove(".", true) || os_folder_remove("..", true)); });
    expect_sample_tree(doomed);
    const bool links = links_fully_supported() && make_link(outside, doomed + "/sub/to-outside", true) &&
                       make_link(outside + "/top.txt", doomed + "/to-file") &&
                       make_link("..", doomed + "/sub/deeper/up", true) && make_link(outside, folder.join("alias"), true);
    EXPECT_TRUE(os_folder_remove((doomed + "\\").c_str(), true) && !exists_at_all(doomed));
    // The path itself a link: the link goes, its folder stays.
    EXPECT_TRUE(!links || (os_folder_remove(folder.join("alias").c_str(), true) && !exists_at_all(folder.join("alias"))));
    expect_sample_tree(outside);
    EXPECT_FALSE(os_folder_remove(doomed.c_str(), true) || os_folder_remove(doomed.c_str(), false));
}

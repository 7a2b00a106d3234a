// The os_file_ and os_clibrary_file_ families on real files in a private
// folder; the same cases for every platform.

#include <fcntl.h>

#include <climits>

#include "fs_test_files.hpp"

TEST(File, EntryTestsTrimOnlyTrailingBackslashesAndRemoveTakesFilesAndLinksOnly) {
    temp_folder folder;
    const std::string file = folder.join("f"), link = folder.join("link"), sub = folder.join("sub");
    const std::string &here = folder.path(), dir_link = folder.join("dir-link");
    write_file(file, "kept");
    fs::create_directories(sub);
    const bool links = make_link(file, link) && make_link("missing", folder.join("dangling"));
    const struct { std::string path; bool file, folder; const char* reason; } cases[] = {
        {file + "\\\\", true, false, "trailing backslashes are trimmed"},
        {file + "/", false, false, "a trailing slash stays"},
        {here + "\\\\", false, true, "a folder"},
        {here.substr(0, path_separator == '/' ? 1 : 3), false, true, "the root is a folder"},
        {links ? link : file, true, false, "a link counts as its target"},
        {folder.join(links ? "dangling" : "missing"), false, false, "a dangling link is nothing"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(os_file_exist(row.path.c_str()), row.file) << row.reason;
        EXPECT_EQ(os_folder_exist(row.path.c_str()), row.folder) << row.reason;
    }
    EXPECT_TRUE(os_file_is_relative_path("a/b") && os_file_is_relative_path("a\\b"));
    EXPECT_FALSE(os_file_is_relative_path(here.c_str()) || os_file_is_relative_path("/a"));
    // Creating keeps an existing file's content; nothing is made in a missing folder.
    EXPECT_TRUE(os_file_create(folder.join("new\\").c_str()) && os_file_create(file.c_str()));
    EXPECT_FALSE(os_file_create(folder.join("missing/new").c_str()));
    EXPECT_TRUE(exists_at_all(folder.join("new")) && !exists_at_all(folder.join("missing")));
    // Files and links go, never what a link points to; folders stay.
    const bool folder_link = links_fully_supported() && make_link(sub, dir_link, true);
    EXPECT_FALSE(os_file_remove(sub.c_str()) || os_folder_remove(file.c_str(), false));
    EXPECT_EQ(os_file_remove(link.c_str()), links);
    EXPECT_EQ(os_file_remove(dir_link.c_str()), folder_link);
    EXPECT_FALSE(exists_at_all(link) || exists_at_all(dir_link));
    EXPECT_TRUE(fs::is_directory(sub) && read_file(file) == "kept");
    EXPECT_TRUE(os_file_remove((file + "\\\\").c_str()));
    EXPECT_FALSE(exists_at_all(file) || os_file_remove(file.c_str()));
}

TEST(File, CopyReplacesTheWholeContentOrLeavesBothEndsAloneAndMoveNeverReplaces) {
    temp_folder folder;
    const std::string source = folder.join("source"), destination = folder.join("destination");
    write_file(source, "precious");
    write_file(destination, "old");
    fs::create_directories(folder.join("sub"));
    std::error_code no_hard_link;
    fs::create_hard_link(source, folder.join("hard"), no_hard_link);
    const bool soft = make_link(source, folder.join("soft"));
    const struct { std::string from, to; const char* reason; } failures[] = {
        {folder.join("missing"), destination, "no source"},
        {source, folder.join("no/such"), "no destination folder"},
        {source, folder.path(), "a folder as destination"},
        {folder.join("sub"), destination, "a folder as source is a failed read"},
        {folder.join("sub"), folder.join("new"), "nothing is created for a folder"},
        {source, folder.path() + "\\source", "onto itself"},
        {source, no_hard_link ? source : folder.join("hard"), "onto itself through a hard link"},
        {soft ? folder.join("soft") : source, source, "onto itself through a symbolic link"}};
    for (const auto& row : failures) {
        EXPECT_FALSE(os_file_copy(row.from.c_str(), row.to.c_str(), false)) << row.reason;
        EXPECT_EQ(read_file(source) + read_file(destination), "preciousold") << row.reason;
    }
    EXPECT_FALSE(exists_at_all(folder.join("new")));
    write_file(destination, "a much longer old content");
    for (size_t size : {size_t{5}, size_t{0}, size_t{3 * 1024 * 1024 + 17}}) {  // around the blocks
        const std::string content = random_bytes(size, static_cast<unsigned>(size));
        write_file(source, content);
        ASSERT_TRUE(os_file_copy(source.c_str(), destination.c_str(), size == 0)) << size;
        EXPECT_TRUE(read_file(destination) == content) << size;
    }
    const std::string moved = folder.join("moved");
    ASSERT_TRUE(os_file_move(destination.c_str(), (folder.path() + "\\moved").c_str()));
    EXPECT_FALSE(os_file_move(source.c_str(), moved.c_str()) ||
                 os_file_move(destination.c_str(), folder.join("again").c_str()));
    EXPECT_TRUE(read_file(source) == read_file(moved) && !exists_at_all(destination));
}

// Positions beyond 32 bits fail instead of wrapping, the position kept.
TEST(ClibraryFile, DescriptorsKeepBytesAndSeekOnlyWithin32Bits) {
    temp_folder folder;
    const std::string path = folder.join("data"), bytes("line\r\nnext\n\x1a\0end", 16);
    EXPECT_EQ(os_clibrary_file_open(path.c_str(), O_RDONLY, 0), -1);
    const int32_t fd = os_clibrary_file_open(path.c_str(), O_RDWR | O_CREAT, 0600);
    const int32_t second = os_clibrary_file_open(path.c_str(), O_RDWR, 0);  // no open denies another
    EXPECT_TRUE(fd >= 0 && second >= 0 && os_clibrary_file_close(second) == 0);
    EXPECT_EQ(os_clibrary_file_write(fd, bytes.data(), 16), 16);
    char back[64] = {};
    EXPECT_TRUE(os_clibrary_file_seek(fd, 0, SEEK_SET) == 0 && os_clibrary_file_read(fd, back, 64) == 16);
    EXPECT_TRUE(std::string(back, 16) == bytes && os_clibrary_file_read(fd, back, 64) == 0) << "no text translation";
    fs::resize_file(path, uintmax_t{3} << 30);
    EXPECT_EQ(os_clibrary_file_seek(fd, 20, SEEK_CUR), 36);
    EXPECT_EQ(os_clibrary_file_seek(fd, 0, SEEK_END) + os_clibrary_file_seek(fd, INT_MAX, SEEK_CUR), -2);
    EXPECT_EQ(os_clibrary_file_seek(fd, 0, SEEK_CUR), 36);
    EXPECT_TRUE(os_clibrary_file_close(fd) == 0 && os_clibrary_file_close(fd) == -1);
}

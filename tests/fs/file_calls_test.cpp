// The os_clibrary_file_ family on real files in a private folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "corvane/fs.h"
#include "test_support.hpp"

using corvane::test::temp_folder;

TEST(ClibraryFile, DescriptorsStayOutOfChildrenKeepBytesAndSeekOnlyWithin32Bits) {
    temp_folder folder;
    std::string path = folder.join("data");
    EXPECT_EQ(os_clibrary_file_open(path.c_str(), O_RDONLY, 0), -1);

    const std::string bytes("line\r\nnext\n\x1a\0end", 16);
    int32_t fd = os_clibrary_file_open(path.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(os_clibrary_file_write(fd, bytes.data(), 16), 16);
    EXPECT_EQ(os_clibrary_file_seek(fd, 0, SEEK_SET), 0);
    char back[64] = {};
    EXPECT_EQ(os_clibrary_file_read(fd, back, sizeof back), 16);
    EXPECT_EQ(std::string(back, 16), bytes);
    EXPECT_EQ(os_clibrary_file_read(fd, back, sizeof back), 0);

    // Positions beyond 32 bits fail instead of wrapping, the position kept.
    ASSERT_EQ(ftruncate(fd, off_t{3} << 30), 0);  // sparse: no space used
    EXPECT_EQ(os_clibrary_file_seek(fd, 20, SEEK_CUR), 36);
    errno = 0;
    EXPECT_EQ(os_clibrary_file_seek(fd, 0, SEEK_END), -1);
    EXPECT_EQ(errno, EOVERFLOW);
    EXPECT_EQ(os_clibrary_file_seek(fd, INT_MAX, SEEK_CUR), -1);
    EXPECT_EQ(os_clibrary_file_seek(fd, 0, SEEK_CUR), 36);
    EXPECT_EQ(os_clibrary_file_close(fd), 0);
    EXPECT_EQ(os_clibrary_file_close(fd), -1);
}

TEST(ClibraryFile, MkdirIgnoresItsModeAndTheMaskDecides) {
    temp_folder folder;
    std::string path = folder.join("made");
    int32_t original = os_clibrary_file_umask(027);
    int32_t made = os_clibrary_file_mkdir(path.c_str(), 0);
    EXPECT_EQ(os_clibrary_file_umask(original), 027);
    ASSERT_EQ(made, 0);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0750u);
    EXPECT_EQ(os_clibrary_file_mkdir(path.c_str(), 0777), -1);
}

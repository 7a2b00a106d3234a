// The os_file_ family on real files in a private folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "corvane/fs.h"
#include "fs_test_files.hpp"
#include "test_support.hpp"

using namespace corvane::test;

namespace {

mode_t mode_of(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info.st_mode;
}

}  // namespace

TEST(File, EveryFunctionRefusesNullAndEmptyPaths) {
    temp_folder folder;
    std::string file = folder.join("f");
    write_file(file, "x");
    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(os_file_exist(bad));
        EXPECT_FALSE(os_file_is_relative_path(bad));
        EXPECT_FALSE(os_file_create(bad));
        EXPECT_FALSE(os_file_remove(bad));
        EXPECT_FALSE(os_file_copy(bad, file.c_str(), false));
        EXPECT_FALSE(os_file_copy(file.c_str(), bad, false));
        EXPECT_FALSE(os_file_move(bad, file.c_str()));
        EXPECT_FALSE(os_file_move(file.c_str(), bad));
    }
    EXPECT_EQ(read_file(file), "x");
}

TEST(File, ExistAnswersForFilesAndTrimsOnlyTrailingBackslashes) {
    temp_folder folder;
    std::string file = folder.join("f");
    write_file(file, "x");
    ASSERT_EQ(symlink(file.c_str(), folder.join("link").c_str()), 0);
    ASSERT_EQ(symlink("missing", folder.join("dangling").c_str()), 0);

    EXPECT_TRUE(os_file_exist(file.c_str()));
    EXPECT_TRUE(os_file_exist((file + "\\\\").c_str()));
    EXPECT_FALSE(os_file_exist((file + "/").c_str()));
    EXPECT_TRUE(os_file_exist((folder.path() + "\\f").c_str()));
    EXPECT_TRUE(os_file_exist(folder.join("link").c_str()));
    EXPECT_FALSE(os_file_exist(folder.join("dangling").c_str()));
    EXPECT_FALSE(os_file_exist(folder.join("missing").c_str()));
    EXPECT_FALSE(os_file_exist(folder.path().c_str()));
    EXPECT_FALSE(os_file_exist("\\\\"));
}

TEST(File, RelativeMeansNotStartingWithASeparator) {
    EXPECT_TRUE(os_file_is_relative_path("a/b"));
    EXPECT_TRUE(os_file_is_relative_path("."));
    EXPECT_FALSE(os_file_is_relative_path("/a"));
    EXPECT_FALSE(os_file_is_relative_path("\\a"));
}

TEST(File, CreateMakesAnEmptyFileOnceAndNeedsItsFolder) {
    temp_folder folder;
    std::string file = folder.join("new");
    ASSERT_TRUE(os_file_create((file + "\\").c_str()));
    EXPECT_EQ(read_file(file), "");
    EXPECT_EQ(mode_of(file) & 0777, 0666 & ~current_umask());

    write_file(file, "kept");
    EXPECT_TRUE(os_file_create(file.c_str()));
    EXPECT_EQ(read_file(file), "kept");

    EXPECT_FALSE(os_file_create(folder.join("missing/new").c_str()));
    EXPECT_FALSE(exists_at_all(folder.join("missing")));
    EXPECT_FALSE(os_file_create("\\\\"));
}

TEST(File, CopyReplacesWholeContentAndCopiesEmptyFiles) {
    temp_folder folder;
    std::string source = folder.join("source");
    std::string destination = folder.join("destination");
    write_file(source, "short");
    write_file(destination, "a much longer old content");
    ASSERT_TRUE(os_file_copy(source.c_str(), destination.c_str(), false));
    EXPECT_EQ(read_file(destination), "short");

    write_file(source, "");
    ASSERT_TRUE(os_file_copy(source.c_str(), destination.c_str(), true));
    EXPECT_EQ(read_file(destination), "");

    // Larger than any one block of the copy, through backslash paths.
    std::string big = random_bytes(3 * 1024 * 1024 + 17, 1);
    write_file(source, big);
    std::string fresh = folder.path() + "\\fresh";
    ASSERT_TRUE(os_file_copy(source.c_str(), fresh.c_str(), false));
    EXPECT_EQ(read_file(folder.join("fresh")), big);
    EXPECT_EQ(mode_of(folder.join("fresh")) & 0777, 0666 & ~current_umask());
}

TEST(File, CopyFailsWithoutTouchingWhatItCannotUse) {
    temp_folder folder;
    std::string source = folder.join("source");
    std::string destination = folder.join("destination");
    write_file(source, "content");
    write_file(destination, "old");

    EXPECT_FALSE(os_file_copy(folder.join("missing").c_str(), destination.c_str(), false));
    EXPECT_EQ(read_file(destination), "old");
    EXPECT_FALSE(os_file_copy(source.c_str(), folder.join("no/such").c_str(), false));
    EXPECT_EQ(read_file(source), "content");
    EXPECT_FALSE(os_file_copy(source.c_str(), folder.path().c_str(), false));

    // A folder as source is a failed read, not an empty file.
    std::string sub = folder.join("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_FALSE(os_file_copy(sub.c_str(), folder.join("from-folder").c_str(), false));
    EXPECT_FALSE(exists_at_all(folder.join("from-folder")));
    EXPECT_FALSE(os_file_copy(sub.c_str(), destination.c_str(), false));
    EXPECT_EQ(read_file(destination), "old");
}

TEST(File, CopyOntoItselfUnderAnyNameLeavesTheFileIntact) {
    temp_folder folder;
    std::string file = folder.join("file");
    write_file(file, "precious");
    ASSERT_EQ(symlink(file.c_str(), folder.join("soft").c_str()), 0);
    ASSERT_EQ(link(file.c_str(), folder.join("hard").c_str()), 0);

    for (const std::string& other :
         {file, folder.join("soft"), folder.join("hard"), folder.path() + "\\file"}) {
        EXPECT_FALSE(os_file_copy(file.c_str(), other.c_str(), false)) << other;
        EXPECT_FALSE(os_file_copy(other.c_str(), file.c_str(), false)) << other;
        EXPECT_EQ(read_file(file), "precious") << other;
    }
}

TEST(File, CopyReportsAFailedRead) {
    temp_folder folder;
    // Reading this file from its start fails: address 0 is never mapped.
    EXPECT_FALSE(os_file_copy("/proc/self/mem", folder.join("memory").c_str(), false));
}

TEST(File, CopyReadsFilesThatReportSizeZero) {
    temp_folder folder;
    std::string copy = folder.join("status");
    ASSERT_TRUE(os_file_copy("/proc/self/status", copy.c_str(), false));
    EXPECT_NE(read_file(copy).find("Pid:"), std::string::npos);
}

namespace {

void ignore_signal(int) {}

}  // namespace

// Writes into a pipe that a signal interrupts come back short; the copy must
// write the rest rather than fail or lose bytes.
TEST(File, CopyCompletesWritesThatSignalsCutShort) {
    temp_folder folder;
    std::string source = folder.join("source");
    std::string pipe_path = folder.join("pipe");
    const std::string content = random_bytes(4 * 1024 * 1024, 2);
    write_file(source, content);
    ASSERT_EQ(mkfifo(pipe_path.c_str(), 0600), 0);

    struct sigaction interrupting {};
    interrupting.sa_handler = ignore_signal;  // no SA_RESTART: writes return early
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &interrupting, &previous), 0);

    std::string received;
    std::thread reader([&] {
        int fd = open(pipe_path.c_str(), O_RDONLY | O_CLOEXEC);
        char block[4096];
        ssize_t got = 0;
        while (fd >= 0 && (got = read(fd, block, sizeof block)) != 0) {
            if (got > 0) {
                received.append(block, static_cast<size_t>(got));
            }
        }
        close(fd);
    });
    std::atomic<bool> done{false};
    pthread_t copier = pthread_self();
    std::thread interrupter([&] {
        while (!done.load()) {
            pthread_kill(copier, SIGUSR1);
            usleep(50);
        }
    });

    bool copied = os_file_copy(source.c_str(), pipe_path.c_str(), false);
    done = true;
    interrupter.join();
    reader.join();
    sigaction(SIGUSR1, &previous, nullptr);

    EXPECT_TRUE(copied);
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content);
}

TEST(File, MoveRenamesButNeverReplaces) {
    temp_folder folder;
    std::string a = folder.join("a");
    std::string b = folder.join("b");
    write_file(a, "A");
    ASSERT_TRUE(os_file_move(a.c_str(), b.c_str()));
    EXPECT_FALSE(exists_at_all(a));
    EXPECT_EQ(read_file(b), "A");

    write_file(a, "new A");
    EXPECT_FALSE(os_file_move(a.c_str(), b.c_str()));
    EXPECT_EQ(read_file(a), "new A");
    EXPECT_EQ(read_file(b), "A");
    EXPECT_FALSE(os_file_move(folder.join("missing").c_str(), folder.join("c").c_str()));

    // Folders move too, and backslashes separate.
    std::string sub = folder.join("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    write_file(sub + "/inner", "I");
    ASSERT_TRUE(os_file_move((folder.path() + "\\sub").c_str(), folder.join("moved").c_str()));
    EXPECT_EQ(read_file(folder.join("moved/inner")), "I");
}

TEST(File, MoveAcrossFileSystemsCopiesThenRemoves) {
    temp_folder folder;
    other_file_system_folder other(folder.path());
    if (!other.available()) {
        GTEST_SKIP() << "/dev/shm is not a different file system from the temporary folder";
    }
    std::string source = folder.join("file");
    const std::string content = random_bytes(300000, 3);
    write_file(source, content);
    ASSERT_EQ(chmod(source.c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000, 0}, {2000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    std::string target = other.join("file");
    ASSERT_TRUE(os_file_move(source.c_str(), target.c_str()));
    EXPECT_FALSE(exists_at_all(source));
    EXPECT_TRUE(read_file(target) == content);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 2000000);

    // Back again onto an existing name: refused, both kept.
    write_file(source, "occupied");
    EXPECT_FALSE(os_file_move(target.c_str(), source.c_str()));
    EXPECT_EQ(read_file(source), "occupied");
    EXPECT_TRUE(read_file(target) == content);

    // A link moves as a link; a folder moves with its content.
    ASSERT_EQ(symlink("somewhere", folder.join("link").c_str()), 0);
    ASSERT_TRUE(os_file_move(folder.join("link").c_str(), other.join("link").c_str()));
    EXPECT_EQ(std::filesystem::read_symlink(other.join("link")), "somewhere");
    EXPECT_FALSE(exists_at_all(folder.join("link")));
    ASSERT_EQ(mkdir(folder.join("tree").c_str(), 0700), 0);
    write_file(folder.join("tree/leaf"), "L");
    ASSERT_TRUE(os_file_move(folder.join("tree").c_str(), other.join("tree").c_str()));
    EXPECT_EQ(read_file(other.join("tree/leaf")), "L");
    EXPECT_FALSE(exists_at_all(folder.join("tree")));
}

TEST(File, RemoveDeletesFilesAndLinksButNotFolders) {
    temp_folder folder;
    std::string file = folder.join("f");
    std::string target = folder.join("target");
    write_file(file, "x");
    write_file(target, "t");
    ASSERT_EQ(symlink(target.c_str(), folder.join("link").c_str()), 0);
    ASSERT_EQ(mkdir(folder.join("sub").c_str(), 0700), 0);

    EXPECT_TRUE(os_file_remove((file + "\\\\").c_str()));
    EXPECT_FALSE(exists_at_all(file));
    EXPECT_FALSE(os_file_remove(file.c_str()));
    EXPECT_TRUE(os_file_remove(folder.join("link").c_str()));
    EXPECT_EQ(read_file(target), "t");
    EXPECT_FALSE(os_file_remove(folder.join("sub").c_str()));
    EXPECT_TRUE(is_folder(folder.join("sub")));
    EXPECT_FALSE(os_file_remove("\\\\"));
}

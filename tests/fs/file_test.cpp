// The os_file_ family on real files in a private folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "corvane/fs.h"
#include "fs_test_files.hpp"
#include "test_support.hpp"

using namespace corvane::test;

namespace {

void ignore_signal(int) {}

// A private folder under /dev/shm for moves across file systems; `path` stays
// empty when /dev/shm is missing or shares the file system of `near`.
struct other_file_system_folder {
    explicit other_file_system_folder(const std::string& near) {
        struct stat here {};
        struct stat there {};
        std::string pattern = "/dev/shm/corvane-test-XXXXXX";
        if (::stat(near.c_str(), &here) == 0 && ::stat("/dev/shm", &there) == 0 &&
            here.st_dev != there.st_dev && ::mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~other_file_system_folder() {
        std::error_code ignored;
        if (!path.empty()) {
            fs::remove_all(path, ignored);
        }
    }
    other_file_system_folder(const other_file_system_folder&) = delete;
    other_file_system_folder& operator=(const other_file_system_folder&) = delete;

    std::string path;
};

}  // namespace

TEST(File, ExistTrimsOnlyTrailingBackslashesAndRefusesNullOrEmptyPaths) {
    temp_folder folder;
    std::string file = folder.join("f");
    write_file(file, "x");
    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(os_file_exist(bad) || os_file_is_relative_path(bad) || os_file_create(bad) ||
                     os_file_remove(bad) || os_file_copy(bad, file.c_str(), false) ||
                     os_file_copy(file.c_str(), bad, false) || os_file_move(bad, file.c_str()) ||
                     os_file_move(file.c_str(), bad));
    }
    ASSERT_EQ(symlink(file.c_str(), folder.join("link").c_str()), 0);
    ASSERT_EQ(symlink("missing", folder.join("dangling").c_str()), 0);
    for (const std::string& path :
         {file, file + "\\\\", folder.path() + "\\f", folder.join("link")}) {
        EXPECT_TRUE(os_file_exist(path.c_str())) << path;
    }
    for (const std::string& path : {file + "/", folder.join("dangling"), folder.join("missing"),
                                    folder.path(), std::string("\\\\")}) {
        EXPECT_FALSE(os_file_exist(path.c_str())) << path;
    }
    EXPECT_EQ(read_file(file), "x");
    EXPECT_TRUE(os_file_is_relative_path("a/b"));
    EXPECT_FALSE(os_file_is_relative_path("/a") || os_file_is_relative_path("\\a"));
}

TEST(File, CreateKeepsExistingContentAndRemoveTakesFilesAndLinksOnly) {
    temp_folder folder;
    std::string file = folder.join("new");
    ASSERT_TRUE(os_file_create((file + "\\").c_str()));
    EXPECT_EQ(read_file(file), "");
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~current_umask());
    write_file(file, "kept");
    EXPECT_TRUE(os_file_create(file.c_str()));
    EXPECT_FALSE(os_file_create(folder.join("missing/new").c_str()) || os_file_create("\\\\"));

    ASSERT_EQ(symlink(file.c_str(), folder.join("link").c_str()), 0);
    fs::create_directories(folder.join("sub"));
    EXPECT_TRUE(os_file_remove(folder.join("link").c_str()));
    EXPECT_EQ(read_file(file), "kept");
    EXPECT_FALSE(os_file_remove(folder.join("sub").c_str()) || os_file_remove("\\\\"));
    EXPECT_TRUE(fs::is_directory(folder.join("sub")));
    EXPECT_TRUE(os_file_remove((file + "\\\\").c_str()));
    EXPECT_FALSE(exists_at_all(file) || os_file_remove(file.c_str()));
}

TEST(File, NamedPipesNeverMakeCreateOrCopyWaitForTheirOtherEnd) {
    temp_folder folder;
    std::string pipe = folder.join("pipe");
    std::string file = folder.join("file");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    write_file(file, "content");
    EXPECT_TRUE(os_file_create(pipe.c_str()));
    EXPECT_FALSE(os_file_copy(file.c_str(), pipe.c_str(), false));  // no reader
    EXPECT_TRUE(os_file_copy(pipe.c_str(), folder.join("from-pipe").c_str(), false));  // no writer
    EXPECT_EQ(read_file(folder.join("from-pipe")), "");
}

TEST(File, CopyReplacesWholeContentOfAnySize) {
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

    // Larger than any one block of the copy, through a backslash path.
    std::string big = random_bytes(3 * 1024 * 1024 + 17, 1);
    write_file(source, big);
    ASSERT_TRUE(os_file_copy(source.c_str(), (folder.path() + "\\fresh").c_str(), false));
    EXPECT_TRUE(read_file(folder.join("fresh")) == big);

    // Files of the kernel report size 0 yet have content.
    ASSERT_TRUE(os_file_copy("/proc/self/status", destination.c_str(), false));
    EXPECT_NE(read_file(destination).find("Pid:"), std::string::npos);
}

TEST(File, CopyReportsFailedReadsWithoutTouchingTheDestination) {
    temp_folder folder;
    std::string source = folder.join("source");
    std::string destination = folder.join("destination");
    write_file(source, "content");
    write_file(destination, "old");
    ASSERT_EQ(mkdir(folder.join("sub").c_str(), 0700), 0);

    EXPECT_FALSE(os_file_copy(folder.join("missing").c_str(), destination.c_str(), false));
    EXPECT_FALSE(os_file_copy(source.c_str(), folder.join("no/such").c_str(), false));
    EXPECT_FALSE(os_file_copy(source.c_str(), folder.path().c_str(), false));
    // A folder as source is a failed read, not an empty file.
    EXPECT_FALSE(os_file_copy(folder.join("sub").c_str(), destination.c_str(), false));
    EXPECT_FALSE(os_file_copy(folder.join("sub").c_str(), folder.join("new").c_str(), false));
    EXPECT_FALSE(exists_at_all(folder.join("new")));
    EXPECT_EQ(read_file(destination) + read_file(source), "oldcontent");
    // Reading this file from its start fails: address 0 is never mapped.
    EXPECT_FALSE(os_file_copy("/proc/self/mem", folder.join("memory").c_str(), false));
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
    struct sigaction previous {};
    interrupting.sa_handler = ignore_signal;  // no SA_RESTART: writes return early
    ASSERT_EQ(sigaction(SIGUSR1, &interrupting, &previous), 0);

    // Both ends are open before the copy starts: a named pipe without a reader
    // refuses the copy, and the test's own writer keeps the reader from
    // seeing the end of input before the copy has opened the pipe.
    const int read_end = open(pipe_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(read_end, 0);
    ASSERT_EQ(fcntl(read_end, F_SETFL, 0), 0);
    const int held_writer = open(pipe_path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(held_writer, 0);
    std::string received;
    std::thread reader([&] {
        char chunk[65536];
        for (ssize_t n = 0; (n = read(read_end, chunk, sizeof chunk)) != 0;) {
            if (n > 0) {
                received.append(chunk, static_cast<size_t>(n));
            } else if (errno != EINTR) {
                break;
            }
        }
    });
    std::atomic<bool> done{false};
    std::thread interrupter([&, copier = pthread_self()] {
        while (!done.load()) {
            pthread_kill(copier, SIGUSR1);
            usleep(50);
        }
    });
    EXPECT_TRUE(os_file_copy(source.c_str(), pipe_path.c_str(), false));
    done = true;
    interrupter.join();
    close(held_writer);
    reader.join();
    close(read_end);
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(received == content);
}

TEST(File, MoveRenamesButNeverReplaces) {
    temp_folder folder;
    std::string a = folder.join("a");
    std::string b = folder.join("b");
    write_file(a, "A");
    ASSERT_TRUE(os_file_move(a.c_str(), b.c_str()));
    EXPECT_FALSE(exists_at_all(a));

    write_file(a, "new A");
    EXPECT_FALSE(os_file_move(a.c_str(), b.c_str()));
    EXPECT_EQ(read_file(a) + read_file(b), "new AA");
    EXPECT_FALSE(os_file_move(folder.join("missing").c_str(), folder.join("c").c_str()));
}

TEST(File, MoveAcrossFileSystemsCopiesThenRemoves) {
    temp_folder folder;
    other_file_system_folder other(folder.path());
    if (other.path.empty()) {
        GTEST_SKIP() << "/dev/shm is not a different file system from the temporary folder";
    }
    std::string source = folder.join("file");
    std::string target = other.path + "/file";
    write_file(source, "content");
    ASSERT_EQ(chmod(source.c_str(), 0640), 0);
    const struct timespec times[2] = {{1000000, 0}, {2000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, source.c_str(), times, 0), 0);

    ASSERT_TRUE(os_file_move(source.c_str(), target.c_str()));
    EXPECT_FALSE(exists_at_all(source));
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 2000000);

    // Back again onto an existing name: refused, both kept.
    write_file(source, "occupied");
    EXPECT_FALSE(os_file_move(target.c_str(), source.c_str()));
    EXPECT_EQ(read_file(source) + read_file(target), "occupiedcontent");

    // A link moves as a link.
    ASSERT_EQ(symlink("somewhere", folder.join("link").c_str()), 0);
    ASSERT_TRUE(os_file_move(folder.join("link").c_str(), (other.path + "/link").c_str()));
    EXPECT_EQ(fs::read_symlink(other.path + "/link"), "somewhere");
    EXPECT_FALSE(exists_at_all(folder.join("link")));

    // A folder moves with its content, links kept as links.
    make_sample_tree(folder.join("tree"));
    ASSERT_EQ(symlink("/nowhere", folder.join("tree/sub/link").c_str()), 0);
    ASSERT_TRUE(os_folder_move(folder.join("tree").c_str(), (other.path + "/tree").c_str()));
    expect_sample_tree(other.path + "/tree");
    EXPECT_EQ(fs::read_symlink(other.path + "/tree/sub/link"), "/nowhere");
    EXPECT_FALSE(exists_at_all(folder.join("tree")));
    ASSERT_TRUE(os_folder_move((other.path + "/tree").c_str(), folder.path().c_str()));
    expect_sample_tree(folder.join("tree"));
}

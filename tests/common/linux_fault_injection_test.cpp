// Linux only: every fallible system call of a stateful operation fails in
// turn. This program links the library's objects and replaces the entries of
// its private system-call table, so that the Nth call of one kind fails with
// a realistic errno, or moves a single unit where more was asked. Each
// operation must then succeed completely (always after EINTR and short
// counts) or fail as its contract says, and leave no descriptor, no
// shared-memory object and no damaged source behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "comm_support.hpp"
#include "common/linux/system_calls.hpp"
#include "corvane/corvane.h"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace corvane::test;
using corvane::detail::system_calls;

enum kind { openat_k, shm_open_k, read_k, write_k, copy_k, ftruncate_k, mmap_k, fcntl_k,
            poll_k, spawn_k, iconv_k, kinds };
constexpr int shorten = 0;  // in place of an errno: the call moves one unit only
// Each kind of call, in the order above: its name and what it can really answer.
const struct {
    const char* name;
    std::vector<int> errors;
} kinds_of_call[kinds] = {
    {"openat", {EINTR, EMFILE, ENFILE, ENOMEM, ENOSPC, EIO}},
    {"shm_open", {EMFILE, ENFILE, ENOMEM, ENOSPC}},
    {"read", {EINTR, EAGAIN, EIO, shorten}},
    {"write", {EINTR, EAGAIN, ENOSPC, EIO, shorten}},
    {"copy_file_range", {EINTR, EXDEV, ENOSPC, EIO, shorten}},
    {"ftruncate", {EINTR, ENOSPC, EIO}},
    {"mmap", {ENOMEM, EAGAIN, ENFILE}},
    {"fcntl", {EINTR, EAGAIN, ENOLCK}},
    {"poll", {EINTR, ENOMEM}},
    {"posix_spawn", {EAGAIN, ENOMEM}},
    {"iconv", {E2BIG, EINVAL}},
};

struct {
    kind what = kinds;
    int nth = 0, error = 0;
} fault;
std::array<int, kinds> calls;
const corvane::detail::system_call_table real = system_calls;

// -1 with errno set when this call is the one to fail, 1 when it is to come back short, else 0.
// Set, the Nth call of its kind does not fail: this runs first, once.
std::function<void()> meanwhile;

int due(kind k) {
    if (++calls[k] != fault.nth || k != fault.what) return 0;
    if (meanwhile) {
        fault = {};
        std::exchange(meanwhile, nullptr)();
        return 0;
    }
    return errno = fault.error, fault.error == shorten ? 1 : -1;
}
int openat_hook(int at, const char* path, int flags, ...) noexcept {
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(args, mode_t) : 0;
    va_end(args);
    return due(openat_k) < 0 ? -1 : real.openat(at, path, flags, mode);
}
int fcntl_hook(int fd, int command, ...) noexcept {
    va_list args;
    va_start(args, command);
    // Read as the C library's own fcntl reads it, whatever the command.
    void* argument = va_arg(args, void*);
    va_end(args);
    // Only a waiting lock can be interrupted by a signal.
    return due(fcntl_k) < 0 && (fault.error != EINTR || command == F_OFD_SETLKW)
               ? -1
               : real.fcntl(fd, command, argument);
}
int shm_open_hook(const char* name, int flags, mode_t mode) noexcept {
    return due(shm_open_k) < 0 ? -1 : real.shm_open(name, flags, mode);
}
ssize_t read_hook(int fd, void* data, size_t count) noexcept {
    const int step = due(read_k);
    return step < 0 ? -1 : real.read(fd, data, step > 0 ? 1 : count);
}
ssize_t write_hook(int fd, const void* data, size_t count) noexcept {
    const int step = due(write_k);
    return step < 0 ? -1 : real.write(fd, data, step > 0 ? 1 : count);
}
ssize_t copy_hook(int in, off64_t* in_at, int out, off64_t* out_at, size_t count,
                  unsigned flags) noexcept {
    const int step = due(copy_k);
    return step < 0 ? -1
                    : real.copy_file_range(in, in_at, out, out_at, step > 0 ? 1 : count, flags);
}
int ftruncate_hook(int fd, off_t size) noexcept {
    return due(ftruncate_k) < 0 ? -1 : real.ftruncate(fd, size);
}
void* mmap_hook(void* at, size_t size, int protection, int flags, int fd, off_t offset) noexcept {
    return due(mmap_k) < 0 ? MAP_FAILED : real.mmap(at, size, protection, flags, fd, offset);
}
int poll_hook(pollfd* entries, nfds_t count, int wait_ms) noexcept {
    return due(poll_k) < 0 ? -1 : real.poll(entries, count, wait_ms);
}
// posix_spawn returns its error rather than setting errno.
int spawn_hook(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
               const posix_spawnattr_t* attributes, char* const argv[],
               char* const envp[]) noexcept {
    return due(spawn_k) < 0 ? fault.error
                            : real.posix_spawn(pid, path, actions, attributes, argv, envp);
}
size_t iconv_hook(iconv_t converter, char** in, size_t* in_left, char** out,
                  size_t* out_left) noexcept {
    return due(iconv_k) < 0 ? size_t(-1) : real.iconv(converter, in, in_left, out, out_left);
}

std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> entries;
    std::error_code missing;
    for (const auto& entry : fs::recursive_directory_iterator(root, missing))
        entries[fs::relative(entry.path(), root)] =
            entry.is_directory() ? "/" : read_file(entry.path());
    return entries;
}
size_t open_descriptors() {
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}
bool shared_memory_holds(const std::string& name) {
    const fs::directory_iterator shm("/dev/shm");
    return std::any_of(begin(shm), end(shm), [&](const auto& entry) {
        return entry.path().string().find(name) != std::string::npos;
    });
}

// A source tree, a tree to remove, a file to overwrite, a serial line and
// names of its own; /tmp and /dev/shm are different file systems here.
struct world {
    temp_folder folder;
    const std::string source = folder.join("source"), doomed = folder.join("doomed"),
                      copy = folder.join("copy"), name = unique_name("fault"),
                      moved = "/dev/shm/" + unique_name("moved");
    serial_pair line;
    std::map<std::string, std::string> original;
    world() {
        fs::create_directories(source + "/sub");
        std::ofstream(source + "/a.txt") << "alpha";
        std::ofstream(source + "/sub/b.bin") << std::string(300'000, 'b');
        fs::copy(source, doomed, fs::copy_options::recursive);
        std::ofstream(copy) << "old content";
        original = tree(source);
    }
    ~world() {
        std::error_code ignored;
        fs::remove_all(moved, ignored);
    }
};

template <typename T>
void destroy(void (*release)(T**), std::initializer_list<T*> handles) {
    for (T* handle : handles)
        release(&handle);
}
// What an operation reports, once a reported success has been checked.
template <typename Check>
bool verified(bool ok, Check correct) {
    EXPECT_TRUE(!ok || correct()) << "success reported with a wrong result";
    return ok;
}

// Rows: what runs, and an errno beyond EINTR and short counts that must not fail it.
const struct operation {
    const char* name;
    int also_survived;
    bool (*run)(world&);
} operations[] = {
    {"file copy onto a file", EXDEV,
     [](world& w) {
         return verified(os_file_copy((w.source + "/sub/b.bin").c_str(), w.copy.c_str(), false),
                         [&] { return read_file(w.copy) == w.original["sub/b.bin"]; });
     }},
    {"folder copy", EXDEV,
     [](world& w) {
         return verified(os_folder_copy(w.source.c_str(), (w.copy + "-tree").c_str(), false),
                         [&] { return tree(w.copy + "-tree") == w.original; });
     }},
    {"folder move across file systems", EXDEV,
     [](world& w) {
         const bool ok = os_folder_move(w.source.c_str(), w.moved.c_str());
         // A source that could not be removed completely stays beside the complete copy.
         EXPECT_TRUE(ok ? !fs::exists(w.source) && tree(w.moved) == w.original
                        : !fs::exists(w.moved) || tree(w.moved) == w.original)
             << ok;
         return ok;
     }},
    {"folder removal", 0,
     [](world& w) {
         return verified(os_folder_remove(w.doomed.c_str(), true),
                         [&] { return !fs::exists(w.doomed); });
     }},
    {"named mutex, event and semaphore", 0,
     [](world& w) {
         // A create always returns a handle; a failed one is unusable. Only the mutex's use
         // is not checked.
         os_recursive_mutex_handle *mutex = nullptr, *mutex_again = nullptr;
         capture_stdout([&] {
             mutex = os_recursive_mutex_create(w.name.c_str());
             mutex_again = os_recursive_mutex_create(w.name.c_str());
         });
         auto *event = os_event_create(true, false, w.name.c_str()),
              *event_again = os_event_create(true, false, w.name.c_str());
         auto *semaphore = os_semaphore_create(1, w.name.c_str()),
              *semaphore_again = os_semaphore_create(1, w.name.c_str());
         os_event_set_event(event);
         const bool ok =
             os_event_wait_timeout(event_again, {}) &&
             os_semaphore_wait_timeout(semaphore_again, {}) &&
             !os_semaphore_wait_timeout(semaphore, {}) &&
             (os_semaphore_release(semaphore), os_semaphore_wait_timeout(semaphore_again, {}));
         destroy(os_recursive_mutex_destroy, {mutex, mutex_again});
         destroy(os_event_destroy, {event, event_again});
         destroy(os_semaphore_destroy, {semaphore, semaphore_again});
         return ok;
     }},
    {"shared memory", 0,
     [](world& w) {
         os_sharememory_handle *block = os_sharememory_create(w.name.c_str(), 64),
                               *again = os_sharememory_open(w.name.c_str()),
                               *unnamed = os_sharememory_create(nullptr, 64);
         const bool ok = verified(block && again && unnamed, [&] {
             *static_cast<char*>(os_sharememory_get_buffer(block)) = 'x';
             return *static_cast<char*>(os_sharememory_get_buffer(again)) == 'x';
         });
         destroy(os_sharememory_destroy, {block, again, unnamed});
         return ok;
     }},
    {"serial write and read", EAGAIN,
     [](world& w) {
         intptr_t port = os_serial_open(w.line.name.c_str(), 115200, 0, 0);
         char got[6] = {};
         const int32_t written =
             port == -1 ? -1 : os_serial_write(port, reinterpret_cast<const uint8_t*>("hello"), 5);
         EXPECT_TRUE(written == 5 || written == -1) << written;
         const bool ok =
             verified(written == 5,
                      [&] { return receive_until(w.line.far_end, "hello") == "hello"; }) &&
             send_bytes(w.line.far_end, "world") && os_serial_select(port, 1000) &&
             verified(
                 os_serial_read(port, reinterpret_cast<uint8_t*>(got), 5, nullptr, 0, 1000) == 5,
                 [&] { return std::string(got) == "world"; });
         os_serial_close(&port);
         return ok;
     }},
    {"program start", 0, [](world&) { return os_system_run_application("/bin/true", nullptr, 1); }},
    {"text conversion", E2BIG,
     [](world&) {
         scoped_environment_variable locale("LC_ALL", "C");
         char local[64] = {}, back[64] = {};
         uint32_t local_size = sizeof local, back_size = sizeof back;
         EXPECT_TRUE(os_utf8helper_oem_from_utf8("caf\xC3\xA9 au lait", local, &local_size) &&
                     os_utf8helper_oem_to_utf8("plain", back, &back_size));
         // A failed conversion delivers its error text; anything else must be the whole result.
         for (const auto& [text, whole] :
              {std::pair<std::string, std::string>{local, "caf? au lait"}, {back, "plain"}})
             EXPECT_TRUE(text == whole || text == "Error Encode!") << text;
         return std::string(local) == "caf? au lait" && std::string(back) == "plain";
     }},
};

TEST(LinuxFaultInjection, EveryFailingCallIsSurvivedOrReported) {
    system_calls = {openat_hook, shm_open_hook, read_hook,  write_hook, copy_hook, ftruncate_hook,
                    mmap_hook,   fcntl_hook,    poll_hook, spawn_hook, iconv_hook};
    for (const auto& row : operations) {
        std::array<int, kinds> counted{};
        // Counted on a second run, which finds the caches filled.
        for (int warm = 0; warm < 2; ++warm, counted = calls) {
            world w;
            calls = {};
            EXPECT_TRUE(row.run(w)) << row.name;
        }
        for (int k = 0; k < kinds; ++k)
            for (int nth = 1; nth <= counted[k]; ++nth)
                for (const int error : kinds_of_call[k].errors) {
                    SCOPED_TRACE(std::string(row.name) + ": " + kinds_of_call[k].name + " call " +
                                 std::to_string(nth) + " " +
                                 (error == shorten ? "short" : strerrorname_np(error)));
                    world w;
                    const size_t descriptors = open_descriptors();
                    calls = {};
                    fault = {kind(k), nth, error};
                    const bool ok = row.run(w);
                    fault = {};
                    EXPECT_TRUE(ok ||
                                (error != EINTR && error != shorten && error != row.also_survived));
                    EXPECT_EQ(open_descriptors(), descriptors);
                    EXPECT_FALSE(shared_memory_holds(w.name));
                    EXPECT_TRUE(!fs::exists(w.source) || tree(w.source) == w.original ||
                                tree(w.moved) == w.original);
                }
    }
    system_calls = real;
}

// A second creator may find a name the first has just made but not locked
// yet, take it and lay it out: the first must then attach to that object,
// not lay it out again over what the second has already done with it.
TEST(LinuxFaultInjection, ACreatorRacedToItsFreshNameKeepsTheObjectTheOtherLaidOut) {
    const std::string name = unique_name("raced");
    os_event_handle* other = nullptr;
    system_calls.fcntl = fcntl_hook;
    calls = {};
    fault = {fcntl_k, 1, 0};  // the first creator's first lock
    meanwhile = [&] {
        other = os_event_create(true, false, name.c_str());
        os_event_set_event(other);
    };
    os_event_handle* first = os_event_create(true, false, name.c_str());
    system_calls = real;
    EXPECT_TRUE(other != nullptr && os_event_wait_timeout(first, {})) << "laid out twice";
    os_event_destroy(&first);
    os_event_destroy(&other);
}

}  // namespace

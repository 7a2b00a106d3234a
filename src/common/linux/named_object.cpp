// Named objects on Linux shared memory. The naming, layout and lifetime
// protocol are described in common/linux/named_object.hpp.

#include "common/linux/named_object.hpp"

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <utility>

#include "common/last_error.hpp"
#include "common/linux/restart_on_signal.hpp"
#include "common/linux/system_calls.hpp"
#include "common/linux/unique_fd.hpp"
#include "common/object_name.hpp"
#include "common/object_record.hpp"

namespace corvane::detail {

struct named_object::platform_state {
    int descriptor = -1;
    void* base = nullptr;
    size_t mapped_length = 0;
    std::string system_name;
};

namespace {

// NAME_MAX of the file systems that hold POSIX shared memory; fixed rather
// than read from the system so that every program maps a name the same way.
constexpr size_t name_component_limit = 255;
// Retries happen only while another process is half-way through creating or
// removing the same name, or died doing so; the bound (about two seconds of
// back-off) turns a wedged peer into a failure instead of a hang.
constexpr int attempt_limit = 2000;

static_assert(sizeof(object_record) == named_object_record_size);
static_assert(shared_memory_record_kind == static_cast<uint32_t>(named_kind::shared_memory));

const char* kind_word(named_kind kind) {
    switch (kind) {
        case named_kind::mutex:
            return "mutex";
        case named_kind::event:
            return "event";
        case named_kind::semaphore:
            return "semaphore";
        case named_kind::shared_memory:
            return "shm";
    }
    return "unknown";
}

std::string map_name(named_kind kind, std::string_view name) {
    static constexpr char hex_upper[] = "0123456789ABCDEF";
    const std::string_view stem_word = kind_word(kind);
    constexpr std::string_view lead = "/corvane.";
    const size_t stem = lead.size() + stem_word.size();
    // Sized for every byte escaped, then cut to what was written: one
    // allocation, where appending byte by byte regrew the string.
    std::string mapped(stem + 1 + 3 * name.size(), '\0');
    char* out = std::copy(lead.begin(), lead.end(), mapped.data());
    out = std::copy(stem_word.begin(), stem_word.end(), out);
    *out++ = '.';
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= '!' && byte <= '~' && byte != '/' && byte != '%') {
            *out++ = c;
        } else {
            out[0] = '%';
            out[1] = hex_upper[byte >> 4];
            out[2] = hex_upper[byte & 0xF];
            out += 3;
        }
    }
    mapped.resize(static_cast<size_t>(out - mapped.data()));
    if (mapped.size() - 1 <= name_component_limit) {
        return mapped;
    }
    mapped.resize(stem);
    return hashed_object_name(mapped, name);
}

size_t object_size(size_t payload_size) { return sizeof(object_record) + payload_size; }

// The hint of how many handles have the object at `base` open.
std::atomic_ref<uint32_t> open_handles(void* base) {
    return std::atomic_ref<uint32_t>(static_cast<object_record*>(base)->open_handles);
}

class mapping {
public:
    mapping(int fd, size_t length)
        : base_(system_calls.mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)),
          length_(length) {}
    ~mapping() {
        if (valid()) {
            munmap(base_, length_);
        }
    }
    mapping(const mapping&) = delete;
    mapping& operator=(const mapping&) = delete;
    bool valid() const { return base_ != MAP_FAILED; }
    void* base() const { return base_; }
    size_t length() const { return length_; }
    object_record& record() const { return *static_cast<object_record*>(base_); }
    void* payload() const { return static_cast<char*>(base_) + sizeof(object_record); }
    void* release() { return std::exchange(base_, MAP_FAILED); }

private:
    void* base_;
    size_t length_;
};

// Locks the whole object for this open file description (not the process,
// so two handles in one process are two holders). Changing a held lock's type
// is one step: a failed try leaves the old lock in place, and no other
// process can get in between.
bool lock(int fd, short type, bool wait) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    while (system_calls.fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool take_exclusive_without_waiting(int fd) { return lock(fd, F_WRLCK, false); }
bool take_shared(int fd) { return lock(fd, F_RDLCK, true); }
bool take_shared_without_waiting(int fd) { return lock(fd, F_RDLCK, false); }

// Only an exclusive holder removes a name and a removed name never returns
// to the same object, so an object that still has a link, seen while this
// handle holds a lock on it, is the one its name refers to.
bool still_named(int fd, struct stat* status) {
    return fstat(fd, status) == 0 && status->st_nlink > 0;
}

void back_off(int attempt) {
    if (attempt < 4) {
        sched_yield();
        return;
    }
    const long step_ns = 20'000L * (attempt < 50 ? attempt : 50);
    struct timespec pause = {0, step_ns};
    nanosleep(&pause, nullptr);
}

enum class outcome { done, retry, failed };

struct attachment {
    void* base = nullptr;
    size_t mapped_length = 0;
    void* payload = nullptr;
    size_t payload_size = 0;
};

// Runs as the only holder (exclusive lock), or with the shared lock on a
// name this handle has just made (`shared_held`): lays the object out
// afresh, initialises the payload, marks it ready and, if need be, turns the
// lock into the shared lock every handle keeps, which lets the waiting
// openers in. On failure the lock is still held.
bool initialise_object(int fd, const struct stat& status, named_kind kind, std::string_view name,
                       size_t payload_size, const std::function<void(void*)>& initialise,
                       bool shared_held, attachment* result) {
    const size_t size = object_size(payload_size);
    // The process umask must not narrow the owner's own access.
    if ((status.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0) {
        return false;
    }
    // Truncating to 0 first zero-fills whatever an earlier holder left.
    const auto truncate = [fd](off_t length) {
        return restart_on_signal([&] { return system_calls.ftruncate(fd, length); });
    };
    if ((status.st_size != 0 && truncate(0) != 0) || truncate(static_cast<off_t>(size)) != 0) {
        return false;
    }
    mapping view(fd, size);
    if (!view.valid()) {
        return false;
    }
    object_record& record = view.record();
    record.magic = object_record_magic;
    record.layout = object_record_layout;
    record.kind = static_cast<uint32_t>(kind);
    record.payload_size = payload_size;
    record.name_length = static_cast<uint32_t>(name.size());
    std::memcpy(record.name, name.data(), name.size());
    if (initialise) {
        initialise(view.payload());
    }
    std::atomic_ref<uint32_t>(record.state).store(object_record_ready, std::memory_order_release);
    if (!shared_held && !take_shared(fd)) {
        return false;
    }
    *result = {view.base(), view.length(), view.payload(), payload_size};
    view.release();
    return true;
}

// Runs as one of the holders (shared lock): maps an object made by another
// handle. It is not ready while a creator lays out a name it has just made,
// or when its initialiser died part-way.
outcome attach_object(int fd, off_t current_size, named_kind kind, std::string_view name,
                      size_t minimum_payload, attachment* result) {
    const auto size = static_cast<size_t>(current_size);
    if (size < sizeof(object_record)) {
        return outcome::retry;
    }
    mapping view(fd, size);
    if (!view.valid()) {
        return outcome::failed;
    }
    object_record& record = view.record();
    if (std::atomic_ref<uint32_t>(record.state).load(std::memory_order_acquire) !=
        object_record_ready) {
        return outcome::retry;
    }
    if (record.magic != object_record_magic || record.layout != object_record_layout ||
        record.kind != static_cast<uint32_t>(kind) || record.name_length != name.size() ||
        std::memcmp(record.name, name.data(), name.size()) != 0 || record.payload_size > size ||
        object_size(record.payload_size) != size || record.payload_size < minimum_payload) {
        return outcome::failed;
    }
    *result = {view.base(), view.length(), view.payload(), record.payload_size};
    view.release();
    return outcome::done;
}

}  // namespace

std::string named_object::system_name(named_kind kind, const char* name) {
    const std::optional<std::string_view> full_name = object_name(name);
    return full_name ? map_name(kind, *full_name) : std::string();
}

std::unique_ptr<named_object> named_object::create(named_kind kind, const char* name,
                                                   size_t payload_size,
                                                   const std::function<void(void*)>& initialise,
                                                   bool* created) {
    return acquire(kind, name, true, payload_size, initialise, created);
}

std::unique_ptr<named_object> named_object::open(named_kind kind, const char* name) {
    return acquire(kind, name, false, 0, nullptr, nullptr);
}

std::unique_ptr<named_object> named_object::acquire(named_kind kind, const char* name,
                                                    bool create, size_t payload_size,
                                                    const std::function<void(void*)>& initialise,
                                                    bool* created) {
    const std::optional<std::string_view> valid_name = object_name(name);
    if (!valid_name || payload_size > (SIZE_MAX >> 2)) {
        return nullptr;
    }
    last_error_keeper keep_errno;
    const std::string_view full_name = *valid_name;
    std::unique_ptr<named_object> object(new named_object());
    object->platform_ = std::make_unique<platform_state>();
    object->platform_->system_name = map_name(kind, full_name);
    const char* mapped = object->platform_->system_name.c_str();

    for (int attempt = 0; attempt < attempt_limit; ++attempt) {
        if (attempt > 0) {
            back_off(attempt);
        }
        int fd = -1;
        if (create) {
            fd = system_calls.shm_open(mapped, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        }
        const bool made_name = fd >= 0;
        if (fd < 0 && (!create || errno == EEXIST)) {
            fd = system_calls.shm_open(mapped, O_RDWR | O_CLOEXEC, 0);
            if (fd < 0 && create && errno == ENOENT) {
                continue;
            }
        }
        if (fd < 0) {
            return nullptr;
        }
        unique_fd guard(fd);

        attachment attached;
        struct stat status {};
        bool lay_out = false;
        // A made name whose shared lock fails goes the way of a found one:
        // it must then end up shared like any other, not kept exclusive.
        const bool shared_held = made_name && take_shared_without_waiting(fd);
        if (shared_held) {
            // A name made just now is laid out under the shared lock every
            // handle keeps, which spares taking a lock and turning it into
            // that one; others that open it meanwhile find it not ready and
            // try again. A creator that found the name first and took it
            // exclusively may have laid it out already: then it has a size.
            if (!still_named(fd, &status)) {
                continue;
            }
            lay_out = status.st_size == 0;
        } else if (take_exclusive_without_waiting(fd)) {
            if (!still_named(fd, &status)) {
                continue;
            }
            // Nobody holds the object: its holders have gone, or its creator
            // has not taken its lock yet (and will retry).
            if (!create) {
                shm_unlink(mapped);
                return nullptr;
            }
            lay_out = true;
        } else {
            if ((errno != EAGAIN && errno != EACCES) || !take_shared(fd)) {
                return nullptr;
            }
            if (!still_named(fd, &status)) {
                continue;
            }
        }
        if (lay_out) {
            if (!initialise_object(fd, status, kind, full_name, payload_size, initialise, shared_held,
                                   &attached)) {
                // No other handle can hold the lock exclusively meanwhile, so
                // the name is still this object's: nothing half-made is left.
                shm_unlink(mapped);
                return nullptr;
            }
            if (created != nullptr) {
                *created = true;
            }
        } else {
            const outcome result =
                attach_object(fd, status.st_size, kind, full_name, payload_size, &attached);
            if (result == outcome::failed) {
                return nullptr;
            }
            if (result == outcome::retry) {
                continue;
            }
            if (created != nullptr) {
                *created = false;
            }
        }

        open_handles(attached.base).fetch_add(1, std::memory_order_relaxed);
        object->platform_->descriptor = guard.release();
        object->platform_->base = attached.base;
        object->platform_->mapped_length = attached.mapped_length;
        object->payload_ = attached.payload;
        object->payload_size_ = attached.payload_size;
        return object;
    }
    return nullptr;
}

named_object::~named_object() {
    const int fd = platform_->descriptor;
    if (fd < 0) {
        return;
    }
    last_error_keeper keep_errno;
    const bool others_open = open_handles(platform_->base).fetch_sub(1, std::memory_order_relaxed) > 1;
    munmap(platform_->base, platform_->mapped_length);
    // The only holder removes the name. Held since the handle attached, the
    // lock has kept the name on this object. When several handles close at
    // once, each may see the others in place, so a handle that fails lets go
    // and tries again: a failed try then holds nothing and the last one
    // succeeds, but the name may have gone in between. Where other handles
    // are open the first try would fail, so it is left out; the count may be
    // wrong (a holder died), which only costs that try or a later one.
    bool only_holder = !others_open && take_exclusive_without_waiting(fd);
    if (!only_holder && lock(fd, F_UNLCK, false)) {
        struct stat status {};
        only_holder = take_exclusive_without_waiting(fd) && still_named(fd, &status);
    }
    if (only_holder) {
        shm_unlink(platform_->system_name.c_str());
    }
    close(fd);
}

}  // namespace corvane::detail

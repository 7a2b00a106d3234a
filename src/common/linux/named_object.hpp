// Named objects shared between processes: the storage layer under named
// mutexes, events, semaphores and shared-memory blocks.
//
// A named object is a block of memory that every process opening the same
// kind and name maps at once. The layer owns naming, permissions, race-free
// creation and lifetime; what lives in the payload (process-shared locks,
// counters, user bytes) belongs to the caller.
//
// Lifetime follows Windows kernel objects: an object lives
// while any handle on it is open in any process, a process that dies no
// longer keeps it alive, and the last handle to close removes the name.
//
// On Linux an object is a shared-memory object (shm_open), mode 0600, so
// that other users cannot open it. Its name is
//     "/corvane.<kind>.<escaped name>"
// with <kind> one of "mutex", "event", "semaphore", "shm". The name first
// passes the neutral rules of common/object_name.hpp (a leading "Local\" is
// dropped, so "Local\x" and "x" are one object). In the
// escaped name the bytes '!' to '~' other than '/' and '%' stand for
// themselves and every other byte becomes '%' and two upper-case hex digits
// ("a b/c" -> "a%20b%2Fc"). When the result would exceed 255 bytes after the
// '/', the object is named
//     "/corvane.<kind>#<SHA-256 of the name, 64 lower-case hex digits>"
// instead; the full name is kept in the object and compared on open, so two
// names never share an object even if their digests were to collide.
//
// Layout: a record of named_object_record_size (1088) bytes, in the
// machine's byte order: at 0 the magic "CRVN", at 4 the layout (1), at 8 the
// kind, at 12 the state (1 once initialised), at 16 the 64-bit payload size,
// at 24 the name length, at 28 the count of open handles (a hint only), at
// 64 the name. The payload follows at offset 1088
// (a multiple of 64, so process-shared pthread objects fit); the object's
// size is 1088 + the payload size.
//
// Lifetime: every handle holds a shared (read) lock over the whole object,
// an open-file-description record lock (fcntl F_OFD_SETLK), which belongs to
// its own descriptor and goes when the descriptor closes or the process
// dies. A process that initialises an object nobody holds holds it
// exclusively until the payload is ready, so openers wait on the lock; one
// that has just made the name initialises under its shared lock, and
// openers find the object not ready and try again. Either way a creator
// that dies releases its lock. Whoever can take the lock exclusively without waiting is the
// only holder: an open then finds nothing and a create initialises the
// object afresh; a closing handle, which lets go of its shared lock first so
// that the last of several closing at once succeeds, removes the name. A
// closing handle first tries to take the lock over from its shared one,
// which leaves no gap, unless the count of open handles says others have
// the object open: then that try would fail, and it lets go at once. Only
// an exclusive holder removes a name, so a handle that took its shared lock
// and then sees the object still linked (st_nlink > 0) holds the object its
// name refers to until it closes; otherwise it retries. Descriptors are
// close-on-exec. A child made by fork without exec shares its parent's locks
// and so is not a holder of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane::detail {

// Kinds live in separate name spaces here: a mutex and an event may share a
// name (unlike Windows, where kernel objects share one name space).
enum class named_kind : uint32_t {
    mutex = 1,
    event = 2,
    semaphore = 3,
    shared_memory = 4,
};

// Size of the record that precedes the payload (see the layout above).
inline constexpr size_t named_object_record_size = 1088;

class named_object {
public:
    // Opens `name`, creating it with `payload_size` zeroed bytes when no live
    // object of that kind and name exists. `initialise` runs exactly once, in
    // the creating process, before any other process can use the payload;
    // concurrent creators in other processes wait until it has finished.
    // *created (when `created` is not null) tells whether this call created
    // the object. `errno` is left as it was. Fails (null) for a null or too
    // long name, an existing object whose payload is smaller than
    // `payload_size`, or a system failure. A create that finds an object no
    // handle holds any more (its holders died) makes it afresh; an open finds
    // nothing there.
    static std::unique_ptr<named_object> create(named_kind kind, const char* name,
                                                size_t payload_size,
                                                const std::function<void(void*)>& initialise,
                                                bool* created);

    // Opens an existing, initialised object and maps its whole payload; null
    // when none exists.
    static std::unique_ptr<named_object> open(named_kind kind, const char* name);

    // Unmaps the payload and gives up this handle's hold on the object; the
    // last holder in any process removes the name.
    ~named_object();

    named_object(const named_object&) = delete;
    named_object& operator=(const named_object&) = delete;

    // The system name of an object of `kind` called `name` (see the mapping
    // above); "" for a null name or one of object_name_limit bytes or more.
    static std::string system_name(named_kind kind, const char* name);

    void* payload() const { return payload_; }
    size_t payload_size() const { return payload_size_; }

private:
    named_object() = default;

    // create and open share one loop; open passes create = false.
    static std::unique_ptr<named_object> acquire(named_kind kind, const char* name, bool create,
                                                 size_t payload_size,
                                                 const std::function<void(void*)>& initialise,
                                                 bool* created);

    void* payload_ = nullptr;
    size_t payload_size_ = 0;
    // Platform state (descriptor, mapping base and length, ...) lives behind
    // this pointer so the header stays free of platform types.
    struct platform_state;
    std::unique_ptr<platform_state> platform_;
};

}  // namespace corvane::detail

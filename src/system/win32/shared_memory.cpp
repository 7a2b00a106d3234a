// Shared-memory blocks on Windows: file mappings backed by the paging file,
// which live while any handle on them is open.
//
// A block is laid out as on Linux, so that a peer reads it the same way on
// both platforms: a 1088-byte record (the magic "CRVN", layout 1, kind 4,
// the state 1 once the record is complete, the 64-bit block size at 16, the
// name's length at 24 and the name at 64), then the block's bytes. The
// record holds the name without a leading "Local\", so that a shortened
// system name (below) can never open another name's block.
//
// System name: the name itself, as for the named mutexes, events and
// semaphores, which share the one name space of kernel objects. A name that
// the A calls refuse (260 bytes or longer), that holds a backslash other
// than after a leading "Global\", or that is empty after it, becomes
// "corvane#<SHA-256 of the name, 64 lower-case hex digits>" (after the
// "Global\", which stays); so does a name that itself begins "corvane#", so
// that none can pose as another's short form.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "common/object_name.hpp"
#include "common/object_record.hpp"
#include "system/shared_memory.hpp"

namespace corvane::detail {

namespace {

constexpr size_t system_name_limit = 260;

// A creator completes its record within a few stores; the bound only turns
// a creator that died in between into a failure instead of a hang.
constexpr int ready_attempts = 2000;

class mapped_block final : public shared_block {
public:
    mapped_block(HANDLE mapping, void* base)
        : shared_block(static_cast<char*>(base) + sizeof(object_record)), mapping_(mapping),
          base_(base) {}
    ~mapped_block() override {
        UnmapViewOfFile(base_);
        CloseHandle(mapping_);
    }
    mapped_block(const mapped_block&) = delete;
    mapped_block& operator=(const mapped_block&) = delete;

private:
    HANDLE mapping_;
    void* base_;
};

// The name as the record holds it (empty for an unnamed block) and the
// system name of the mapping (none for an unnamed block); false when `name`
// cannot name a block.
bool block_names(const char* name, std::string_view* plain, std::optional<std::string>* system) {
    if (name == nullptr) {
        return true;
    }
    const std::optional<std::string_view> known = object_name(name);
    if (!known) {
        return false;
    }
    *plain = *known;
    *system = flat_object_name(name, system_name_limit);
    return true;
}

// Maps the whole mapping and checks that it holds a complete record for
// `name` with at least `minimum_size` bytes; null (the mapping closed) when
// it does not.
std::unique_ptr<shared_block> map_existing(HANDLE mapping, std::string_view name,
                                           size_t minimum_size) {
    void* base = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (base == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    auto block = std::make_unique<mapped_block>(mapping, base);
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(base, &region, sizeof region) == 0 || region.RegionSize < sizeof(object_record)) {
        return nullptr;
    }
    auto& record = *static_cast<object_record*>(base);
    std::atomic_ref<uint32_t> state(record.state);
    for (int attempt = 0; state.load(std::memory_order_acquire) != object_record_ready; ++attempt) {
        if (attempt == ready_attempts) {
            return nullptr;
        }
        Sleep(1);
    }
    if (record.magic != object_record_magic || record.layout != object_record_layout ||
        record.kind != shared_memory_record_kind || record.name_length != name.size() ||
        std::memcmp(record.name, name.data(), name.size()) != 0 ||
        record.payload_size > region.RegionSize - sizeof(object_record) || record.payload_size < minimum_size) {
        return nullptr;
    }
    return block;
}

}  // namespace

std::unique_ptr<shared_block> create_block(const char* name, size_t size, bool* created) {
    std::string_view plain;
    std::optional<std::string> system_name;
    if (!block_names(name, &plain, &system_name)) {
        return nullptr;
    }
    const uint64_t total = sizeof(object_record) + static_cast<uint64_t>(size);
    // Only an existing block sets the error value on success.
    SetLastError(ERROR_SUCCESS);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                        static_cast<DWORD>(total >> 32), static_cast<DWORD>(total),
                                        system_name ? system_name->c_str() : nullptr);
    if (mapping == nullptr) {
        return nullptr;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        *created = false;
        return map_existing(mapping, plain, size);
    }
    void* base = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (base == nullptr) {
        CloseHandle(mapping);
        return nullptr;
    }
    auto& record = *static_cast<object_record*>(base);
    record.magic = object_record_magic;
    record.layout = object_record_layout;
    record.kind = shared_memory_record_kind;
    record.payload_size = size;
    record.name_length = static_cast<uint32_t>(plain.size());
    std::memcpy(record.name, plain.data(), plain.size());
    std::atomic_ref<uint32_t>(record.state).store(object_record_ready, std::memory_order_release);
    *created = true;
    return std::make_unique<mapped_block>(mapping, base);
}

std::unique_ptr<shared_block> open_block(const char* name) {
    std::string_view plain;
    std::optional<std::string> system_name;
    if (name == nullptr || !block_names(name, &plain, &system_name)) {
        return nullptr;
    }
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, system_name->c_str());
    if (mapping == nullptr) {
        return nullptr;
    }
    return map_existing(mapping, plain, 0);
}

}  // namespace corvane::detail

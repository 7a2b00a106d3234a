// The record in front of a named object's payload. Linux shared-memory
// objects and Windows shared-memory blocks carry the same one, so that a
// peer reads a block the same way on both platforms.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/object_name.hpp"

namespace corvane::detail {

inline constexpr uint32_t object_record_magic = 0x4E565243;  // "CRVN" in little-endian memory
inline constexpr uint32_t object_record_layout = 1;
// `state` once the record is complete; 0 while its creator fills it in.
inline constexpr uint32_t object_record_ready = 1;
// `kind` of a shared-memory block.
inline constexpr uint32_t shared_memory_record_kind = 4;

struct object_record {
    uint32_t magic;
    uint32_t layout;
    uint32_t kind;
    uint32_t state;
    uint64_t payload_size;
    uint32_t name_length;
    // How many handles have the object open, as far as they said so: a hint
    // that spares a closing handle a lock attempt bound to fail. Handles of
    // processes that died stay counted, so nothing may depend on it.
    uint32_t open_handles;
    uint8_t reserved[32];
    char name[object_name_limit];
};
static_assert(sizeof(object_record) == 1088);
static_assert(offsetof(object_record, payload_size) == 16);
static_assert(offsetof(object_record, open_handles) == 28);
static_assert(offsetof(object_record, name) == 64);
// The payload follows the record; 64 bytes suit any process-shared primitive.
static_assert(sizeof(object_record) % 64 == 0);

}  // namespace corvane::detail

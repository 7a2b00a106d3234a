// Shared-memory blocks on Linux: a named block is a named object of the
// shared-memory kind (common/linux/named_object.hpp), whose payload is the
// block; an unnamed one is an anonymous shared mapping, which children made
// by fork share.

#include <sys/mman.h>

#include "common/linux/named_object.hpp"
#include "common/linux/system_calls.hpp"
#include "system/shared_memory.hpp"

namespace corvane::detail {

namespace {

class named_block final : public shared_block {
public:
    explicit named_block(std::unique_ptr<named_object> object)
        : shared_block(object->payload()), object_(std::move(object)) {}

private:
    std::unique_ptr<named_object> object_;
};

class unnamed_block final : public shared_block {
public:
    unnamed_block(void* view, size_t size) : shared_block(view), size_(size) {}
    ~unnamed_block() override { munmap(view(), size_); }

    unnamed_block(const unnamed_block&) = delete;
    unnamed_block& operator=(const unnamed_block&) = delete;

private:
    size_t size_;
};

std::unique_ptr<shared_block> block_of(std::unique_ptr<named_object> object) {
    if (!object) {
        return nullptr;
    }
    return std::make_unique<named_block>(std::move(object));
}

}  // namespace

std::unique_ptr<shared_block> create_block(const char* name, size_t size, bool* created) {
    if (name != nullptr) {
        return block_of(
            named_object::create(named_kind::shared_memory, name, size, nullptr, created));
    }
    void* view =
        system_calls.mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED) {
        return nullptr;
    }
    *created = true;
    return std::make_unique<unnamed_block>(view, size);
}

std::unique_ptr<shared_block> open_block(const char* name) {
    return block_of(named_object::open(named_kind::shared_memory, name));
}

}  // namespace corvane::detail

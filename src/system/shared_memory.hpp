// Shared memory: the platform primitives that make, open and map blocks.
#pragma once

#include <cstddef>
#include <memory>

namespace corvane::detail {

// One mapping of a block; ending it unmaps the view and gives up this
// mapping's hold on the block.
class shared_block {
public:
    virtual ~shared_block() = default;
    // The block's first byte in this process.
    void* view() const { return view_; }

protected:
    explicit shared_block(void* view) : view_(view) {}

private:
    void* view_;
};

// Opens the block called `name`, or creates it with `size` zeroed bytes when
// none exists, and maps it; *created tells which. A null `name` makes a block
// without a name. Null when the name cannot name a block, an existing block
// is smaller than `size` (it is left untouched), or the block cannot be made
// or mapped; nothing is left behind then. `size` is not 0.
std::unique_ptr<shared_block> create_block(const char* name, size_t size, bool* created);

// Opens and maps all of the existing block called `name`; null when there is
// none or it cannot be mapped. `name` is not null.
std::unique_ptr<shared_block> open_block(const char* name);

}  // namespace corvane::detail

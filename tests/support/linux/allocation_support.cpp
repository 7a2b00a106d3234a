// Linux: the program's replacement operator new serves the library too.

#include "allocation_support.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocation_count{0};
}  // namespace

void* operator new(std::size_t size) {
    ++allocation_count;
    void* block = std::malloc(size == 0 ? 1 : size);
    return block != nullptr ? block : throw std::bad_alloc();
}
// GCC sees free() meet a block from operator new once these are inlined; here
// both sides are this file's own malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace corvane::test {

long allocations_so_far() { return allocation_count.load(); }

}  // namespace corvane::test

#include "AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace loftwick::bench {
namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};

void* Allocate(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

void StartCountingAllocations() {
    allocations = 0;
    counting = true;
}

uint64_t StopCountingAllocations() {
    counting = false;
    return allocations;
}

}  // namespace loftwick::bench

// The replaceable allocation functions; the aligned ones keep the library's own, which pair with these
// deletes through free as well.
void* operator new(std::size_t size) { return loftwick::bench::Allocate(size); }
void* operator new[](std::size_t size) { return loftwick::bench::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return loftwick::bench::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return loftwick::bench::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

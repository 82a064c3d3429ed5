#include "tests/allocation/FailingAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> count{0};
std::atomic<std::size_t> failing{0};
std::atomic<bool> failedOnce{false};

// Whether this allocation is the one that fails.
bool refuse() noexcept {
    if (!counting.load()) return false;
    if (++count != failing.load()) return false;
    failedOnce = true;
    return true;
}

void* allocate(std::size_t size, std::size_t alignment) noexcept {
    if (refuse()) return nullptr;
    if (size == 0) size = 1;
    if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
#ifdef _WIN32
    return ::_aligned_malloc(size, alignment);
#else
    void* block = nullptr;
    return ::posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
#endif
}

// Gives back a block of the over-aligned forms (Windows' C library keeps those apart).
void releaseAligned(void* block) noexcept {
#ifdef _WIN32
    ::_aligned_free(block);
#else
    std::free(block);
#endif
}

void* allocateOrThrow(std::size_t size, std::size_t alignment) {
    if (void* block = allocate(size, alignment)) return block;
    throw std::bad_alloc();
}

}  // namespace

namespace failing_allocator {

void failAt(std::size_t n) {
    count = 0;
    failing = n;
    failedOnce = false;
    counting = true;
}

bool stop() {
    counting = false;
    return failedOnce.load();
}

std::size_t counted() {
    return count.load();
}

}  // namespace failing_allocator

// All the replaceable forms, so that no allocation of the program passes by.
void* operator new(std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    releaseAligned(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    releaseAligned(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    releaseAligned(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    releaseAligned(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    releaseAligned(block);
}

#pragma once

// What the C library's allocator does with a large block, as the process's
// policy leaves it.

#include <cstdlib>
#include <optional>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace vessa::test {

// Whether a block of `size` bytes is mapped on its own once a block of 8 MB
// was freed; nothing where that cannot be seen (not glibc, or a sanitizer's
// allocator). By default glibc raises the size from which it maps a block on
// its own to that of the largest such block freed. Seen on a thread of its
// own, whose new heap has no free block to hand out instead.
inline std::optional<bool> mappedOnItsOwnAfterALargerFree(size_t size)
{
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Written to, so that the compiler keeps the blocks.
    const auto allocate = [](size_t bytes) {
        void* block = std::malloc(bytes);
        static_cast<volatile char*>(block)[0] = 1;
        return block;
    };
    bool mapped = false;
    std::thread([&] {
        std::free(allocate(8 * 1024 * 1024));
        const size_t mappedBefore = mallinfo2().hblks;
        void* block = allocate(size);
        mapped = mallinfo2().hblks == mappedBefore + 1;
        std::free(block);
    }).join();
    return mapped;
#else
    (void)size;
    return std::nullopt;
#endif
}

} // namespace vessa::test

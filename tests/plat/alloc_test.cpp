// The allocator setting: a frame's freed memory stays in the process for the next frame.
#include "plat/alloc.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

long minor_faults()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_minflt;
}

// What a frame of the software renderer does to the heap: one large vertex buffer, then 48 MB
// of 64 KiB blocks (binned triangles), each written, then all freed.
void frame_of_allocations()
{
    constexpr size_t ALLOC_BLOCK = size_t(64) << 10, ALLOC_LARGE = size_t(8) << 20;
    std::vector<void*> blocks(size_t(48) << 20 >> 16);
    void* large = std::malloc(ALLOC_LARGE);
    std::memset(large, 1, ALLOC_LARGE);
    for (void*& b : blocks) std::memset(b = std::malloc(ALLOC_BLOCK), 1, ALLOC_BLOCK);
    for (void* b : blocks) std::free(b);
    std::free(large);
}

// The next frame reuses what the last one freed: no fresh pages from the kernel (8 MB alone
// would be 2,048 of them).
TEST(PlatAlloc, FrameMemoryStaysForTheNextFrame)
{
    if (!plat_alloc_setup()) GTEST_SKIP() << "this allocator takes no settings";
    EXPECT_EQ(plat_alloc_setup(), 1);  // again: no change, no refusal
    frame_of_allocations();
    const long before = minor_faults();
    frame_of_allocations();
    EXPECT_LT(minor_faults() - before, 64);
}

}  // namespace

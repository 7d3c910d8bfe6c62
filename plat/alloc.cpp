// The allocator setting, through the C library's mallopt (see alloc.h for why).
#include "plat/alloc.h"

#include <malloc.h>

#include <cstddef>

namespace {

// Free memory at the top of the heap goes back to the kernel only beyond this much: more than
// the renderer frees at once at the end of a frame (up to about 50 MB with 512 patches in a
// 1280 x 1024 window).
constexpr size_t PLAT_ALLOC_TRIM_BYTES = size_t(64) << 20;
// Blocks of at least this size get a mapping of their own, returned to the kernel when freed;
// smaller ones are reused from the heap. Setting the trim above turns off the C library's own
// raising of this bound; this is the ceiling that raising would reach on 64-bit.
constexpr size_t PLAT_ALLOC_MMAP_BYTES = size_t(32) << 20;

}  // namespace

int plat_alloc_setup(void)
{
    const int trim = mallopt(M_TRIM_THRESHOLD, int(PLAT_ALLOC_TRIM_BYTES));
    const int mmap = mallopt(M_MMAP_THRESHOLD, int(PLAT_ALLOC_MMAP_BYTES));
    return trim == 1 && mmap == 1 ? 1 : 0;
}

// The allocator setting, through the C library's mallopt (see alloc.h for why).
#include "plat/alloc.h"

#include <malloc.h>

int plat_alloc_setup(void)
{
    const int trim = mallopt(M_TRIM_THRESHOLD, int(PLAT_ALLOC_TRIM_BYTES));
    const int mmap = mallopt(M_MMAP_THRESHOLD, int(PLAT_ALLOC_MMAP_BYTES));
    return trim == 1 && mmap == 1 ? 1 : 0;
}

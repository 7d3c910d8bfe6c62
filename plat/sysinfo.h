// plat/sysinfo: physical memory figures of the machine.
//
// Provides the total and the available physical memory in bytes, as 64-bit
// values (callers that need a 32-bit figure saturate it themselves).
// Available memory is the kernel's estimate of memory that can be given to
// new allocations without swapping. Thread-safe.
#pragma once
#include <cstdint>

// 1 and both figures on success; 0 with both figures 0 when they cannot be read.
int plat_sysinfo_memory(uint64_t* total_bytes, uint64_t* avail_bytes);

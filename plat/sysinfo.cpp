// Physical memory figures from sysinfo(2) and the kernel's MemAvailable (see sysinfo.h).
#include "plat/sysinfo.h"

#include <sys/sysinfo.h>

#include <cstdio>
#include <cstring>

namespace {

// MemAvailable from the meminfo pseudo-file, in bytes; 0 when absent (old
// kernels), so the caller falls back to the free-memory figure.
uint64_t meminfo_available()
{
    FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kib = 0;
    while (std::fgets(line, sizeof line, f)) {
        unsigned long long v = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &v) == 1) {
            kib = v;
            break;
        }
    }
    std::fclose(f);
    return kib * 1024;
}

}  // namespace

int plat_sysinfo_memory(uint64_t* total_bytes, uint64_t* avail_bytes)
{
    uint64_t total = 0, avail = 0;
    struct sysinfo si;
    std::memset(&si, 0, sizeof si);
    int ok = sysinfo(&si) == 0;
    if (ok) {
        total = uint64_t(si.totalram) * si.mem_unit;
        avail = meminfo_available();
        if (avail == 0) avail = uint64_t(si.freeram) * si.mem_unit;
    }
    if (total_bytes) *total_bytes = total;
    if (avail_bytes) *avail_bytes = avail;
    return ok;
}

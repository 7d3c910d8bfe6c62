// perf_local: the performance timer's state record and the memory status's
// saturation, as the module's tests reach them.
#pragma once

#include <cstdint>

#include "util/perf.h"

const PerfTimer* perf_timer_state();

// Bytes held to 0xFFFFFFFF, as the memory status reports them.
uint32_t mem_saturate_u32(uint64_t bytes);

// The engine's own copy of the C runtime's pseudo-random generator (see crt_rand.h).
#include "util/crt_rand.h"

namespace {
uint32_t g_seed = 1;
}

int32_t crt_rand(void)
{
    g_seed = g_seed * 214013u + 2531011u;
    return static_cast<int32_t>((g_seed >> 16) & CRT_RAND_MAX);
}

void crt_srand(uint32_t seed) { g_seed = seed; }

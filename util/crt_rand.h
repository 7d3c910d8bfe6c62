// The C runtime's pseudo-random generator, owned by the engine so that every
// platform draws the same sequence: seed := seed * 214013 + 2531011 (32-bit),
// answer bits 16..30 (0 to 32767); the seed starts at 1. The main loop draws
// one value per frame. Main thread only.
#pragma once
#include <cstdint>

constexpr int32_t CRT_RAND_MAX = 0x7FFF;

int32_t crt_rand(void);
void crt_srand(uint32_t seed);

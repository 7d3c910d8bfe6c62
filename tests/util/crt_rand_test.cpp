// The runtime's generator: the same sequence on every platform.
#include "util/crt_rand.h"

#include <gtest/gtest.h>

#include <vector>

TEST(CrtRand, SequenceFromSeedOne)
{
    crt_srand(1);
    EXPECT_EQ(std::vector({crt_rand(), crt_rand(), crt_rand()}), std::vector({41, 18467, 6334}));
    crt_srand(1);
    EXPECT_EQ(crt_rand(), 41);
    crt_srand(0xFFFFFFFFu);  // wraps in 32 bits
    const int32_t v = crt_rand();
    EXPECT_GE(v, 0);
    EXPECT_LE(v, CRT_RAND_MAX);
}

#include <gtest/gtest.h>
// Placeholder until the first module arrives
TEST(Build, Links) { SUCCEED(); }

// Sine table and lookups: the table is bit-exact, the index rules are fixed.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "math/vm_table.h"

namespace {

uint32_t bits(float x)
{
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

}  // namespace

// Each entry: the exact angle rounded to float, its sine rounded to float.
TEST(SinTable, EveryEntryMatchesTheRule)
{
    const long double two_pi = 6.283185307179586476925286766559005768L;
    int mismatches = 0;
    for (int i = 0; i < VM_SIN_TABLE_SIZE; ++i) {
        const float angle = static_cast<float>(static_cast<long double>(i) * two_pi / 65536.0L);
        const float want = static_cast<float>(sinl(static_cast<long double>(angle)));
        if (bits(vm_sin_table[i]) != bits(want)) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
}

// Index rules: product in double, truncation toward zero, low 16 bits.
struct LookupCase {
    const char* name;
    float (*fn)(float);
    float angle;
    uint32_t index;
};

TEST(SinTable, LookupIndexRulesAndNonFiniteOrHugeAnglesGiveIndexZero)
{
    const float two_pi_f = 6.2831855f, pi_f = 3.1415927f, half_pi_f = 1.5707964f;
    const LookupCase cases[] = {
        {"sin 0", vm_math_sin, 0.0f, 0},
        {"cos 0", vm_math_cos, 0.0f, 16384},
        {"sin of float 2pi stays below the wrap", vm_math_sin, two_pi_f, 65534},
        {"sin of float pi truncates to 32767", vm_math_sin, pi_f, 32767},
        {"sin of -pi/2 truncates upward and masks", vm_math_sin, -half_pi_f, 49153},
        {"tiny negative angle truncates to 0", vm_math_sin, -0.7f / vm_angle_scale_rad, 0},
        {"one step below zero masks to 65535", vm_math_sin, -1.5f / vm_angle_scale_rad, 65535},
        {"cos of float 2pi wraps past the end", vm_math_cos, two_pi_f, (65534 + 16384) & 0xFFFF},
        {"sin_deg 90 is 16383", vm_math_sin_deg, 90.0f, 16383},
        {"cos_deg 0", vm_math_cos_deg, 0.0f, 16384},
        {"cos_deg -90 lands just above index 0", vm_math_cos_deg, -90.0f, 0},
        {"sin_deg 360 is 65534", vm_math_sin_deg, 360.0f, 65535 & 0xFFFF},
        {"large angles wrap mod 65536", vm_math_sin, 1000.0f,
         uint32_t(int64_t(1000.0 * 10430.21875) & 0xFFFF)},
        {"beyond the 32-bit range still wraps", vm_math_sin, 1e6f,
         uint32_t(int64_t(1e6 * 10430.21875) & 0xFFFF)},
        {"negative large angle", vm_math_sin, -1e6f,
         uint32_t(int64_t(-1e6 * 10430.21875) & 0xFFFF)},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(bits(c.fn(c.angle)), bits(vm_sin_table[c.index])) << c.name;
    // Converting such products to an integer is undefined: index 0 instead.
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const uint32_t zero = bits(vm_sin_table[0]);
    for (float a : {inf, -inf, nan, 3.0e38f, -3.0e38f, 1e17f})
        EXPECT_EQ(
            (std::array{bits(vm_math_sin(a)), bits(vm_math_cos(a)), bits(vm_math_sin_deg(a))}),
            (std::array{zero, zero, zero}))
            << a;
    EXPECT_EQ((std::array{vm_angle_index(9.3e18), vm_angle_index(-9.3e18)}), (std::array{0u, 0u}));
    EXPECT_EQ(vm_angle_index(65536.0 * 1e12 + 5.0),
              uint32_t(int64_t(65536.0 * 1e12 + 5.0) & 0xFFFF));
}

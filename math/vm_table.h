// Sine table and fast trigonometry. Every rotation of the engine takes its
// sine and cosine from one 65536-entry table, so the lookups below are part
// of the engine's numeric behaviour: do not replace them with std::sin.
// No state; any thread may call.
#pragma once

#include <cmath>
#include <cstdint>

inline constexpr int VM_SIN_TABLE_SIZE = 65536;

// A full turn maps to 65535 index steps, not 65536.
inline constexpr float vm_angle_scale_rad = 10430.21875f;          // float nearest 65535 / 2pi
inline constexpr float vm_angle_scale_deg = 182.041671752929688f;  // float nearest 65535 / 360
inline constexpr double VM_COS_OFFSET = 16384.0;                   // a quarter of the table

// Entry i = float(sin(float(i * 2pi / 65536))), the angle rounded from its
// exact value and the sine taken in double. Built before any other static
// initialiser runs and never written afterwards.
struct SinTable {
    float entry[VM_SIN_TABLE_SIZE];
    SinTable();
    float operator[](uint32_t i) const { return entry[i & 0xFFFFu]; }
};
extern const SinTable vm_sin_table;

// Table index of a scaled angle: truncation toward zero, low 16 bits in two's
// complement. Products beyond the 64-bit range, infinities and NaN give 0.
inline uint32_t vm_angle_index(double steps)
{
    if (!(std::fabs(steps) < 9223372036854775808.0)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(steps)) & 0xFFFFu;
}

inline float vm_math_sin(float rad)
{
    return vm_sin_table.entry[vm_angle_index(double(rad) * double(vm_angle_scale_rad))];
}

inline float vm_math_cos(float rad)
{
    return vm_sin_table
        .entry[vm_angle_index(double(rad) * double(vm_angle_scale_rad) + VM_COS_OFFSET)];
}

inline float vm_math_sin_deg(float deg)
{
    return vm_sin_table.entry[vm_angle_index(double(deg) * double(vm_angle_scale_deg))];
}

inline float vm_math_cos_deg(float deg)
{
    return vm_sin_table
        .entry[vm_angle_index(double(deg) * double(vm_angle_scale_deg) + VM_COS_OFFSET)];
}

// Approximate square root and reciprocal square root from the processor's
// estimate instructions (about 12 bits, no refinement step; the exact bits
// differ between processor makers). sqrt(0) = 0, rsqrt(0) = +inf, negative
// input gives NaN. The _sse forms take the float's bit pattern.
float vm_math_fast_sqrt_sse(uint32_t bits);
float vm_math_fast_rsqrt_sse(uint32_t bits);
float vm_math_fast_sqrt(float x);
float vm_math_fast_rsqrt(float x);

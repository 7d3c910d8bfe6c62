// The sine table and the estimate-based square roots.
#include "math/vm_table.h"

#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define VM_HAVE_SSE_ESTIMATES 1
#endif

SinTable::SinTable()
{
    const double two_pi = 6.283185307179586476925286766559;
    for (int i = 0; i < VM_SIN_TABLE_SIZE; ++i) {
        // The angle is rounded from (nearly) its exact value; computing it in
        // float arithmetic would change thousands of entries.
        const float angle = static_cast<float>(double(i) * two_pi / double(VM_SIN_TABLE_SIZE));
        entry[i] = static_cast<float>(std::sin(double(angle)));
    }
}

// Built first so that lookups from other static initialisers see the table.
__attribute__((init_priority(101))) const SinTable vm_sin_table;

static float bits_to_float(uint32_t bits)
{
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

static uint32_t float_to_bits(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

#if VM_HAVE_SSE_ESTIMATES

float vm_math_fast_sqrt_sse(uint32_t bits)
{
    const __m128 x = _mm_set_ss(bits_to_float(bits));
    return _mm_cvtss_f32(_mm_rcp_ss(_mm_rsqrt_ss(x)));
}

float vm_math_fast_rsqrt_sse(uint32_t bits)
{
    return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(bits_to_float(bits))));
}

#else

// Machines without the estimate instructions get the exact values, which lie
// within the estimates' error.
float vm_math_fast_sqrt_sse(uint32_t bits) { return std::sqrt(bits_to_float(bits)); }

float vm_math_fast_rsqrt_sse(uint32_t bits) { return 1.0f / std::sqrt(bits_to_float(bits)); }

#endif

float vm_math_fast_sqrt(float x) { return vm_math_fast_sqrt_sse(float_to_bits(x)); }

float vm_math_fast_rsqrt(float x) { return vm_math_fast_rsqrt_sse(float_to_bits(x)); }

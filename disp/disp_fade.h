// disp/disp_fade: the per-frame scene step of both screens (camera shake,
// lighting and light-set fades and overrides, fog fade, enabled sub-view
// count) and the colour and interpolation helpers it uses.
//
// The display update calls disp_fade_frame once at the start of every frame,
// before any update callback runs. All durations are counted in frames.
// Colours are 0xAARRGGBB; their float form is (r, g, b, a), each channel
// divided by 255. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "math/vm_vec.h"

// ---- per frame --------------------------------------------------------------------

// Screen 0, then screen 1: shake, lighting, light set, fog, sub-view count.
void disp_fade_frame();

// ---- helpers ----------------------------------------------------------------------

// Scalar and vector forms the scene step and its callers share; the maths
// library does the work.
inline float lerp_f(float a, float b, float t) { return vm_lerp(a, b, t); }
inline float clamp_f(float x, float lo, float hi) { return vm_clamp(x, lo, hi); }
inline float clamp01(float x) { return vm_clamp01(x); }
inline Vec3* vec3_sub(Vec3* out, const Vec3* a, const Vec3* b) { return vm_vec3_sub(out, a, b); }
inline Vec3* vec3_set3(Vec3* out, float x, float y, float z) { return vm_vec3_set(out, x, y, z); }
inline Vec3* vec3_lerp(Vec3* out, const Vec3* a, const Vec3* b, float t)
{
    return vm_vec3_lerp(out, a, b, t);
}

// a + (r mod 10000) * (b - a) / 10000 with r from std::rand.
float rand_range_f(float a, float b);
// 0 when total equals end; else (counter - total) / (end - total) in 0..1.
float fade_ratio(int32_t counter, int32_t total, int32_t end);
// v over its length; (0, 0, 0) when the squared length is 0 or not a number.
Vec3* vec3_normalize(Vec3* out, const Vec3* v);

int color_ch_r(uint32_t c);
int color_ch_g(uint32_t c);
int color_ch_b(uint32_t c);
int color_ch_a(uint32_t c);
float color_ch_rf(uint32_t c);
float color_ch_gf(uint32_t c);
float color_ch_bf(uint32_t c);
float color_ch_af(uint32_t c);
// out[0..3] = r, g, b, a floats.
float* color_to_f4(float out[4], uint32_t c);
// Each float clamped to 0..1, times 255, truncated to a byte.
uint32_t color_from_f4(float r, float g, float b, float a);
uint32_t color_pack_argb(uint32_t r, uint32_t g, uint32_t b, uint32_t a);
// t clamped to 0..1; each channel's float form interpolated, then packed.
uint32_t color_lerp(uint32_t from, uint32_t to, float t);

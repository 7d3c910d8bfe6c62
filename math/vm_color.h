// Colour words, 0xAARRGGBB: their channels as bytes (0-255) and as floats
// (the byte divided by 255), packing bytes or floats back into a word, and
// the word edits (alpha, brightness, interpolation). No state, any thread.
#pragma once

#include <cstdint>

// ---- channels ----

// The byte at bits 16-23, 8-15, 0-7 and 24-31.
inline uint32_t color_r(uint32_t c) { return (c >> 16) & 0xFFu; }
inline uint32_t color_g(uint32_t c) { return (c >> 8) & 0xFFu; }
inline uint32_t color_b(uint32_t c) { return c & 0xFFu; }
inline uint32_t color_a(uint32_t c) { return c >> 24; }

// The same bytes as ints.
inline int color_ch_r(uint32_t c) { return int(color_r(c)); }
inline int color_ch_g(uint32_t c) { return int(color_g(c)); }
inline int color_ch_b(uint32_t c) { return int(color_b(c)); }
inline int color_ch_a(uint32_t c) { return int(color_a(c)); }

// The float form of each channel: its byte divided by 255.
inline float color_ch_rf(uint32_t c) { return float(color_r(c)) / 255.0f; }
inline float color_ch_gf(uint32_t c) { return float(color_g(c)) / 255.0f; }
inline float color_ch_bf(uint32_t c) { return float(color_b(c)) / 255.0f; }
inline float color_ch_af(uint32_t c) { return float(color_a(c)) / 255.0f; }

// The float form again, under the names the 3D objects' materials use.
inline float color_r_f(uint32_t c) { return color_ch_rf(c); }
inline float color_g_f(uint32_t c) { return color_ch_gf(c); }
inline float color_b_f(uint32_t c) { return color_ch_bf(c); }
inline float color_a_f(uint32_t c) { return color_ch_af(c); }

// out[0..3] = the float forms of red, green, blue and alpha.
float* color_to_f4(float out[4], uint32_t c);

// ---- packing ----

// Bytes as given (not masked): a << 24 | r << 16 | g << 8 | b.
inline uint32_t color_pack_argb(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}
// Each float clamped to 0..1, times 255, truncated to a byte; not a number
// gives 0.
uint32_t color_from_f4(float r, float g, float b, float a);

// ---- edits ----

// The low 24 bits of the colour with the alpha byte (masked to 8 bits) above.
uint32_t color_set_alpha(uint32_t color, uint32_t alpha);
// Red, green and blue each shifted right by bits within its byte, alpha kept.
// The count is masked to 5 bits first, so 32 is no shift and -1 is 31.
uint32_t color_shift(uint32_t color, int bits);
// t clamped to 0..1; each channel's float form interpolated, then packed.
uint32_t color_lerp(uint32_t from, uint32_t to, float t);

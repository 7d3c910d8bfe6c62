// Colour words: the float forms, packing from floats and the word edits.
#include "math/vm_color.h"

#include <cmath>

#include "math/vm_vec.h"

namespace {

// Truncation after the scale; the float form of a byte scaled back lands a
// hair below the byte for some values, so the product is taken in double
// with a margin far below one step.
// Not a number gives 0: converting it to an integer is undefined.
uint32_t unit_to_byte(float x)
{
    if (std::isnan(x)) return 0;
    const double v = double(vm_clamp01(x)) * 255.0 + 1e-4;
    return uint32_t(v > 255.0 ? 255.0 : v);
}

}  // namespace

float* color_to_f4(float out[4], uint32_t c)
{
    out[0] = color_ch_rf(c);
    out[1] = color_ch_gf(c);
    out[2] = color_ch_bf(c);
    out[3] = color_ch_af(c);
    return out;
}

uint32_t color_from_f4(float r, float g, float b, float a)
{
    return color_pack_argb(unit_to_byte(r), unit_to_byte(g), unit_to_byte(b), unit_to_byte(a));
}

uint32_t color_set_alpha(uint32_t color, uint32_t alpha)
{
    return (color & 0x00FFFFFFu) | ((alpha & 0xFFu) << 24);
}

uint32_t color_shift(uint32_t color, int bits)
{
    bits &= 31;
    if (bits == 0) return color;
    if (bits >= 8) return color & 0xFF000000u;
    return color_pack_argb(color_r(color) >> bits, color_g(color) >> bits, color_b(color) >> bits,
                           color_a(color));
}

uint32_t color_lerp(uint32_t from, uint32_t to, float t)
{
    t = vm_clamp01(t);
    float f[4], g[4];
    color_to_f4(f, from);
    color_to_f4(g, to);
    return color_from_f4(vm_lerp(f[0], g[0], t), vm_lerp(f[1], g[1], t), vm_lerp(f[2], g[2], t),
                         vm_lerp(f[3], g[3], t));
}

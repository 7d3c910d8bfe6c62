// The anti-aliased painter: the canvas, shape fills and blits, and the signed distance
// functions (see gm_paint.h).
#include "tools/gen_models/gm_paint.h"

#include <algorithm>
#include <cmath>

#include "math/vm_const.h"

namespace gm {

namespace {

constexpr int GM_PAINT_SAMPLES = 4;  // per axis

float channel(uint32_t c, int shift) { return float((c >> shift) & 0xFF) / 255.0f; }

// The angle of (x, y) measured counter-clockwise as seen (y down), in [0, 2pi).
float screen_angle(float x, float y)
{
    float a = std::atan2(-y, x);
    return a < 0 ? a + VM_TWO_PI : a;
}

bool angle_within(float a, float a0, float a1)
{
    float span = std::fmod(a1 - a0 + 2 * VM_TWO_PI, VM_TWO_PI);
    float off = std::fmod(a - a0 + 2 * VM_TWO_PI, VM_TWO_PI);
    return off <= span;
}

}  // namespace

uint32_t blend_over(uint32_t dst, uint32_t src, float coverage)
{
    float sa = channel(src, 24) * coverage, da = channel(dst, 24);
    float oa = sa + da * (1 - sa);
    if (oa <= 0) return 0;
    uint32_t out = uint32_t(std::lround(oa * 255.0f)) << 24;
    for (int sh = 0; sh <= 16; sh += 8) {
        float v = (channel(src, sh) * sa + channel(dst, sh) * da * (1 - sa)) / oa;
        out |= uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)) << sh;
    }
    return out;
}

Canvas canvas_make(int w, int h, uint32_t argb)
{
    return Canvas{w, h, std::vector<uint32_t>(size_t(w) * size_t(h), argb)};
}

void canvas_fill(Canvas& c, const Sdf& shape, uint32_t argb)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            int hits = 0;
            for (int sy = 0; sy < GM_PAINT_SAMPLES; sy++)
                for (int sx = 0; sx < GM_PAINT_SAMPLES; sx++) {
                    float px = float(x) + (float(sx) + 0.5f) / GM_PAINT_SAMPLES,
                          py = float(y) + (float(sy) + 0.5f) / GM_PAINT_SAMPLES;
                    if (shape(px, py) < 0) hits++;
                }
            if (hits == 0) continue;
            uint32_t& d = c.px[size_t(y) * size_t(c.w) + size_t(x)];
            d = blend_over(d, argb, float(hits) / float(GM_PAINT_SAMPLES * GM_PAINT_SAMPLES));
        }
}

void canvas_fill_outlined(Canvas& c, const Sdf& shape, uint32_t fill, uint32_t outline, float width)
{
    canvas_fill(
        c, [&](float x, float y) { return shape(x, y) - width; }, outline);
    canvas_fill(c, shape, fill);
}

void canvas_blit(Canvas& dst, const Canvas& src, int x0, int y0)
{
    for (int y = 0; y < src.h; y++)
        for (int x = 0; x < src.w; x++) {
            int dx = x0 + x, dy = y0 + y;
            if (dx < 0 || dy < 0 || dx >= dst.w || dy >= dst.h) continue;
            dst.px[size_t(dy) * size_t(dst.w) + size_t(dx)] =
                src.px[size_t(y) * size_t(src.w) + size_t(x)];
        }
}

float sd_circle(float x, float y, float cx, float cy, float r)
{
    return std::hypot(x - cx, y - cy) - r;
}

float sd_box(float x, float y, float cx, float cy, float hx, float hy, float round)
{
    float qx = std::fabs(x - cx) - (hx - round), qy = std::fabs(y - cy) - (hy - round);
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f) - round;
}

float sd_segment(float x, float y, float ax, float ay, float bx, float by, float hw)
{
    float px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;
    return std::hypot(px - dx * t, py - dy * t) - hw;
}

float sd_polygon(float x, float y, const std::vector<Vec2>& v)
{
    const size_t n = v.size();
    float d = 1e30f;
    bool inside = false;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        float ex = v[j][0] - v[i][0], ey = v[j][1] - v[i][1];
        float wx = x - v[i][0], wy = y - v[i][1];
        float t = std::clamp((wx * ex + wy * ey) / (ex * ex + ey * ey), 0.0f, 1.0f);
        d = std::min(d, std::hypot(wx - ex * t, wy - ey * t));
        if ((v[i][1] > y) != (v[j][1] > y) && x < ex * (y - v[i][1]) / ey + v[i][0])
            inside = !inside;
    }
    return inside ? -d : d;
}

float sd_arc(float x, float y, float cx, float cy, float r, float hw, float a0, float a1)
{
    float a = screen_angle(x - cx, y - cy);
    if (angle_within(a, a0, a1)) return std::fabs(std::hypot(x - cx, y - cy) - r) - hw;
    // Beyond the ends: the distance to the nearer end cap.
    float e0x = cx + r * std::cos(a0), e0y = cy - r * std::sin(a0);
    float e1x = cx + r * std::cos(a1), e1y = cy - r * std::sin(a1);
    return std::min(std::hypot(x - e0x, y - e0y), std::hypot(x - e1x, y - e1y)) - hw;
}

float sd_ellipse_arc(float x, float y, float cx, float cy, float rx, float ry, float hw, float a0,
                     float a1)
{
    float dx = x - cx, dy = y - cy;
    float ux = dx / rx, uy = dy / ry;
    if (angle_within(screen_angle(ux, uy), a0, a1)) {
        // First-order distance to the ellipse: f / |grad f| for f = u.u - 1.
        float f = ux * ux + uy * uy - 1;
        float grad = 2 * std::hypot(dx / (rx * rx), dy / (ry * ry));
        return std::fabs(f) / std::max(grad, 1e-6f) - hw;
    }
    float e0x = cx + rx * std::cos(a0), e0y = cy - ry * std::sin(a0);
    float e1x = cx + rx * std::cos(a1), e1y = cy - ry * std::sin(a1);
    return std::min(std::hypot(x - e0x, y - e0y), std::hypot(x - e1x, y - e1y)) - hw;
}

float sd_union(float a, float b) { return std::min(a, b); }
float sd_subtract(float a, float b) { return std::max(a, -b); }

}  // namespace gm

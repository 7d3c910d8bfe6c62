// A small anti-aliased painter for the generated textures and icons: shapes
// given as signed distance functions (negative inside), covered by 4x4
// samples per texel and laid over the canvas in straight alpha.
#pragma once

#include "tools/gen_models/gm_mesh.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace gm {

struct Canvas {
    int w = 0, h = 0;
    std::vector<uint32_t> px;  // 0xAARRGGBB, row 0 at the top
};

using Sdf = std::function<float(float x, float y)>;  // texel units, y down

// "Over" in straight alpha, with the source alpha scaled by coverage: between
// two opaque colours, the mix that far from dst towards src.
uint32_t blend_over(uint32_t dst, uint32_t src, float coverage);

Canvas canvas_make(int w, int h, uint32_t argb);
// Lays the colour over every texel the shape covers, weighted by coverage.
void canvas_fill(Canvas& c, const Sdf& shape, uint32_t argb);
// The same shape grown by width: an outline when filled before the shape.
void canvas_fill_outlined(Canvas& c, const Sdf& shape, uint32_t fill, uint32_t outline,
                          float width);
// Copies the canvas into a region of a larger one.
void canvas_blit(Canvas& dst, const Canvas& src, int x, int y);

float sd_circle(float x, float y, float cx, float cy, float r);
float sd_box(float x, float y, float cx, float cy, float hx, float hy, float round);
float sd_segment(float x, float y, float ax, float ay, float bx, float by, float half_width);
float sd_polygon(float x, float y, const std::vector<Vec2>& poly);
// A ring of radius r and half width hw, kept between the angles a0 and a1
// (radians, counter-clockwise on screen with y down: measured from +x towards -y).
float sd_arc(float x, float y, float cx, float cy, float r, float hw, float a0, float a1);
// An ellipse outline ring (approximate distance), kept between two angles.
float sd_ellipse_arc(float x, float y, float cx, float cy, float rx, float ry, float hw, float a0,
                     float a1);
float sd_union(float a, float b);
float sd_subtract(float a, float b);  // a without b

}  // namespace gm

// 2D lines and triangles: two small draw-object types for screen-space lines
// of a given width and flat or textured triangles, registered before the
// other 2D types (line type 1, triangle type 2). Each run is drawn in batches
// of up to 4096 primitives, split where the blend mode (or, for triangles,
// the texture) changes.
//
// Main thread.
#pragma once

#include "math/vm_types.h"
#include "obj2d/obj2d.h"

constexpr int LINE2D_DEFAULT_PRIO = 51;

struct Line2dWork {
    Vec3 a, b;  // z = 0
    uint32_t colour_a, colour_b;
    float width;
    uint32_t blend;  // bits 0-4 blend-mode index
};

struct Tri2dWork {
    Vec3 p[3];  // z = 0
    float uv[3][2];
    ResHandle tex;  // 0 = none
    uint32_t colour[3];
    uint32_t blend;  // bits 0-4 blend-mode index
};

// --- start and stop (display start, before obj2d_type_register) -------------------
void line2d_type_register();
void tri2d_type_register();
void line2d_term();
void tri2d_term();
int line2d_type();
int tri2d_type();

// --- one-frame creators (null when the pool is full) ---------------------------------
DrawObj* line2d_create_1f(ResGroupId group, Vec2 a, uint32_t colour_a, Vec2 b, uint32_t colour_b,
                          int prio, float width);
DrawObj* tri2d_create_1f(ResGroupId group, Vec2 p0, uint32_t c0, Vec2 p1, uint32_t c1, Vec2 p2,
                         uint32_t c2, int prio);

void line2d_set_points(DrawObj* obj, Vec2 a, Vec2 b);
void line2d_set_colours(DrawObj* obj, uint32_t a, uint32_t b);
void line2d_set_width(DrawObj* obj, float width);
void line2d_set_blend(DrawObj* obj, int blend);
void tri2d_set_points(DrawObj* obj, Vec2 p0, Vec2 p1, Vec2 p2);
void tri2d_set_colours(DrawObj* obj, uint32_t c0, uint32_t c1, uint32_t c2);
void tri2d_set_uv(DrawObj* obj, int vertex, float u, float v);  // vertex 0..2
void tri2d_set_tex(DrawObj* obj, ResHandle tex);
void tri2d_set_blend(DrawObj* obj, int blend);

// --- draw and init callbacks ----------------------------------------------------------
void line2d_draw(DrawObj** run, int count);
void line2d_init(DrawObj* obj);
void tri2d_draw(DrawObj** run, int count);
void tri2d_init(DrawObj* obj);

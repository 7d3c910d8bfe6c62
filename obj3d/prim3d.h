// obj3d/prim3d: two small draw-object types for coloured 3D line segments
// and triangles in world space, drawn in batches of up to 4096 and split
// where their blend, z-write or z-function changes (triangles farthest
// first), and the debug shapes built on the 3D primitive list: a collision
// set's triangles and a camera-facing disc for a sphere. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "res/res.h"

struct DrawObj;
struct HitTarget;
using ResGroupId = uint32_t;

constexpr int PRIM3D_PRIO = 77;
constexpr int PRIM3D_BATCH = 4096;
constexpr uint32_t PRIM3D_FVF = 0x252;

// Flags: bits 0-4 blend-mode index, bit 5 z-write, bits 6-8 z-function index.
constexpr uint32_t PRIM3D_Z_WRITE = 1u << 5;
constexpr int PRIM3D_Z_FUNC_SHIFT = 6;

struct Line3dObj {
    Vec3 p[2];
    uint32_t colour[2];
    uint32_t flags;  // blend 1, z-write, z-function 7
};
struct Tri3dObj {
    Vec3 p[3];
    uint32_t colour[3];
    uint32_t flags;  // blend 1, z-write, z-function 1
};

// One vertex of both types: position, normal, colour, two texture sets
// (44 bytes; the normal and the texture sets are left zero).
struct Prim3dVertex {
    float x, y, z, nx, ny, nz;
    uint32_t colour;
    float uv[4];
};
static_assert(sizeof(Prim3dVertex) == 44);

// --- start and stop (display start, after the 2D types) --------------------------------
void prim3d_line_type_register();
void prim3d_line_term();
int prim3d_line_type();
void prim3d_tri_type_register();
void prim3d_tri_term();
int prim3d_tri_type();

// --- lines ------------------------------------------------------------------------------
DrawObj* prim3d_line_create(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                            uint32_t c1);
DrawObj* prim3d_line_create_1f(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                               uint32_t c1);
void prim3d_line_set_points(DrawObj* obj, const Vec3* p0, const Vec3* p1);
void prim3d_line_set_colours(DrawObj* obj, uint32_t c0, uint32_t c1);
void prim3d_line_set_blend(DrawObj* obj, int blend);
void prim3d_line_set_flag5(DrawObj* obj, int zwrite);
void prim3d_line_set_zfunc(DrawObj* obj, int zfunc);
void prim3d_line_draw_all(DrawObj** run, int count);
void prim3d_line_init(DrawObj* obj);

// --- triangles ----------------------------------------------------------------------------
DrawObj* prim3d_tri_create(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                           uint32_t c1, const Vec3* p2, uint32_t c2);
DrawObj* prim3d_tri_create_1f(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                              uint32_t c1, const Vec3* p2, uint32_t c2);
void prim3d_tri_set_points(DrawObj* obj, const Vec3* p0, const Vec3* p1, const Vec3* p2);
void prim3d_tri_set_colours(DrawObj* obj, uint32_t c0, uint32_t c1, uint32_t c2);
void prim3d_tri_set_blend(DrawObj* obj, int blend);
void prim3d_tri_set_zwrite(DrawObj* obj, int zwrite);
void prim3d_tri_set_zfunc(DrawObj* obj, int zfunc);
void prim3d_tri_draw_all(DrawObj** run, int count);
void prim3d_tri_init(DrawObj* obj);

// Batches the line and triangle draw-alls sent since start (tests read it).
uint64_t prim3d_batch_count();

// --- debug shapes ---------------------------------------------------------------------------
// The collision set's triangles with their face normals, one frame.
DrawObj* debug_coll_draw(ResGroupId group, const Mat44* world, ResHandle coll, uint32_t colour);
// A disc facing screen 0's camera, one frame.
DrawObj* debug_sphere_draw(ResGroupId group, const Vec3* centre, float radius, uint32_t colour);
// A hit target's sphere: its centre placed by the owner matrix.
DrawObj* debug_hit_sphere_draw(ResGroupId group, const HitTarget* target, uint32_t colour);

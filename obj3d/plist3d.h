// obj3d/plist3d: the 3D primitive-list object, 3D object type 3: an object
// without a mesh whose draw callback emits triangles, lines or points
// through an immediate-mode builder, with its world matrix, material,
// lights and render states already set by the 3D pass. Debug shapes are
// made of it. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "math/vm_types.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_fields.h"
#include "obj3d/obj3d_hit.h"

struct DrawObj;
using ResGroupId = uint32_t;
using Plist3dDrawFn = void (*)(DrawObj* obj, uint32_t arg);

constexpr int PLIST3D_SHADER_PARAM_WORDS_P = 23;
constexpr uint32_t PLIST3D_FVF = 0x152;
constexpr int PLIST3D_BATCH_VERTICES = 16384;

enum Plist3dKind : int { PLIST3D_TRIANGLES, PLIST3D_LINES, PLIST3D_POINTS, PLIST3D_KIND_COUNT };

// One vertex: position, normal, colour, texture coordinate (36 bytes).
struct Plist3dVertex {
    float x, y, z, nx, ny, nz;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Plist3dVertex) == 36);

struct PrimList3dObj {
    uint16_t shader_set;
    uint16_t material_default;
    uint32_t params[PLIST3D_SHADER_PARAM_WORDS_P];
    ObjMaterial material;  // the diffuse colours unlit vertices
    float shader_scalar;
    Mat44 world;
    DrawParam dp;    // draw_param_init without frustum culling
    HitTarget* hit;  // a sphere; released with the object
    Plist3dDrawFn callback;
    uint32_t callback_arg;
    uint32_t has_local_sphere;
    Vec3 local_centre;
    float radius;
    Vec3 world_centre;  // recomputed by every draw
    ResHandle default_tex;
    // builder
    int16_t kind;  // -1: no valid kind begun
    uint16_t batch_vertices, batch_prims, prim_vertices, verts_per_prim, prims_per_batch;
    Plist3dVertex tmpl;
    uint32_t light_mask;
};

// --- type callbacks -----------------------------------------------------------------------
void plist3d_init(DrawObj* obj);
void plist3d_exit(DrawObj* obj);
void plist3d_draw_all(DrawObj** run, int count);

// --- creation -----------------------------------------------------------------------------
DrawObj* plist3d_create(ResGroupId group, const Mat44* world, int priority);
DrawObj* plist3d_create_1f(ResGroupId group, const Mat44* world, int priority);
int plist3d_type();
int plist3d_is_type(const DrawObj* obj);
PrimList3dObj* plist3d_work(DrawObj* obj);
Mat44* plist3d_matrix(DrawObj* obj);
// The creator's own area of the draw object.
void* obj3d_user_area(DrawObj* obj);

void plist3d_set_draw_cb(DrawObj* obj, Plist3dDrawFn fn, uint32_t arg);
void plist3d_set_texture(DrawObj* obj, ResHandle tex);
// With a centre the local sphere is used, without one the matrix position.
void plist3d_set_sphere(DrawObj* obj, const Vec3* centre, float radius);
DrawParam plist3d_set_pass_a(DrawObj* obj, uint32_t v);
DrawParam plist3d_set_pass_b(DrawObj* obj, uint32_t v);
void plist3d_clear_shader_set(DrawObj* obj);
// The setters every 3D object type shares (obj3d_fields.h): plist3d_set_depth_sort,
// plist3d_set_lighting, plist3d_set_point_lights, plist3d_set_zwrite, plist3d_set_fog,
// plist3d_set_blend, plist3d_set_cull, plist3d_set_frustum_cull, plist3d_set_alpha_ref,
// plist3d_set_zfunc, plist3d_set_tex_filter, plist3d_set_fill, plist3d_set_material,
// plist3d_set_ambient, plist3d_set_colour, plist3d_set_diffuse, plist3d_set_emissive,
// plist3d_set_specular, plist3d_set_material_w5, plist3d_get_colour, plist3d_get_material,
// plist3d_set_shader_scalar, plist3d_set_light_mask, plist3d_set_shader_set, plist3d_set_shader_f1,
// plist3d_set_shader_i1, plist3d_set_shader_f2, plist3d_set_shader_f3, plist3d_set_shader_f4,
// plist3d_set_shader_m44.
OBJ3D_FIELDS_DECLARE(plist3d);

// --- hit target (a sphere on the world matrix; a new one starts switched off) ------------------
void plist3d_set_hit_sphere(DrawObj* obj, const Vec3* centre, float radius, HitGroup group);
void plist3d_hit_enable(DrawObj* obj, int on);        // ground bit
void plist3d_hit_set_hittable(DrawObj* obj, int on);  // hittable bit; clears the ground bit
// The release, results and target of obj3d_hit.h: plist3d_hit_release, plist3d_hit_result_count,
// plist3d_hit_result, plist3d_hit_id, plist3d_get_hit.
OBJ3D_HIT_DECLARE(plist3d)
void plist3d_hit_debug_draw(DrawObj* obj);
// 1 when outside the view's frustum: the sphere centre (or position) with
// the radius when use_radius, else as a point.
int plist3d_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_radius);

// --- builder (from the draw callback) ------------------------------------------------------
// An unknown kind draws nothing until the next begin.
void plist3d_begin(DrawObj* obj, int kind, ResHandle tex);
void plist3d_normal(DrawObj* obj, const Vec3* n);
void plist3d_normal3f(DrawObj* obj, float x, float y, float z);
void plist3d_colour(DrawObj* obj, uint32_t argb);
void plist3d_uv(DrawObj* obj, const Vec2* uv);
void plist3d_uv2f(DrawObj* obj, float u, float v);
void plist3d_vertex(DrawObj* obj, const Vec3* p);
void plist3d_vertex3f(DrawObj* obj, float x, float y, float z);
void plist3d_end(DrawObj* obj);
uint32_t prim_count_for(int kind, uint32_t vertices);
// Caller-owned vertices drawn at once; 0 for an unknown kind.
int plist3d_draw_up(DrawObj* obj, int kind, ResHandle tex, const Plist3dVertex* v, uint32_t count);
// Without indices the display's quad index list serves; counts it cannot
// cover, or whose quad indices reach past the vertices, are refused (0).
int plist3d_draw_indexed_up(DrawObj* obj, int kind, ResHandle tex, const Plist3dVertex* v,
                            uint32_t vcount, const uint16_t* idx, uint32_t icount);

// --- debug shapes ----------------------------------------------------------------------------
// A one-frame list at priority 72 with lighting, z-write, fog and frustum
// culling off, cull index 2, the colour as its diffuse and the shader set.
DrawObj* plist3d_create_debug_1f(ResGroupId group, uint32_t colour, int shader_set);
// A one-frame box (priority 72) of 12 unlit triangles in the colour.
DrawObj* obj3d_debug_box(ResGroupId group, const Box3* box, uint32_t colour);

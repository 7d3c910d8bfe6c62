// obj3d: what the five 3D object types share: the module state with the
// type numbers and the per-pass overrides, the registration of the types
// with the draw-object manager, the begin and end of each view's 3D pass
// (camera transforms, the screen's light, fog, default material), the packed
// draw-parameter word, the material block, and the bounding-sphere and box
// helpers of culling.
//
// Main thread, inside the display's start and frame steps. The display calls
// obj3d_type_register at start, obj3d_reset once per frame, and brackets each
// screen's run of 3D priorities with obj3d_scene_begin / obj3d_scene_end.
#pragma once

#include <cstdint>

#include "disp/rstate.h"
#include "math/vm_types.h"
#include "res/res.h"

struct XformSet;
struct DrawObj;
using ResGroupId = uint32_t;

// --- DrawParam ---------------------------------------------------------------------
// The draw-parameter word of every 3D object. The render-state fields sit
// where RenderStateKey has them; the other bits are 3D-only:
//   0 valid   1 depth_sort   2 lighting   3 point_lights   4 zwrite   5 fog
//   6 pass_a  7 pass_b       8-12 blend   13-15 cull       16-18 billboard
//   19 frustum_cull   20-22 alpha_ref   23-25 zfunc   26-27 tex_filter
//   28-29 fill        30-31 left to the owner
using DrawParam = uint32_t;
constexpr int OBJ3D_DP_DEPTH_SORT_BIT = 1, OBJ3D_DP_LIGHTING_BIT = 2, OBJ3D_DP_POINT_LIGHTS_BIT = 3,
              OBJ3D_DP_Z_WRITE_BIT = 4, OBJ3D_DP_FOG_BIT = 5, OBJ3D_DP_PASS_A_BIT = 6,
              OBJ3D_DP_PASS_B_BIT = 7, OBJ3D_DP_FRUSTUM_CULL_BIT = 19;
constexpr int OBJ3D_DP_BILLBOARD_SHIFT = 16, OBJ3D_DP_BILLBOARD_BITS = 3;
constexpr DrawParam OBJ3D_DRAW_PARAM_DEFAULT = 0x05D8013Du;  // draw_param_init of a zero word

constexpr uint32_t obj3d_dp_bit(DrawParam p, int bit) { return (p >> bit) & 1u; }
// The word with one field replaced by v masked to the field's width.
constexpr DrawParam obj3d_dp_put(DrawParam p, int shift, int bits, uint32_t v)
{
    const uint32_t mask = ((1u << bits) - 1u) << shift;
    return (p & ~mask) | ((v << shift) & mask);
}
// Sets bits 0, 2, 3, 4, 5, 19; clears 1, 6, 7; blend 1, cull 0, billboard 0,
// alpha_ref 5, zfunc 3, tex_filter 1, fill 0. Bits 30-31 are kept.
DrawParam draw_param_init(DrawParam word);

// --- ObjMaterial -------------------------------------------------------------------
struct ObjMaterial {
    uint32_t ambient;  // 0xAARRGGBB
    uint32_t diffuse;
    uint32_t emissive;
    uint32_t specular;
    float power;
    float w5;  // not part of the device material
};
inline constexpr ObjMaterial OBJ3D_MATERIAL_DEFAULT = {0x00FFFFFFu, 0xFFFFFFFFu, 0, 0, 0.0f, 1.0f};

// 1 when all six words equal the defaults (floats compared exactly).
int material_is_default(const ObjMaterial* m);
void material_set(ObjMaterial* m, uint32_t ambient, uint32_t diffuse, uint32_t emissive,
                  uint32_t specular, float power, float w5);
// Device material from ARGB words (each channel / 255).
void material_apply(uint32_t ambient, uint32_t diffuse, uint32_t emissive, uint32_t specular,
                    float power);
void material_apply_obj(const ObjMaterial* m);
void material_apply_default();

// --- bounds and culling ------------------------------------------------------------
constexpr float OBJ3D_PASS_A_MARGIN = 2.0f;  // culling margin of pass A and of the bounds query

struct Box3 {
    Vec3 lo, hi;
};
// A mesh's bounds as the culling reads them.
struct MeshBounds {
    Vec3 centre;  // bounding sphere
    float radius;
    float origin_radius;  // radius about the mesh's own origin
    float allowance;      // distance allowance (origin radius squared)
    Box3 box;
};

// The mesh's bounds into out; 0 (out untouched) for an invalid handle.
int mesh_bounds(ResHandle mesh, MeshBounds* out);
// Visible when no plane has the centre below -radius (touching counts).
int sphere_in_frustum(const FrustumPlanes* planes, const Vec3* centre, float radius);
// Without a matrix the bounds' sphere (radius + margin); with one, first the
// matrix's translation with the origin radius + margin, then the transformed
// centre with the radius + margin. A scale in the matrix never enlarges a
// radius.
int sphere_in_frustum_xf(const FrustumPlanes* planes, const Mat44* m, const MeshBounds* b,
                         float margin);
// Corners (x0,y1,z0) (x1,y1,z0) (x0,y0,z0) (x1,y0,z0) and the same at z1,
// 0 = min, 1 = max.
void box_corners(Vec3 out[8], const Box3* box);
void box_from_points(Box3* out, const Vec3 pts[8]);
void box_transform(Box3* out, const Box3* box, const Mat44* m);
void box_union(Box3* box, const Box3* other);

// --- module state ------------------------------------------------------------------
// Kinds in the order of the state's type words.
enum Obj3dKind : int {
    OBJ3D_MODEL,
    OBJ3D_MESHLIST,
    OBJ3D_MOTION,
    OBJ3D_PRIMLIST,
    OBJ3D_ATTACH,
    OBJ3D_KIND_COUNT
};

// Obj3dState. Overrides count as set when not -1; the pass flags when 1.
struct Obj3dState {
    int32_t type_no[OBJ3D_KIND_COUNT];  // draw-object type numbers
    int32_t pass_id;                    // handed to the shader set-up of every draw
    XformSet* xset;                     // the set of the view being drawn
    int32_t w7, w8;                     // stored pair, read by nobody here
    int32_t cull_ovr, fog_ovr, alpha_ref_ovr;
    int32_t w12;  // offered to the batched sprite draw
    int32_t blend_ovr;
    int32_t tex_limit;  // textures bound per subset; stages not unbound
    int32_t pass_a, pass_b;
    int32_t w17, w18;                                // pair read by the batched sprite draw
    uint32_t prim_batches, prim_blocks, prim_count;  // 3D primitive-list counters
};

const Obj3dState& obj3d_state();

// Display start: clears the state and registers the five types in the order
// primitive list, attachment, motion object, model, mesh list (numbers 11 to
// 15 after the types before them). Types whose module is not built register
// with no callbacks, holding their numbers.
void obj3d_type_register();
void obj3d_term();
// Every frame: the primitive-list counters := 0.
void obj3d_reset();
uint32_t obj3d_get_prim_batches();
uint32_t obj3d_get_prim_blocks();
uint32_t obj3d_get_prim_count();
// Adds to the primitive-list counters (batches, ended blocks, primitives).
void obj3d_count_prims(uint32_t batches, uint32_t blocks, uint32_t prims);
// The frustum planes a culling query tests: the view's cull frustum, or
// with `params` the perspective they give under the view's camera (built
// into `own`).
const FrustumPlanes* obj3d_view_planes(int view, const ProjParams* params, FrustumPlanes* own);
int obj3d_type_number(Obj3dKind kind);
// 1 when obj is an object of the kind (0 for null, and while the kind is not
// registered).
int obj3d_is_kind(const DrawObj* obj, Obj3dKind kind);
// A new object of the kind from the draw-object pool, typed (its init has
// run); null when the kind is not registered or the pool is full.
DrawObj* obj3d_alloc(ResGroupId group, Obj3dKind kind);

// Overrides (single-word setters return the state's address).
void obj3d_set_w7_w8(int32_t a, int32_t b);  // w8 := a, w7 := b
const Obj3dState* obj3d_set_cull_ovr(int32_t v);
const Obj3dState* obj3d_set_fog_ovr(int32_t v);
const Obj3dState* obj3d_set_alpha_ref_ovr(int32_t v);
const Obj3dState* obj3d_set_w12(int32_t v);
const Obj3dState* obj3d_set_blend_ovr(int32_t v);
const Obj3dState* obj3d_set_tex_limit(int32_t v);
const Obj3dState* obj3d_set_pass_a(int32_t v);
const Obj3dState* obj3d_set_pass_b(int32_t v);
void obj3d_set_w17_w18(int32_t a, int32_t b);
int32_t obj3d_get_pass_id();
int32_t obj3d_get_alpha_ref_ovr();
int32_t obj3d_get_w12();
int32_t obj3d_get_blend_ovr();
int32_t obj3d_get_w17();
int32_t obj3d_get_w18();
int32_t obj3d_get_pass_a();
int32_t obj3d_get_pass_b();

// --- per-view pass -----------------------------------------------------------------
// Selects the screen and transform set, sets the device transforms, the
// screen's directional light, the default material and the screen's fog.
void obj3d_scene_begin(int view, int pass_id, int xform_set_index);
// Overrides back to none, w18 := 0, sampler stages 0..7 unbound.
void obj3d_scene_end();
void obj3d_apply_fog(int view);
void obj3d_unbind_stages(int first);
void obj3d_stub_a();
void obj3d_stub_b();
// Shader set a mesh asks for: 4 for mesh-flag bit 0 ("NRM"), else 0.
int mesh_shader_set(ResHandle mesh);

// --- debug query -------------------------------------------------------------------
// Box over the pass-A model objects visible in the set (margin 2.0); the
// count is returned, the box written (1e9 / -1e9 when nothing counts).
int obj3d_visible_bounds(Vec3* out_min, Vec3* out_max, const XformSet* set);

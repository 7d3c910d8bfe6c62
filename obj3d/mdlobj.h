// obj3d/mdlobj: the model object, 3D object type 0: one static mesh (or two
// chosen by distance) drawn under a world matrix with its own draw
// parameters, material, shader set and parameters and an optional override
// texture. The patch tool makes one persistent model object per patch and
// one-frame ones for the palette previews. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "obj3d/obj3d_hit.h"
#include "math/vm_types.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_fields.h"
#include "res/res.h"

struct DrawObj;
using ResGroupId = uint32_t;

constexpr int MDLOBJ_LODS = 2;
constexpr int MDLOBJ_SHADER_PARAM_WORDS = 23;  // the per-object shader parameter block
constexpr int MDLOBJ_DEFAULT_PRIORITY = 81;
constexpr ResHandle MDLOBJ_MESH_MAX = 0xFFFFFFFFu;  // a model object takes every mesh handle

struct LodEntry {
    ResHandle mesh;  // 0 = none
    float dist;      // compared with the squared eye distance
};

// The type work of a model object.
struct ModelObj {
    uint16_t shader_set;        // 4 when the first given level's mesh is "NRM", else 0
    uint16_t material_default;  // material_is_default of the material
    uint32_t params[MDLOBJ_SHADER_PARAM_WORDS];
    ObjMaterial material;
    float shader_scalar;         // 1.0
    Mat44 world;                 // identity; translation in row 3
    ResHandle chosen;            // the level drawn this frame (written by the draw)
    ResHandle fixed;             // used in passes A and B when not 0
    LodEntry lods[MDLOBJ_LODS];  // ascending distance
    DrawParam dp;
    HitTarget* hit;          // null = none; released with the object
    ResHandle override_tex;  // replaces subset 0's stage-0 texture
    Vec3 light_point;        // world position when the point lights are chosen
    float cull_radius;       // the chosen mesh's sphere radius
    DrawObj* attachments;    // first attachment hung on this model
    uint32_t light_mask;     // 0xFFFFFFFF
    DrawParam drawn_dp;      // copy made by obj3d_visible_bounds
};

// --- type callbacks (registered by obj3d_type_register) ------------------------------
void mdlobj_init(DrawObj* obj);
void mdlobj_exit(DrawObj* obj);

// --- creation --------------------------------------------------------------------------
// Null when the pool is full. The matrix is copied when given.
DrawObj* mdlobj_create(ResGroupId group, const Mat44* world, ResHandle mesh, int priority);
// The same, killed at once: drawn in this frame only.
DrawObj* mdlobj_create_1f(ResGroupId group, const Mat44* world, ResHandle mesh, int priority);
int mdlobj_type();
int mdlobj_is_type(const DrawObj* obj);
// The work of a model object; null for null or another type.
ModelObj* mdlobj_work(DrawObj* obj);

// --- levels of detail ---------------------------------------------------------------------
// Pairs with a mesh handle above 0 are kept, sorted by ascending distance
// (equal distances keep their order); the shader set follows the first
// given pair's mesh.
void mdlobj_set_lods(DrawObj* obj, ResHandle mesh0, float dist0, ResHandle mesh1, float dist1);
void mdlobj_set_model(DrawObj* obj, ResHandle mesh);
ResHandle mdlobj_get_model(DrawObj* obj);
void mdlobj_set_fixed_mesh(DrawObj* obj, ResHandle mesh);
void mdlobj_refresh_shader_set(DrawObj* obj);
// The level the draw picks at a squared eye distance: the last level whose
// distance is not above it; 0 when the first is already above.
ResHandle mdlobj_lod_for(const ModelObj* m, float dist_sq);
// The level table of a model or motion object from two given pairs: pairs
// with a mesh handle from 1 to max_mesh are kept, sorted by ascending distance
// (equal distances keep their order), the rest cleared. Answers the mesh of
// the first given pair kept (0 when none), whose shader set the object takes.
ResHandle mdlobj_fill_lods(LodEntry (&lods)[MDLOBJ_LODS], ResHandle mesh0, float dist0,
                           ResHandle mesh1, float dist1, ResHandle max_mesh);

// --- fields ------------------------------------------------------------------------------
// Draw-parameter setters store one field (booleans masked to 1 bit, indices
// to the field's width) and answer the new word.
DrawParam mdlobj_set_pass_a(DrawObj* obj, uint32_t v);
DrawParam mdlobj_set_pass_b(DrawObj* obj, uint32_t v);
DrawParam mdlobj_set_billboard(DrawObj* obj, uint32_t v);
DrawParam mdlobj_get_draw_param(DrawObj* obj);
Mat44* mdlobj_matrix(DrawObj* obj);
void mdlobj_set_override_tex(DrawObj* obj, ResHandle tex);
ResHandle mdlobj_get_override_tex(DrawObj* obj);
// The setters every 3D object type shares (obj3d_fields.h): mdlobj_set_depth_sort,
// mdlobj_set_lighting, mdlobj_set_point_lights, mdlobj_set_zwrite, mdlobj_set_fog,
// mdlobj_set_blend, mdlobj_set_cull, mdlobj_set_frustum_cull, mdlobj_set_alpha_ref,
// mdlobj_set_zfunc, mdlobj_set_tex_filter, mdlobj_set_fill, mdlobj_set_material,
// mdlobj_set_ambient, mdlobj_set_colour, mdlobj_set_diffuse, mdlobj_set_emissive,
// mdlobj_set_specular, mdlobj_set_material_w5, mdlobj_get_colour, mdlobj_get_material,
// mdlobj_set_shader_scalar, mdlobj_set_light_mask, mdlobj_set_shader_set,
// mdlobj_set_shader_f1, mdlobj_set_shader_i1, mdlobj_set_shader_f2, mdlobj_set_shader_f3,
// mdlobj_set_shader_f4, mdlobj_set_shader_m44.
OBJ3D_FIELDS_DECLARE(mdlobj);

// --- hit target --------------------------------------------------------------------------
// A new target takes the object's world matrix as its owner matrix and a
// fresh owner id, and starts switched off (ground bit clear: the ground query
// skips it until mdlobj_hit_enable); an existing one is re-pointed.
void mdlobj_set_hit(DrawObj* obj, ResHandle coll, HitGroup group);
void mdlobj_set_hit_sphere(DrawObj* obj, const Vec3* centre, float radius, HitGroup group);
// The collision model while its on-screen size is large enough, else a sphere
// of the radius that keeps min_screen pixels (see vm_proj_min_world_size).
void mdlobj_set_hit_auto(DrawObj* obj, int view, const Mat44* world, ResHandle coll,
                         const Vec3* centre, float min_screen, HitGroup group);
void mdlobj_set_hit_sphere_scaled(DrawObj* obj, int view, const Mat44* world, float radius,
                                  const Vec3* centre, float min_screen, HitGroup group);
void mdlobj_hit_enable(DrawObj* obj, int on);        // ground bit
void mdlobj_hit_set_hittable(DrawObj* obj, int on);  // hittable bit; clears the ground bit
// Results summed and counted along the target chain (see obj3d_hit_result).
// mdlobj_hit_release, mdlobj_hit_result_count, mdlobj_hit_result, mdlobj_hit_id, mdlobj_get_hit.
OBJ3D_HIT_DECLARE(mdlobj)
// Each target in the object's group, as a model of the same name or as
// collision triangles (spheres as discs); cyan when hittable, else red.
void mdlobj_hit_debug_draw(DrawObj* obj, int as_model);

// --- attachments (hung by name, in attachment order) ------------------------------------------
// Finds or makes the named attachment; its parent matrix is the model's
// world matrix, premultiplied by the local matrix when one is given.
DrawObj* mdlobj_attach_model(DrawObj* obj, const char* name, ResHandle mesh, const Mat44* local);
DrawObj* mdlobj_find_attachment(DrawObj* obj, const char* name);
int mdlobj_attachment_count(DrawObj* obj);
DrawObj* mdlobj_get_attachment(DrawObj* obj, int index);  // null past the end
void mdlobj_show_attachment(DrawObj* obj, const char* name, int on);
void mdlobj_show_attachment_at(DrawObj* obj, int index, int on);
void mdlobj_detach(DrawObj* obj, const char* name);
void mdlobj_detach_all(DrawObj* obj);

// --- visibility --------------------------------------------------------------------------
// 1 when outside the view's cull frustum (or the frustum of `params` with the
// view's camera when given): with use_sphere and a chosen mesh its sphere
// against the world matrix, else the world position as a point.
int mdlobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere);

// obj3d/meshobj: the mesh-list object, 3D object type 1: a whole mesh list
// of the resource manager drawn in world space, each node with its own mesh
// and flags word (laid out as a draw-parameter word: bit 0 enabled, bit 1
// second list), sharing one material, shader set and parameter block. Its
// world matrix moves only its hit target, never the drawn geometry. Main
// thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "math/vm_types.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_fields.h"
#include "obj3d/obj3d_hit.h"

struct DrawObj;
struct ResMeshListNode;
using ResGroupId = uint32_t;

constexpr uint32_t MESHOBJ_NODE_ENABLED = 1u << 0;
constexpr uint32_t MESHOBJ_NODE_SECOND_LIST = 1u << 1;
constexpr int MESHOBJ_LIST_SCRATCH = 8192;  // nodes one draw-all collects

struct MeshListObj {
    uint16_t shader_set;
    uint16_t material_default;
    uint32_t params[23];
    ObjMaterial material;
    float shader_scalar;  // kept; the draw uses 0
    Mat44 world;
    HitTarget* hit;  // starts switched on; released with the object
    ResMeshListNode* list;
    DrawParam dp;  // unused by the draw; keeps the shared setters' layout
    uint32_t light_mask;
};

void meshobj_init(DrawObj* obj);
void meshobj_exit(DrawObj* obj);  // returns the list to the resource manager
void meshobj_draw_all(DrawObj** run, int count);

DrawObj* meshobj_create(ResGroupId group, ResMeshListNode* list, int priority);
int meshobj_type();
int meshobj_is_type(const DrawObj* obj);
MeshListObj* meshobj_work(DrawObj* obj);
Mat44* meshobj_matrix(DrawObj* obj);
// Stores the list; 0 for a list another object already draws (a list has
// one owner, which frees it).
int meshobj_set_model(DrawObj* obj, ResMeshListNode* list);
void meshobj_clear_shader_set(DrawObj* obj);
DrawParam meshobj_draw_param_init(DrawParam word);
// The setters every 3D object type shares (obj3d_fields.h): meshobj_set_depth_sort,
// meshobj_set_lighting, meshobj_set_point_lights, meshobj_set_zwrite, meshobj_set_fog,
// meshobj_set_blend, meshobj_set_cull, meshobj_set_frustum_cull, meshobj_set_alpha_ref,
// meshobj_set_zfunc, meshobj_set_tex_filter, meshobj_set_fill, meshobj_set_material,
// meshobj_set_ambient, meshobj_set_colour, meshobj_set_diffuse, meshobj_set_emissive,
// meshobj_set_specular, meshobj_set_material_w5, meshobj_get_colour, meshobj_get_material,
// meshobj_set_shader_scalar, meshobj_set_light_mask, meshobj_set_shader_set, meshobj_set_shader_f1,
// meshobj_set_shader_i1, meshobj_set_shader_f2, meshobj_set_shader_f3, meshobj_set_shader_f4,
// meshobj_set_shader_m44.
OBJ3D_FIELDS_DECLARE(meshobj);

// --- hit target (on the world matrix) ----------------------------------------------------------
// As mdlobj_set_hit, but a new target starts switched on (ground bit set).
void meshobj_set_hit(DrawObj* obj, ResHandle coll, HitGroup group);
// The release, results and target of obj3d_hit.h: meshobj_hit_release, meshobj_hit_result_count,
// meshobj_hit_result, meshobj_hit_id, meshobj_get_hit.
OBJ3D_HIT_DECLARE(meshobj)
// Without a target these do nothing and answer 1; 0 for another type.
int meshobj_hit_set_hittable(DrawObj* obj, int on);  // hittable bit; clears the ground bit
int meshobj_hit_enable(DrawObj* obj, int on);        // ground bit
void meshobj_hit_debug_draw(DrawObj* obj);           // always as collision triangles

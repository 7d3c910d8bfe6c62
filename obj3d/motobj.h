// obj3d/motobj: the motion object, 3D object type 2: a skinned, animated
// model. It owns one motion player, draws its mesh (two distance levels,
// 16-bit mesh handles) skinned by the player, and carries attachments hung
// on its bones. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "math/vm_types.h"
#include "obj3d/mdlobj.h"
#include "obj3d/motion.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_fields.h"

struct DrawObj;
struct ShaderSkeleton;
using ResGroupId = uint32_t;

constexpr uint32_t MOTOBJ_MESH_MAX = 0xFFFF;  // mesh handles are kept in 16 bits
constexpr uint32_t MOTOBJ_START_FRAME = 2;

struct MotionObj {
    uint16_t shader_set;
    uint16_t material_default;
    uint32_t params[23];
    ObjMaterial material;
    float shader_scalar;
    Mat44 world;  // the player's root matrix
    uint16_t chosen, fixed;
    LodEntry lods[MDLOBJ_LODS];
    DrawParam dp;
    HitTarget* bone_hits;  // one per bone with a collision model, in bone order
    MotionPlayer* player;
    ResHandle override_tex;
    DrawObj* attachments;
    uint32_t light_mask;
    DrawParam drawn_dp;
    Vec3 light_point;
    float light_radius;
};

// --- type callbacks -----------------------------------------------------------------------
void motobj_init(DrawObj* obj);  // takes a player; the object is unusable without one
void motobj_exit(DrawObj* obj);
void motobj_draw_all(DrawObj** run, int count);

// --- creation -----------------------------------------------------------------------------
// Null when the object pool or the player pool is exhausted.
DrawObj* motobj_create(ResGroupId group, const Mat44* world, ResHandle mesh, int priority);
int motobj_type();
int motobj_is_type(const DrawObj* obj);
MotionObj* motobj_work(DrawObj* obj);
Mat44* motobj_matrix(DrawObj* obj);

// --- meshes and fields -----------------------------------------------------------------------
// Handles above 65535 are refused (the pair is left out).
void motobj_set_lods(DrawObj* obj, ResHandle mesh0, float dist0, ResHandle mesh1, float dist1);
void motobj_set_model(DrawObj* obj, ResHandle mesh);
ResHandle motobj_get_model(DrawObj* obj);
void motobj_set_fixed_mesh(DrawObj* obj, ResHandle mesh);
void motobj_set_override_tex(DrawObj* obj, ResHandle tex);
ResHandle motobj_get_override_tex(DrawObj* obj);
void motobj_refresh_shader_set(DrawObj* obj);
DrawParam motobj_set_pass_a(DrawObj* obj, uint32_t v);
DrawParam motobj_set_pass_b(DrawObj* obj, uint32_t v);
// The setters every 3D object type shares (obj3d_fields.h): motobj_set_depth_sort,
// motobj_set_lighting, motobj_set_point_lights, motobj_set_zwrite, motobj_set_fog,
// motobj_set_blend, motobj_set_cull, motobj_set_frustum_cull, motobj_set_alpha_ref,
// motobj_set_zfunc, motobj_set_tex_filter, motobj_set_fill, motobj_set_material,
// motobj_set_ambient, motobj_set_colour, motobj_set_diffuse, motobj_set_emissive,
// motobj_set_specular, motobj_set_material_w5, motobj_get_colour, motobj_get_material,
// motobj_set_shader_scalar, motobj_set_light_mask, motobj_set_shader_set, motobj_set_shader_f1,
// motobj_set_shader_i1, motobj_set_shader_f2, motobj_set_shader_f3, motobj_set_shader_f4,
// motobj_set_shader_m44.
OBJ3D_FIELDS_DECLARE(motobj);

// --- motion control ---------------------------------------------------------------------------
void motobj_set_motion(DrawObj* obj, ResHandle bone_model, ResHandle motion);
void motobj_update(DrawObj* obj, int frame);
int motobj_get_frame(DrawObj* obj);
int motobj_get_length(DrawObj* obj);
int motobj_get_loop_count(DrawObj* obj);
int motobj_get_total_frames(DrawObj* obj);
int motobj_is_playing(DrawObj* obj);
int motobj_is_playing_n(DrawObj* obj, int loops);
int motobj_faded(DrawObj* obj);
int motobj_at_start(DrawObj* obj);
int motobj_at_end(DrawObj* obj);
int motobj_get_start(DrawObj* obj);
void motobj_set_start(DrawObj* obj, int frame);
int motobj_get_loop_start(DrawObj* obj);
void motobj_set_loop_start(DrawObj* obj, int frame);
void motobj_set_frame(DrawObj* obj, int frame);
ResHandle motobj_get_motion(DrawObj* obj);
ResHandle motobj_get_bone_model(DrawObj* obj);
MotionPlayer* motobj_get_player(DrawObj* obj);
void motobj_set_loop(DrawObj* obj, int on);
void motobj_set_loop_limit(DrawObj* obj, int n);
void motobj_set_mirror(DrawObj* obj, int on, int fade);
void motobj_set_reverse(DrawObj* obj, int on);
void motobj_set_speed(DrawObj* obj, float frames);
void motobj_set_fade(DrawObj* obj, int n);
void motobj_start_fade(DrawObj* obj);
void motobj_set_ref_filter(DrawObj* obj, int filter);
int motobj_get_node_count(DrawObj* obj);
int motobj_get_ref_bone(DrawObj* obj);

// --- reference bone and root motion ---------------------------------------------------------------
void motobj_ref_pos_xz(DrawObj* obj, float* x, float* z);
void motobj_ref_pos(DrawObj* obj, float* x, float* y, float* z);
void motobj_ref_angles(DrawObj* obj, Vec3* out);
void motobj_ref_matrix(DrawObj* obj, Mat44* out);
void motobj_root_delta(DrawObj* obj, Vec3* out);
void motobj_root_delta_world(DrawObj* obj, Vec3* out);
void motobj_root_delta_xz(DrawObj* obj, Vec3* out);
void motobj_root_delta_xz_world(DrawObj* obj, Vec3* out);
float motobj_root_speed(DrawObj* obj);
float motobj_root_speed_xz(DrawObj* obj);

// --- bones -------------------------------------------------------------------------------------
int motobj_bone_index(DrawObj* obj, const char* name);
const char* motobj_bone_name(DrawObj* obj, int i);
BoneWork* motobj_bone_world(DrawObj* obj, int i, int force);
BoneWork* motobj_bone_world_by_name(DrawObj* obj, const char* name, int force);
int motobj_ctrl_reach(DrawObj* obj, int i, const Vec3* target, float weight, int chain);
int motobj_ctrl_reach_by_name(DrawObj* obj, const char* name, const Vec3* target, float weight,
                              int chain);
int motobj_ctrl_aim(DrawObj* obj, int i, const Vec3* target, const Vec3* up, float weight);
int motobj_ctrl_aim_by_name(DrawObj* obj, const char* name, const Vec3* target, const Vec3* up,
                            float weight);
int motobj_ctrl_blend(DrawObj* obj, int i, const Mat44* m, float weight);
int motobj_ctrl_blend_by_name(DrawObj* obj, const char* name, const Mat44* m, float weight);
int motobj_ctrl_blend_world(DrawObj* obj, int i, const Mat44* m, float weight);
int motobj_ctrl_blend_world_by_name(DrawObj* obj, const char* name, const Mat44* m, float weight);
int motobj_enable_spring(DrawObj* obj, const char* node, int on);
using MotobjLinkFn = void (*)(DrawObj* obj, BoneWork* parent, const char* parent_name,
                              BoneWork* child, const char* child_name, void* arg);
// Calls fn for each closing level of the node tree (the enclosing node and
// the level's last node); trees deeper than the name stack are walked only
// down to its depth. 0 without a skeleton.
int motobj_for_each_bone_link(DrawObj* obj, MotobjLinkFn fn, void* arg);
int motobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere);

// --- bone hit targets ------------------------------------------------------------------------
constexpr ResHandle MOTOBJ_PLAYER_BONES = 0xFFFFFFFFu;  // the player's bone tree

// Rebuilds the chain: one target for every bone that has a node "CM_<bone>"
// in the bone tree and a collision model of that name in the tree's group,
// placed by the bone's world matrix, named by the collision model, the bone's
// name as user word; all share one fresh owner id and take the hittable and
// ground bits of the old chain's first target (hittable, not ground, when
// there was none). Answers the number of targets.
int motobj_build_bone_hits(DrawObj* obj, ResHandle bone_model, HitGroup group);
void motobj_hit_release(DrawObj* obj);
uint32_t motobj_hit_result_count(DrawObj* obj);
int motobj_hit_result(DrawObj* obj, uint32_t n, HitResult* out);
void motobj_hit_set_hittable(DrawObj* obj, int on);  // every target; ground bits kept
void motobj_hit_enable(DrawObj* obj, int on);        // ground bit of every target
// The first target of that collision name; 0 when none or the name is null.
int motobj_hit_set_hittable_by_name(DrawObj* obj, const char* name, int on);
int motobj_hit_enable_by_name(DrawObj* obj, const char* name, int on);
HitOwnerId motobj_hit_id(DrawObj* obj);
int motobj_hit_count(DrawObj* obj);
HitTarget* motobj_hit_at(DrawObj* obj, int n);
void motobj_hit_debug_draw(DrawObj* obj, int unused, int as_model);

// --- attachments ---------------------------------------------------------------------------------
DrawObj* motobj_attach_model(DrawObj* obj, const char* name, ResHandle mesh, const char* bone);
DrawObj* motobj_find_attachment(DrawObj* obj, const char* name);
int motobj_attachment_count(DrawObj* obj);
DrawObj* motobj_get_attachment(DrawObj* obj, int index);
void motobj_show_attachment(DrawObj* obj, const char* name, int on);
void motobj_show_attachment_at(DrawObj* obj, int index, int on);
void motobj_detach(DrawObj* obj, const char* name);
void motobj_detach_all(DrawObj* obj);

// --- skinning source ------------------------------------------------------------------------------
// The player's bones as the shader library's skeleton for a draw of mesh:
// its own skinning matrices when the player was updated with that mesh,
// else the model-space matrices found by bone name. Valid until the next call.
const ShaderSkeleton* motion_skeleton(const MotionPlayer* p, const MeshBuffers* mesh);
// The root bone's world position, or false without bone works.
bool motion_root_world_pos(const MotionPlayer* p, Vec3* out);

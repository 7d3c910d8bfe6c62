// obj3d/attobj: the attachment object, 3D object type 4: a mesh hung by
// name on a model or motion object (a weapon in a hand bone, an extra part
// on a model). Its world matrix is its parent matrix (a bone's world matrix
// or the owner's world matrix), premultiplied by its own local matrix when
// asked; a skinned mesh is skinned by the owner's motion player instead.
// The owners keep their attachments in a list. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "math/vm_types.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_fields.h"
#include "obj3d/obj3d_hit.h"
#include "res/name.h"

struct DrawObj;
struct MotionPlayer;
using ResGroupId = uint32_t;

constexpr int ATTOBJ_ATTACH_NAME_BYTES = 32;  // names up to 31 bytes compare exactly
constexpr uint32_t ATTOBJ_SKINNED = 1u << 1;
constexpr uint32_t ATTOBJ_PASS_A = 1u << 2;
constexpr uint32_t ATTOBJ_USE_LOCAL = 1u << 3;

struct AttachObj {
    uint16_t shader_set;
    uint16_t material_default;
    uint32_t params[23];
    ObjMaterial material;
    float shader_scalar;
    Mat44 local;
    ResHandle mesh;
    ResHandle override_tex;
    DrawParam dp;
    uint32_t own_flags;   // ATTOBJ_PASS_A, ATTOBJ_SKINNED, ATTOBJ_USE_LOCAL; bit 0 always set
    HitTarget* hit;       // on the local matrix; released with the object
    const Mat44* parent;  // null: the owner's world matrix
    MotionPlayer* bones;  // the owner's player when the owner is a motion object
    uint32_t light_mask;
    DrawObj* owner;
    DrawObj *prev, *next;
    NameHash name_hash;
    char name[ATTOBJ_ATTACH_NAME_BYTES];
    char bone[ATTOBJ_ATTACH_NAME_BYTES];  // the bone its parent matrix belongs to ("" none)
    DrawParam drawn_dp;
    Mat44 world;  // the world matrix of the last draw
    Vec3 light_point;
};

// --- type callbacks -----------------------------------------------------------------------
void attobj_init(DrawObj* obj);
void attobj_exit(DrawObj* obj);  // also unlinks it from its owner's list
void attobj_draw_all(DrawObj** run, int count);

// --- creation and linking ------------------------------------------------------------------
DrawObj* attobj_create(ResGroupId group, const Mat44* local, ResHandle mesh, int priority);
int attobj_type();
int attobj_is_type(const DrawObj* obj);
AttachObj* attobj_work(DrawObj* obj);
Mat44* attobj_matrix(DrawObj* obj);  // the local matrix
void attobj_set_owner(DrawObj* obj, DrawObj* owner);
DrawObj* attobj_get_owner(DrawObj* obj);
void attobj_set_parent_matrix(DrawObj* obj, const Mat44* m);
const Mat44* attobj_get_parent_matrix(DrawObj* obj);
void attobj_set_use_local(DrawObj* obj, int on);
void attobj_set_name(DrawObj* obj, const char* name);  // bounded copy
const char* attobj_name(DrawObj* obj);
int attobj_name_is(DrawObj* obj, const char* name, NameHash hash);
void attobj_set_prev(DrawObj* obj, DrawObj* p);
void attobj_set_next(DrawObj* obj, DrawObj* n);
DrawObj* attobj_get_prev(DrawObj* obj);
DrawObj* attobj_get_next(DrawObj* obj);
void attobj_set_mesh(DrawObj* obj, ResHandle mesh);
ResHandle attobj_get_mesh(DrawObj* obj);
int attobj_is_skinned(DrawObj* obj);
void attobj_refresh_shader_set(DrawObj* obj);
void attobj_set_pass_a(DrawObj* obj, int on);  // own flag
DrawParam attobj_set_dp_pass_a(DrawObj* obj, uint32_t v);
DrawParam attobj_set_dp_pass_b(DrawObj* obj, uint32_t v);
void attobj_set_override_tex(DrawObj* obj, ResHandle tex);
ResHandle attobj_get_override_tex(DrawObj* obj);
// The setters every 3D object type shares (obj3d_fields.h): attobj_set_depth_sort,
// attobj_set_lighting, attobj_set_point_lights, attobj_set_zwrite, attobj_set_fog,
// attobj_set_blend, attobj_set_cull, attobj_set_frustum_cull, attobj_set_alpha_ref,
// attobj_set_zfunc, attobj_set_tex_filter, attobj_set_fill, attobj_set_material,
// attobj_set_ambient, attobj_set_colour, attobj_set_diffuse, attobj_set_emissive,
// attobj_set_specular, attobj_set_material_w5, attobj_get_colour, attobj_get_material,
// attobj_set_shader_scalar, attobj_set_light_mask, attobj_set_shader_set, attobj_set_shader_f1,
// attobj_set_shader_i1, attobj_set_shader_f2, attobj_set_shader_f3, attobj_set_shader_f4,
// attobj_set_shader_m44.
OBJ3D_FIELDS_DECLARE(attobj);
// --- hit target (on the local matrix; new targets start switched off) ---------------------------
// The model object's operations on this type's target.
void attobj_set_hit(DrawObj* obj, ResHandle coll, HitGroup group);
void attobj_set_hit_sphere(DrawObj* obj, const Vec3* centre, float radius, HitGroup group);
void attobj_set_hit_auto(DrawObj* obj, int view, const Mat44* world, ResHandle coll,
                         const Vec3* centre, float min_screen, HitGroup group);
void attobj_set_hit_sphere_scaled(DrawObj* obj, int view, const Mat44* world, float radius,
                                  const Vec3* centre, float min_screen, HitGroup group);
void attobj_hit_enable(DrawObj* obj, int on);        // ground bit
void attobj_hit_set_hittable(DrawObj* obj, int on);  // hittable bit; clears the ground bit
// The release, results and target of obj3d_hit.h: attobj_hit_release, attobj_hit_result_count,
// attobj_hit_result, attobj_hit_id, attobj_get_hit.
OBJ3D_HIT_DECLARE(attobj)
void attobj_hit_debug_draw(DrawObj* obj, int as_model);

int attobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere);

// --- owners' attachment lists -----------------------------------------------------------------
// The list head of a model or motion object, null for other objects.
DrawObj** attobj_list_head(DrawObj* owner);
// Finds the named attachment or makes one (group 0, the owner's priority,
// updated after the owner) at the list's end; a found one only swaps mesh.
DrawObj* attobj_list_attach(DrawObj* owner, const char* name, ResHandle mesh);
DrawObj* attobj_list_find(DrawObj* owner, const char* name);
int attobj_list_count(DrawObj* owner);
DrawObj* attobj_list_get(DrawObj* owner, int index);
void attobj_list_show(DrawObj* owner, const char* name, int on);
void attobj_list_show_at(DrawObj* owner, int index, int on);
void attobj_list_detach(DrawObj* owner, const char* name);
void attobj_list_detach_all(DrawObj* owner);
// Frees every attachment of a list and empties it (the owners' exits, which
// run after the owner's type is cleared).
void attobj_free_list(DrawObj** head);

// The by-name attachment operations of an owner type P (the model and motion
// objects), each the list operation above on the owner. Every use has the
// names it makes written out beside it, so that a search finds them.
#define ATTOBJ_LIST_DEFINE_OWNER(P)                                                                \
    DrawObj* P##_find_attachment(DrawObj* obj, const char* name)                                   \
    {                                                                                              \
        return attobj_list_find(obj, name);                                                        \
    }                                                                                              \
    int P##_attachment_count(DrawObj* obj) { return attobj_list_count(obj); }                      \
    DrawObj* P##_get_attachment(DrawObj* obj, int index) { return attobj_list_get(obj, index); }   \
    void P##_show_attachment(DrawObj* obj, const char* name, int on)                               \
    {                                                                                              \
        attobj_list_show(obj, name, on);                                                           \
    }                                                                                              \
    void P##_show_attachment_at(DrawObj* obj, int index, int on)                                   \
    {                                                                                              \
        attobj_list_show_at(obj, index, on);                                                       \
    }                                                                                              \
    void P##_detach(DrawObj* obj, const char* name) { attobj_list_detach(obj, name); }             \
    void P##_detach_all(DrawObj* obj) { attobj_list_detach_all(obj); }

// obj3d/attobj: the attachment object (see attobj.h): its type callbacks, creation and linking,
// the owners' attachment lists, its draw-all and its hit target.
#include "obj3d/attobj.h"

#include <cstring>

#include "res/mesh_buf.h"
#include "disp/plight.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/mdlobj.h"
#include "obj3d/motobj.h"
#include "obj3d/obj3d_draw.h"

namespace {

constexpr int ATTOBJ_ATTACH_UPDATE_ORDER = 126;  // after the owner's default 127

void copy_name(char (&dst)[ATTOBJ_ATTACH_NAME_BYTES], const char* src)
{
    dst[0] = '\0';
    if (src) std::strncat(dst, src, ATTOBJ_ATTACH_NAME_BYTES - 1);
}

// The matrix the attachment hangs from: its parent matrix, else its owner's
// world matrix; null when it has neither.
const Mat44* hang_matrix(const AttachObj* a)
{
    if (a->parent) return a->parent;
    if (ModelObj* m = mdlobj_work(a->owner)) return &m->world;
    if (MotionObj* m = motobj_work(a->owner)) return &m->world;
    return nullptr;
}

}  // namespace

// --- type callbacks ---------------------------------------------------------------------

void attobj_init(DrawObj* obj)
{
    AttachObj* a = obj_work<AttachObj>(obj);
    std::memset(static_cast<void*>(a), 0, sizeof *a);
    obj3d_fields_init(a);
    vm_mat_identity(&a->local);
    vm_mat_identity(&a->world);
    a->own_flags = 1;
    obj_set_priority(obj, 81);
    obj_set_visible(obj, 1);
}

void attobj_exit(DrawObj* obj)
{
    AttachObj* a = obj_work<AttachObj>(obj);
    obj3d_hit_release(&a->hit);
    // An attachment freed by anyone but its owner leaves the owner's list.
    if (DrawObj** head = attobj_list_head(a->owner)) {
        if (a->prev) obj_work<AttachObj>(a->prev)->next = a->next;
        if (a->next) obj_work<AttachObj>(a->next)->prev = a->prev;
        if (*head == obj) *head = a->next;
    }
    a->owner = a->prev = a->next = nullptr;
}

// --- creation and linking -----------------------------------------------------------------

int attobj_type() { return obj3d_type_number(OBJ3D_ATTACH); }
int attobj_is_type(const DrawObj* obj) { return obj3d_is_kind(obj, OBJ3D_ATTACH); }
AttachObj* attobj_work(DrawObj* obj)
{
    return attobj_is_type(obj) ? obj_work<AttachObj>(obj) : nullptr;
}
Mat44* attobj_matrix(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? &a->local : nullptr;
}

DrawObj* attobj_create(ResGroupId group, const Mat44* local, ResHandle mesh, int priority)
{
    DrawObj* obj = obj3d_alloc(group, OBJ3D_ATTACH);
    if (!obj) return nullptr;
    attobj_set_mesh(obj, mesh);
    if (local) obj_work<AttachObj>(obj)->local = *local;
    obj_set_visible(obj, 1);
    obj_set_priority(obj, priority);
    return obj;
}

void attobj_set_owner(DrawObj* obj, DrawObj* owner)
{
    AttachObj* a = attobj_work(obj);
    if (!a) return;
    a->owner = owner;
    MotionObj* m = motobj_work(owner);
    a->bones = m ? m->player : nullptr;
}
DrawObj* attobj_get_owner(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->owner : nullptr;
}
void attobj_set_parent_matrix(DrawObj* obj, const Mat44* m)
{
    if (AttachObj* a = attobj_work(obj)) a->parent = m;
}
const Mat44* attobj_get_parent_matrix(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->parent : nullptr;
}
void attobj_set_use_local(DrawObj* obj, int on)
{
    if (AttachObj* a = attobj_work(obj))
        a->own_flags = on ? a->own_flags | ATTOBJ_USE_LOCAL : a->own_flags & ~ATTOBJ_USE_LOCAL;
}
void attobj_set_name(DrawObj* obj, const char* name)
{
    AttachObj* a = attobj_work(obj);
    if (!a) return;
    copy_name(a->name, name);
    a->name_hash = name_hash(a->name);
}
const char* attobj_name(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->name : nullptr;
}
int attobj_name_is(DrawObj* obj, const char* name, NameHash hash)
{
    AttachObj* a = attobj_work(obj);
    return a && name && a->name_hash == hash && std::strcmp(a->name, name) == 0;
}
void attobj_set_prev(DrawObj* obj, DrawObj* p)
{
    if (AttachObj* a = attobj_work(obj)) a->prev = p;
}
void attobj_set_next(DrawObj* obj, DrawObj* n)
{
    if (AttachObj* a = attobj_work(obj)) a->next = n;
}
DrawObj* attobj_get_prev(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->prev : nullptr;
}
DrawObj* attobj_get_next(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->next : nullptr;
}

void attobj_set_mesh(DrawObj* obj, ResHandle mesh)
{
    AttachObj* a = attobj_work(obj);
    if (!a) return;
    a->mesh = mesh;
    const MeshBuffers* mb = mesh ? res_mesh_get_object(mesh) : nullptr;
    a->own_flags =
        (mb && mb->bone_count) ? a->own_flags | ATTOBJ_SKINNED : a->own_flags & ~ATTOBJ_SKINNED;
    a->shader_set = uint16_t(mesh_shader_set(mesh));
}
ResHandle attobj_get_mesh(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->mesh : 0;
}
int attobj_is_skinned(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a && (a->own_flags & ATTOBJ_SKINNED) ? 1 : 0;
}
void attobj_refresh_shader_set(DrawObj* obj)
{
    if (AttachObj* a = attobj_work(obj)) a->shader_set = uint16_t(mesh_shader_set(a->mesh));
}
void attobj_set_pass_a(DrawObj* obj, int on)
{
    if (AttachObj* a = attobj_work(obj))
        a->own_flags = on ? a->own_flags | ATTOBJ_PASS_A : a->own_flags & ~ATTOBJ_PASS_A;
}
DrawParam attobj_set_dp_pass_a(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(attobj_work(obj), OBJ3D_DP_PASS_A_BIT, 1, v);
}
DrawParam attobj_set_dp_pass_b(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(attobj_work(obj), OBJ3D_DP_PASS_B_BIT, 1, v);
}
void attobj_set_override_tex(DrawObj* obj, ResHandle tex)
{
    if (AttachObj* a = attobj_work(obj)) a->override_tex = tex;
}
ResHandle attobj_get_override_tex(DrawObj* obj)
{
    AttachObj* a = attobj_work(obj);
    return a ? a->override_tex : 0;
}

// attobj_set_depth_sort, attobj_set_lighting, attobj_set_point_lights, attobj_set_zwrite,
// attobj_set_fog, attobj_set_blend, attobj_set_cull, attobj_set_frustum_cull, attobj_set_alpha_ref,
// attobj_set_zfunc, attobj_set_tex_filter, attobj_set_fill, attobj_set_material,
// attobj_set_ambient, attobj_set_colour, attobj_set_diffuse, attobj_set_emissive,
// attobj_set_specular, attobj_set_material_w5, attobj_get_colour, attobj_get_material,
// attobj_set_shader_scalar, attobj_set_light_mask, attobj_set_shader_set, attobj_set_shader_f1,
// attobj_set_shader_i1, attobj_set_shader_f2, attobj_set_shader_f3, attobj_set_shader_f4,
// attobj_set_shader_m44:
OBJ3D_FIELDS_DEFINE(attobj, attobj_work)

int attobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere)
{
    AttachObj* a = attobj_work(obj);
    if (!a) return 1;
    FrustumPlanes own;
    const FrustumPlanes* planes = obj3d_view_planes(view, params, &own);
    MeshBounds b;
    if (use_sphere && mesh_bounds(a->mesh, &b))
        return !sphere_in_frustum_xf(planes, &a->local, &b, 0.0f);
    const Vec3 pos = {a->local.m[12], a->local.m[13], a->local.m[14]};
    return !sphere_in_frustum(planes, &pos, 0.0f);
}

// --- owners' lists ---------------------------------------------------------------------------

DrawObj** attobj_list_head(DrawObj* owner)
{
    if (ModelObj* m = mdlobj_work(owner)) return &m->attachments;
    if (MotionObj* m = motobj_work(owner)) return &m->attachments;
    return nullptr;
}

DrawObj* attobj_list_find(DrawObj* owner, const char* name)
{
    DrawObj** head = attobj_list_head(owner);
    if (!head || !name) return nullptr;
    const NameHash h = name_hash(name);
    for (DrawObj* o = *head; o; o = obj_work<AttachObj>(o)->next)
        if (attobj_name_is(o, name, h)) return o;
    return nullptr;
}

DrawObj* attobj_list_attach(DrawObj* owner, const char* name, ResHandle mesh)
{
    DrawObj** head = attobj_list_head(owner);
    if (!head || !name) return nullptr;
    if (DrawObj* found = attobj_list_find(owner, name)) {
        attobj_set_mesh(found, mesh);
        return found;
    }
    DrawObj* obj = attobj_create(0, nullptr, mesh, owner->prio);
    if (!obj) return nullptr;
    obj_set_update_order(obj, ATTOBJ_ATTACH_UPDATE_ORDER);
    attobj_set_owner(obj, owner);
    attobj_set_name(obj, name);
    DrawObj* last = *head;
    while (last && obj_work<AttachObj>(last)->next) last = obj_work<AttachObj>(last)->next;
    if (last)
        obj_work<AttachObj>(last)->next = obj, obj_work<AttachObj>(obj)->prev = last;
    else
        *head = obj;
    return obj;
}

int attobj_list_count(DrawObj* owner)
{
    DrawObj** head = attobj_list_head(owner);
    int n = 0;
    for (DrawObj* o = head ? *head : nullptr; o; o = obj_work<AttachObj>(o)->next) ++n;
    return n;
}

DrawObj* attobj_list_get(DrawObj* owner, int index)
{
    DrawObj** head = attobj_list_head(owner);
    if (!head || index < 0) return nullptr;
    DrawObj* o = *head;
    while (o && index-- > 0) o = obj_work<AttachObj>(o)->next;
    return o;
}

void attobj_list_show(DrawObj* owner, const char* name, int on)
{
    if (DrawObj* o = attobj_list_find(owner, name)) obj_set_visible(o, on);
}

void attobj_list_show_at(DrawObj* owner, int index, int on)
{
    if (DrawObj* o = attobj_list_get(owner, index)) obj_set_visible(o, on);
}

void attobj_list_detach(DrawObj* owner, const char* name)
{
    // The exit callback unlinks it.
    if (DrawObj* o = attobj_list_find(owner, name)) obj_free(o);
}

void attobj_list_detach_all(DrawObj* owner) { attobj_free_list(attobj_list_head(owner)); }

void attobj_free_list(DrawObj** head)
{
    while (head && *head) {
        DrawObj* o = *head;
        obj_free(o);
        // A record the pool no longer knows cannot unlink itself.
        if (*head == o) *head = obj_work<AttachObj>(o)->next;
    }
}

// --- draw-all ---------------------------------------------------------------------------------

namespace {

bool att_prepare(const Obj3dPassView& pv, DrawObj* o, AttachObj* a)
{
    if (pv.pass_a && !(a->own_flags & ATTOBJ_PASS_A)) return false;
    const Mat44* hang = hang_matrix(a);
    if (!hang) vm_mat_identity(&a->world);
    if (hang && (a->own_flags & ATTOBJ_USE_LOCAL))
        vm_mat_mul(&a->world, hang, &a->local);
    else if (hang)
        a->world = *hang;
    if (!motion_root_world_pos(a->bones, &a->light_point))
        a->light_point = {a->world.m[12], a->world.m[13], a->world.m[14]};
    const float d2 = vm_vec3_dist_sq(&pv.eye, &a->light_point);
    o->depth = d2;
    MeshBounds b;
    if (!a->mesh || !mesh_bounds(a->mesh, &b)) return false;
    if (obj3d_dp_bit(a->dp, OBJ3D_DP_FRUSTUM_CULL_BIT)) {
        if (d2 - b.allowance > pv.far_sq) return false;
        if (!sphere_in_frustum(pv.planes, &a->light_point, b.origin_radius)) return false;
    }
    return true;
}

void att_draw_one(const Obj3dPassView& pv, DrawObj* o, ResHandle* last_mesh)
{
    AttachObj* a = obj_work<AttachObj>(o);
    PointLight* lights[OBJ3D_MAX_LIGHTS] = {};
    int n = 0;
    MeshBounds b;
    if (obj3d_dp_bit(a->dp, OBJ3D_DP_POINT_LIGHTS_BIT) && mesh_bounds(a->mesh, &b))
        n = plight_select_for_point(lights, OBJ3D_MAX_LIGHTS, pv.screen, &a->light_point,
                                    b.origin_radius, a->light_mask);
    const bool own_material = a->shader_set == 0 && !a->material_default;
    if (own_material) material_apply_obj(&a->material);
    MeshDrawArgs d = {};
    d.mesh = a->mesh;
    d.override_tex = a->override_tex;
    d.world = &a->world;
    if (a->own_flags & ATTOBJ_SKINNED)
        d.skin = motion_skeleton(a->bones, res_mesh_get_object(a->mesh));
    d.material = &a->material;
    d.dp = a->dp;
    d.shader_set = a->shader_set;
    d.params = a->params;
    d.scalar = a->shader_scalar;
    d.lights = lights;
    d.light_count = n;
    mesh_draw(pv, d, last_mesh);
    if (own_material) material_apply_default();
}

}  // namespace

void attobj_draw_all(DrawObj** run, int count)
{
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    obj3d_groups_begin();
    for (int i = 0; i < count; ++i) {
        AttachObj* a = obj_work<AttachObj>(run[i]);
        if (att_prepare(pv, run[i], a)) obj3d_groups_add(run[i], a->dp);
    }
    const int n = obj3d_groups_finish();
    if (n == 0) return;
    obj3d_apply_base_states(pv, 1, OBJ3D_BASE_FVF);
    ResHandle last_mesh = ResHandle(-1);
    DrawObj** order = obj3d_sort_array_fill();
    for (int i = 0; i < n; ++i) att_draw_one(pv, order[i], &last_mesh);
    if (pv.tex_limit == -1) obj3d_unbind_stages(1);
}

// --- hit target ----------------------------------------------------------------------------

// attobj_set_hit, attobj_set_hit_sphere, attobj_set_hit_auto, attobj_set_hit_sphere_scaled,
// attobj_hit_enable, attobj_hit_set_hittable, attobj_hit_debug_draw:
OBJ3D_HIT_DEFINE_MATRIX_TARGET(attobj, attobj_work, local)
// attobj_hit_release, attobj_hit_result_count, attobj_hit_result, attobj_hit_id, attobj_get_hit:
OBJ3D_HIT_DEFINE(attobj, attobj_work)

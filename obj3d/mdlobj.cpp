// obj3d/mdlobj: the model object (see mdlobj.h): creation, levels of detail, its fields' setters,
// attachments, the debug query and its hit target. Its draw-all is in obj3d_draw.cpp, beside
// the mesh draw it shares.
#include "obj3d/mdlobj.h"

#include <cstring>

#include "disp/cam.h"
#include "disp/disp_param.h"
#include "math/vm_mat.h"
#include "disp/obj.h"
#include "obj3d/attobj.h"
#include "obj3d/meshobj.h"
#include "obj3d/obj3d_fields.h"
#include "obj3d/obj3d_hit.h"
#include "obj3d/motobj.h"
#include "obj3d/plist3d.h"
#include "svc/key.h"

namespace {

ModelObj* work_of(DrawObj* obj) { return mdlobj_work(obj); }

}  // namespace

// --- type callbacks ------------------------------------------------------------------

void mdlobj_init(DrawObj* obj)
{
    ModelObj* m = obj_work<ModelObj>(obj);
    // The exit of the record's last model emptied its attachment list.
    *m = ModelObj{};
    obj3d_fields_init(m);
    vm_mat_identity(&m->world);
    obj_set_priority(obj, MDLOBJ_DEFAULT_PRIORITY);
    obj_set_visible(obj, 1);
}

// The type byte is already cleared when exit runs: the work is reached directly.
void mdlobj_exit(DrawObj* obj)
{
    ModelObj* m = obj_work<ModelObj>(obj);
    attobj_free_list(&m->attachments);
    obj3d_hit_release(&m->hit);
}

// --- creation -------------------------------------------------------------------------

int mdlobj_type() { return obj3d_type_number(OBJ3D_MODEL); }

int mdlobj_is_type(const DrawObj* obj) { return obj3d_is_kind(obj, OBJ3D_MODEL); }

ModelObj* mdlobj_work(DrawObj* obj)
{
    return mdlobj_is_type(obj) ? obj_work<ModelObj>(obj) : nullptr;
}

DrawObj* mdlobj_create(ResGroupId group, const Mat44* world, ResHandle mesh, int priority)
{
    DrawObj* obj = obj3d_alloc(group, OBJ3D_MODEL);
    if (!obj) return nullptr;
    mdlobj_set_model(obj, mesh);
    if (world) obj_work<ModelObj>(obj)->world = *world;
    obj_set_visible(obj, 1);
    obj_set_priority(obj, priority);
    return obj;
}

DrawObj* mdlobj_create_1f(ResGroupId group, const Mat44* world, ResHandle mesh, int priority)
{
    DrawObj* obj = mdlobj_create(group, world, mesh, priority);
    if (obj) obj_kill(obj);
    return obj;
}

// --- levels of detail -----------------------------------------------------------------

ResHandle mdlobj_fill_lods(LodEntry (&lods)[MDLOBJ_LODS], ResHandle mesh0, float dist0,
                           ResHandle mesh1, float dist1, ResHandle max_mesh)
{
    const LodEntry given[MDLOBJ_LODS] = {{mesh0, dist0}, {mesh1, dist1}};
    lods[0] = lods[1] = LodEntry{};
    int n = 0;
    ResHandle first = 0;
    for (const LodEntry& e : given) {
        if (e.mesh == 0 || e.mesh > max_mesh) continue;
        if (!first) first = e.mesh;
        // Insertion: move in front only of strictly farther entries.
        int j = n++;
        while (j > 0 && e.dist < lods[j - 1].dist) {
            lods[j] = lods[j - 1];
            --j;
        }
        lods[j] = e;
    }
    return first;
}

void mdlobj_set_lods(DrawObj* obj, ResHandle mesh0, float dist0, ResHandle mesh1, float dist1)
{
    ModelObj* m = work_of(obj);
    if (!m) return;
    const ResHandle first = mdlobj_fill_lods(m->lods, mesh0, dist0, mesh1, dist1, MDLOBJ_MESH_MAX);
    m->shader_set = uint16_t(mesh_shader_set(first));
}

void mdlobj_set_model(DrawObj* obj, ResHandle mesh) { mdlobj_set_lods(obj, mesh, 0.0f, 0, 0.0f); }

ResHandle mdlobj_get_model(DrawObj* obj)
{
    const ModelObj* m = work_of(obj);
    return m ? m->lods[0].mesh : 0;
}

void mdlobj_set_fixed_mesh(DrawObj* obj, ResHandle mesh)
{
    if (ModelObj* m = work_of(obj)) m->fixed = mesh;
}

void mdlobj_refresh_shader_set(DrawObj* obj)
{
    if (ModelObj* m = work_of(obj)) m->shader_set = uint16_t(mesh_shader_set(m->lods[0].mesh));
}

ResHandle mdlobj_lod_for(const ModelObj* m, float dist_sq)
{
    ResHandle chosen = 0;
    for (const LodEntry& e : m->lods) {
        if (e.mesh == 0 || e.dist > dist_sq) break;
        chosen = e.mesh;
    }
    return chosen;
}

// --- fields ------------------------------------------------------------------------------

DrawParam mdlobj_set_pass_a(DrawObj* o, uint32_t v)
{
    return obj3d_fields_set_dp(work_of(o), OBJ3D_DP_PASS_A_BIT, 1, v);
}
DrawParam mdlobj_set_pass_b(DrawObj* o, uint32_t v)
{
    return obj3d_fields_set_dp(work_of(o), OBJ3D_DP_PASS_B_BIT, 1, v);
}
DrawParam mdlobj_set_billboard(DrawObj* o, uint32_t v)
{
    return obj3d_fields_set_dp(work_of(o), OBJ3D_DP_BILLBOARD_SHIFT, OBJ3D_DP_BILLBOARD_BITS, v);
}

DrawParam mdlobj_get_draw_param(DrawObj* obj)
{
    const ModelObj* m = work_of(obj);
    return m ? m->dp : 0;
}

Mat44* mdlobj_matrix(DrawObj* obj)
{
    ModelObj* m = work_of(obj);
    return m ? &m->world : nullptr;
}

void mdlobj_set_override_tex(DrawObj* obj, ResHandle tex)
{
    if (ModelObj* m = work_of(obj)) m->override_tex = tex;
}

ResHandle mdlobj_get_override_tex(DrawObj* obj)
{
    const ModelObj* m = work_of(obj);
    return m ? m->override_tex : 0;
}

// mdlobj_set_depth_sort, mdlobj_set_lighting, mdlobj_set_point_lights, mdlobj_set_zwrite,
// mdlobj_set_fog, mdlobj_set_blend, mdlobj_set_cull, mdlobj_set_frustum_cull,
// mdlobj_set_alpha_ref, mdlobj_set_zfunc, mdlobj_set_tex_filter, mdlobj_set_fill,
// mdlobj_set_material, mdlobj_set_ambient, mdlobj_set_colour, mdlobj_set_diffuse,
// mdlobj_set_emissive, mdlobj_set_specular, mdlobj_set_material_w5, mdlobj_get_colour,
// mdlobj_get_material, mdlobj_set_shader_scalar, mdlobj_set_light_mask, mdlobj_set_shader_set,
// mdlobj_set_shader_f1, mdlobj_set_shader_i1, mdlobj_set_shader_f2, mdlobj_set_shader_f3,
// mdlobj_set_shader_f4, mdlobj_set_shader_m44:
OBJ3D_FIELDS_DEFINE(mdlobj, work_of)

// --- visibility -------------------------------------------------------------------------------

int mdlobj_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_sphere)
{
    ModelObj* m = work_of(obj);
    if (!m) return 1;
    FrustumPlanes own;
    const FrustumPlanes* planes = obj3d_view_planes(view, params, &own);
    MeshBounds b;
    if (use_sphere && m->chosen && mesh_bounds(m->chosen, &b))
        return !sphere_in_frustum_xf(planes, &m->world, &b, 0.0f);
    const Vec3 pos = {m->world.m[12], m->world.m[13], m->world.m[14]};
    return !sphere_in_frustum(planes, &pos, 0.0f);
}

// --- attachments ---------------------------------------------------------------------------

DrawObj* mdlobj_attach_model(DrawObj* obj, const char* name, ResHandle mesh, const Mat44* local)
{
    ModelObj* m = work_of(obj);
    if (!m) return nullptr;
    DrawObj* att = attobj_list_attach(obj, name, mesh);
    AttachObj* a = attobj_work(att);
    if (!a) return nullptr;
    a->parent = &m->world;
    if (local) {
        a->local = *local;
        a->own_flags |= ATTOBJ_USE_LOCAL;
    }
    return att;
}

// mdlobj_find_attachment, mdlobj_attachment_count, mdlobj_get_attachment, mdlobj_show_attachment,
// mdlobj_show_attachment_at, mdlobj_detach, mdlobj_detach_all:
ATTOBJ_LIST_DEFINE_OWNER(mdlobj)

// --- debug query ----------------------------------------------------------------------------

namespace {

constexpr int MDLOBJ_VK_DEBUG_BOX = 'B';  // held: the visible bounds are drawn

struct BoundsAcc {
    const XformSet* set;
    Box3 box;
    int count;
};

void join_box(BoundsAcc& acc, const Box3& box, const Mat44* m)
{
    Box3 wb = box;
    if (m) box_transform(&wb, &box, m);
    box_union(&acc.box, &wb);
    ++acc.count;
}

void count_visible_model(ModelObj* m, BoundsAcc& acc)
{
    MeshBounds b;
    if (!obj3d_dp_bit(m->dp, OBJ3D_DP_PASS_A_BIT) || !m->chosen || !mesh_bounds(m->chosen, &b))
        return;
    if (!sphere_in_frustum_xf(&acc.set->cull_planes, &m->world, &b, OBJ3D_PASS_A_MARGIN)) return;
    join_box(acc, b.box, &m->world);
    m->drawn_dp = m->dp;
}

void count_visible_motion(MotionObj* m, BoundsAcc& acc)
{
    MeshBounds b;
    if (!obj3d_dp_bit(m->dp, OBJ3D_DP_PASS_A_BIT) || !mesh_bounds(m->chosen, &b)) return;
    Mat44 w = m->world;
    Vec3 root;
    if (motion_root_world_pos(m->player, &root))
        w.m[12] = root.x, w.m[13] = root.y, w.m[14] = root.z;
    const Vec3 pos = {w.m[12], w.m[13], w.m[14]};
    if (!sphere_in_frustum(&acc.set->cull_planes, &pos, b.origin_radius + OBJ3D_PASS_A_MARGIN))
        return;
    join_box(acc, b.box, &w);
    m->drawn_dp = m->dp;
}

void count_visible_attachment(AttachObj* a, BoundsAcc& acc)
{
    MeshBounds b;
    if (!obj3d_dp_bit(a->dp, OBJ3D_DP_PASS_A_BIT) || !mesh_bounds(a->mesh, &b)) return;
    const Mat44* m = a->parent;
    MotionObj* mo = motobj_work(a->owner);
    if (mo && mo->player && mo->player->bones)
        m = &mo->player->bones->world;
    else if (!m && mdlobj_work(a->owner))
        m = &mdlobj_work(a->owner)->world;
    else if (!m && mo)
        m = &mo->world;
    if (!m || !sphere_in_frustum_xf(&acc.set->cull_planes, m, &b, OBJ3D_PASS_A_MARGIN)) return;
    join_box(acc, b.box, m);
    a->drawn_dp = a->dp;
}

void count_visible_nodes(MeshListObj* ml, BoundsAcc& acc)
{
    for (ResMeshListNode* n = ml->list; n; n = n->next) {
        MeshBounds b;
        if (!obj3d_dp_bit(n->caller_word, OBJ3D_DP_PASS_A_BIT) || !mesh_bounds(n->mesh, &b))
            continue;
        if (!sphere_in_frustum(&acc.set->cull_planes, &b.centre, b.radius + OBJ3D_PASS_A_MARGIN))
            continue;
        join_box(acc, b.box, nullptr);
    }
}

void count_visible(DrawObj* obj, void* arg)
{
    BoundsAcc& acc = *static_cast<BoundsAcc*>(arg);
    if (ModelObj* m = mdlobj_work(obj)) count_visible_model(m, acc);
    if (MotionObj* m = motobj_work(obj)) count_visible_motion(m, acc);
    if (AttachObj* a = attobj_work(obj)) count_visible_attachment(a, acc);
    if (MeshListObj* ml = meshobj_work(obj)) count_visible_nodes(ml, acc);
}

}  // namespace

int obj3d_visible_bounds(Vec3* out_min, Vec3* out_max, const XformSet* set)
{
    BoundsAcc acc = {set, {{1e9f, 1e9f, 1e9f}, {-1e9f, -1e9f, -1e9f}}, 0};
    if (set) obj_for_each(count_visible, &acc);
    if (out_min) *out_min = acc.box.lo;
    if (out_max) *out_max = acc.box.hi;
    // Nothing counted leaves an inverted box: no debug box for it.
    if (acc.count > 0 && key_is_down(MDLOBJ_VK_DEBUG_BOX))
        obj3d_debug_box(0, &acc.box, 0x60FF0000u);
    return acc.count;
}

// --- hit target ----------------------------------------------------------------------------

// mdlobj_set_hit, mdlobj_set_hit_sphere, mdlobj_set_hit_auto, mdlobj_set_hit_sphere_scaled,
// mdlobj_hit_enable, mdlobj_hit_set_hittable, mdlobj_hit_debug_draw:
OBJ3D_HIT_DEFINE_MATRIX_TARGET(mdlobj, work_of, world)
// mdlobj_hit_release, mdlobj_hit_result_count, mdlobj_hit_result, mdlobj_hit_id, mdlobj_get_hit:
OBJ3D_HIT_DEFINE(mdlobj, work_of)

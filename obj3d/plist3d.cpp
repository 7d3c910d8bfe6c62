// obj3d/plist3d: the 3D primitive-list object (see plist3d.h): creation, the immediate-mode
// builder, its draw-all, the debug box and its hit target.
#include "obj3d/plist3d.h"

#include <algorithm>
#include <cstring>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/plight.h"
#include "disp/rstate.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/obj3d_draw.h"
#include "plat/gfx_draw.h"

namespace {

struct KindRow {
    GfxPrim prim;
    uint16_t verts_per_prim;
};
constexpr KindRow PLIST3D_KINDS[PLIST3D_KIND_COUNT] = {
    {GFX_PT_TRIANGLELIST, 3}, {GFX_PT_LINELIST, 2}, {GFX_PT_POINTLIST, 1}};

bool kind_ok(int kind) { return kind >= 0 && kind < PLIST3D_KIND_COUNT; }

Plist3dVertex* scratch() { return reinterpret_cast<Plist3dVertex*>(tex_get_vertex_scratch_b()); }

void bind_texture(PrimList3dObj* w, ResHandle tex)
{
    const ResHandle h = tex ? tex : w->default_tex;
    const uint32_t filter = disp_rstate_field(w->dp, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS);
    tex_set_stage(0, h >= 1 ? disp_tex_lookup(h) : nullptr, int(filter));
}

void count_draw(uint32_t prims) { obj3d_count_prims(1, 0, prims); }

void flush(PrimList3dObj* w)
{
    if (w->batch_prims > 0 && kind_ok(w->kind)) {
        gfx_draw_primitive_up(PLIST3D_KINDS[w->kind].prim, w->batch_prims, scratch(),
                              sizeof(Plist3dVertex));
        count_draw(w->batch_prims);
    }
    w->batch_vertices = w->batch_prims = w->prim_vertices = 0;
}

Vec3 world_centre(const PrimList3dObj* w)
{
    const Vec3 pos = {w->world.m[12], w->world.m[13], w->world.m[14]};
    if (!w->has_local_sphere) return pos;
    Vec3 c;
    vm_mat_transform_point(&c, &w->world, &w->local_centre);
    return c;
}

}  // namespace

// --- type callbacks ---------------------------------------------------------------------

void plist3d_init(DrawObj* obj)
{
    PrimList3dObj* w = obj_work<PrimList3dObj>(obj);
    *w = PrimList3dObj{};
    obj3d_fields_init(w);
    w->dp = obj3d_dp_put(w->dp, OBJ3D_DP_FRUSTUM_CULL_BIT, 1, 0);
    vm_mat_identity(&w->world);
    w->kind = -1;
    obj_set_priority(obj, 81);
    obj_set_visible(obj, 1);
}

void plist3d_exit(DrawObj* obj) { obj3d_hit_release(&obj_work<PrimList3dObj>(obj)->hit); }

// --- creation -----------------------------------------------------------------------------

int plist3d_type() { return obj3d_type_number(OBJ3D_PRIMLIST); }
int plist3d_is_type(const DrawObj* obj) { return obj3d_is_kind(obj, OBJ3D_PRIMLIST); }
PrimList3dObj* plist3d_work(DrawObj* obj)
{
    return plist3d_is_type(obj) ? obj_work<PrimList3dObj>(obj) : nullptr;
}
Mat44* plist3d_matrix(DrawObj* obj)
{
    PrimList3dObj* w = plist3d_work(obj);
    return w ? &w->world : nullptr;
}
void* obj3d_user_area(DrawObj* obj) { return obj ? obj->user : nullptr; }

DrawObj* plist3d_create(ResGroupId group, const Mat44* world, int priority)
{
    DrawObj* obj = obj3d_alloc(group, OBJ3D_PRIMLIST);
    if (!obj) return nullptr;
    if (world) obj_work<PrimList3dObj>(obj)->world = *world;
    obj_set_visible(obj, 1);
    obj_set_priority(obj, priority);
    return obj;
}

DrawObj* plist3d_create_1f(ResGroupId group, const Mat44* world, int priority)
{
    DrawObj* obj = plist3d_create(group, world, priority);
    if (obj) obj_kill(obj);
    return obj;
}

void plist3d_set_draw_cb(DrawObj* obj, Plist3dDrawFn fn, uint32_t arg)
{
    if (PrimList3dObj* w = plist3d_work(obj)) w->callback = fn, w->callback_arg = arg;
}
void plist3d_set_texture(DrawObj* obj, ResHandle tex)
{
    if (PrimList3dObj* w = plist3d_work(obj)) w->default_tex = tex;
}
void plist3d_set_sphere(DrawObj* obj, const Vec3* centre, float radius)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w) return;
    w->has_local_sphere = centre ? 1 : 0;
    if (centre) w->local_centre = *centre;
    w->radius = radius;
}
DrawParam plist3d_set_pass_a(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(plist3d_work(obj), OBJ3D_DP_PASS_A_BIT, 1, v);
}
DrawParam plist3d_set_pass_b(DrawObj* obj, uint32_t v)
{
    return obj3d_fields_set_dp(plist3d_work(obj), OBJ3D_DP_PASS_B_BIT, 1, v);
}
void plist3d_clear_shader_set(DrawObj* obj) { plist3d_set_shader_set(obj, 0); }

// plist3d_set_depth_sort, plist3d_set_lighting, plist3d_set_point_lights, plist3d_set_zwrite,
// plist3d_set_fog, plist3d_set_blend, plist3d_set_cull, plist3d_set_frustum_cull,
// plist3d_set_alpha_ref, plist3d_set_zfunc, plist3d_set_tex_filter, plist3d_set_fill,
// plist3d_set_material, plist3d_set_ambient, plist3d_set_colour, plist3d_set_diffuse,
// plist3d_set_emissive, plist3d_set_specular, plist3d_set_material_w5, plist3d_get_colour,
// plist3d_get_material, plist3d_set_shader_scalar, plist3d_set_light_mask, plist3d_set_shader_set,
// plist3d_set_shader_f1, plist3d_set_shader_i1, plist3d_set_shader_f2, plist3d_set_shader_f3,
// plist3d_set_shader_f4, plist3d_set_shader_m44:
OBJ3D_FIELDS_DEFINE(plist3d, plist3d_work)

int plist3d_is_culled(DrawObj* obj, int view, const ProjParams* params, int use_radius)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w) return 1;
    FrustumPlanes own;
    const Vec3 c = world_centre(w);
    return !sphere_in_frustum(obj3d_view_planes(view, params, &own), &c,
                              use_radius ? w->radius : 0);
}

// --- builder ------------------------------------------------------------------------------

uint32_t prim_count_for(int kind, uint32_t vertices)
{
    return kind_ok(kind) ? vertices / PLIST3D_KINDS[kind].verts_per_prim : 0;
}

void plist3d_begin(DrawObj* obj, int kind, ResHandle tex)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w) return;
    w->batch_vertices = w->batch_prims = w->prim_vertices = 0;
    if (!kind_ok(kind)) {
        w->kind = -1;
        return;
    }
    w->kind = int16_t(kind);
    w->verts_per_prim = PLIST3D_KINDS[kind].verts_per_prim;
    w->prims_per_batch = uint16_t(PLIST3D_BATCH_VERTICES / w->verts_per_prim);
    w->tmpl = Plist3dVertex{};
    w->tmpl.ny = 1.0f;
    w->tmpl.colour = obj3d_dp_bit(w->dp, OBJ3D_DP_LIGHTING_BIT) ? 0xFFFFFFFFu : w->material.diffuse;
    bind_texture(w, tex);
}

void plist3d_normal(DrawObj* obj, const Vec3* n)
{
    if (n) plist3d_normal3f(obj, n->x, n->y, n->z);
}
void plist3d_normal3f(DrawObj* obj, float x, float y, float z)
{
    if (PrimList3dObj* w = plist3d_work(obj)) w->tmpl.nx = x, w->tmpl.ny = y, w->tmpl.nz = z;
}
void plist3d_colour(DrawObj* obj, uint32_t argb)
{
    if (PrimList3dObj* w = plist3d_work(obj)) w->tmpl.colour = argb;
}
void plist3d_uv(DrawObj* obj, const Vec2* uv)
{
    if (uv) plist3d_uv2f(obj, uv->x, uv->y);
}
void plist3d_uv2f(DrawObj* obj, float u, float v)
{
    if (PrimList3dObj* w = plist3d_work(obj)) w->tmpl.u = u, w->tmpl.v = v;
}

void plist3d_vertex(DrawObj* obj, const Vec3* p)
{
    if (p) plist3d_vertex3f(obj, p->x, p->y, p->z);
}

void plist3d_vertex3f(DrawObj* obj, float x, float y, float z)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w || !kind_ok(w->kind)) return;
    Plist3dVertex& v = scratch()[w->batch_vertices++];
    v = w->tmpl;
    v.x = x, v.y = y, v.z = z;
    if (++w->prim_vertices == w->verts_per_prim) {
        w->prim_vertices = 0;
        if (++w->batch_prims == w->prims_per_batch) flush(w);
    }
}

void plist3d_end(DrawObj* obj)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w) return;
    flush(w);
    obj3d_count_prims(0, 1, 0);
}

int plist3d_draw_up(DrawObj* obj, int kind, ResHandle tex, const Plist3dVertex* v, uint32_t count)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w || !v || !kind_ok(kind)) return 0;
    bind_texture(w, tex);
    const uint32_t prims = prim_count_for(kind, count);
    if (prims) gfx_draw_primitive_up(PLIST3D_KINDS[kind].prim, prims, v, sizeof(Plist3dVertex));
    obj3d_count_prims(1, 1, prims);
    return 1;
}

int plist3d_draw_indexed_up(DrawObj* obj, int kind, ResHandle tex, const Plist3dVertex* v,
                            uint32_t vcount, const uint16_t* idx, uint32_t icount)
{
    PrimList3dObj* w = plist3d_work(obj);
    if (!w || !v || !kind_ok(kind)) return 0;
    if (!idx) {
        // The quad list's largest index in the first icount entries must
        // name one of the caller's vertices.
        const uint32_t quads = (icount + 5) / 6;
        if (icount > uint32_t(TEX_QUAD_INDEX_QUADS) * 6 || (icount && quads * 4 > vcount)) return 0;
        idx = tex_get_manager();
        if (!idx) return 0;
    }
    bind_texture(w, tex);
    const uint32_t prims = prim_count_for(kind, icount);
    if (prims)
        gfx_draw_indexed_primitive_up(PLIST3D_KINDS[kind].prim, 0, vcount, prims, idx,
                                      GFX_FMT_INDEX16, v, sizeof(Plist3dVertex));
    obj3d_count_prims(1, 1, prims);
    return 1;
}

// --- draw-all -----------------------------------------------------------------------------

namespace {

bool plist_prepare(const Obj3dPassView& pv, DrawObj* o, PrimList3dObj* w)
{
    const Vec3 pos = {w->world.m[12], w->world.m[13], w->world.m[14]};
    o->depth = vm_vec3_dist_sq(&pv.eye, &pos);
    // The centre serves the light choice too, so it is kept current always.
    w->world_centre = world_centre(w);
    if (!w->callback) return false;
    if (pv.pass_a && !obj3d_dp_bit(w->dp, OBJ3D_DP_PASS_A_BIT)) return false;
    if (pv.pass_b && !obj3d_dp_bit(w->dp, OBJ3D_DP_PASS_B_BIT)) return false;
    if (obj3d_dp_bit(w->dp, OBJ3D_DP_FRUSTUM_CULL_BIT) &&
        !sphere_in_frustum(pv.planes, &w->world_centre, w->radius))
        return false;
    return true;
}

void plist_draw_one(const Obj3dPassView& pv, DrawObj* o, int decl)
{
    PrimList3dObj* w = obj_work<PrimList3dObj>(o);
    PointLight* lights[OBJ3D_MAX_LIGHTS] = {};
    int n = 0;
    if (obj3d_dp_bit(w->dp, OBJ3D_DP_POINT_LIGHTS_BIT))
        n = plight_select_for_point(lights, OBJ3D_MAX_LIGHTS, pv.screen, &w->world_centre,
                                    w->radius, w->light_mask);
    RstateMeshArgs a = {};
    a.pass_id = pv.pass_id;
    a.shader_set = w->shader_set;
    a.params = w->params;
    a.decl = decl;
    a.world = w->world.m;
    a.material = &w->material;
    a.scalar = w->shader_scalar;
    a.lights = n ? lights : nullptr;
    a.light_count = n;
    disp_set_rstate_block(obj3d_draw_key(pv, w->dp, false), &a);
    w->callback(o, w->callback_arg);
}

}  // namespace

void plist3d_draw_all(DrawObj** run, int count)
{
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    obj3d_groups_begin();
    for (int i = 0; i < count; ++i) {
        PrimList3dObj* w = obj_work<PrimList3dObj>(run[i]);
        if (plist_prepare(pv, run[i], w)) obj3d_groups_add(run[i], w->dp);
    }
    const int n = obj3d_groups_finish();
    if (n == 0) return;
    obj3d_apply_base_states(pv, 1, PLIST3D_FVF);
    const int decl = disp_fvf_to_lvf(PLIST3D_FVF);
    DrawObj** order = obj3d_sort_array_fill();
    for (int i = 0; i < n; ++i) plist_draw_one(pv, order[i], decl);
    if (pv.tex_limit == -1) obj3d_unbind_stages(1);
}

// --- debug box ----------------------------------------------------------------------------------

namespace {

constexpr int PLIST3D_DEBUG_PRIO = 72;

void debug_box_draw(DrawObj* obj, uint32_t)
{
    Box3 box;
    std::memcpy(&box, obj3d_user_area(obj), sizeof box);
    Vec3 c[8];
    box_corners(c, &box);
    static const uint8_t PLIST3D_TRIS[36] = {0, 1, 2, 2, 1, 3, 1, 5, 3, 3, 5, 7, 5, 4, 7, 7, 4, 6,
                                             4, 0, 6, 6, 0, 2, 4, 5, 0, 0, 5, 1, 2, 3, 6, 6, 3, 7};
    plist3d_begin(obj, PLIST3D_TRIANGLES, 0);
    for (uint8_t i : PLIST3D_TRIS) plist3d_vertex(obj, &c[i]);
    plist3d_end(obj);
}

}  // namespace

DrawObj* plist3d_create_debug_1f(ResGroupId group, uint32_t colour, int shader_set)
{
    DrawObj* obj = plist3d_create_1f(group, nullptr, PLIST3D_DEBUG_PRIO);
    if (!obj) return nullptr;
    plist3d_set_lighting(obj, 0);
    plist3d_set_zwrite(obj, 0);
    plist3d_set_fog(obj, 0);
    plist3d_set_frustum_cull(obj, 0);
    plist3d_set_cull(obj, 2);
    plist3d_set_colour(obj, colour);
    plist3d_set_shader_set(obj, shader_set);
    return obj;
}

DrawObj* obj3d_debug_box(ResGroupId group, const Box3* box, uint32_t colour)
{
    DrawObj* obj = box ? plist3d_create_debug_1f(group, colour, 0) : nullptr;
    if (!obj) return nullptr;
    std::memcpy(obj3d_user_area(obj), box, sizeof *box);
    plist3d_set_draw_cb(obj, debug_box_draw, 0);
    return obj;
}

// --- hit target ----------------------------------------------------------------------------

void plist3d_set_hit_sphere(DrawObj* obj, const Vec3* centre, float radius, HitGroup group)
{
    if (PrimList3dObj* p = plist3d_work(obj))
        obj3d_hit_set_sphere(&p->hit, &p->world, centre, radius, group, 0);
}

void plist3d_hit_enable(DrawObj* obj, int on)
{
    if (PrimList3dObj* p = plist3d_work(obj)) obj3d_hit_set_bits(p->hit, HIT_GROUND, on);
}

void plist3d_hit_set_hittable(DrawObj* obj, int on)
{
    PrimList3dObj* p = plist3d_work(obj);
    if (!p) return;
    obj3d_hit_set_hittable(p->hit, on);
}

// plist3d_hit_release, plist3d_hit_result_count, plist3d_hit_result, plist3d_hit_id,
// plist3d_get_hit:
OBJ3D_HIT_DEFINE(plist3d, plist3d_work)

void plist3d_hit_debug_draw(DrawObj* obj)
{
    if (PrimList3dObj* p = plist3d_work(obj)) obj3d_hit_debug_draw(obj->group, p->hit, 0);
}

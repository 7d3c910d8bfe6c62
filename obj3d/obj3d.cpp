// obj3d: what the 3D object types share (see obj3d.h): the draw-parameter word and materials,
// bounds and culling, the module state and the types' registration, and each view's 3D pass.
#include "obj3d/obj3d.h"

#include <algorithm>
#include <cstring>

#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/fog.h"
#include "disp/rstate.h"
#include "disp/shader.h"
#include "math/vm_color.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "math/vm_view.h"
#include "disp/obj.h"
#include "obj3d/attobj.h"
#include "obj3d/mdlobj.h"
#include "obj3d/meshobj.h"
#include "obj3d/motobj.h"
#include "obj3d/plist3d.h"
#include "obj3d/obj3d_draw.h"
#include "plat/gfx.h"

namespace {

Obj3dState g_o3;

void clear_overrides()
{
    Obj3dState& s = g_o3;
    s.cull_ovr = s.fog_ovr = s.alpha_ref_ovr = s.w12 = s.blend_ovr = -1;
    s.tex_limit = s.pass_a = s.pass_b = s.w17 = -1;
    s.w18 = 0;
}

GfxColorF color_f(uint32_t argb)
{
    float f[4];
    color_to_f4(f, argb);
    return {f[0], f[1], f[2], f[3]};
}

}  // namespace

// --- DrawParam and materials ----------------------------------------------------------

DrawParam draw_param_init(DrawParam word)
{
    return (word & 0xC0000000u) | OBJ3D_DRAW_PARAM_DEFAULT;
}

int material_is_default(const ObjMaterial* m)
{
    const ObjMaterial& d = OBJ3D_MATERIAL_DEFAULT;
    return m->ambient == d.ambient && m->diffuse == d.diffuse && m->emissive == d.emissive &&
           m->specular == d.specular && m->power == d.power && m->w5 == d.w5;
}

void material_set(ObjMaterial* m, uint32_t ambient, uint32_t diffuse, uint32_t emissive,
                  uint32_t specular, float power, float w5)
{
    *m = {ambient, diffuse, emissive, specular, power, w5};
}

void material_apply(uint32_t ambient, uint32_t diffuse, uint32_t emissive, uint32_t specular,
                    float power)
{
    GfxMaterial m;
    m.diffuse = color_f(diffuse);
    m.ambient = color_f(ambient);
    m.specular = color_f(specular);
    m.emissive = color_f(emissive);
    m.power = power;
    gfx_set_material(&m);
}

void material_apply_obj(const ObjMaterial* m)
{
    material_apply(m->ambient, m->diffuse, m->emissive, m->specular, m->power);
}

void material_apply_default() { material_apply_obj(&OBJ3D_MATERIAL_DEFAULT); }

// --- bounds and culling ------------------------------------------------------------------

int mesh_bounds(ResHandle mesh, MeshBounds* out)
{
    const MeshBuffers* mb = mesh ? res_mesh_get_object(mesh) : nullptr;
    if (!mb) return 0;
    out->centre = {mb->box0[0], mb->box0[1], mb->box0[2]};
    out->radius = mb->box0[3];
    out->origin_radius = mb->box0[4];
    out->allowance = mb->box0[5];
    out->box.lo = {mb->box[0], mb->box[1], mb->box[2]};
    out->box.hi = {mb->box[3], mb->box[4], mb->box[5]};
    return 1;
}

int sphere_in_frustum(const FrustumPlanes* planes, const Vec3* centre, float radius)
{
    for (const Plane& p : planes->p)
        if (vm_plane_dot_point(&p, centre) < -radius) return 0;
    return 1;
}

int sphere_in_frustum_xf(const FrustumPlanes* planes, const Mat44* m, const MeshBounds* b,
                         float margin)
{
    if (!m) return sphere_in_frustum(planes, &b->centre, b->radius + margin);
    const Vec3 origin = {m->m[12], m->m[13], m->m[14]};
    if (!sphere_in_frustum(planes, &origin, b->origin_radius + margin)) return 0;
    Vec3 c;
    vm_mat_transform_point(&c, m, &b->centre);
    return sphere_in_frustum(planes, &c, b->radius + margin);
}

void box_corners(Vec3 out[8], const Box3* box)
{
    const Vec3& a = box->lo;
    const Vec3& b = box->hi;
    const Vec3 c[8] = {{a.x, b.y, a.z}, {b.x, b.y, a.z}, {a.x, a.y, a.z}, {b.x, a.y, a.z},
                       {a.x, b.y, b.z}, {b.x, b.y, b.z}, {a.x, a.y, b.z}, {b.x, a.y, b.z}};
    std::memcpy(out, c, sizeof c);
}

void box_from_points(Box3* out, const Vec3 pts[8])
{
    Box3 r = {pts[0], pts[0]};
    for (int i = 1; i < 8; ++i) {
        r.lo = {std::min(r.lo.x, pts[i].x), std::min(r.lo.y, pts[i].y), std::min(r.lo.z, pts[i].z)};
        r.hi = {std::max(r.hi.x, pts[i].x), std::max(r.hi.y, pts[i].y), std::max(r.hi.z, pts[i].z)};
    }
    *out = r;
}

void box_transform(Box3* out, const Box3* box, const Mat44* m)
{
    Vec3 c[8];
    box_corners(c, box);
    for (Vec3& p : c) vm_mat_transform_point(&p, m, &p);
    box_from_points(out, c);
}

void box_union(Box3* box, const Box3* o)
{
    box->lo = {std::min(box->lo.x, o->lo.x), std::min(box->lo.y, o->lo.y),
               std::min(box->lo.z, o->lo.z)};
    box->hi = {std::max(box->hi.x, o->hi.x), std::max(box->hi.y, o->hi.y),
               std::max(box->hi.z, o->hi.z)};
}

// --- module state ------------------------------------------------------------------------

const Obj3dState& obj3d_state() { return g_o3; }

void obj3d_type_register()
{
    g_o3 = Obj3dState{};
    g_o3.type_no[OBJ3D_PRIMLIST] = obj_register_type(plist3d_draw_all, plist3d_init, plist3d_exit,
                                                     nullptr, int(sizeof(PrimList3dObj)));
    g_o3.type_no[OBJ3D_ATTACH] = obj_register_type(attobj_draw_all, attobj_init, attobj_exit,
                                                   nullptr, int(sizeof(AttachObj)));
    g_o3.type_no[OBJ3D_MOTION] = obj_register_type(motobj_draw_all, motobj_init, motobj_exit,
                                                   nullptr, int(sizeof(MotionObj)));
    g_o3.type_no[OBJ3D_MODEL] = obj_register_type(mdlobj_draw_all, mdlobj_init, mdlobj_exit,
                                                  nullptr, int(sizeof(ModelObj)));
    g_o3.type_no[OBJ3D_MESHLIST] = obj_register_type(meshobj_draw_all, meshobj_init, meshobj_exit,
                                                     nullptr, int(sizeof(MeshListObj)));
    g_o3.pass_id = 0;
    g_o3.xset = cam_get_xform_set(0);
    clear_overrides();
    cam_set_bounds_query(obj3d_visible_bounds);
}

void obj3d_term() {}

void obj3d_reset() { g_o3.prim_batches = g_o3.prim_blocks = g_o3.prim_count = 0; }
uint32_t obj3d_get_prim_batches() { return g_o3.prim_batches; }
uint32_t obj3d_get_prim_blocks() { return g_o3.prim_blocks; }
uint32_t obj3d_get_prim_count() { return g_o3.prim_count; }

void obj3d_count_prims(uint32_t batches, uint32_t blocks, uint32_t prims)
{
    g_o3.prim_batches += batches;
    g_o3.prim_blocks += blocks;
    g_o3.prim_count += prims;
}

const FrustumPlanes* obj3d_view_planes(int view, const ProjParams* params, FrustumPlanes* own)
{
    if (!params) return cam_get_frustum(view);
    Mat44 proj, vp;
    viewmath_perspective_from6(&proj, params);
    vm_mat_mul(&vp, &proj, cam_get_world_mtx(view));
    return viewmath_frustum_planes(own, &vp);
}

int obj3d_type_number(Obj3dKind kind)
{
    return kind >= 0 && kind < OBJ3D_KIND_COUNT ? g_o3.type_no[kind] : 0;
}

int obj3d_is_kind(const DrawObj* obj, Obj3dKind kind)
{
    const int type = obj3d_type_number(kind);
    return obj && type != 0 && obj->type == type;
}

DrawObj* obj3d_alloc(ResGroupId group, Obj3dKind kind)
{
    const int type = obj3d_type_number(kind);
    if (type == 0) return nullptr;
    DrawObj* obj = obj_alloc(group);
    if (obj) obj_set_type(obj, type);
    return obj;
}

void obj3d_set_w7_w8(int32_t a, int32_t b)
{
    g_o3.w8 = a;
    g_o3.w7 = b;
}
const Obj3dState* obj3d_set_cull_ovr(int32_t v) { return g_o3.cull_ovr = v, &g_o3; }
const Obj3dState* obj3d_set_fog_ovr(int32_t v) { return g_o3.fog_ovr = v, &g_o3; }
const Obj3dState* obj3d_set_alpha_ref_ovr(int32_t v) { return g_o3.alpha_ref_ovr = v, &g_o3; }
const Obj3dState* obj3d_set_w12(int32_t v) { return g_o3.w12 = v, &g_o3; }
const Obj3dState* obj3d_set_blend_ovr(int32_t v) { return g_o3.blend_ovr = v, &g_o3; }
const Obj3dState* obj3d_set_tex_limit(int32_t v) { return g_o3.tex_limit = v, &g_o3; }
const Obj3dState* obj3d_set_pass_a(int32_t v) { return g_o3.pass_a = v, &g_o3; }
const Obj3dState* obj3d_set_pass_b(int32_t v) { return g_o3.pass_b = v, &g_o3; }
void obj3d_set_w17_w18(int32_t a, int32_t b)
{
    g_o3.w17 = a;
    g_o3.w18 = b;
}
int32_t obj3d_get_pass_id() { return g_o3.pass_id; }
int32_t obj3d_get_alpha_ref_ovr() { return g_o3.alpha_ref_ovr; }
int32_t obj3d_get_w12() { return g_o3.w12; }
int32_t obj3d_get_blend_ovr() { return g_o3.blend_ovr; }
int32_t obj3d_get_w17() { return g_o3.w17; }
int32_t obj3d_get_w18() { return g_o3.w18; }
int32_t obj3d_get_pass_a() { return g_o3.pass_a; }
int32_t obj3d_get_pass_b() { return g_o3.pass_b; }

// --- per-view pass -----------------------------------------------------------------------

void obj3d_scene_begin(int view, int pass_id, int xform_set_index)
{
    g_o3.pass_id = pass_id;
    cam_set_cur_screen(view);
    cam_select_xform_set(xform_set_index);
    if (XformSet* x = cam_get_xform_set(xform_set_index)) g_o3.xset = x;
    cam_apply_xform_set(xform_set_index);
    gfx_set_render_state(GFX_RS_NORMALIZENORMALS, 1);
    shader_begin_view();
    gfx_set_render_state(GFX_RS_LIGHTING, 1);
    gfx_set_render_state(GFX_RS_SHADEMODE, GFX_SHADE_GOURAUD);
    gfx_set_render_state(GFX_RS_AMBIENT, 0);
    // LIGHTING was set behind the render-state cache: make it forget.
    disp_rstate_cache_reset();
    env_apply_light(view);
    material_apply_default();
    obj3d_apply_fog(view);
}

void obj3d_scene_end()
{
    clear_overrides();
    obj3d_unbind_stages(0);
}

void obj3d_apply_fog(int view) { fog_apply(view); }

void obj3d_unbind_stages(int first) { disp_unbind_stages_from(first); }

void obj3d_stub_a() {}
void obj3d_stub_b() {}
int mesh_shader_set(ResHandle mesh) { return mesh && (res_mesh_flags(mesh) & 1u) ? 4 : 0; }

// obj3d/prim3d: the 3D line and triangle types with their batched draw-alls, and the debug
// shapes built on the 3D primitive list (see prim3d.h).
#include "obj3d/prim3d.h"

#include <cstring>

#include "disp/cam.h"
#include "disp/rstate.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "hit/hit.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "disp/obj.h"
#include "obj3d/obj3d_draw.h"
#include "obj3d/plist3d.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"

namespace {

constexpr uint32_t PRIM3D_LINE_FLAGS = 1u | PRIM3D_Z_WRITE | (7u << PRIM3D_Z_FUNC_SHIFT);
constexpr uint32_t PRIM3D_TRI_FLAGS = 1u | PRIM3D_Z_WRITE | (1u << PRIM3D_Z_FUNC_SHIFT);
// Work sizes as registered: room past the records' own fields.
constexpr int PRIM3D_LINE_WORK_BYTES = 40;
constexpr int PRIM3D_TRI_WORK_BYTES = 56;
static_assert(sizeof(Line3dObj) <= PRIM3D_LINE_WORK_BYTES &&
              sizeof(Tri3dObj) <= PRIM3D_TRI_WORK_BYTES);

struct Prim3dTypes {
    int line, tri;
    uint64_t batches;
};
Prim3dTypes g_p3;

Line3dObj* L(DrawObj* o) { return obj_work<Line3dObj>(o); }
Tri3dObj* T(DrawObj* o) { return obj_work<Tri3dObj>(o); }
bool is_line(const DrawObj* o) { return o && g_p3.line && o->type == g_p3.line; }
bool is_tri(const DrawObj* o) { return o && g_p3.tri && o->type == g_p3.tri; }

Prim3dVertex* scratch() { return reinterpret_cast<Prim3dVertex*>(tex_get_vertex_scratch_b()); }

DrawObj* make(int type, ResGroupId group)
{
    if (!type) return nullptr;
    DrawObj* o = obj_alloc(group);
    if (!o) return nullptr;
    obj_set_type(o, type);
    obj_set_visible(o, 1);
    return o;
}

void put_flags(uint32_t& f, uint32_t mask, int shift, int v)
{
    f = (f & ~mask) | ((uint32_t(v) << shift) & mask);
}

// The states of one batch: blend, z-write and z-function from the flags.
RenderStateKey batch_key(int zwrite, uint32_t flags)
{
    return rstate_key_make(0, zwrite, 0, int(flags & 31u), 2, DISP_ALPHA_REF_OFF,
                           int((flags >> PRIM3D_Z_FUNC_SHIFT) & 7u), 0, 1);
}

uint32_t state_of(uint32_t flags) { return flags & 0x1FFu; }

// Draws a run of primitives of `verts` vertices each in batches that break
// where the state changes. Every state goes through the key, so the cache
// knows it and blending is switched off for index 0.
template <class Get>
void draw_batches(int count, int verts, GfxPrim prim, Get get)
{
    gfx_set_transform(GFX_TS_WORLD, VM_MAT_IDENTITY.m);
    disp_rstate_cache_reset();
    tex_set_stage(0, nullptr, 1);
    Prim3dVertex* v = scratch();
    int n = 0;
    uint32_t state = 0xFFFFFFFFu;
    auto flush = [&] {
        if (n > 0) {
            gfx_draw_primitive_up(prim, uint32_t(n), v, sizeof(Prim3dVertex));
            ++g_p3.batches;
        }
        n = 0;
    };
    for (int i = 0; i < count; ++i) {
        const Vec3* p;
        const uint32_t* c;
        uint32_t flags;
        get(i, &p, &c, &flags);
        if (state_of(flags) != state || n >= PRIM3D_BATCH) {
            flush();
            if (state_of(flags) != state) {
                state = state_of(flags);
                disp_set_rstate_key_fvf(batch_key((flags & PRIM3D_Z_WRITE) ? 1 : 0, flags),
                                        PRIM3D_FVF);
            }
        }
        for (int k = 0; k < verts; ++k) {
            Prim3dVertex& out = v[size_t(n) * size_t(verts) + size_t(k)];
            out = Prim3dVertex{};
            out.x = p[k].x, out.y = p[k].y, out.z = p[k].z;
            out.colour = c[k];
        }
        ++n;
    }
    flush();
    disp_rstate_cache_reset();
}

}  // namespace

// --- registration -----------------------------------------------------------------------------

void prim3d_line_type_register()
{
    g_p3.line = obj_register_type(prim3d_line_draw_all, prim3d_line_init, nullptr, nullptr,
                                  PRIM3D_LINE_WORK_BYTES);
}
void prim3d_tri_type_register()
{
    g_p3.tri = obj_register_type(prim3d_tri_draw_all, prim3d_tri_init, nullptr, nullptr,
                                 PRIM3D_TRI_WORK_BYTES);
}
void prim3d_line_term() {}
void prim3d_tri_term() {}
int prim3d_line_type() { return g_p3.line; }
int prim3d_tri_type() { return g_p3.tri; }
uint64_t prim3d_batch_count() { return g_p3.batches; }

void prim3d_line_init(DrawObj* obj)
{
    *L(obj) = Line3dObj{{}, {0xFFFFFFFFu, 0xFFFFFFFFu}, PRIM3D_LINE_FLAGS};
    obj_set_priority(obj, PRIM3D_PRIO);
}
void prim3d_tri_init(DrawObj* obj)
{
    *T(obj) = Tri3dObj{{}, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, PRIM3D_TRI_FLAGS};
    obj_set_priority(obj, PRIM3D_PRIO);
}

// --- lines ---------------------------------------------------------------------------------

DrawObj* prim3d_line_create(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                            uint32_t c1)
{
    DrawObj* o = make(g_p3.line, group);
    if (!o) return nullptr;
    prim3d_line_set_points(o, p0, p1);
    prim3d_line_set_colours(o, c0, c1);
    return o;
}
DrawObj* prim3d_line_create_1f(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                               uint32_t c1)
{
    DrawObj* o = prim3d_line_create(group, p0, c0, p1, c1);
    if (o) obj_kill(o);
    return o;
}
void prim3d_line_set_points(DrawObj* obj, const Vec3* p0, const Vec3* p1)
{
    if (!is_line(obj)) return;
    if (p0) L(obj)->p[0] = *p0;
    if (p1) L(obj)->p[1] = *p1;
}
void prim3d_line_set_colours(DrawObj* obj, uint32_t c0, uint32_t c1)
{
    if (is_line(obj)) L(obj)->colour[0] = c0, L(obj)->colour[1] = c1;
}
void prim3d_line_set_blend(DrawObj* obj, int blend)
{
    if (is_line(obj)) put_flags(L(obj)->flags, 31u, 0, blend);
}
void prim3d_line_set_flag5(DrawObj* obj, int zwrite)
{
    if (is_line(obj)) put_flags(L(obj)->flags, PRIM3D_Z_WRITE, 5, zwrite & 1);
}
void prim3d_line_set_zfunc(DrawObj* obj, int zfunc)
{
    if (is_line(obj))
        put_flags(L(obj)->flags, 7u << PRIM3D_Z_FUNC_SHIFT, PRIM3D_Z_FUNC_SHIFT, zfunc);
}

void prim3d_line_draw_all(DrawObj** run, int count)
{
    draw_batches(count, 2, GFX_PT_LINELIST,
                 [&](int i, const Vec3** p, const uint32_t** c, uint32_t* f) {
                     Line3dObj* l = L(run[i]);
                     *p = l->p, *c = l->colour, *f = l->flags;
                 });
}

// --- triangles -----------------------------------------------------------------------------

DrawObj* prim3d_tri_create(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                           uint32_t c1, const Vec3* p2, uint32_t c2)
{
    DrawObj* o = make(g_p3.tri, group);
    if (!o) return nullptr;
    prim3d_tri_set_points(o, p0, p1, p2);
    prim3d_tri_set_colours(o, c0, c1, c2);
    return o;
}
DrawObj* prim3d_tri_create_1f(ResGroupId group, const Vec3* p0, uint32_t c0, const Vec3* p1,
                              uint32_t c1, const Vec3* p2, uint32_t c2)
{
    DrawObj* o = prim3d_tri_create(group, p0, c0, p1, c1, p2, c2);
    if (o) obj_kill(o);
    return o;
}
void prim3d_tri_set_points(DrawObj* obj, const Vec3* p0, const Vec3* p1, const Vec3* p2)
{
    if (!is_tri(obj)) return;
    if (p0) T(obj)->p[0] = *p0;
    if (p1) T(obj)->p[1] = *p1;
    if (p2) T(obj)->p[2] = *p2;
}
void prim3d_tri_set_colours(DrawObj* obj, uint32_t c0, uint32_t c1, uint32_t c2)
{
    if (is_tri(obj)) T(obj)->colour[0] = c0, T(obj)->colour[1] = c1, T(obj)->colour[2] = c2;
}
void prim3d_tri_set_blend(DrawObj* obj, int blend)
{
    if (is_tri(obj)) put_flags(T(obj)->flags, 31u, 0, blend);
}
void prim3d_tri_set_zwrite(DrawObj* obj, int zwrite)
{
    if (is_tri(obj)) put_flags(T(obj)->flags, PRIM3D_Z_WRITE, 5, zwrite & 1);
}
void prim3d_tri_set_zfunc(DrawObj* obj, int zfunc)
{
    if (is_tri(obj))
        put_flags(T(obj)->flags, 7u << PRIM3D_Z_FUNC_SHIFT, PRIM3D_Z_FUNC_SHIFT, zfunc);
}

void prim3d_tri_draw_all(DrawObj** run, int count)
{
    const Mat44* view = cam_get_view_mtx(cam_get_cur_screen());
    const Vec3 eye = view ? Vec3{view->m[12], view->m[13], view->m[14]} : Vec3{0, 0, 0};
    DrawObj** order = obj3d_sort_array_fill();
    count = count < OBJ3D_SORT_CAP ? count : OBJ3D_SORT_CAP;
    for (int i = 0; i < count; ++i) {
        const Tri3dObj* t = T(run[i]);
        const Vec3 mean = {(t->p[0].x + t->p[1].x + t->p[2].x) * 0.3334f,
                           (t->p[0].y + t->p[1].y + t->p[2].y) * 0.3334f,
                           (t->p[0].z + t->p[1].z + t->p[2].z) * 0.3334f};
        run[i]->depth = vm_vec3_dist_sq(&mean, &eye);
        order[i] = run[i];
    }
    sort_by_key_desc(order, count);
    obj3d_sort_set_count(count);
    draw_batches(count, 3, GFX_PT_TRIANGLELIST,
                 [&](int i, const Vec3** p, const uint32_t** c, uint32_t* f) {
                     Tri3dObj* t = T(order[i]);
                     *p = t->p, *c = t->colour, *f = t->flags;
                 });
}

// --- debug shapes ----------------------------------------------------------------------------

namespace {

struct CollDraw {
    ResHandle coll;
};

void coll_draw_cb(DrawObj* obj, uint32_t)
{
    CollDraw cd;
    std::memcpy(&cd, obj3d_user_area(obj), sizeof cd);
    const uint32_t n = res_coll_nr_tris(cd.coll);
    plist3d_begin(obj, PLIST3D_TRIANGLES, 0);
    for (uint32_t i = 0; i < n; ++i) {
        ResCollTri t;
        if (!res_coll_get_tri(cd.coll, i, &t)) break;
        plist3d_normal3f(obj, t.normal[0], t.normal[1], t.normal[2]);
        for (const auto& c : t.c) plist3d_vertex3f(obj, c[0], c[1], c[2]);
    }
    plist3d_end(obj);
}

struct SphereDraw {
    Vec3 centre;
    float radius;
};

void sphere_draw_cb(DrawObj* obj, uint32_t)
{
    SphereDraw sd;
    std::memcpy(&sd, obj3d_user_area(obj), sizeof sd);
    const Mat44* view = cam_get_view_mtx(0);
    Vec3 pts[10];
    for (int i = 0; i < 10; ++i) {
        const float a = VM_TWO_PI * float(i) / 10.0f;
        const Vec3 local = {sd.radius * vm_math_cos(a), sd.radius * vm_math_sin(a), 0.0f};
        Vec3 turned = local;
        if (view) vm_mat_transform_vector(&turned, view, &local);
        vm_vec3_add(&pts[i], &turned, &sd.centre);
    }
    plist3d_begin(obj, PLIST3D_TRIANGLES, 0);
    for (int i = 1; i <= 8; ++i) {
        plist3d_vertex(obj, &pts[0]);
        plist3d_vertex(obj, &pts[i]);
        plist3d_vertex(obj, &pts[i + 1]);
    }
    plist3d_end(obj);
}

}  // namespace

DrawObj* debug_coll_draw(ResGroupId group, const Mat44* world, ResHandle coll, uint32_t colour)
{
    DrawObj* obj = plist3d_create_debug_1f(group, colour, 1);
    if (!obj) return nullptr;
    plist3d_set_cull(obj, 0);
    if (world) *plist3d_matrix(obj) = *world;
    const CollDraw cd = {coll};
    std::memcpy(obj3d_user_area(obj), &cd, sizeof cd);
    plist3d_set_draw_cb(obj, coll_draw_cb, 0);
    return obj;
}

DrawObj* debug_sphere_draw(ResGroupId group, const Vec3* centre, float radius, uint32_t colour)
{
    DrawObj* obj = centre ? plist3d_create_debug_1f(group, colour, 1) : nullptr;
    if (!obj) return nullptr;
    const SphereDraw sd = {*centre, radius};
    std::memcpy(obj3d_user_area(obj), &sd, sizeof sd);
    plist3d_set_draw_cb(obj, sphere_draw_cb, 0);
    return obj;
}

DrawObj* debug_hit_sphere_draw(ResGroupId group, const HitTarget* target, uint32_t colour)
{
    if (!target) return nullptr;
    Mat44 world;
    if (target->world)
        world = *target->world;
    else
        vm_mat_identity(&world);
    Vec3 centre = {world.m[12], world.m[13], world.m[14]};
    if (target->flags & HIT_OWN_CENTRE) vm_mat_transform_point(&centre, &world, &target->centre);
    return debug_sphere_draw(group, &centre, target->radius, colour);
}

// obj3d/obj3d_hit: the hit targets of the 3D object types (see obj3d_hit.h): setting one, walking
// a chain for results and bits, and the debug draw.
#include "obj3d/obj3d_hit.h"

#include <string_view>

#include "disp/cam.h"
#include "disp/disp_param.h"
#include "hit/hit_geom.h"
#include "math/vm_view.h"
#include "obj3d/mdlobj.h"
#include "obj3d/prim3d.h"
#include "res/res.h"

namespace {

// A chain never holds more targets than the pool: the bound keeps a damaged
// link from looping.
template <class T, class Fn>
T* walk(T* chain, Fn fn)
{
    T* t = chain;
    for (int k = 0; t && k < HIT_TARGETS; k++, t = t->chain)
        if (fn(t)) return t;
    return nullptr;
}

HitTarget* with_ground(HitTarget* t, int ground_on)
{
    if (t && !ground_on) t->flags &= ~HIT_GROUND;
    return t;
}

float screen_radius(int view, const Mat44* world, float radius, float min_screen)
{
    const Vec3 pos = {world->m[12], world->m[13], world->m[14]};
    return vm_proj_min_world_size(cam_get_proj_params(view), cam_get_world_mtx(view), &pos, radius,
                                  float(disp_get_render_w()), min_screen);
}

void draw_as_model(ResGroupId group, const HitTarget* t, uint32_t colour)
{
    const ResHandle mesh =
        res_mesh_find(res_coll_group(t->coll_handle), res_coll_name(t->coll_handle));
    DrawObj* m = mdlobj_create_1f(group, t->world, mesh, 72);
    if (!m) return;
    mdlobj_set_shader_set(m, 1);
    mdlobj_set_override_tex(m, res_tex_white());
    mdlobj_set_lighting(m, 0);
    mdlobj_set_depth_sort(m, 1);
    mdlobj_set_zwrite(m, 0);
    mdlobj_set_fog(m, 0);
    mdlobj_set_diffuse(m, colour);
}

}  // namespace

void obj3d_hit_set_model(HitTarget** slot, const Mat44* owner, ResHandle coll, HitGroup group,
                         int ground_on)
{
    const char* name = res_coll_name(coll);
    if (*slot) {
        hit_target_set_model(*slot, coll, group, name, 0);
        return;
    }
    *slot =
        with_ground(hit_target_add_model(coll, owner, group, hit_next_id(), name, 0), ground_on);
}

void obj3d_hit_set_sphere(HitTarget** slot, const Mat44* owner, const Vec3* centre, float radius,
                          HitGroup group, int ground_on)
{
    if (*slot) {
        hit_target_set_sphere(*slot, centre, radius, group, 0, 0);
        return;
    }
    *slot = with_ground(hit_target_add_sphere(centre, radius, owner, group, hit_next_id(), 0, 0),
                        ground_on);
}

void obj3d_hit_set_auto(HitTarget** slot, const Mat44* owner, int view, const Mat44* world,
                        ResHandle coll, const Vec3* centre, float min_screen, HitGroup group)
{
    const CollGeom* geom = hit_geom_of(res_coll_get(coll));
    if (!world || !geom) return;
    const float base = 0.714f * geom->origin_radius;
    const float r = screen_radius(view, world, base, min_screen);
    if (r <= base)
        obj3d_hit_set_model(slot, owner, coll, group, 0);
    else
        obj3d_hit_set_sphere(slot, owner, centre, r, group, 0);
}

void obj3d_hit_set_sphere_scaled(HitTarget** slot, const Mat44* owner, int view, const Mat44* world,
                                 float radius, const Vec3* centre, float min_screen, HitGroup group)
{
    if (!world) return;
    obj3d_hit_set_sphere(slot, owner, centre, screen_radius(view, world, radius, min_screen), group,
                         0);
}

void obj3d_hit_release(HitTarget** slot)
{
    if (!*slot) return;
    hit_target_release(*slot);
    *slot = nullptr;
}

uint32_t obj3d_hit_result_count(const HitTarget* chain)
{
    uint32_t n = 0;
    walk(chain, [&](const HitTarget* t) { return n += t->result_count, false; });
    return n;
}

int obj3d_hit_result(const HitTarget* chain, uint32_t n, HitResult* out)
{
    const HitTarget* t = walk(chain, [&](const HitTarget* c) {
        if (n < c->result_count) return true;
        n -= c->result_count;
        return false;
    });
    HitResult* r = t ? hit_target_result_at(t, n) : nullptr;
    if (!r) return 0;
    if (out) {
        *out = *r;
        out->chain_next = out->prev = out->next = nullptr;
    }
    return 1;
}

void obj3d_hit_set_bits(HitTarget* chain, uint32_t bits, int on)
{
    walk(chain, [&](HitTarget* t) {
        t->flags = on ? t->flags | bits : t->flags & ~bits;
        return false;
    });
}

void obj3d_hit_set_hittable(HitTarget* chain, int on)
{
    obj3d_hit_set_bits(chain, HIT_HITTABLE, on);
    obj3d_hit_set_bits(chain, HIT_GROUND, 0);
}

int obj3d_hit_count(const HitTarget* chain)
{
    int n = 0;
    walk(chain, [&](const HitTarget*) { return ++n, false; });
    return n;
}

HitTarget* obj3d_hit_at(HitTarget* chain, int n)
{
    if (n < 0) return nullptr;
    return walk(chain, [&](HitTarget*) { return n-- == 0; });
}

HitTarget* obj3d_hit_by_name(HitTarget* chain, const char* name)
{
    if (!name) return nullptr;
    return walk(chain, [&](HitTarget* t) {
        const char* own = reinterpret_cast<const char*>(t->name);
        return own && std::string_view(own) == name;
    });
}

void obj3d_hit_debug_draw(ResGroupId group, const HitTarget* chain, int as_model)
{
    walk(chain, [&](const HitTarget* t) {
        const uint32_t colour =
            (t->flags & HIT_HITTABLE) ? OBJ3D_HIT_DEBUG_HITTABLE : OBJ3D_HIT_DEBUG_OFF;
        if (!t->coll)
            debug_hit_sphere_draw(group, t, colour);
        else if (as_model)
            draw_as_model(group, t, colour);
        else
            debug_coll_draw(group, t->world, t->coll_handle, colour);
        return false;
    });
}

// hit/hitcyl: collision volumes (see hitcyl.h).
#include "hit/hitcyl.h"

#include <cmath>

#include "disp/cam.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "math/vm_view.h"
#include "util/pool_list.h"

namespace {

struct HitCylWork {
    HitCylinder volumes[HITCYL_CYLINDERS];
    HitCylinder *used, *free;
    int live;
    int view_flag;
    ProjParams params;
    FrustumPlanes planes;
};
HitCylWork g;

constexpr uint32_t HITCYL_GROUP_BITS = 0x3FFFFFFFu;
constexpr uint32_t HITCYL_NO_PUSH = 1u << 30;
constexpr uint32_t HITCYL_PUSHABLE = 1u << 31;

void clear_pool()
{
    g = HitCylWork{};
    pool_list_init(g.volumes, HITCYL_CYLINDERS, g.free);
}

bool live_volume(const HitCylinder* v)
{
    if (!v || v < g.volumes || v >= g.volumes + HITCYL_CYLINDERS) return false;
    return (reinterpret_cast<uintptr_t>(v) - reinterpret_cast<uintptr_t>(g.volumes)) %
                   sizeof(HitCylinder) ==
               0 &&
           (v->flags & HITCYL_IN_USE);
}

void build_planes()
{
    if (g.view_flag) {
        Mat44 proj, view_proj;
        viewmath_perspective_from6(&proj, &g.params);
        vm_mat_mul(&view_proj, &proj, cam_get_world_mtx(0));  // the view first, then the projection
        viewmath_frustum_planes(&g.planes, &view_proj);
    } else {
        g.planes = *cam_get_frustum(0);
    }
}

void move_xz(HitCylinder& v, float x, float z)
{
    v.pos.x += x;
    v.pos.z += z;
    v.push.x += x;
    v.push.z += z;
}

// Unit vector of (x, z); zero stays zero.
void unit2(float& x, float& z)
{
    const float l2 = x * x + z * z;
    if (l2 == 0.0f) return;
    const float l = std::sqrt(l2);
    x /= l;
    z /= l;
}

bool pair_test(HitCylinder& a, HitCylinder& b)
{
    bool push_a = a.group & HITCYL_PUSHABLE, push_b = b.group & HITCYL_PUSHABLE;
    if ((a.group | b.group) & HITCYL_NO_PUSH) push_a = push_b = false;
    const float dy = a.pos.y - b.pos.y, h = a.half_height + b.half_height;
    if (dy * dy > h * h) return false;
    const float dx = a.pos.x - b.pos.x, dz = a.pos.z - b.pos.z, d2 = dx * dx + dz * dz;
    const float r = a.radius + b.radius;
    if (!(d2 < r * r)) return false;
    if (!push_a && !push_b) return true;
    const float dist = std::sqrt(d2), w = a.weight + b.weight;
    if (w == 0.0f) return true;  // no weights: nobody can be moved by a share
    const float f = a.weight / w;
    const float ka = push_a ? (1.0f - f) * (dist - r) : 0.0f;
    const float kb = push_b ? (dist - r) * f : 0.0f;
    float ax = b.pos.x - a.pos.x, az = b.pos.z - a.pos.z;
    float bx = -ax, bz = -az;
    unit2(ax, az);
    unit2(bx, bz);
    move_xz(a, ax * ka, az * ka);
    move_xz(b, bx * kb, bz * kb);
    return true;
}

void keep_inside(HitCylinder& v)
{
    for (const Plane& plane : g.planes.p) {
        Plane n;
        vm_plane_normalize(&n, &plane);
        const Vec3 normal = {n.a, n.b, n.c};
        Vec3 off;
        vm_plane_project_point(&off, nullptr, &v.pos, &n);
        const Vec3 to_plane = {-off.x, -off.y, -off.z};
        if (!(vm_vec3_dot(&to_plane, &normal) < 0.0f)) continue;
        const float l2 = vm_vec3_dot(&to_plane, &to_plane);
        const float len = l2 < 1e-10f ? 0.0f : std::sqrt(l2);
        if (!(len < v.radius)) continue;
        Vec3 move;
        vm_vec3_normalize(&move, &to_plane);
        vm_vec3_scale(&move, &move, len - v.radius);
        move_xz(v, move.x, move.z);
    }
}

}  // namespace

void hitcyl_init() { clear_pool(); }
void hitcyl_pool_reset() { clear_pool(); }
void hitcyl_release() { clear_pool(); }
void hitcyl_term() { hitcyl_release(); }

void hitcyl_frame()
{
    if (g.live == 0) return;
    build_planes();
    for (HitCylinder* v = g.used; v; v = v->next) {
        if (v->parent)
            vm_mat_transform_point(&v->pos, v->parent, &v->offset);
        else
            v->pos = v->offset;
        v->push = {0, 0, 0};
        v->hit_bits = 0;
    }
    for (HitCylinder* a = g.used; a; a = a->next)
        for (HitCylinder* b = g.used; b != a; b = b->next) {
            if (!(a->mask & b->group & HITCYL_GROUP_BITS) ||
                !(b->mask & a->group & HITCYL_GROUP_BITS))
                continue;
            if (!pair_test(*a, *b)) continue;
            a->hit_bits |= b->group & HITCYL_GROUP_BITS;
            b->hit_bits |= a->group & HITCYL_GROUP_BITS;
        }
    for (HitCylinder* v = g.used; v; v = v->next)
        if (v->flags & HITCYL_KEEP_INSIDE) keep_inside(*v);
}

HitCylinder* hitcyl_create(const Mat44* parent, float radius, float half_height, const Vec3* offset,
                           uint32_t group, uint32_t mask)
{
    HitCylinder* v = pool_list_take(g.free, g.used);
    if (!v) return nullptr;
    v->flags = HITCYL_IN_USE;
    v->group = group;
    v->mask = mask;
    v->parent = parent;
    v->offset = offset ? *offset : Vec3{0, 0, 0};
    v->radius = radius;
    v->half_height = half_height;
    v->weight = 50.0f;
    g.live++;
    return v;
}

void hitcyl_free(HitCylinder* v)
{
    if (!live_volume(v)) return;
    v->flags &= ~HITCYL_IN_USE;
    pool_list_give(v, g.free, g.used);
    g.live--;
}

int hitcyl_get_result(const HitCylinder* v, Vec3* out_push)
{
    if (!v) return 0;
    if (out_push) *out_push = v->push;
    return v->hit_bits != 0;
}

uint32_t hitcyl_get_hit_bits(const HitCylinder* v) { return v ? v->hit_bits : 0; }

void hitcyl_set_keep_inside(HitCylinder* v, int on)
{
    if (!live_volume(v)) return;
    v->flags = on ? v->flags | HITCYL_KEEP_INSIDE : v->flags & ~HITCYL_KEEP_INSIDE;
}

int hitcyl_count() { return g.live; }

void hitcyl_set_view(const ProjParams* params)
{
    g.view_flag = params != nullptr;
    if (params) g.params = *params;
}

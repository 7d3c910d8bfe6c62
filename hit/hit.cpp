// hit/hit: the hit-check system (see hit.h).
#include "hit/hit.h"

#include <cmath>
#include <limits>

#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "util/pool_list.h"

namespace {

struct HitWork {
    HitTarget targets[HIT_TARGETS];
    HitTarget *target_free, *target_active;
    int target_count;
    HitResult results[HIT_RESULTS];
    HitResult *result_free, *result_used;
    int result_count;
    HitRay rays[HIT_RAYS];
    HitRay *ray_free, *ray_active;
    int ray_count;
    HitOwnerId last_id;
};
HitWork g;

constexpr float HIT_QUERY_START = 999.0f;
constexpr float HIT_RAY_NONE = 1e7f;

// Pointers from callers are checked against the pool: a stale or foreign
// record is never unlinked twice.
template <class T, size_t N>
bool live(T (&pool)[N], const T* p, uint32_t in_use_bit)
{
    if (!p || p < pool || p >= pool + N) return false;
    return (reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(pool)) % sizeof(T) == 0 &&
           (p->flags & in_use_bit);
}

// ---- results ---------------------------------------------------------------------------------

void results_return(HitResult*& chain, uint32_t& count)
{
    for (HitResult* r = chain; r;) {
        HitResult* next = r->chain_next;
        pool_list_give(r, g.result_free, g.result_used);
        g.result_count--;
        r = next;
    }
    chain = nullptr;
    count = 0;
}

// Appends at the end of a chain; false when the pool is exhausted (the hit
// is dropped).
bool result_append(HitResult*& chain, const HitResult& value)
{
    HitResult* r = pool_list_take(g.result_free, g.result_used, value);
    if (!r) return false;
    r->chain_next = nullptr;
    g.result_count++;
    HitResult** at = &chain;
    while (*at) at = &(*at)->chain_next;
    *at = r;
    return true;
}

uint32_t chain_length(const HitResult* r)
{
    uint32_t n = 0;
    for (; r; r = r->chain_next) n++;
    return n;
}

// ---- target geometry -------------------------------------------------------------------------

bool group_passes(HitGroup query, const HitTarget& t)
{
    return query == HIT_ANY_GROUP || query == t.group;
}

float max_row_scale(const Mat44* m)
{
    if (!m) return 1.0f;
    float best = 0.0f;
    for (int r = 0; r < 3; r++) {
        const float* row = &m->m[4 * r];
        best = std::fmax(best, row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
    }
    return std::sqrt(best);
}

Vec3 translation_of(const Mat44* m)
{
    return m ? Vec3{m->m[12], m->m[13], m->m[14]} : Vec3{0, 0, 0};
}

// The collision target's bounding sphere in the world: at the owner's
// translation, the set's radius about its origin scaled by the largest axis.
void coll_sphere(const HitTarget& t, Vec3& c, float& r)
{
    c = translation_of(t.world);
    r = t.radius * max_row_scale(t.world);
}

// A plain sphere target's centre in the world.
Vec3 sphere_centre(const HitTarget& t)
{
    if (!(t.flags & HIT_OWN_CENTRE)) return translation_of(t.world);
    Vec3 c = t.centre;
    if (t.world) vm_mat_transform_point(&c, t.world, &t.centre);
    return c;
}

// The segment comes within r of c (closest point of the segment itself).
bool segment_near(const Vec3& o, const Vec3& v, const Vec3& c, float r)
{
    const double wx = double(c.x) - o.x, wy = double(c.y) - o.y, wz = double(c.z) - o.z;
    const double vv = double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
    double s = vv > 0.0 ? (wx * v.x + wy * v.y + wz * v.z) / vv : 0.0;
    s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
    const double dx = wx - v.x * s, dy = wy - v.y * s, dz = wz - v.z * s;
    const double rr = double(r) * (1.0 + 1e-5) + 1e-6;
    return dx * dx + dy * dy + dz * dz <= rr * rr;
}

bool segment_meets_target(const HitTarget& t, const Vec3& o, const Vec3& v)
{
    Vec3 c;
    float r;
    coll_sphere(t, c, r);
    return segment_near(o, v, c, r);
}

const CollGeom* geom_of(const HitTarget& t) { return t.coll ? hit_geom_of(t.coll) : nullptr; }

// Every active target a query may meet, newest first.
template <class Fn>
void for_query_targets(HitOwnerId owner, HitGroup group, uint32_t need, Fn fn)
{
    for (HitTarget* t = g.target_active; t; t = t->next) {
        if ((t->flags & need) != need || !group_passes(group, *t)) continue;
        if (owner && t->owner == owner) continue;
        fn(*t);
    }
}

void fill_target(HitTarget& t, const ResDataInfo* coll, const char* coll_name, const Vec3* centre,
                 float radius, HitGroup group, HitWord name, HitWord user)
{
    t.coll = coll;
    t.coll_handle = 0;
    t.group = group;
    t.user = user;
    t.name = name ? name : reinterpret_cast<HitWord>(coll_name);
    t.flags &= ~HIT_OWN_CENTRE;
    if (coll) {
        const CollGeom* geom = hit_geom_of(coll);
        t.centre = geom ? geom->sphere_centre : Vec3{0, 0, 0};
        t.radius = geom ? geom->origin_radius : 0.0f;
    } else {
        t.centre = centre ? *centre : Vec3{0, 0, 0};
        t.radius = radius;
        if (centre) t.flags |= HIT_OWN_CENTRE;
    }
}

HitTarget* target_take()
{
    HitTarget* t = pool_list_take(g.target_free, g.target_active);
    if (!t) return nullptr;
    t->flags = HIT_IN_USE | HIT_HITTABLE | HIT_GROUND;
    g.target_count++;
    return t;
}

// Nothing about a released target is delivered afterwards: rays that met it
// this frame forget the meeting (and skip their callback).
void forget_target_in_rays(const HitTarget* t)
{
    for (HitRay* r = g.ray_active; r; r = r->next) {
        if (r->nearest != t) continue;
        results_return(r->results, r->result_count);
        r->flags &= ~HIT_RAY_WAS_HIT;
        r->nearest = nullptr;
        r->nearest_t = HIT_RAY_NONE;
    }
}

void release_one(HitTarget* t)
{
    results_return(t->results, t->result_count);
    forget_target_in_rays(t);
    t->flags &= ~(HIT_IN_USE | HIT_HITTABLE | HIT_GROUND);
    t->chain = nullptr;
    pool_list_give(t, g.target_free, g.target_active);
    g.target_count--;
}

void pools_reset()
{
    g = HitWork{};
    pool_list_init(g.targets, HIT_TARGETS, g.target_free);
    pool_list_init(g.results, HIT_RESULTS, g.result_free);
    pool_list_init(g.rays, HIT_RAYS, g.ray_free);
}

// ---- the ray pass ------------------------------------------------------------------------------

void clear_frame_results()
{
    for (HitTarget* t = g.target_active; t; t = t->next) {
        results_return(t->results, t->result_count);
        t->flags &= ~HIT_WAS_HIT;
    }
    for (HitRay* r = g.ray_active; r; r = r->next) {
        results_return(r->results, r->result_count);
        r->flags &= ~HIT_RAY_WAS_HIT;
        r->nearest_t = HIT_RAY_NONE;
        r->nearest = nullptr;
    }
}

// Active rays at this moment: callbacks and releases may change the list
// while it is being walked, so walks that call out go over a copy.
int snapshot_rays(HitRay* out[HIT_RAYS])
{
    int n = 0;
    for (HitRay* r = g.ray_active; r && n < HIT_RAYS; r = r->next) out[n++] = r;
    return n;
}

void age_rays()
{
    HitRay* rays[HIT_RAYS];
    const int n = snapshot_rays(rays);
    for (int i = 0; i < n; i++) {
        HitRay* r = rays[i];
        uint32_t life = (r->flags & HIT_RAY_LIFE_MASK) >> HIT_RAY_LIFE_SHIFT;
        if (!(r->flags & HIT_RAY_IN_USE) || life == 0) continue;
        life--;
        r->flags = (r->flags & ~HIT_RAY_LIFE_MASK) | (life << HIT_RAY_LIFE_SHIFT);
        if (life == 0) hit_ray_release(r);
    }
}

void resolve_ray(HitRay& r)
{
    float best_t = HIT_RAY_NONE;
    HitTarget* best = nullptr;
    HitGeomHit best_hit{}, hit{};
    for (HitTarget* t = g.target_active; t; t = t->next) {
        if (!(t->flags & HIT_HITTABLE) || !group_passes(r.group, *t)) continue;
        if (t->coll) {
            const CollGeom* geom = geom_of(*t);
            if (!geom || !segment_meets_target(*t, r.origin, r.vec)) continue;
            if (!hit_coll_ray(*geom, t->world, &r.origin, &r.vec, &hit)) continue;
        } else {
            const Vec3 c = sphere_centre(*t);
            if (!hit_coll_sphere_ray(&c, t->radius, &r.origin, &r.vec, &hit)) continue;
        }
        if (hit.t < best_t) {
            best_t = hit.t;
            best = t;
            best_hit = hit;
        }
    }
    if (!best) return;
    const Vec3 p = {r.origin.x + r.vec.x * best_t, r.origin.y + r.vec.y * best_t,
                    r.origin.z + r.vec.z * best_t};
    HitResult on_target{};
    on_target.point = p;
    on_target.normal = best_hit.normal;
    on_target.face = best_hit.face;
    on_target.a = r.user1;
    on_target.b = r.user2;
    on_target.name = best->name;
    on_target.user = best->user;
    HitResult on_ray = on_target;
    on_ray.a = best->group;
    result_append(best->results, on_target);
    result_append(r.results, on_ray);
    r.nearest_t = best_t;
    r.nearest = best;
    r.flags |= HIT_RAY_WAS_HIT;
    best->flags |= HIT_WAS_HIT;
}

void resolve_rays()
{
    if (!g.target_active || !g.ray_active) return;
    for (HitRay* r = g.ray_active; r; r = r->next) resolve_ray(*r);
    for (HitRay* r = g.ray_active; r; r = r->next) r->result_count = chain_length(r->results);
    for (HitTarget* t = g.target_active; t; t = t->next) t->result_count = chain_length(t->results);
}

void call_back()
{
    HitRay* rays[HIT_RAYS];
    const int n = snapshot_rays(rays);
    for (int i = 0; i < n; i++) {
        HitRay* r = rays[i];
        const uint32_t need = HIT_RAY_IN_USE | HIT_RAY_WAS_HIT;
        if ((r->flags & need) == need && r->callback) r->callback(r->results, r->nearest);
    }
}

}  // namespace

// ---- hooks -----------------------------------------------------------------------------------

void hit_init() { pools_reset(); }
void hit_term() { pools_reset(); }
void hit_pool_reset() { pools_reset(); }
void hit_reset() { pools_reset(); }

void hit_frame()
{
    clear_frame_results();
    age_rays();
    resolve_rays();
    call_back();
}

HitOwnerId hit_next_id()
{
    g.last_id = g.last_id == 65535 ? 1 : HitOwnerId(g.last_id + 1);
    return g.last_id;
}

// ---- targets -----------------------------------------------------------------------------------

HitTarget* hit_target_add_model(ResHandle coll, const Mat44* world, HitGroup group,
                                HitOwnerId owner, const char* name, HitWord user)
{
    const ResDataInfo* info = res_coll_get(coll);
    if (!info) return nullptr;
    HitTarget* t = target_take();
    if (!t) return nullptr;
    t->owner = owner;
    t->world = world;
    fill_target(*t, info, res_coll_name(coll), nullptr, 0.0f, group,
                reinterpret_cast<HitWord>(name), user);
    t->coll_handle = coll;
    return t;
}

HitTarget* hit_target_add_sphere(const Vec3* centre, float radius, const Mat44* world,
                                 HitGroup group, HitOwnerId owner, HitWord name, HitWord user)
{
    HitTarget* t = target_take();
    if (!t) return nullptr;
    t->owner = owner;
    t->world = world;
    fill_target(*t, nullptr, nullptr, centre, radius, group, name, user);
    return t;
}

void hit_target_set_model(HitTarget* t, ResHandle coll, HitGroup group, const char* name,
                          HitWord user)
{
    const ResDataInfo* info = res_coll_get(coll);
    if (!live(g.targets, t, HIT_IN_USE) || !info) return;
    fill_target(*t, info, res_coll_name(coll), nullptr, 0.0f, group,
                reinterpret_cast<HitWord>(name), user);
    t->coll_handle = coll;
}

void hit_target_set_sphere(HitTarget* t, const Vec3* centre, float radius, HitGroup group,
                           HitWord name, HitWord user)
{
    if (!live(g.targets, t, HIT_IN_USE)) return;
    fill_target(*t, nullptr, nullptr, centre, radius, group, name, user);
}

void hit_target_set_chain(HitTarget* t, HitTarget* chained)
{
    if (!live(g.targets, t, HIT_IN_USE) || t == chained) return;
    t->chain = live(g.targets, chained, HIT_IN_USE) ? chained : nullptr;
}

void hit_target_release(HitTarget* t)
{
    // A chain that loops back on itself ends at the first target already released.
    while (live(g.targets, t, HIT_IN_USE)) {
        HitTarget* chained = t->chain;
        release_one(t);
        t = chained;
    }
}

HitResult* hit_target_result_at(const HitTarget* t, uint32_t n)
{
    if (!live(g.targets, t, HIT_IN_USE)) return nullptr;
    HitResult* r = t->results;
    for (; r && n; n--) r = r->chain_next;
    return r;
}

int hit_target_count() { return g.target_count; }
int hit_result_count() { return g.result_count; }
int hit_ray_count() { return g.ray_count; }

// ---- queries -----------------------------------------------------------------------------------

namespace {

template <class T>
void put(T* out, const T& v)
{
    if (out) *out = v;
}

Vec3 along(const Vec3& o, const Vec3& v, float t)
{
    return {o.x + v.x * t, o.y + v.y * t, o.z + v.z * t};
}

}  // namespace

int hit_ground_below(const Vec3* point, float* out_height, Vec3* out_normal, uint32_t* out_face,
                     HitOwnerId owner, HitGroup group)
{
    if (!point) return 0;
    const Vec3 down = {0.0f, -HIT_GROUND_DEPTH, 0.0f};
    float best_t = HIT_QUERY_START;
    HitGeomHit best{}, hit{};
    for_query_targets(owner, group, HIT_HITTABLE | HIT_GROUND, [&](HitTarget& t) {
        const CollGeom* geom = geom_of(t);
        if (!geom || !segment_meets_target(t, *point, down)) return;
        if (hit_coll_ground(*geom, t.world, point, &hit) && hit.t < best_t) {
            best_t = hit.t;
            best = hit;
        }
    });
    if (best_t == HIT_QUERY_START) return 0;
    put(out_height, point->y - HIT_GROUND_DEPTH * best_t);
    put(out_normal, best.normal);
    put(out_face, best.face);
    return 1;
}

namespace {

// The nearest segment hit over the targets; spheres too when with_spheres.
bool nearest_segment(const Vec3& o, const Vec3& v, HitOwnerId owner, HitGroup group,
                     bool with_spheres, HitGeomHit& best)
{
    float best_t = HIT_QUERY_START;
    HitGeomHit hit{};
    for_query_targets(owner, group, HIT_HITTABLE, [&](HitTarget& t) {
        if (t.coll) {
            const CollGeom* geom = geom_of(t);
            if (!geom || !segment_meets_target(t, o, v)) return;
            if (!hit_coll_ray(*geom, t.world, &o, &v, &hit)) return;
        } else {
            const Vec3 c = sphere_centre(t);
            if (!with_spheres || !hit_coll_sphere_ray(&c, t.radius, &o, &v, &hit)) return;
        }
        if (hit.t < best_t) {
            best_t = hit.t;
            best = hit;
        }
    });
    return best_t != HIT_QUERY_START;
}

}  // namespace

int hit_ray_nearest(const Vec3* origin, const Vec3* vec, Vec3* out_point, Vec3* out_normal,
                    uint32_t* out_face, HitOwnerId owner, HitGroup group)
{
    HitGeomHit best{};
    if (!origin || !vec || !nearest_segment(*origin, *vec, owner, group, false, best)) return 0;
    put(out_point, along(*origin, *vec, best.t));
    put(out_normal, best.normal);
    put(out_face, best.face);
    return 1;
}

int hit_ray_fraction(const Vec3* origin, const Vec3* vec, float* out_t, Vec3* out_normal,
                     uint32_t* out_face, HitOwnerId owner, HitGroup group)
{
    HitGeomHit best{};
    if (!origin || !vec || !nearest_segment(*origin, *vec, owner, group, true, best)) return 0;
    put(out_t, best.t);
    put(out_normal, best.normal);
    put(out_face, best.face);
    return 1;
}

namespace {

void put_sweep_details(const HitGeomHit& h, float* out_corners, float* out_box)
{
    if (out_corners)
        for (int i = 0; i < 3; i++) {
            out_corners[3 * i] = h.corners[i].x;
            out_corners[3 * i + 1] = h.corners[i].y;
            out_corners[3 * i + 2] = h.corners[i].z;
        }
    if (out_box) {
        const float b[6] = {h.box_centre.x, h.box_centre.y, h.box_centre.z,
                            h.box_half.x,   h.box_half.y,   h.box_half.z};
        for (int i = 0; i < 6; i++) out_box[i] = b[i];
    }
}

}  // namespace

int hit_sweep_nearest(const Vec3* start, const Vec3* move, Vec3* out_point, Vec3* out_normal,
                      uint32_t* out_face, float* out_corners, float* out_box, HitOwnerId owner,
                      HitGroup group)
{
    if (!start || !move) return 0;
    float best_t = HIT_QUERY_START;
    HitGeomHit best{}, hit{};
    for_query_targets(owner, group, HIT_HITTABLE, [&](HitTarget& t) {
        const CollGeom* geom = geom_of(t);
        if (!geom || !segment_meets_target(t, *start, *move)) return;
        if (hit_coll_sweep(*geom, t.world, start, move, &hit) && hit.t < best_t) {
            best_t = hit.t;
            best = hit;
        }
    });
    if (best_t == HIT_QUERY_START) return 0;
    put(out_point, along(*start, *move, best_t));
    put(out_normal, best.normal);
    put(out_face, best.face);
    put_sweep_details(best, out_corners, out_box);
    return 1;
}

// Compares distances, not fractions: the best starts unbounded so that a far
// contact of a large sphere is still reported.
int hit_sphere_nearest(const Vec3* centre, const Vec3* dir, float radius, Vec3* out_point,
                       Vec3* out_normal, uint32_t* out_face, HitOwnerId owner, HitGroup group)
{
    if (!centre) return 0;
    float best_d = std::numeric_limits<float>::infinity();
    bool found = false;
    HitGeomHit best{}, hit{};
    for_query_targets(owner, group, HIT_HITTABLE, [&](HitTarget& t) {
        const CollGeom* geom = geom_of(t);
        if (!geom) return;
        Vec3 c;
        float r;
        coll_sphere(t, c, r);
        if (!vm_sphere_overlap(&c, r, centre, radius)) return;
        if (!hit_coll_sphere(*geom, t.world, centre, dir, radius, &hit)) return;
        const float d = vm_vec3_dist_sq(centre, &hit.point);
        if (d < best_d) {
            best_d = d;
            best = hit;
            found = true;
        }
    });
    if (!found) return 0;
    put(out_point, best.point);
    put(out_normal, best.normal);
    put(out_face, best.face);
    return 1;
}

// ---- one collision entry -----------------------------------------------------------------------

int hit_ray_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* origin,
                    const Vec3* vec, Vec3* out_point, Vec3* out_normal, uint32_t* out_face)
{
    const CollGeom* geom = hit_geom_of(coll);
    HitGeomHit h;
    if (!geom || !hit_coll_ray(*geom, world, origin, vec, &h)) return 0;
    put(out_point, h.point);
    put(out_normal, h.normal);
    put(out_face, h.face);
    return 1;
}

int hit_ray_fraction_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* origin,
                             const Vec3* vec, float* out_t, Vec3* out_normal, uint32_t* out_face)
{
    const CollGeom* geom = hit_geom_of(coll);
    HitGeomHit h;
    if (!geom || !hit_coll_ray(*geom, world, origin, vec, &h)) return 0;
    put(out_t, h.t);
    put(out_normal, h.normal);
    put(out_face, h.face);
    return 1;
}

int hit_sweep_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* start,
                      const Vec3* move, Vec3* out_point, Vec3* out_slide, Vec3* out_normal,
                      uint32_t* out_face)
{
    const CollGeom* geom = hit_geom_of(coll);
    HitGeomHit h;
    if (!geom || !hit_coll_sweep(*geom, world, start, move, &h)) return 0;
    put(out_point, h.point);
    put(out_normal, h.normal);
    put(out_face, h.face);
    if (out_slide) {
        const Vec3 end = along(*start, *move, 1.0f);
        Vec3 rel;
        vm_vec3_sub(&rel, &end, &h.corners[0]);
        vm_vec3_madd(out_slide, &end, &h.normal, -vm_vec3_dot(&rel, &h.normal));
    }
    return 1;
}

int hit_sphere_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* centre,
                       float radius, Vec3* out_point, float* out_weight, Vec3* out_normal,
                       uint32_t* out_face)
{
    const CollGeom* geom = hit_geom_of(coll);
    HitGeomHit h;
    if (!geom || !hit_coll_sphere(*geom, world, centre, nullptr, radius, &h)) return 0;
    put(out_point, h.point);
    put(out_weight, h.t);
    put(out_normal, h.normal);
    put(out_face, h.face);
    return 1;
}

// ---- rays --------------------------------------------------------------------------------------

HitRay* hit_ray_add(const Vec3* origin, const Vec3* vec, float length, HitGroup group,
                    HitWord user1, HitWord user2)
{
    HitRay* r = pool_list_take(g.ray_free, g.ray_active);
    if (!r) return nullptr;
    r->flags = HIT_RAY_IN_USE;
    r->origin = origin ? *origin : Vec3{0, 0, 0};
    r->vec = vec ? *vec : Vec3{0, 0, 0};
    r->length = length;
    r->nearest_t = HIT_RAY_NONE;
    r->group = group;
    r->user1 = user1;
    r->user2 = user2;
    g.ray_count++;
    return r;
}

HitRay* hit_ray_add_callback(const Vec3* origin, const Vec3* vec, float length, HitGroup group,
                             HitWord user1, HitRayCallback callback, HitWord user2)
{
    HitRay* r = hit_ray_add(origin, vec, length, group, user1, user2);
    if (!r) return nullptr;
    r->callback = callback;
    r->flags |= 2u << HIT_RAY_LIFE_SHIFT;
    return r;
}

void hit_ray_set(HitRay* r, const Vec3* origin, const Vec3* vec, float length, HitWord user1,
                 HitWord user2, HitGroup group)
{
    if (!live(g.rays, r, HIT_RAY_IN_USE)) return;
    if (origin) r->origin = *origin;
    if (vec) r->vec = *vec;
    r->length = length;
    r->user1 = user1;
    r->user2 = user2;
    r->group = group;
}

void hit_ray_set_callback(HitRay* r, HitRayCallback callback)
{
    if (live(g.rays, r, HIT_RAY_IN_USE)) r->callback = callback;
}

void hit_ray_release(HitRay* r)
{
    if (!live(g.rays, r, HIT_RAY_IN_USE)) return;
    r->flags &= ~(HIT_RAY_IN_USE | HIT_RAY_WAS_HIT | HIT_RAY_LIFE_MASK);
    results_return(r->results, r->result_count);
    pool_list_give(r, g.ray_free, g.ray_active);
    g.ray_count--;
}

int hit_ray_was_hit(const HitRay* r) { return r && (r->flags & HIT_RAY_WAS_HIT) ? 1 : 0; }

HitRay* hit_ray_by_target(const HitTarget* t, uint32_t n)
{
    if (!t) return nullptr;
    for (HitRay* r = g.ray_active; r; r = r->next)
        if (r->nearest == t && n-- == 0) return r;
    return nullptr;
}

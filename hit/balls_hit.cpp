// hit/balls_hit: the hit-sphere pool (see balls_hit.h).
#include "hit/balls_hit.h"

#include <cmath>

#include "hit/hit.h"
#include "math/vm_mat.h"
#include "math/vm_vec.h"
#include "res/chunk.h"
#include "util/pool_list.h"

namespace {

struct BallsWork {
    BallsHitObject objects[BALLS_HIT_OBJECTS];
    BallsHitSphere spheres[BALLS_HIT_SPHERES];
    BallsHitObject *used, *free;
    BallsHitSphere* sphere_free;
    int live;
    int spheres_used;
};
BallsWork g;

void clear_pools()
{
    g = BallsWork{};
    pool_list_init(g.objects, BALLS_HIT_OBJECTS, g.free);
    pool_list_init(g.spheres, BALLS_HIT_SPHERES, g.sphere_free);
}

// The sets' spheres are released with the pools; nothing else holds them.
void release_spheres() {}

bool live_object(const BallsHitObject* o)
{
    if (!o || o < g.objects || o >= g.objects + BALLS_HIT_OBJECTS) return false;
    return (reinterpret_cast<uintptr_t>(o) - reinterpret_cast<uintptr_t>(g.objects)) %
                   sizeof(BallsHitObject) ==
               0 &&
           (o->flags & 1u);
}

float length_cut(const Vec3& v)
{
    const float sq = vm_vec3_dot(&v, &v);
    return sq < 1e-10f ? 0.0f : std::sqrt(sq);
}

// The position every test reads: the owner's translation, or the position
// given with balls_hit_set_pos when the object has no owner matrix.
Vec3 position_of(const BallsHitObject& o)
{
    return o.owner ? Vec3{o.owner->m[12], o.owner->m[13], o.owner->m[14]} : o.pos;
}

bool take_spheres(BallsHitObject& o, const ResDataInfo* set)
{
    ShitChunk sc;
    if (chunk_parse_shit(set->data, sc) != CHUNK_OK) return false;
    if (sc.count > uint32_t(BALLS_HIT_SPHERES - g.spheres_used)) return false;
    BallsHitSphere** tail = &o.spheres;
    for (uint32_t i = 0; i < sc.count; i++) {
        ShitSphere s;
        if (!chunk_shit_sphere(set->data, sc, i, s)) s = ShitSphere{};
        BallsHitSphere* sp = g.sphere_free;
        g.sphere_free = sp->next;
        *sp = BallsHitSphere{};
        sp->local = {s.centre[0], s.centre[1], s.centre[2]};
        sp->radius = s.radius;
        sp->reach = length_cut(sp->local) + s.radius;
        sp->owner = o.owner;
        sp->owner_pos = &o.pos;
        *tail = sp;
        tail = &sp->next;
    }
    o.sphere_count = sc.count;
    g.spheres_used += int(sc.count);
    return true;
}

void give_back_spheres(BallsHitObject& o)
{
    for (BallsHitSphere* s = o.spheres; s;) {
        BallsHitSphere* next = s->next;
        s->next = g.sphere_free;
        g.sphere_free = s;
        s = next;
    }
    g.spheres_used -= int(o.sphere_count);
    o.spheres = nullptr;
    o.sphere_count = 0;
}

// ---- the per-frame pass ----------------------------------------------------------------------

void begin_frame(BallsHitObject& o)
{
    o.push = {0, 0, 0};
    o.hit_bits = 0;
    o.pos = position_of(o);
    for (BallsHitSphere* s = o.spheres; s; s = s->next) {
        if (s->owner)
            vm_mat_transform_point(&s->world, s->owner, &s->local);
        else
            s->world = s->local;
    }
}

// One side of a sphere pair: a sphere of the object, or the object's own
// position and radius.
struct Side {
    BallsHitObject* obj;
    Vec3* centre;  // moves with the pushes
    float radius;
    bool pushable;
};

void apply_push(BallsHitObject& o, const Vec3& move)
{
    vm_vec3_add(&o.push, &o.push, &move);
    for (BallsHitSphere* s = o.spheres; s; s = s->next) vm_vec3_add(&s->world, &s->world, &move);
}

bool sphere_pair(const Side& a, const Side& b)
{
    Vec3 d;
    vm_vec3_sub(&d, b.centre, a.centre);
    float d2 = vm_vec3_dot(&d, &d);
    if (d2 < 1e-10f) d2 = 0.0f;
    const float r = a.radius + b.radius;
    if (!(d2 < r * r)) return false;
    if (!a.pushable && !b.pushable) return true;
    const float dist = std::sqrt(d2), wa = a.obj->weight, w = wa + b.obj->weight;
    if (w == 0.0f) return true;  // no weights: nobody can be moved by a share
    const float ka = a.pushable ? (1.0f - wa / w) * (dist - r) : 0.0f;
    const float kb = b.pushable ? (dist - r) * (wa / w) : 0.0f;
    Vec3 da, db;
    vm_vec3_sub(&da, &b.obj->pos, a.centre);
    vm_vec3_sub(&db, &a.obj->pos, b.centre);
    vm_vec3_normalize(&da, &da);
    vm_vec3_normalize(&db, &db);
    vm_vec3_scale(&da, &da, ka);
    vm_vec3_scale(&db, &db, kb);
    apply_push(*a.obj, da);
    apply_push(*b.obj, db);
    return true;
}

bool fine_test(BallsHitObject& a, BallsHitObject& b)
{
    bool push_a = a.group & BALLS_HIT_PUSHABLE, push_b = b.group & BALLS_HIT_PUSHABLE;
    if ((a.group | b.group) & BALLS_HIT_NO_PUSH) push_a = push_b = false;
    bool contact = false;
    if (!a.spheres && !b.spheres) {
        contact = sphere_pair({&a, &a.pos, a.radius, push_a}, {&b, &b.pos, b.radius, push_b});
    } else if (!a.spheres) {
        for (BallsHitSphere* s = b.spheres; s; s = s->next)
            contact |=
                sphere_pair({&a, &a.pos, a.radius, push_a}, {&b, &s->world, s->radius, push_b});
    } else if (!b.spheres) {
        for (BallsHitSphere* s = a.spheres; s; s = s->next)
            contact |=
                sphere_pair({&a, &s->world, s->radius, push_a}, {&b, &b.pos, b.radius, push_b});
    } else {
        for (BallsHitSphere* sa = a.spheres; sa; sa = sa->next)
            for (BallsHitSphere* sb = b.spheres; sb; sb = sb->next)
                contact |= sphere_pair({&a, &sa->world, sa->radius, push_a},
                                       {&b, &sb->world, sb->radius, push_b});
    }
    return contact;
}

bool coarse_test(const BallsHitObject& a, const BallsHitObject& b)
{
    if (!(a.mask & b.group & BALLS_HIT_GROUP_BITS) || !(b.mask & a.group & BALLS_HIT_GROUP_BITS))
        return false;
    const float r = a.radius + b.radius;
    Vec3 d;
    vm_vec3_sub(&d, &a.pos, &b.pos);
    if (!(std::fabs(d.x) < r && std::fabs(d.z) < r && std::fabs(d.y) < r)) return false;
    return vm_vec3_dot(&d, &d) < r * r;
}

// ---- queries ---------------------------------------------------------------------------------

// Each candidate sphere of the objects the mask selects: fn(object, centre,
// radius) answers whether to stop.
template <class Fn>
void for_candidates(uint32_t mask, int per_sphere, Fn fn)
{
    for (BallsHitObject* o = g.used; o; o = o->next) {
        if (!(o->flags & 1u) || !(o->group & mask & BALLS_HIT_GROUP_BITS)) continue;
        if (per_sphere && o->spheres) {
            for (BallsHitSphere* s = o->spheres; s; s = s->next)
                if (fn(*o, s->owner ? s->world : s->local, s->radius)) return;
        } else if (fn(*o, position_of(*o), o->radius)) {
            return;
        }
    }
}

constexpr float BALLS_HIT_QUERY_START = 1e14f;

}  // namespace

// ---- hooks -----------------------------------------------------------------------------------

void balls_hit_boot() { clear_pools(); }
void balls_hit_clear() { clear_pools(); }

void balls_hit_reset()
{
    release_spheres();
    clear_pools();
}

void balls_hit_renew()
{
    release_spheres();
    clear_pools();
}

void balls_hit_frame()
{
    if (g.live == 0) return;
    for (BallsHitObject* o = g.used; o; o = o->next) begin_frame(*o);
    for (BallsHitObject* a = g.used; a; a = a->next)
        for (BallsHitObject* b = g.used; b != a; b = b->next) {
            if (!coarse_test(*a, *b) || !fine_test(*a, *b)) continue;
            a->hit_bits |= b->group & BALLS_HIT_GROUP_BITS;
            b->hit_bits |= a->group & BALLS_HIT_GROUP_BITS;
        }
}

// ---- objects ---------------------------------------------------------------------------------

BallsHitObject* balls_hit_create(const ResDataInfo* set, const Mat44* owner, uint32_t group,
                                 uint32_t mask, float radius)
{
    BallsHitObject* o = pool_list_take(g.free, g.used);
    if (!o) return nullptr;
    o->flags = 1u;
    o->group = group;
    o->mask = mask;
    o->owner = owner;
    o->weight = BALLS_HIT_WEIGHT;
    o->radius = radius;
    o->set = set;
    if (set) take_spheres(*o, set);
    o->pos = position_of(*o);
    g.live++;
    return o;
}

BallsHitObject* balls_hit_create_from_handle(ResHandle shit, const Mat44* owner, uint32_t group,
                                             uint32_t mask)
{
    const ResDataInfo* set = res_shit_get(shit);
    return set ? balls_hit_create(set, owner, group, mask, set->radius) : nullptr;
}

void balls_hit_free(BallsHitObject* o)
{
    if (!live_object(o)) return;
    give_back_spheres(*o);
    o->flags &= ~1u;
    pool_list_give(o, g.free, g.used);
    g.live--;
}

int balls_hit_get_result(const BallsHitObject* o, Vec3* out_push, uint32_t* out_bits)
{
    if (!o) return 0;
    if (out_push) *out_push = o->push;
    if (out_bits) *out_bits = o->hit_bits;
    return o->hit_bits != 0;
}

void balls_hit_set_pos(BallsHitObject* o, const Vec3* pos)
{
    if (o && pos) o->pos = *pos;
}

int balls_hit_any(uint32_t, uint32_t bits)
{
    for (BallsHitObject* o = g.used; o; o = o->next)
        if (o->hit_bits & bits) return 1;
    return 0;
}

int balls_hit_count() { return g.live; }
int balls_hit_sphere_count() { return g.spheres_used; }

// ---- queries ---------------------------------------------------------------------------------

int balls_hit_triangle(const Vec3 tri[3], const Vec3* normal, Vec3* out_contact, float* out_depth,
                       uint32_t mask, int per_sphere)
{
    if (!tri) return 0;
    float best = BALLS_HIT_QUERY_START;
    int found = 0;
    for_candidates(mask, per_sphere, [&](const BallsHitObject& o, const Vec3& c, float r) {
        Vec3 contact;
        float depth;
        if (!vm_sphere_triangle_hit(&contact, &depth, tri, normal, &c, r)) return false;
        found = 1;
        const Vec3 p = position_of(o);
        const float d = vm_vec3_dist_sq(&p, &contact);
        if (d < best) {
            best = d;
            if (out_contact) *out_contact = contact;
            if (out_depth) *out_depth = depth;
        }
        return false;
    });
    return found;
}

int balls_hit_coll(ResHandle coll, const Mat44* coll_world, Vec3* out_contact, float* out_weight,
                   Vec3* out_normal, uint32_t* out_face, uint32_t mask, int per_sphere)
{
    const ResDataInfo* info = res_coll_get(coll);
    if (!info) return 0;
    float best = BALLS_HIT_QUERY_START;
    int found = 0;
    for_candidates(mask, per_sphere, [&](const BallsHitObject& o, const Vec3& c, float r) {
        Vec3 contact, normal;
        float weight;
        uint32_t face;
        if (!hit_sphere_vs_coll(info, coll_world, &c, r, &contact, &weight, &normal, &face))
            return false;
        found = 1;
        const Vec3 p = position_of(o);
        const float d = vm_vec3_dist_sq(&p, &contact);
        if (d < best) {
            best = d;
            if (out_contact) *out_contact = contact;
            if (out_weight) *out_weight = weight;
            if (out_normal) *out_normal = normal;
            if (out_face) *out_face = face;
        }
        return false;
    });
    return found;
}

int balls_hit_sphere_query(const Vec3* centre, float radius, Vec3* out_point, uint32_t mask,
                           int per_sphere)
{
    if (!centre) return 0;
    float best = BALLS_HIT_QUERY_START;
    int found = 0;
    for_candidates(mask, per_sphere, [&](const BallsHitObject& o, const Vec3& c, float r) {
        if (!vm_sphere_overlap(centre, radius, &c, r)) return false;
        found = 1;
        if (!out_point) return true;
        const Vec3 p = position_of(o);
        const float d = vm_vec3_dist_sq(&p, centre);
        if (d < best) {
            best = d;
            Vec3 dir;
            vm_vec3_sub(&dir, centre, &c);
            vm_vec3_normalize(&dir, &dir);
            vm_vec3_madd(out_point, &c, &dir, r);
        }
        return false;
    });
    return found;
}

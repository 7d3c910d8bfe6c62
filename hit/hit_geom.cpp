// hit/hit_geom: tests of one collision set (see hit_geom.h).
#include "hit/hit_geom.h"
#include "hit/hit_geom_local.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"
#include "res/res.h"

namespace {

// ---- decoding ----------------------------------------------------------------------------

Vec3 v3(const float* f) { return {f[0], f[1], f[2]}; }

HitTri tri_of(const CollTri& t)
{
    return {{v3(t.c[0]), v3(t.c[1]), v3(t.c[2])}, v3(t.normal), v3(t.sphere), t.sphere[3], t.face};
}

HitBounds bounds_of(const float centre[3], const float half[3], const float sphere[4],
                    uint32_t first, uint32_t count)
{
    return {v3(centre), v3(half), v3(sphere), sphere[3], first, count};
}

bool decode_boxes(ByteSpan d, const CollChunk& c, CollGeom& g)
{
    g.boxes.reserve(c.box_count);
    for (uint32_t i = 0; i < c.box_count; i++) {
        CollBox b;
        if (!chunk_coll_box(d, c, i, b)) return false;
        g.boxes.push_back(
            bounds_of(b.centre, b.half, b.sphere, uint32_t(g.tris.size()), b.tri_count));
        for (uint32_t j = 0; j < b.tri_count; j++) {
            CollTri t;
            if (!chunk_coll_box_tri(d, b, j, t)) return false;
            g.tris.push_back(tri_of(t));
        }
    }
    return true;
}

bool decode_shared(ByteSpan d, const CollChunk& c, CollGeom& g)
{
    std::vector<uint32_t> per_box(c.box_count + 1, 0);
    for (uint32_t i = 0; i < c.shared_count; i++) {
        CollShared s;
        if (!chunk_coll_shared(d, c, i, s)) return false;
        g.shared.push_back({tri_of(s.tri), uint32_t(g.shared_boxes.size()), s.box_count});
        for (uint32_t k = 0; k < s.box_count; k++) {
            uint32_t box = chunk_coll_u32_at(d, s.boxes_off, k);
            if (box >= c.box_count) return false;
            g.shared_boxes.push_back(box);
            per_box[box + 1]++;
        }
    }
    // Box -> shared triangles, filled in shared-list order so that each
    // box's run stays ascending.
    for (uint32_t i = 0; i < c.box_count; i++) per_box[i + 1] += per_box[i];
    g.box_shared_first = per_box;
    g.box_shared.resize(g.shared_boxes.size());
    for (uint32_t i = 0; i < g.shared.size(); i++)
        for (uint32_t k = 0; k < g.shared[i].box_count; k++)
            g.box_shared[per_box[g.shared_boxes[g.shared[i].first_box + k]]++] = i;
    return true;
}

bool decode_layers(ByteSpan d, const CollChunk& c, CollGeom& g)
{
    uint32_t below = c.box_count;
    for (uint32_t i = 0; i < c.layer_count; i++) {
        CollLayer l;
        if (!chunk_coll_layer(d, c, i, l)) return false;
        std::vector<HitBounds> nodes;
        uint32_t off = l.nodes_off;
        for (uint32_t n = 0; n < l.node_count; n++) {
            CollNode node;
            if (!chunk_coll_node_at(d, off, node)) return false;
            nodes.push_back(bounds_of(node.centre, node.half, node.sphere,
                                      uint32_t(g.children.size()), node.child_count));
            for (uint32_t k = 0; k < node.child_count; k++) {
                uint32_t child = chunk_coll_u32_at(d, node.children_off, k);
                if (child >= below) return false;
                g.children.push_back(child);
            }
            off = node.next_off;
        }
        below = l.node_count;
        g.layers.push_back(std::move(nodes));
    }
    return true;
}

// ---- prepared sets of registered entries ---------------------------------------------------

struct CacheSlot {
    const ResDataInfo* entry;
    uint32_t serial;
    const uint8_t* data;
    size_t size;
    bool ok;
    CollGeom geom;
};
constexpr int HIT_GEOM_CACHE_SLOTS = 64;
std::array<CacheSlot, HIT_GEOM_CACHE_SLOTS> g_cache;
int g_cache_next;

// ---- per-query scratch ----------------------------------------------------------------------

struct Scratch {
    std::vector<uint32_t> cur, next, listed, shared_ids;
    std::vector<uint32_t> box_mark, shared_mark;  // == mark: already taken this query
    uint32_t mark;
};
Scratch g_scr;

void new_marks(const CollGeom& g)
{
    if (g_scr.box_mark.size() < g.boxes.size()) g_scr.box_mark.resize(g.boxes.size(), 0);
    if (g_scr.shared_mark.size() < g.shared.size()) g_scr.shared_mark.resize(g.shared.size(), 0);
    if (++g_scr.mark == 0) {
        std::fill(g_scr.box_mark.begin(), g_scr.box_mark.end(), 0);
        std::fill(g_scr.shared_mark.begin(), g_scr.shared_mark.end(), 0);
        g_scr.mark = 1;
    }
}

// ---- small vector helpers -------------------------------------------------------------------

inline float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline bool zero_normal(const HitTri& t)
{
    return t.normal.x == 0.0f && t.normal.y == 0.0f && t.normal.z == 0.0f;
}

// Stored radii and boxes are rounded to float; a cull must never reject a
// triangle the exact test would hit, so every cull allows for that rounding.
inline double slack(double r) { return r * 1e-5 + 1e-6; }

// ---- the query's own space ------------------------------------------------------------------

struct Space {
    const Mat44* world;  // null: the set's space is the world
    Mat44 inv;
};

bool space_of(const Mat44* world, Space& s)
{
    s.world = world;
    return !world || vm_mat_inverse_checked(&s.inv, world);
}

Vec3 point_in(const Space& s, const Vec3& p)
{
    Vec3 out = p;
    if (s.world) vm_mat_transform_point(&out, &s.inv, &p);
    return out;
}

Vec3 vector_in(const Space& s, const Vec3& v)
{
    Vec3 out = v;
    if (s.world) vm_mat_transform_vector(&out, &s.inv, &v);
    return out;
}

Vec3 point_out(const Space& s, const Vec3& p)
{
    Vec3 out = p;
    if (s.world) vm_mat_transform_point(&out, s.world, &p);
    return out;
}

// A normal goes out by the inverse transpose and is made unit again, so that
// scaled sets still report unit normals perpendicular to their surfaces.
Vec3 normal_out(const Space& s, const Vec3& n)
{
    if (!s.world) return n;
    const float* m = s.inv.m;
    Vec3 out = {m[0] * n.x + m[1] * n.y + m[2] * n.z, m[4] * n.x + m[5] * n.y + m[6] * n.z,
                m[8] * n.x + m[9] * n.y + m[10] * n.z};
    return *vm_vec3_normalize(&out, &out);
}

// A box's half-size goes out by the absolute 3x3 part: it is an extent, not a point.
Vec3 half_out(const Space& s, const Vec3& h)
{
    if (!s.world) return h;
    const float* m = s.world->m;
    return {std::fabs(m[0]) * h.x + std::fabs(m[4]) * h.y + std::fabs(m[8]) * h.z,
            std::fabs(m[1]) * h.x + std::fabs(m[5]) * h.y + std::fabs(m[9]) * h.z,
            std::fabs(m[2]) * h.x + std::fabs(m[6]) * h.y + std::fabs(m[10]) * h.z};
}

// ---- segment culls --------------------------------------------------------------------------

struct Seg {
    Vec3 o, v;
    double vv;
};

// Squared distance from the sphere's centre to the segment's line within
// the radius; a zero-length segment never passes.
bool seg_sphere(const Seg& s, const Vec3& c, float r)
{
    if (s.vv == 0.0) return false;
    const double wx = double(s.o.x) - c.x, wy = double(s.o.y) - c.y, wz = double(s.o.z) - c.z;
    const double wv = wx * s.v.x + wy * s.v.y + wz * s.v.z;
    double d2 = wx * wx + wy * wy + wz * wz - wv * wv / s.vv;
    if (d2 < 0) d2 = 0;
    const double rr = double(r) + slack(std::fabs(r));
    return d2 <= rr * rr;
}

// True when the start lies in the box or the segment crosses it (inclusive).
bool seg_box(const Seg& s, const HitBounds& b)
{
    const float o[3] = {s.o.x, s.o.y, s.o.z}, v[3] = {s.v.x, s.v.y, s.v.z};
    const float c[3] = {b.centre.x, b.centre.y, b.centre.z}, h[3] = {b.half.x, b.half.y, b.half.z};
    double t0 = 0.0, t1 = 1.0;
    for (int k = 0; k < 3; k++) {
        const double e = slack(std::fabs(c[k]) + std::fabs(h[k]));
        const double lo = double(c[k]) - h[k] - e, hi = double(c[k]) + h[k] + e;
        if (v[k] == 0.0f) {
            if (o[k] < lo || o[k] > hi) return false;
            continue;
        }
        double a = (lo - o[k]) / v[k], z = (hi - o[k]) / v[k];
        if (a > z) std::swap(a, z);
        if (a > t0) t0 = a;
        if (z < t1) t1 = z;
        if (!(t0 <= t1)) return false;
    }
    return true;
}

bool seg_passes(const Seg& s, const HitBounds& b)
{
    return seg_sphere(s, b.sphere_centre, b.radius) && seg_box(s, b);
}

// The hierarchy's descent: every node of the top layer, then the children of
// each passing node, layer by layer; leaves the passing leaf boxes, each once
// and in the order met, in g_scr.listed.
template <class Pass>
void collect_boxes(const CollGeom& g, Pass pass)
{
    std::vector<uint32_t>& cur = g_scr.cur;
    cur.clear();
    if (g.layers.empty()) {
        if (!g.boxes.empty()) cur.push_back(0);
    } else {
        for (uint32_t i = 0; i < g.layers.back().size(); i++) cur.push_back(i);
        for (size_t l = g.layers.size(); l-- > 0;) {
            std::vector<uint32_t>& next = g_scr.next;
            next.clear();
            for (uint32_t id : cur) {
                const HitBounds& node = g.layers[l][id];
                if (!pass(node)) continue;
                next.insert(next.end(), g.children.begin() + node.first,
                            g.children.begin() + node.first + node.count);
            }
            std::swap(cur, next);
        }
    }
    new_marks(g);
    g_scr.listed.clear();
    for (uint32_t id : cur) {
        if (g_scr.box_mark[id] == g_scr.mark || !pass(g.boxes[id])) continue;
        g_scr.box_mark[id] = g_scr.mark;
        g_scr.listed.push_back(id);
    }
}

// The shared triangles lying in at least one listed box, in shared-list order.
const std::vector<uint32_t>& shared_in_listed(const CollGeom& g)
{
    std::vector<uint32_t>& ids = g_scr.shared_ids;
    ids.clear();
    for (uint32_t box : g_scr.listed)
        for (uint32_t k = g.box_shared_first[box]; k < g.box_shared_first[box + 1]; k++) {
            uint32_t id = g.box_shared[k];
            if (g_scr.shared_mark[id] == g_scr.mark) continue;
            g_scr.shared_mark[id] = g_scr.mark;
            ids.push_back(id);
        }
    std::sort(ids.begin(), ids.end());
    return ids;
}

uint32_t first_listed_box(const CollGeom& g, const HitShared& s)
{
    for (uint32_t k = 0; k < s.box_count; k++) {
        uint32_t box = g.shared_boxes[s.first_box + k];
        if (g_scr.box_mark[box] == g_scr.mark) return box;
    }
    return g.shared_boxes[s.first_box];
}

struct Best {
    float t;
    const HitTri* tri;
    uint32_t box;
};

constexpr float HIT_GEOM_START = 999.9f;

void take_if_nearer(Best& best, const HitTri& tri, float t, uint32_t box)
{
    if (t < best.t) best = {t, &tri, box};
}

// The segment test over the set in its own space.
Best seg_scan(const CollGeom& g, const Seg& s)
{
    Best best = {HIT_GEOM_START, nullptr, 0};
    collect_boxes(g, [&](const HitBounds& b) { return seg_passes(s, b); });
    float t;
    for (uint32_t box : g_scr.listed) {
        const HitBounds& b = g.boxes[box];
        for (uint32_t i = b.first; i < b.first + b.count; i++) {
            const HitTri& tri = g.tris[i];
            if (zero_normal(tri) || !seg_sphere(s, tri.sphere_centre, tri.radius)) continue;
            if (hit_tri_segment(tri, s.o, s.v, &t)) take_if_nearer(best, tri, t, box);
        }
    }
    for (uint32_t id : shared_in_listed(g)) {
        const HitShared& sh = g.shared[id];
        if (zero_normal(sh.tri) || !seg_sphere(s, sh.tri.sphere_centre, sh.tri.radius)) continue;
        if (hit_tri_segment(sh.tri, s.o, s.v, &t))
            take_if_nearer(best, sh.tri, t, first_listed_box(g, sh));
    }
    return best;
}

Seg seg_in(const Space& sp, const Vec3& origin, const Vec3& vec)
{
    Seg s = {point_in(sp, origin), vector_in(sp, vec), 0.0};
    s.vv = double(s.v.x) * s.v.x + double(s.v.y) * s.v.y + double(s.v.z) * s.v.z;
    return s;
}

void fill_hit(const Space& sp, const Best& best, const Vec3& origin, const Vec3& vec,
              HitGeomHit* out)
{
    if (!out) return;
    out->t = best.t;
    out->point = {origin.x + vec.x * best.t, origin.y + vec.y * best.t, origin.z + vec.z * best.t};
    out->normal = normal_out(sp, best.tri->normal);
    out->face = best.tri->face;
}

// ---- ground probe over one grid column ---------------------------------------------------

// The cell index of v along one axis, or -1 outside the grid. Done in float
// and range-checked first: a flat set or a far point never converts an
// out-of-range value.
int64_t grid_cell(float v, float lo, float hi, uint32_t div)
{
    const float ext = hi - lo;
    if (div == 0) return -1;
    if (!(ext > 0.0f)) return v == lo ? 0 : -1;
    const float f = (v - lo) / ext * float(div);
    if (!(f >= 0.0f && f < float(div))) return -1;
    return std::min<int64_t>(int64_t(f), int64_t(div) - 1);
}

bool within_xz(const Vec3& p, const Vec3& c, float r)
{
    const float dx = p.x - c.x, dz = p.z - c.z;
    const float rr = r + float(slack(std::fabs(r)));
    return std::fabs(dx) <= rr && std::fabs(dz) <= rr && dx * dx + dz * dz <= rr * rr;
}

bool box_over_xz(const Vec3& p, const HitBounds& b)
{
    const float ex = b.half.x + float(slack(std::fabs(b.centre.x) + b.half.x));
    const float ez = b.half.z + float(slack(std::fabs(b.centre.z) + b.half.z));
    return std::fabs(p.x - b.centre.x) <= ex && std::fabs(p.z - b.centre.z) <= ez;
}

int ground_by_grid(const CollGeom& g, const Vec3& p, HitGeomHit* out)
{
    const int64_t cx = grid_cell(p.x, g.box_min.x, g.box_max.x, g.div[0]);
    const int64_t cz = grid_cell(p.z, g.box_min.z, g.box_max.z, g.div[2]);
    if (cx < 0 || cz < 0) return 0;
    new_marks(g);
    g_scr.listed.clear();
    for (uint32_t y = 0; y < g.div[1]; y++) {
        const uint64_t id = (uint64_t(cz) * g.div[1] + y) * g.div[0] + uint64_t(cx);
        const HitBounds& b = g.boxes[id];
        if (!within_xz(p, b.sphere_centre, b.radius) || !box_over_xz(p, b)) continue;
        g_scr.box_mark[id] = g_scr.mark;
        g_scr.listed.push_back(uint32_t(id));
    }
    Best best = {HIT_GEOM_START, nullptr, 0};
    float t;
    for (uint32_t box : g_scr.listed) {
        const HitBounds& b = g.boxes[box];
        for (uint32_t i = b.first; i < b.first + b.count; i++) {
            const HitTri& tri = g.tris[i];
            if (zero_normal(tri) || !within_xz(p, tri.sphere_centre, tri.radius)) continue;
            if (hit_tri_ground(tri, p, &t)) take_if_nearer(best, tri, t, box);
        }
    }
    const Vec3 down = {0.0f, -HIT_GROUND_DEPTH, 0.0f};
    for (uint32_t id : shared_in_listed(g)) {
        const HitTri& tri = g.shared[id].tri;
        if (!zero_normal(tri) && hit_tri_segment(tri, p, down, &t)) take_if_nearer(best, tri, t, 0);
    }
    if (!best.tri) return 0;
    fill_hit(Space{nullptr, {}}, best, p, down, out);
    return 1;
}

}  // namespace

// ---- building and caching -------------------------------------------------------------------

bool hit_geom_build(ByteSpan chunk, CollGeom& g)
{
    g = CollGeom{};
    CollChunk c;
    if (chunk_parse_coll(chunk, c) != CHUNK_OK) return false;
    std::copy(c.div, c.div + 3, g.div);
    g.box_min = v3(c.box_min);
    g.box_max = v3(c.box_max);
    g.sphere_centre = v3(c.sphere);
    g.sphere_radius = c.sphere[3];
    g.origin_radius = c.origin_radius;
    if (decode_boxes(chunk, c, g) && decode_shared(chunk, c, g) && decode_layers(chunk, c, g))
        return true;
    g = CollGeom{};
    return false;
}

const CollGeom* hit_geom_of(const ResDataInfo* e)
{
    if (!e || e->data.empty()) return nullptr;
    for (CacheSlot& s : g_cache)
        if (s.entry == e && s.serial == e->serial && s.data == e->data.data() &&
            s.size == e->data.size())
            return s.ok ? &s.geom : nullptr;
    CacheSlot& s = g_cache[g_cache_next];
    g_cache_next = (g_cache_next + 1) % HIT_GEOM_CACHE_SLOTS;
    s.entry = e;
    s.serial = e->serial;
    s.data = e->data.data();
    s.size = e->data.size();
    s.ok = hit_geom_build(e->data, s.geom);
    return s.ok ? &s.geom : nullptr;
}

// ---- triangle tests -----------------------------------------------------------------------

namespace {
bool inside_edges(const HitTri& tri, const Vec3& p);
}

int hit_tri_segment(const HitTri& tri, const Vec3& o, const Vec3& v, float* out_t)
{
    const Vec3& n = tri.normal;
    float d = dot(v, n);
    if (!(d < 0.0f)) return 0;  // parallel or against the back
    if (d > -0.00001f) d = -0.00001f;
    const float t = dot(sub(tri.c[0], o), n) / d;
    if (!(t >= 0.0f && t <= 1.0f)) return 0;
    const Vec3 p = {o.x + v.x * t, o.y + v.y * t, o.z + v.z * t};
    if (!inside_edges(tri, p)) return 0;
    *out_t = t;
    return 1;
}

namespace {

bool inside_edges(const HitTri& tri, const Vec3& p)
{
    for (int i = 0; i < 3; i++) {
        const Vec3& a = tri.c[i];
        const Vec3& b = tri.c[(i + 1) % 3];
        if (dot(cross(sub(b, a), sub(p, a)), tri.normal) < 0.0f) return false;
    }
    return true;
}

// The point of the segment ab nearest to p (a for a zero-length edge).
Vec3 edge_point(const Vec3& a, const Vec3& b, const Vec3& p)
{
    const Vec3 e = sub(b, a);
    const float ee = dot(e, e);
    float u = ee > 0.0f ? dot(sub(p, a), e) / ee : 0.0f;
    u = u < 0.0f ? 0.0f : (u > 1.0f ? 1.0f : u);
    return {a.x + e.x * u, a.y + e.y * u, a.z + e.z * u};
}

}  // namespace

int hit_tri_sphere(const HitTri& tri, const Vec3& c, float r, Vec3* out_contact, float* out_weight)
{
    const float d = dot(sub(c, tri.c[0]), tri.normal);
    if (!(std::fabs(d) <= r)) return 0;
    const Vec3 foot = {c.x - tri.normal.x * d, c.y - tri.normal.y * d, c.z - tri.normal.z * d};
    Vec3 contact = foot;
    float dist = std::fabs(d);
    if (!inside_edges(tri, foot)) {
        double best = 1e13;
        for (int i = 0; i < 3; i++) {
            const Vec3 q = edge_point(tri.c[i], tri.c[(i + 1) % 3], c);
            const Vec3 w = sub(q, c);
            const double dd = dot(w, w);
            if (dd <= double(r) * r && dd < best) {
                best = dd;
                contact = q;
            }
        }
        if (best == 1e13) return 0;
        dist = float(std::sqrt(best));
    }
    const float ratio = r == 0.0f ? 1.0f : dist / r;
    *out_contact = contact;
    *out_weight = r * vm_math_cos(ratio * VM_HALF_PI);
    return 1;
}

// The horizontal inside test counts a point on an edge as inside, as the
// segment test does: a probe over the line between two floor triangles finds
// the floor.
int hit_tri_ground(const HitTri& tri, const Vec3& p, float* out_t)
{
    if (!(tri.normal.y > 0.0f)) return 0;  // (0, -10000, 0) . n < 0
    for (int i = 0; i < 3; i++) {
        const Vec3& a = tri.c[i];
        const Vec3& b = tri.c[(i + 1) % 3];
        if ((b.x - a.x) * (p.z - a.z) - (b.z - a.z) * (p.x - a.x) > 0.0f) return 0;
    }
    const Vec3 down = {0.0f, -HIT_GROUND_DEPTH, 0.0f};
    return hit_tri_segment(tri, p, down, out_t);
}

// ---- the four set tests -------------------------------------------------------------------

int hit_coll_ray(const CollGeom& g, const Mat44* world, const Vec3* origin, const Vec3* vec,
                 HitGeomHit* out)
{
    Space sp;
    if (!origin || !vec || !space_of(world, sp)) return 0;
    const Best best = seg_scan(g, seg_in(sp, *origin, *vec));
    if (!best.tri) return 0;
    fill_hit(sp, best, *origin, *vec, out);
    return 1;
}

int hit_coll_ground(const CollGeom& g, const Mat44* world, const Vec3* point, HitGeomHit* out)
{
    if (!point) return 0;
    if (world && vm_mat_not_identity(world, 0.00001f)) {
        const Vec3 down = {0.0f, -HIT_GROUND_DEPTH, 0.0f};
        return hit_coll_ray(g, world, point, &down, out);
    }
    return ground_by_grid(g, *point, out);
}

int hit_coll_sweep(const CollGeom& g, const Mat44* world, const Vec3* start, const Vec3* move,
                   HitGeomHit* out)
{
    Space sp;
    if (!start || !move || !space_of(world, sp)) return 0;
    const Best best = seg_scan(g, seg_in(sp, *start, *move));
    if (!best.tri) return 0;
    if (!out) return 1;
    fill_hit(sp, best, *start, *move, out);
    for (int i = 0; i < 3; i++) out->corners[i] = point_out(sp, best.tri->c[i]);
    const HitBounds& b = g.boxes[best.box];
    out->box_centre = point_out(sp, b.centre);
    out->box_half = half_out(sp, b.half);
    return 1;
}

namespace {

bool sphere_near(const Vec3& c, float r, const Vec3& sc, float sr)
{
    const Vec3 d = sub(c, sc);
    const double rr = double(r) + sr + slack(std::fabs(r) + std::fabs(sr));
    return double(dot(d, d)) <= rr * rr;
}

struct SphereBest {
    double dist_sq;
    const HitTri* tri;
    Vec3 contact;
    float weight;
};

void sphere_try(const HitTri& tri, const Vec3& c, const Vec3* dir, float r, SphereBest& best)
{
    if (zero_normal(tri) || !sphere_near(c, r, tri.sphere_centre, tri.radius)) return;
    if (best.tri && dir && dot(tri.normal, *dir) <= 0.0f) return;
    Vec3 contact;
    float weight;
    if (!hit_tri_sphere(tri, c, r, &contact, &weight)) return;
    const Vec3 d = sub(contact, c);
    const double dist_sq = dot(d, d);
    if (dist_sq < best.dist_sq) best = {dist_sq, &tri, contact, weight};
}

}  // namespace

int hit_coll_sphere(const CollGeom& g, const Mat44* world, const Vec3* centre, const Vec3* dir,
                    float radius, HitGeomHit* out)
{
    Space sp;
    if (!centre || !space_of(world, sp) || !(radius >= 0.0f)) return 0;
    const Vec3 c = point_in(sp, *centre);
    Vec3 d_local;
    const Vec3* d = nullptr;
    if (dir) {
        d_local = vector_in(sp, *dir);
        d = &d_local;
    }
    SphereBest best = {1e12, nullptr, {}, 0.0f};
    for (const HitBounds& b : g.boxes) {
        if (b.count == 0 || !sphere_near(c, radius, b.sphere_centre, b.radius)) continue;
        for (uint32_t i = b.first; i < b.first + b.count; i++)
            sphere_try(g.tris[i], c, d, radius, best);
    }
    for (const HitShared& s : g.shared) sphere_try(s.tri, c, d, radius, best);
    if (!best.tri) return 0;
    if (out) {
        out->t = best.weight;
        out->point = point_out(sp, best.contact);
        out->normal = normal_out(sp, best.tri->normal);
        out->face = best.tri->face;
    }
    return 1;
}

int hit_coll_sphere_ray(const Vec3* centre, float radius, const Vec3* origin, const Vec3* vec,
                        HitGeomHit* out)
{
    if (!centre || !origin || !vec || !(radius >= 0.0f)) return 0;
    const Vec3 w = sub(*origin, *centre);
    const double a = dot(*vec, *vec), b = dot(w, *vec),
                 c = double(dot(w, w)) - double(radius) * radius;
    double t;
    if (c <= 0.0) {
        t = 0.0;  // the start lies inside: the segment meets the sphere at once
    } else {
        if (a == 0.0) return 0;
        double disc = b * b - a * c;
        if (disc < 0.0) return 0;
        t = (-b - std::sqrt(disc)) / a;
        if (!(t >= 0.0 && t <= 1.0)) return 0;
    }
    if (out) {
        out->t = float(t);
        out->point = {origin->x + vec->x * out->t, origin->y + vec->y * out->t,
                      origin->z + vec->z * out->t};
        Vec3 n = sub(out->point, *centre);
        if (dot(n, n) < 1e-10f)
            n = {0.0f, 0.0f, 0.0f};
        else
            vm_vec3_normalize(&n, &n);
        out->normal = n;
        out->face = 0;
    }
    return 1;
}

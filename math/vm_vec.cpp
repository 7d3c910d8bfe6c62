// 3-vector maths. Intermediates are doubles (D3) rounded to float on store.
#include "math/vm_vec.h"

#include <cmath>
#include <initializer_list>

#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"

namespace {

struct D3 {
    double x, y, z;
};

D3 d3(const Vec3* v) { return {v->x, v->y, v->z}; }
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(D3 a, D3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 normalized(D3 v)
{
    const double sq = dot(v, v);
    if (sq == 0.0) return {0, 0, 0};
    return v * (1.0 / std::sqrt(sq));
}
double cut_sq(D3 v)
{
    const double sq = dot(v, v);
    return sq < 1e-10 ? 0.0 : sq;
}
double cut_len(D3 v) { return std::sqrt(cut_sq(v)); }

Vec3* store(Vec3* out, D3 v)
{
    out->x = float(v.x);
    out->y = float(v.y);
    out->z = float(v.z);
    return out;
}

// Value of the segment-sphere and line distance tests on doubles.
double line_dist_sq(D3 a, D3 b, D3 p)
{
    const D3 ab = b - a, pa = a - p;
    const double len_sq = dot(ab, ab);
    if (len_sq == 0.0) return 0.0;
    const double k = dot(ab, pa);
    const double d = dot(pa, pa) - k * k / len_sq;
    return d < 0.0 ? 0.0 : d;
}

int side_code(double value) { return value > 0.0 ? 0 : (value < 0.0 ? 2 : 1); }

bool between(double x, double lo, double hi)
{
    return lo <= hi ? (lo <= x && x <= hi) : (hi <= x && x <= lo);
}

// Clamped arc cosine: dot products of unit vectors computed in float can
// leave [-1, 1] by an ulp.
double safe_acos(double c) { return std::acos(c < -1.0 ? -1.0 : (c > 1.0 ? 1.0 : c)); }

}  // namespace

// ---- elementary operations ----

Vec3* vm_vec3_set(Vec3* out, float x, float y, float z)
{
    *out = {x, y, z};
    return out;
}

Vec3* vm_vec3_copy(Vec3* out, const Vec3* v)
{
    *out = *v;
    return out;
}

Vec3* vm_vec3_negate(Vec3* out, const Vec3* v)
{
    *out = {-v->x, -v->y, -v->z};
    return out;
}

Vec3* vm_vec3_add(Vec3* out, const Vec3* a, const Vec3* b) { return store(out, d3(a) + d3(b)); }
Vec3* vm_vec3_sub(Vec3* out, const Vec3* a, const Vec3* b) { return store(out, d3(a) - d3(b)); }
Vec3* vm_vec3_scale(Vec3* out, const Vec3* v, float s) { return store(out, d3(v) * s); }

Vec3* vm_vec3_madd(Vec3* out, const Vec3* a, const Vec3* v, float s)
{
    return store(out, d3(a) + d3(v) * s);
}

Vec3* vm_vec3_mul(Vec3* out, const Vec3* a, const Vec3* b)
{
    return store(out, {double(a->x) * b->x, double(a->y) * b->y, double(a->z) * b->z});
}

Vec3* vm_vec3_div_safe(Vec3* out, const Vec3* v, float s)
{
    if (s > -1e-05f && s < 1e-05f) s = s >= 0.0f ? 1e-05f : -1e-05f;
    return store(out, d3(v) * (1.0 / double(s)));
}

float vm_vec3_dot(const Vec3* a, const Vec3* b) { return float(dot(d3(a), d3(b))); }
Vec3* vm_vec3_cross(Vec3* out, const Vec3* a, const Vec3* b)
{
    return store(out, cross(d3(a), d3(b)));
}
Vec3* vm_vec3_normalize(Vec3* out, const Vec3* v) { return store(out, normalized(d3(v))); }
float vm_vec3_length_cut(const Vec3* v) { return float(cut_len(d3(v))); }
float vm_vec3_length_sq_cut(const Vec3* v) { return float(cut_sq(d3(v))); }
float vm_vec3_dist_cut(const Vec3* a, const Vec3* b) { return float(cut_len(d3(b) - d3(a))); }

float vm_vec3_dist_sq(const Vec3* a, const Vec3* b)
{
    const D3 d = d3(b) - d3(a);
    return float(dot(d, d));
}

float vm_lerp(float a, float b, float t) { return float((double(b) - a) * t + a); }

Vec3* vm_vec3_lerp(Vec3* out, const Vec3* a, const Vec3* b, float t)
{
    return store(out, (d3(b) - d3(a)) * t + d3(a));
}

float vm_clamp(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }
float vm_clamp01(float x) { return vm_clamp(x, 0.0f, 1.0f); }

int32_t vm_clamp_int(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

int32_t vm_wrap_int(int32_t v, int32_t lo, int32_t hi)
{
    // Modulo instead of repeated adding: the same result without looping
    // forever on an empty range or for a long time on a huge v.
    const int64_t n = int64_t(hi) + 1 - lo;
    if (n <= 1) return lo;
    int64_t r = (int64_t(v) - lo) % n;
    if (r < 0) r += n;
    return int32_t(lo + r);
}

template <typename T>
static void array_max_min(const T* values, int count, int* out_max, int* out_min)
{
    if (count < 1 || values == nullptr) return;
    int hi = 0, lo = 0;
    for (int i = 1; i < count; ++i) {
        if (values[i] > values[hi]) hi = i;
        if (values[i] < values[lo]) lo = i;
    }
    if (out_max) *out_max = hi;
    if (out_min) *out_min = lo;
}

void vm_int_array_max_min(const int32_t* values, int count, int* out_max, int* out_min)
{
    array_max_min(values, count, out_max, out_min);
}

void vm_float_array_max_min(const float* values, int count, int* out_max, int* out_min)
{
    array_max_min(values, count, out_max, out_min);
}

Vec4* vm_vec4_copy(Vec4* out, const Vec4* v)
{
    *out = *v;
    return out;
}

Vec4* vm_vec4_negate(Vec4* out, const Vec4* v)
{
    *out = {-v->x, -v->y, -v->z, -v->w};
    return out;
}

Plane* vm_plane_normalize(Plane* out, const Plane* p)
{
    const double sq = double(p->a) * p->a + double(p->b) * p->b + double(p->c) * p->c;
    if (sq == 0.0) {
        *out = {0, 0, 0, 0};
        return out;
    }
    const double k = 1.0 / std::sqrt(sq);
    *out = {float(p->a * k), float(p->b * k), float(p->c * k), float(p->d * k)};
    return out;
}

float vm_plane_dot_point(const Plane* p, const Vec3* v)
{
    return float(double(p->a) * v->x + double(p->b) * v->y + double(p->c) * v->z + p->d);
}

float vm_plane_dot_normal(const Plane* p, const Vec3* v)
{
    return float(double(p->a) * v->x + double(p->b) * v->y + double(p->c) * v->z);
}

// ---- directions and angles ----

Vec3* vm_vec3_direction(Vec3* out, const Vec3* from, const Vec3* to)
{
    if (!from || !to) return nullptr;
    return store(out, normalized(d3(to) - d3(from)));
}

Vec3* vm_vec3_direction_angles(Vec3* out, const Vec3* from, const Vec3* to)
{
    if (!from || !to) return nullptr;
    const D3 d = d3(to) - d3(from);
    if (d.x == 0.0 && d.z == 0.0) return store(out, {0, 0, 0});
    return store(out,
                 {std::atan2(-d.y, std::sqrt(d.x * d.x + d.z * d.z)), std::atan2(d.x, d.z), 0.0});
}

Vec3* vm_vec3_to_angles(Vec3* out, const Vec3* v)
{
    const D3 d = d3(v);
    return store(out,
                 {std::atan2(-d.y, std::sqrt(d.x * d.x + d.z * d.z)), std::atan2(d.x, d.z), 0.0});
}

Vec3* vm_vec3_to_angles_up(Vec3* out, const Vec3* v, const Vec3* up)
{
    const float up_y = up->y;  // dot(up, (0, 1, 0)), read before out is written
    vm_vec3_to_angles(out, v);
    if (up_y < 0.0f) {
        out->x = float(VM_PI - double(out->x));
        out->y = float(double(out->y) + VM_PI);
    }
    return out;
}

Vec3* vm_vec3_from_angles(Vec3* out, const Vec3* angles)
{
    if (!angles) return store(out, {0, 0, 0});
    const double sx = vm_math_sin(angles->x), cx = vm_math_cos(angles->x);
    const double sy = vm_math_sin(angles->y), cy = vm_math_cos(angles->y);
    return store(out, {sy * cx, -sx, cy * cx});
}

// Pitch (toward +Y) and yaw of a direction, as the ring and turn builders use.
static void up_pitch_yaw(D3 v, double* pitch, double* yaw)
{
    const double h = v.x * v.x + v.z * v.z;
    *pitch = std::atan2(v.y, h == 0.0 ? 0.0 : std::sqrt(h));
    *yaw = std::atan2(v.x, v.z);
}

Vec3* vm_vec3_turn(Vec3* out, const Vec3* v, float pitch_offset, float yaw_offset, float length)
{
    if (!out || !v) return out;
    double p, w;
    up_pitch_yaw(d3(v), &p, &w);
    const float pf = float(p + pitch_offset), wf = float(w + yaw_offset);
    const double cp = vm_math_cos(pf), sp = vm_math_sin(pf);
    const double cw = vm_math_cos(wf), sw = vm_math_sin(wf);
    return store(out, D3{cp * sw, sp, cp * cw} * length);
}

Vec3* vm_vec3_polar_point(Vec3* out, const Vec3* centre, float a, float b, float distance)
{
    if (!out || !centre) return out;
    const double ca = vm_math_cos(a), sa = vm_math_sin(a);
    const double cb = vm_math_cos(b), sb = vm_math_sin(b);
    return store(out, d3(centre) + D3{ca * sb, sa, ca * cb} * distance);
}

Vec3* vm_vec3_ring_point(Vec3* out, const Vec3* centre, const Vec3* axis, float angle, float radius)
{
    if (!out || !centre || !axis) return out;
    const double c = double(vm_math_cos(angle)) * radius;
    const double s = double(vm_math_sin(angle)) * radius;
    const D3 o = d3(centre);
    if (std::fabs(axis->x) < 1e-04f && std::fabs(axis->z) < 1e-04f)
        return store(out, {o.x + s, o.y, o.z + c});
    double p, w;
    up_pitch_yaw(d3(axis), &p, &w);
    const double sp = vm_math_sin(float(-p)), cp = vm_math_cos(float(-p));
    const double sw = vm_math_sin(float(w)), cw = vm_math_cos(float(w));
    return store(out, {o.x + sw * sp * s + cw * c, o.y + cp * s, o.z + cw * sp * s - sw * c});
}

Vec3* vm_orbit_point(Vec3* out, const Vec3* axis, float a, float b, float distance)
{
    Mat44 frame;
    vm_mat_from_y_axis(&frame, nullptr, axis);
    vm_mat_rotate_y(&frame, &frame, b);
    vm_mat_rotate_x(&frame, &frame, a);
    const Vec3 p = {0.0f, distance, 0.0f};
    return vm_mat_transform_vector(out, &frame, &p);
}

// ---- distances and projections ----

float vm_point_line_dist_sq(const Vec3* a, const Vec3* b, const Vec3* p)
{
    return float(line_dist_sq(d3(a), d3(b), d3(p)));
}

float vm_point_ray_dist_sq(const Vec3* origin, const Vec3* direction, const Vec3* p)
{
    const D3 o = d3(origin);
    return float(line_dist_sq(o, o + d3(direction), d3(p)));
}

int vm_point_segment_foot(Vec3* out_offset, Vec3* out_foot, const Vec3* p, const Vec3* a,
                          const Vec3* b)
{
    const D3 pp = d3(p), aa = d3(a), ab = d3(b) - aa;
    const double len_sq = dot(ab, ab);
    // A zero-length segment has its foot at a instead of 0/0.
    const double t = len_sq == 0.0 ? 0.0 : dot(pp - aa, ab) / len_sq;
    Vec3 foot;
    store(&foot, ab * float(t) + aa);
    if (out_foot) *out_foot = foot;
    if (out_offset) store(out_offset, pp - d3(&foot));
    return t >= 0.0 && t <= 1.0;
}

Vec3* vm_plane_project_point(Vec3* out_offset, Vec3* out_foot, const Vec3* p, const Plane* plane)
{
    Plane n;
    vm_plane_normalize(&n, plane);
    const D3 pp = d3(p), nn = {n.a, n.b, n.c};
    const double s = dot(nn, pp) + n.d;
    Vec3 offset;
    store(&offset, nn * s);
    if (out_offset) *out_offset = offset;
    if (out_foot) store(out_foot, pp - d3(&offset));
    return out_foot;
}

int vm_xz_side(const Vec3* a, const Vec3* b, const Vec3* c)
{
    const double v = (double(b->x) - a->x) * (double(c->z) - a->z) -
                     (double(b->z) - a->z) * (double(c->x) - a->x);
    return side_code(v);
}

// ---- overlap and hit tests ----

int vm_sphere_overlap(const Vec3* c1, float r1, const Vec3* c2, float r2)
{
    const D3 d = d3(c2) - d3(c1);
    const double r = double(r1) + r2;
    return dot(d, d) <= r * r;
}

int vm_line_point_within(const Vec3* a, const Vec3* b, const Vec3* p, float radius)
{
    if (a->x == b->x && a->y == b->y && a->z == b->z) return 0;
    return line_dist_sq(d3(a), d3(b), d3(p)) <= double(radius) * radius;
}

static bool segment_sphere(D3 start, D3 v, D3 centre, double radius)
{
    const D3 w = centre - start;
    const double k = dot(v, w), r_sq = radius * radius;
    if (k < 0.0) return cut_sq(w) <= r_sq;
    const double v_sq = cut_sq(v);
    if (v_sq <= k) {
        const D3 e = centre - (start + v);
        return dot(e, e) <= r_sq;
    }
    return cut_sq(w) - k * k / v_sq <= r_sq;
}

int vm_segment_sphere_overlap(const Vec3* start, const Vec3* v, const Vec3* centre, float radius)
{
    return segment_sphere(d3(start), d3(v), d3(centre), radius);
}

int vm_ray_sphere_hit(const Vec3* start, const Vec3* v, const Vec3* centre, float radius,
                      float* out_t, Vec3* out_point, Vec3* out_normal)
{
    const D3 s = d3(start), vv = d3(v), c = d3(centre);
    if (!segment_sphere(s, vv, c, radius)) return 0;
    const D3 w = s - c, u = normalized(vv);
    const double b = dot(u, w);
    double disc = double(radius) * radius + (b * b - cut_sq(w));
    // The overlap test passed, so a negative value is rounding: graze the
    // sphere instead of reporting a hit without writing its outputs.
    if (disc < 0.0) disc = 0.0;
    const double q = std::sqrt(disc);
    const double t = std::fmin(-b - q, -b + q);
    const D3 point = u * t + w + c;
    const double len = cut_len(vv);
    if (out_t) *out_t = float(t / (len == 0.0 ? 1.0 : len));
    if (out_point) store(out_point, point);
    if (out_normal) store(out_normal, normalized(point - c));
    return 1;
}

// Edge test shared by the triangle hits: hit lies on the inner side of all
// three edges (p0, p1), (p1, p2), (p2, p0) seen along n.
static bool inside_edges(const D3 p[3], D3 hit, D3 n)
{
    for (int i = 0; i < 3; ++i) {
        const D3 e0 = p[i], e1 = p[(i + 1) % 3];
        if (dot(cross(e1 - e0, hit - e0), n) < 0.0) return false;
    }
    return true;
}

int vm_ray_triangle_hit(Vec3* out_point, Vec3* out_normal, const Vec3* tri, const Vec3* start,
                        const Vec3* v)
{
    const D3 p[3] = {d3(&tri[0]), d3(&tri[1]), d3(&tri[2])};
    const D3 s = d3(start), vv = d3(v);
    const D3 n = normalized(cross(p[1] - p[0], p[2] - p[1]));
    if (dot(n, n) == 0.0)  // zero-area triangle: no side to hit
        return 0;
    double den = dot(vv, n);
    if (den > 0.0) return 0;
    if (den > -1e-05) den = -1e-05;
    const double t = dot(p[0] - s, n) / den;
    if (!(t >= 0.0 && t <= 1.0)) return 0;
    const D3 hit = s + vv * t;
    if (!inside_edges(p, hit, n)) return 0;
    if (out_point) store(out_point, hit);
    if (out_normal) store(out_normal, n);
    return 1;
}

int vm_sphere_triangle_hit(Vec3* out_contact, float* out_depth, const Vec3* tri, const Vec3* normal,
                           const Vec3* centre, float radius)
{
    const D3 p[3] = {d3(&tri[0]), d3(&tri[1]), d3(&tri[2])};
    const D3 c = d3(centre);
    const D3 n = normal ? d3(normal) : normalized(cross(p[1] - p[0], p[2] - p[0]));
    if (dot(n, n) == 0.0)  // no plane: a sliver or a zero normal touches nothing
        return 0;
    const double d = dot(c - p[0], n);
    if (std::fabs(d) > radius) return 0;
    const D3 foot = c - n * d;
    D3 contact;
    double dist;  // from the centre to the plane or to the nearest edge line
    if (inside_edges(p, foot, n)) {
        contact = foot;
        dist = std::fabs(d);
    } else {
        int best = -1;
        double best_sq = 1e13;
        for (int i = 0; i < 3; ++i) {
            const Vec3* e0 = &tri[i];
            const Vec3* e1 = &tri[(i + 1) % 3];
            if (!vm_line_point_within(e0, e1, centre, radius)) continue;
            const double sq = line_dist_sq(d3(e0), d3(e1), c);
            if (sq < best_sq) {
                best_sq = sq;
                best = i;
            }
        }
        if (best < 0) return 0;
        const D3 e0 = p[best], edge = p[(best + 1) % 3] - e0;
        const double len = std::sqrt(dot(edge, edge));
        Vec3 edge_f, unit;
        store(&edge_f, edge);
        vm_vec3_div_safe(&unit, &edge_f, float(len));
        const double u = vm_clamp01(float(dot(c - e0, d3(&unit)) / len));
        contact = e0 + edge * u;
        dist = std::sqrt(best_sq);
    }
    const double ratio = radius == 0.0f ? 1.0 : dist / radius;
    if (out_contact) store(out_contact, contact);
    if (out_depth) *out_depth = float(double(vm_math_cos(float(ratio * VM_HALF_PI))) * radius);
    return 1;
}

static bool point_in_box(D3 p, D3 lo, D3 hi)
{
    return between(p.x, lo.x, hi.x) && between(p.y, lo.y, hi.y) && between(p.z, lo.z, hi.z);
}

int vm_segment_box_overlap(const Vec3* start, const Vec3* v, const Vec3* box_min,
                           const Vec3* box_max)
{
    const D3 s = d3(start), e = s + d3(v), lo = d3(box_min), hi = d3(box_max);
    if (point_in_box(s, lo, hi) || point_in_box(e, lo, hi)) return 1;
    const double sa[3] = {s.x, s.y, s.z}, ea[3] = {e.x, e.y, e.z};
    const double la[3] = {lo.x, lo.y, lo.z}, ha[3] = {hi.x, hi.y, hi.z};
    for (int axis = 0; axis < 3; ++axis) {
        for (double face : {la[axis], ha[axis]}) {
            if (!between(face, sa[axis], ea[axis]) || sa[axis] == ea[axis]) continue;
            const double f = (face - sa[axis]) / (ea[axis] - sa[axis]);
            bool inside = true;
            for (int other = 0; other < 3 && inside; ++other) {
                if (other == axis) continue;
                const double x = sa[other] + (ea[other] - sa[other]) * f;
                inside = between(x, la[other], ha[other]);
            }
            if (inside) return 1;
        }
    }
    return 0;
}

int vm_capsule_closest(float* out_dist, Vec3* out_p1, Vec3* out_p2, const Vec3* start1,
                       const Vec3* v1, float r1, const Vec3* start2, const Vec3* v2, float r2)
{
    const D3 s1 = d3(start1), a = d3(v1), s2 = d3(start2), b = d3(v2);
    const double l1 = dot(a, a), l2 = dot(b, b);
    const bool short1 = l1 < 1e-10, short2 = l2 < 1e-10;
    const double reach = double(r1) + r2;
    D3 p1, p2;
    int result;
    if (short1 && short2) {
        p1 = s1;
        p2 = s2;
        result = dot(s2 - s1, s2 - s1) <= reach * reach;
    } else if (short1 || short2) {
        // The short capsule is a sphere at its start: take its foot on the
        // other axis.
        const Vec3 *point = short1 ? start1 : start2, *seg = short1 ? start2 : start1;
        Vec3 end, foot;
        store(&end, d3(seg) + (short1 ? b : a));
        const int on_segment = vm_point_segment_foot(nullptr, &foot, point, seg, &end);
        p1 = short1 ? s1 : d3(&foot);
        p2 = short1 ? d3(&foot) : s2;
        result = on_segment && dot(p2 - p1, p2 - p1) <= reach * reach;
    } else {
        const double len1 = std::sqrt(l1), len2 = std::sqrt(l2);
        const D3 u1 = a * (1.0 / len1), u2 = b * (1.0 / len2), w = s2 - s1;
        const double c = dot(u1, u2), den = c * c - 1.0;
        if (std::fabs(den) <= 1e-05) return 0;
        const double d1 = dot(w, u1), d2 = dot(w, u2);
        const double s = (c * d2 - d1) / den, q = (d2 - c * d1) / den;
        // s and q are distances along the unit axes: clamp them to the
        // segments' lengths and widen the accepted range by the radii.
        p1 = s1 + u1 * std::fmin(std::fmax(s, 0.0), len1);
        p2 = s2 + u2 * std::fmin(std::fmax(q, 0.0), len2);
        const double e1 = std::sqrt(double(r1) * r1 + 1e-10),
                     e2 = std::sqrt(double(r2) * r2 + 1e-10);
        result = s >= -e1 && s <= len1 + e1 && q >= -e2 && q <= len2 + e2;
    }
    if (out_dist) *out_dist = float(cut_len(p2 - p1));
    if (out_p1) store(out_p1, p1);
    if (out_p2) store(out_p2, p2);
    return result;
}

// ---- interpolation ----

Vec3* vm_vec3_hermite(Vec3* out, const Vec3* p0, const Vec3* m0, const Vec3* p1, const Vec3* m1,
                      float t)
{
    const double u = vm_clamp01(t);
    const D3 a = d3(p0), b = d3(p1), ta = d3(m0), tb = d3(m1);
    const D3 c3 = a * 2.0 - b * 2.0 + ta + tb;
    const D3 c2 = b * 3.0 - a * 3.0 - ta * 2.0 - tb;
    return store(out, c3 * (u * u * u) + c2 * (u * u) + ta * u + a);
}

Vec3* vm_vec3_slerp(Vec3* out, const Vec3* a, const Vec3* b, float t)
{
    const D3 va = d3(a), vb = d3(b);
    const double la = std::sqrt(dot(va, va)), lb = std::sqrt(dot(vb, vb));
    if (la == 0.0) return store(out, vb * t);
    if (lb == 0.0) return store(out, va * t);
    const D3 ua = va * (1.0 / la), ub = vb * (1.0 / lb);
    const float theta = float(safe_acos(dot(ua, ub)));
    const double s = vm_math_sin(theta);
    D3 r;
    if (s == 0.0) {
        // Equal directions (or closer than one table step): the table sines
        // all vanish, so fall back to the normalised linear blend.
        r = normalized((ub - ua) * t + ua);
    } else {
        r = ua * double(vm_math_sin(float((1.0 - t) * theta))) +
            ub * double(vm_math_sin(float(double(t) * theta)));
        r = normalized(r * (1.0 / s));
    }
    return store(out, r * double(vm_lerp(float(la), float(lb), t)));
}

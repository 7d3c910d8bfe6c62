// 2D maths in float arithmetic.
#include "math/vm_2d.h"

#include <cmath>

#include "math/vm_table.h"

namespace {

Vec2 sub(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 add(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 mul(Vec2 a, float s) { return {a.x * s, a.y * s}; }
float dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
float cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
bool is_zero(Vec2 v) { return v.x == 0.0f && v.y == 0.0f; }

Vec2 normalized(Vec2 v)
{
    const float sq = dot(v, v);
    if (sq == 0.0f) return {0, 0};
    return mul(v, 1.0f / std::sqrt(sq));
}

float cut_sq(Vec2 v)
{
    const float sq = dot(v, v);
    return sq < 1e-10f ? 0.0f : sq;
}

float line_value(Vec2 a, Vec2 b, Vec2 c) { return cross(sub(b, a), sub(c, a)); }
int side_code(float v) { return v > 0.0f ? 0 : (v < 0.0f ? 2 : 1); }
bool within(float x, float a, float b) { return a <= b ? (a <= x && x <= b) : (b <= x && x <= a); }

// An oriented rectangle as centre, unit axes and half extents. A zero edge
// takes the perpendicular of the other edge as its axis (with half extent
// 0), so a rectangle squashed to a line or a point covers only that line or
// point instead of an unbounded band.
struct Box2 {
    Vec2 centre, axis[2];
    float half[2];
};

Box2 rect_box(const Vec2 c[4])
{
    Box2 b;
    b.centre = mul(add(add(c[0], c[1]), add(c[2], c[3])), 0.25f);
    b.axis[0] = normalized(sub(c[1], c[0]));
    b.axis[1] = normalized(sub(c[3], c[1]));
    b.half[0] = vm2_dist_cut(&c[0], &c[1]) * 0.5f;
    b.half[1] = vm2_dist_cut(&c[1], &c[3]) * 0.5f;
    const bool zero0 = is_zero(b.axis[0]), zero1 = is_zero(b.axis[1]);
    if (zero0 && zero1) {
        b.axis[0] = {1, 0};
        b.axis[1] = {0, 1};
    } else if (zero0) {
        b.axis[0] = {-b.axis[1].y, b.axis[1].x};
    } else if (zero1) {
        b.axis[1] = {-b.axis[0].y, b.axis[0].x};
    }
    return b;
}

float projected_radius(Vec2 axis, const Box2& b)
{
    return std::fabs(dot(axis, b.axis[0])) * b.half[0] +
           std::fabs(dot(axis, b.axis[1])) * b.half[1];
}

// Not separated along axis.
bool axis_overlaps(Vec2 axis, const Box2& b, Vec2 offset, float extra)
{
    return std::fabs(dot(axis, offset)) <= projected_radius(axis, b) + extra;
}

bool boxes_overlap(const Box2& a, const Box2& b)
{
    const Vec2 offset = sub(b.centre, a.centre);
    const Vec2 axes[4] = {a.axis[0], a.axis[1], b.axis[0], b.axis[1]};
    for (const Vec2& axis : axes)
        if (!axis_overlaps(axis, a, offset, projected_radius(axis, b))) return false;
    return true;
}

constexpr int VM2_OUTLINE[4] = {0, 1, 3, 2};

}  // namespace

// ---- 2D affine matrices ----

Mat3x2* vm_mat3x2_identity(Mat3x2* out)
{
    *out = VM_MAT3X2_IDENTITY;
    return out;
}

Mat3x2* vm_mat3x2_translation(Mat3x2* out, const Vec2* t)
{
    *out = {{1, 0, 0, 1, t->x, t->y}};
    return out;
}

Mat3x2* vm_mat3x2_translate(Mat3x2* out, const Mat3x2* m, const Vec2* t)
{
    const Mat3x2 in = *m;
    const Vec2 v = *t;
    *out = in;
    out->m[4] = v.x * in.m[0] + v.y * in.m[2] + in.m[4];
    out->m[5] = v.x * in.m[1] + v.y * in.m[3] + in.m[5];
    return out;
}

Mat3x2* vm_mat3x2_rotation(Mat3x2* out, const Vec2* pos, float angle)
{
    const float c = vm_math_cos(angle), s = vm_math_sin(angle);
    *out = {{c, -s, s, c, pos->x, pos->y}};
    return out;
}

Mat2* vm_mat2_rotation(Mat2* out, float angle)
{
    const float c = vm_math_cos(angle), s = vm_math_sin(angle);
    *out = {{c, s, -s, c}};
    return out;
}

Mat3x2* vm_mat3x2_scale(Mat3x2* out, const Mat3x2* m, const Vec2* s)
{
    const Mat3x2 in = *m;
    const Vec2 k = *s;
    *out = {{in.m[0] * k.x, in.m[1] * k.y, in.m[2] * k.x, in.m[3] * k.y, in.m[4], in.m[5]}};
    return out;
}

Mat3x2* vm_mat3x2_shear(Mat3x2* out, const Mat3x2* m, const Vec2* s)
{
    const Mat3x2 in = *m;
    const Vec2 k = *s;
    *out = {{in.m[0] + k.y * in.m[2], in.m[1] + k.y * in.m[3], in.m[2] + k.x * in.m[0],
             in.m[3] + k.x * in.m[1], in.m[4], in.m[5]}};
    return out;
}

Mat3x2* vm_mat3x2_mul(Mat3x2* out, const Mat3x2* a, const Mat3x2* b)
{
    const Mat3x2 p = *a, q = *b;
    *out = {{q.m[0] * p.m[0] + q.m[1] * p.m[2], q.m[0] * p.m[1] + q.m[1] * p.m[3],
             q.m[2] * p.m[0] + q.m[3] * p.m[2], q.m[2] * p.m[1] + q.m[3] * p.m[3],
             q.m[4] * p.m[0] + q.m[5] * p.m[2] + p.m[4],
             q.m[4] * p.m[1] + q.m[5] * p.m[3] + p.m[5]}};
    return out;
}

Vec2* vm_mat3x2_transform_point(Vec2* out, const Mat3x2* m, const Vec2* p)
{
    const Vec2 v = *p;
    *out = {m->m[0] * v.x + m->m[2] * v.y + m->m[4], m->m[1] * v.x + m->m[3] * v.y + m->m[5]};
    return out;
}

Mat3x2* vm_mat3x2_inverse(Mat3x2* out, const Mat3x2* m)
{
    const Mat3x2 in = *m;
    const float* e = in.m;
    const float det = e[0] * e[3] - e[1] * e[2];
    if (det == 0.0f) {
        *out = in;
        return out;
    }
    *out = {{e[3] / det, -e[1] / det, -e[2] / det, e[0] / det, (e[2] * e[5] - e[4] * e[3]) / det,
             (e[4] * e[1] - e[0] * e[5]) / det}};
    return out;
}

Mat3x2* vm_mat3x2_rotate(Mat3x2* out, const Mat3x2* m, float angle)
{
    // The rotation record of vm_mat3x2_rotation applied first, in m's frame.
    Mat3x2 r;
    const Vec2 origin = {0, 0};
    vm_mat3x2_rotation(&r, &origin, angle);
    return vm_mat3x2_mul(out, m, &r);
}

// ---- 2D vectors ----

Vec2* vm2_set(Vec2* out, float x, float y)
{
    *out = {x, y};
    return out;
}

Vec2* vm2_sub(Vec2* out, const Vec2* a, const Vec2* b)
{
    *out = sub(*a, *b);
    return out;
}

float vm2_dot(const Vec2* a, const Vec2* b) { return dot(*a, *b); }
float vm2_cross(const Vec2* a, const Vec2* b) { return cross(*a, *b); }

Vec2* vm2_normalize(Vec2* out, const Vec2* v)
{
    *out = normalized(*v);
    return out;
}

float vm2_length_cut(const Vec2* v) { return std::sqrt(cut_sq(*v)); }
float vm2_length_sq_cut(const Vec2* v) { return cut_sq(*v); }
float vm2_dist_cut(const Vec2* a, const Vec2* b) { return std::sqrt(cut_sq(sub(*b, *a))); }

float vm2_dist_sq(const Vec2* a, const Vec2* b)
{
    const Vec2 d = sub(*b, *a);
    return dot(d, d);
}

// ---- tests and intersections ----

float vm2_point_line_dist(const Vec2* a, const Vec2* b, const Vec2* p)
{
    const Vec2 ab = sub(*b, *a);
    const float len = vm2_length_cut(&ab);
    if (len == 0.0f) return 0.0f;
    return std::fabs(cross(ab, sub(*p, *a))) / len;
}

int vm2_side(const Vec2* a, const Vec2* b, const Vec2* c)
{
    return side_code(line_value(*a, *b, *c));
}

int vm2_line_crosses(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d)
{
    return vm2_side(a, b, c) != vm2_side(a, b, d);
}

int vm2_segments_cross(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d)
{
    return vm2_line_crosses(a, b, c, d) && vm2_line_crosses(c, d, a, b);
}

int vm2_segments_touch(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d)
{
    if (line_value(*a, *b, *c) * line_value(*a, *b, *d) > 0.0f) return 0;
    return line_value(*c, *d, *a) * line_value(*c, *d, *b) <= 0.0f;
}

int vm2_line_intersect(Vec2* out, const Vec2* a1, const Vec2* a2, const Vec2* b1, const Vec2* b2)
{
    const Vec2 p1 = *a1, p2 = *a2, p3 = *b1, p4 = *b2;
    const float det = (p1.x - p2.x) * (p3.y - p4.y) - (p1.y - p2.y) * (p3.x - p4.x);
    if (det == 0.0f) {
        *out = p1;
        return 0;
    }
    const float c12 = p1.x * p2.y - p1.y * p2.x, c34 = p3.x * p4.y - p3.y * p4.x;
    *out = {(c12 * (p3.x - p4.x) - (p1.x - p2.x) * c34) / det,
            (c12 * (p3.y - p4.y) - (p1.y - p2.y) * c34) / det};
    return 1;
}

int vm2_segment_intersect(Vec2* out, const Vec2* a1, const Vec2* a2, const Vec2* b1, const Vec2* b2)
{
    const Vec2 p1 = *a1, p2 = *a2, q1 = *b1, q2 = *b2;
    Vec2 hit;
    if (p1.x == p2.x) {
        if (q1.x == q2.x) {
            *out = {0, 0};
            return 0;
        }
        const float m2 = (q2.y - q1.y) / (q2.x - q1.x), c2 = q2.y - m2 * q2.x;
        hit = {p1.x, m2 * p1.x + c2};
    } else {
        const float m1 = (p2.y - p1.y) / (p2.x - p1.x), c1 = p2.y - m1 * p2.x;
        if (q1.x == q2.x) {
            hit = {q1.x, m1 * q1.x + c1};
        } else {
            const float m2 = (q2.y - q1.y) / (q2.x - q1.x), c2 = q2.y - m2 * q2.x;
            if (m1 == m2) {
                *out = {0, 0};
                return 0;
            }
            const float x = (c1 - c2) / -(m1 - m2);
            hit = {x, m1 * x + c1};
        }
    }
    *out = hit;
    return within(hit.x, p1.x, p2.x) && within(hit.y, p1.y, p2.y) && within(hit.x, q1.x, q2.x) &&
           within(hit.y, q1.y, q2.y);
}

int vm2_perp_foot(Vec2* out, const Vec2* a, const Vec2* b, const Vec2* p)
{
    const Vec2 pa = *a, pb = *b, pp = *p;
    Vec2 foot;
    if (pa.x == pb.x) {
        foot = {pa.x, pp.y};
    } else if (pa.y == pb.y) {
        foot = {pp.x, pa.y};
    } else {
        const float m = (pb.y - pa.y) / (pb.x - pa.x), c = pa.y - m * pa.x;
        const float cp = pp.y + pp.x / m;  // perpendicular through p: y = -x/m + cp
        const float x = (cp - c) / (m + 1.0f / m);
        foot = {x, m * x + c};
    }
    *out = foot;
    // Between the ends in either order.
    return within(foot.x, pa.x, pb.x) && within(foot.y, pa.y, pb.y);
}

int vm2_segment_circle(const Vec2* centre, float radius, const Vec2* a, const Vec2* b)
{
    const Vec2 d = sub(*b, *a), w = sub(*centre, *a);
    const float k = dot(d, w);
    float dist_sq;
    if (k < 0.0f) {
        dist_sq = cut_sq(w);
    } else {
        const float dd = dot(d, d);
        if (dd < k)
            dist_sq = vm2_dist_sq(b, centre);
        else if (dd == 0.0f)
            dist_sq = dot(w, w);  // a zero-length segment is its point
        else
            dist_sq = dot(w, w) - k * k / dd;
    }
    return radius * radius >= dist_sq;
}

int vm_geom2d_rect_vs_point(const Vec2 rect[4], const Vec2* point)
{
    const Box2 b = rect_box(rect);
    const Vec2 offset = sub(b.centre, *point);
    return axis_overlaps(b.axis[0], b, offset, 0.0f) && axis_overlaps(b.axis[1], b, offset, 0.0f);
}

int vm_geom2d_circle_vs_rect(const Vec2 rect[4], const Vec2* centre, float radius)
{
    const Vec2 c = *centre;
    int inside_all = 1;
    for (int i = 0; i < 4; ++i) {
        const Vec2 a = rect[VM2_OUTLINE[i]], b = rect[VM2_OUTLINE[(i + 1) % 4]],
                   e = rect[VM2_OUTLINE[(i + 2) % 4]];
        if (vm2_segment_circle(&c, radius, &a, &b)) return 1;
        Vec2 foot;
        vm2_perp_foot(&foot, &a, &b, &c);
        const Vec2 inward = normalized(sub(e, b));
        if (dot(inward, sub(c, foot)) - radius < 0.0f) inside_all = 0;
    }
    return inside_all;
}

int vm_geom2d_rect_vs_segment(const Vec2 rect[4], const Vec2* a, const Vec2* b)
{
    const Vec2 d = sub(*a, *b);
    Box2 seg;
    seg.centre = mul(add(*a, *b), 0.5f);
    seg.axis[0] = normalized({-d.y, d.x});
    seg.axis[1] = normalized(d);
    seg.half[0] = 0.01f;
    seg.half[1] = vm2_length_cut(&d) * 0.5f;
    return boxes_overlap(rect_box(rect), seg);
}

int vm_geom2d_rect_vs_rect(const Vec2 rect1[4], const Vec2 rect2[4])
{
    return boxes_overlap(rect_box(rect1), rect_box(rect2));
}

float vm_spline_eval(const float* xs, const float* ys, int count, float x)
{
    constexpr int VM2_MAX = 8;
    if (count < 2 || count > VM2_MAX || !(x >= xs[0] && x <= xs[count - 1])) return 0.0f;
    double h[VM2_MAX];
    for (int i = 0; i + 1 < count; ++i) {
        h[i] = double(xs[i + 1]) - xs[i];
        if (!(h[i] > 0.0))  // unsorted, repeated or NaN samples
            return 0.0f;
    }
    for (int i = 0; i < count; ++i)
        if (x == xs[i]) return ys[i];
    // Second derivatives of the natural spline (zero at both ends) by the
    // tridiagonal (Thomas) elimination.
    double mm[VM2_MAX] = {}, diag[VM2_MAX], rhs[VM2_MAX];
    for (int i = 1; i + 1 < count; ++i) {
        diag[i] = 2.0 * (h[i - 1] + h[i]);
        rhs[i] =
            6.0 * ((double(ys[i + 1]) - ys[i]) / h[i] - (double(ys[i]) - ys[i - 1]) / h[i - 1]);
    }
    for (int i = 2; i + 1 < count; ++i) {
        const double f = h[i - 1] / diag[i - 1];
        diag[i] -= f * h[i - 1];
        rhs[i] -= f * rhs[i - 1];
    }
    for (int i = count - 2; i >= 1; --i) mm[i] = (rhs[i] - h[i] * mm[i + 1]) / diag[i];
    int k = 1;
    while (k < count - 1 && !(x < xs[k])) ++k;
    const double hk = h[k - 1], a = double(xs[k]) - x, b = double(x) - xs[k - 1];
    const double v =
        (mm[k - 1] * a * a * a + mm[k] * b * b * b + (6.0 * ys[k - 1] - hk * hk * mm[k - 1]) * a +
         (6.0 * ys[k] - hk * hk * mm[k]) * b) /
        hk / 6.0;
    return float(v);
}

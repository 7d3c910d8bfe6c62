// View maths.
#include "math/vm_view.h"

#include <cmath>

#include "math/vm_mat.h"
#include "math/vm_vec.h"

namespace {

constexpr float VM_MIN_ANGLE = 1.7453294e-05f;   // 0.001 degrees
constexpr float VM_MAX_FOV = 3.139847f;          // 179.9 degrees
constexpr float VM_MAX_HALF_ANGLE = 1.5690509f;  // 89.9 degrees

struct Bounds {
    Vec3 lo, hi;
};

// First point as the start value, then per axis: greater replaces the
// maximum, else smaller replaces the minimum.
Bounds bounds_of(const Vec3* pts, int n)
{
    Bounds b = {pts[0], pts[0]};
    for (int i = 1; i < n; ++i) {
        const float v[3] = {pts[i].x, pts[i].y, pts[i].z};
        float* lo[3] = {&b.lo.x, &b.lo.y, &b.lo.z};
        float* hi[3] = {&b.hi.x, &b.hi.y, &b.hi.z};
        for (int k = 0; k < 3; ++k) {
            if (v[k] > *hi[k])
                *hi[k] = v[k];
            else if (v[k] < *lo[k])
                *lo[k] = v[k];
        }
    }
    return b;
}

// Any unit vector perpendicular to d (d of unit length).
Vec3 any_perpendicular(const Vec3& d)
{
    const Vec3 axis = std::fabs(d.x) < 0.5f ? Vec3{1, 0, 0} : Vec3{0, 0, 1};
    Vec3 r;
    vm_vec3_cross(&r, &d, &axis);
    return *vm_vec3_normalize(&r, &r);
}

float keep_or(float value, float kept)
{
    return (value >= -1e-05f && value <= 1e-05f) ? kept : value;
}

}  // namespace

Mat44* viewmath_perspective_from6(Mat44* out, const ProjParams* p)
{
    if (!out || !p) return out;
    return vm_mat_perspective_offcenter(out, p->left, p->right, p->bottom, p->top, p->znear,
                                        p->zfar);
}

FrustumPlanes* viewmath_frustum_planes(FrustumPlanes* out, const Mat44* view_proj)
{
    const Mat44 m = *view_proj;
    auto col = [&](int j) { return Plane{m.m[j], m.m[4 + j], m.m[8 + j], m.m[12 + j]}; };
    const Plane c0 = col(0), c1 = col(1), c2 = col(2), c3 = col(3);
    auto comb = [](const Plane& a, const Plane& b, float sign) {
        return Plane{a.a + sign * b.a, a.b + sign * b.b, a.c + sign * b.c, a.d + sign * b.d};
    };
    const Plane raw[VM_FRUSTUM_COUNT] = {comb(c3, c2, 1), comb(c3, c2, -1), comb(c3, c0, -1),
                                         comb(c3, c0, 1), comb(c3, c1, 1),  comb(c3, c1, -1)};
    for (int i = 0; i < VM_FRUSTUM_COUNT; ++i) {
        const Plane& p = raw[i];
        float s = p.a * p.a + p.b * p.b + p.c * p.c;
        if (s < 1e-10f) s = 0.0f;
        const float k = 1.0f / std::sqrt(s);
        out->p[i] = {p.a * k, p.b * k, p.c * k, p.d * k};
    }
    return out;
}

Vec3* viewmath_frustum_corners(Vec3 out[8], const Mat44* m, const ProjParams* p)
{
    const ProjParams v = *p;
    const Mat44 mm = *m;
    const float k = v.zfar / v.znear;
    const Vec3 local[8] = {{v.left, v.top, v.znear},           {v.right, v.top, v.znear},
                           {v.left, v.bottom, v.znear},        {v.right, v.bottom, v.znear},
                           {v.left * k, v.top * k, v.zfar},    {v.right * k, v.top * k, v.zfar},
                           {v.left * k, v.bottom * k, v.zfar}, {v.right * k, v.bottom * k, v.zfar}};
    for (int i = 0; i < 8; ++i) vm_mat_transform_point(&out[i], &mm, &local[i]);
    return out;
}

Vec3* viewmath_box_corners(Vec3 out[8], const Vec3* box_min, const Vec3* box_max)
{
    const Vec3 lo = *box_min, hi = *box_max;
    const float zs[2] = {lo.z, hi.z};
    for (int f = 0; f < 2; ++f) {
        out[4 * f + 0] = {lo.x, hi.y, zs[f]};
        out[4 * f + 1] = {hi.x, hi.y, zs[f]};
        out[4 * f + 2] = {lo.x, lo.y, zs[f]};
        out[4 * f + 3] = {hi.x, lo.y, zs[f]};
    }
    return out;
}

void viewmath_light_fit(Mat44* out_proj, Mat44* out_view, const Vec3* light_dir, const void* unused,
                        const Mat44* camera_to_world, const ProjParams* camera, const Vec3* box_min,
                        const Vec3* box_max)
{
    (void)unused;
    Vec3 pts[16];
    viewmath_frustum_corners(pts, camera_to_world, camera);
    int n = 8;
    if (box_min && box_max) {
        viewmath_box_corners(pts + 8, box_min, box_max);
        n = 16;
    }
    const Vec3 eye = {camera_to_world->m[12], camera_to_world->m[13], camera_to_world->m[14]};
    Vec3 mean = {0, 0, 0};
    for (int i = 0; i < n; ++i) {
        Vec3 d;
        vm_vec3_sub(&d, &pts[i], &eye);
        vm_vec3_add(&mean, &mean, &d);
    }
    vm_vec3_normalize(&mean, &mean);

    Vec3 z, up, x, y;
    vm_vec3_normalize(&z, light_dir);
    vm_vec3_cross(&up, &mean, light_dir);
    vm_vec3_cross(&up, light_dir, &up);
    vm_vec3_normalize(&up, &up);
    // Looking along the light: no preferred up, take any perpendicular.
    if (up.x == 0.0f && up.y == 0.0f && up.z == 0.0f) up = any_perpendicular(z);
    vm_vec3_cross(&x, &up, &z);
    vm_vec3_normalize(&x, &x);
    vm_vec3_cross(&y, &z, &x);

    Mat44 view = {{x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -vm_vec3_dot(&x, &eye),
                   -vm_vec3_dot(&y, &eye), -vm_vec3_dot(&z, &eye), 1}};
    for (int i = 0; i < n; ++i) vm_mat_transform_point_divw(&pts[i], &view, &pts[i]);
    Bounds b = bounds_of(pts, n);

    const float ext = b.hi.y - b.lo.y;
    const float zn = b.lo.y > 0.0f ? ext * 0.07f + b.lo.y : ext * 0.15f;
    const float zf = zn + ext;
    const float shift = b.lo.y - zn;
    Mat44 warp;
    vm_mat_identity(&warp);
    warp.m[5] = zf / (zf - zn);
    warp.m[7] = 1.0f;
    warp.m[13] = -zf * zn / (zf - zn);
    warp.m[15] = 0.0f;
    Mat44 move;
    const Vec3 t = {0.0f, -shift, 0.0f};
    vm_mat_translation(&move, &t);
    vm_mat_mul(&view, &move, &view);

    Mat44 warp_move;
    vm_mat_mul(&warp_move, &warp, &move);
    for (int i = 0; i < n; ++i) vm_mat_transform_point_divw(&pts[i], &warp_move, &pts[i]);
    b = bounds_of(pts, n);

    const float wx = b.hi.x - b.lo.x, wy = b.hi.y - b.lo.y, wz = b.hi.z - b.lo.z;
    const Mat44 fit = {{2.0f / wx, 0, 0, 0, 0, 2.0f / wy, 0, 0, 0, 0, 1.0f / wz, 0,
                        -(b.hi.x + b.lo.x) / wx, -(b.hi.y + b.lo.y) / wy, -b.lo.z / wz, 1}};
    vm_mat_mul(out_proj, &fit, &warp);
    *out_view = view;
}

ProjParams* vm_proj_params_from_fov(ProjParams* out, float fov, float aspect, float cx, float cy,
                                    float znear, float zfar)
{
    if (!out) return out;
    const double f = vm_clamp(fov, VM_MIN_ANGLE, VM_MAX_FOV);
    *out = {float(-std::tan(f * cx) * znear * aspect),
            float(std::tan((1.0 - cx) * f) * znear * aspect),
            float(-std::tan((1.0 - cy) * f) * znear),
            float(std::tan(f * cy) * znear),
            znear,
            zfar};
    return out;
}

ProjParams* vm_proj_params_from_angles(ProjParams* out, float top, float bottom, float left,
                                       float right, float aspect, float znear, float zfar)
{
    if (!out) return out;
    // Half-angles stop short of 90 degrees: beyond it the tangent changes
    // sign and the window edges would swap sides.
    auto tan_of = [](float a) {
        return std::tan(double(vm_clamp(a, VM_MIN_ANGLE, VM_MAX_HALF_ANGLE)));
    };
    *out = {float(-tan_of(left) * znear * aspect),
            float(tan_of(right) * znear * aspect),
            float(-tan_of(bottom) * znear),
            float(tan_of(top) * znear),
            znear,
            zfar};
    return out;
}

void vm_proj_params_info(float* out_fov, float* out_aspect, float* out_cx, float* out_cy,
                         float* out_near, float* out_far, const ProjParams* p)
{
    // The inverse of vm_proj_params_from_fov: angles above and below the
    // axis give the field and its vertical split; the aspect is the ratio of
    // the window's width to its height, and the horizontal split is measured
    // with the aspect taken out.
    const ProjParams v = *p;
    const double n = v.znear;
    const double up = std::atan2(double(v.top), n), down = std::atan2(-double(v.bottom), n);
    const double fov = up + down;
    const double hh = (double(v.top) - v.bottom) * 0.5, hw = (double(v.right) - v.left) * 0.5;
    const double aspect = hh == 0.0 ? 0.0 : hw / hh;
    double left = 0.0, right = 0.0;
    if (aspect != 0.0) {
        left = std::atan2(-double(v.left) / aspect, n);
        right = std::atan2(double(v.right) / aspect, n);
    }
    if (out_fov) *out_fov = float(fov);
    if (out_aspect) *out_aspect = float(aspect);
    if (out_cx) *out_cx = left + right == 0.0 ? 0.0f : float(left / (left + right));
    if (out_cy) *out_cy = fov == 0.0 ? 0.0f : float(up / fov);
    if (out_near) *out_near = v.znear;
    if (out_far) *out_far = v.zfar;
}

ProjParams* vm_proj_params_scale(ProjParams* out, const ProjParams* p, float fov_factor,
                                 float aspect_factor, float znear, float zfar)
{
    if (!out || !p) return out;
    float fov, aspect, cx, cy, n, f;
    vm_proj_params_info(&fov, &aspect, &cx, &cy, &n, &f, p);
    return vm_proj_params_from_fov(out, fov * fov_factor, aspect * aspect_factor, cx, cy,
                                   keep_or(znear, n), keep_or(zfar, f));
}

ProjParams* vm_proj_params_scale_angles(ProjParams* out, const ProjParams* p, float kt, float kb,
                                        float kl, float kr, float znear, float zfar)
{
    if (!out || !p) return out;
    float fov, aspect, cx, cy, n, f;
    vm_proj_params_info(&fov, &aspect, &cx, &cy, &n, &f, p);
    return vm_proj_params_from_angles(out, fov * cy * kt, (1.0f - cy) * fov * kb, fov * cx * kl,
                                      (1.0f - cx) * fov * kr, aspect, keep_or(znear, n),
                                      keep_or(zfar, f));
}

ProjParams* vm_proj_params_from_matrix(ProjParams* out, const Mat44* projection)
{
    Mat44 q;
    vm_mat_inverse(&q, projection);
    const Vec4 clip[3] = {{-1, 1, 0, 1}, {1, -1, 0, 1}, {0, 0, 1, 1}};
    Vec3 r[3];
    for (int i = 0; i < 3; ++i) {
        Vec4 v;
        vm_vec4_transform(&v, &q, &clip[i]);
        r[i] = {v.x / v.w, v.y / v.w, v.z / v.w};
    }
    *out = {r[0].x, r[1].x, r[1].y, r[0].y, r[0].z, r[2].z};
    return out;
}

float vm_proj_min_size_at_depth(const ProjParams* p, float depth, float size, float screen_width,
                                float min_screen)
{
    const float w = (std::fabs(p->left) + std::fabs(p->right)) * depth / p->znear;
    const float shown = std::fabs(size * screen_width / w);
    if (min_screen > shown) return std::fabs(w * min_screen / screen_width);
    return size;
}

float vm_proj_min_world_size(const ProjParams* p, const Mat44* m, const Vec3* point, float size,
                             float screen_width, float min_screen)
{
    Vec3 v;
    vm_mat_transform_point(&v, m, point);
    return vm_proj_min_size_at_depth(p, v.z, size, screen_width, min_screen);
}

float vm_inverse_lerp(float x, float a, float b) { return a == b ? 0.0f : (x - a) / (b - a); }

Plane* vm_plane_from_point_normal(Plane* out, const Vec3* point, const Vec3* normal)
{
    Vec3 n;
    vm_vec3_normalize(&n, normal);
    const float d = -vm_vec3_dot(&n, point);
    *out = {n.x, n.y, n.z, d};
    return out;
}

Plane* vm_plane_from_points(Plane* out, const Vec3* p0, const Vec3* p1, const Vec3* p2)
{
    Vec3 n;
    vm_triangle_normal(&n, p0, p1, p2);
    return vm_plane_from_point_normal(out, p0, &n);
}

Vec3* vm_triangle_normal(Vec3* out, const Vec3* p0, const Vec3* p1, const Vec3* p2)
{
    Vec3 a, b;
    vm_vec3_sub(&a, p1, p0);
    vm_vec3_sub(&b, p2, p1);
    return vm_vec3_cross(out, &a, &b);
}

float vm_vec3_get_z(const float* v) { return v[2]; }

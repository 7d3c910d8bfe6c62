// 4x4 matrices. Float arithmetic in the stated summation orders; the
// inverse works in double because projection matrices are ill-conditioned.
#include "math/vm_mat.h"

#include <cmath>
#include <cstdint>

#include "math/vm_const.h"
#include "math/vm_quat.h"
#include "math/vm_rows_local.h"
#include "math/vm_table.h"

namespace {

void set_row(Mat44* out, int row, float a, float b, float c, float d)
{
    float* r = out->m + 4 * row;
    r[0] = a;
    r[1] = b;
    r[2] = c;
    r[3] = d;
}

void set_row3(Mat44* out, int row, const Vec3& v, float w) { set_row(out, row, v.x, v.y, v.z, w); }

// Placement with the given axes and position.
Mat44* set_frame(Mat44* out, const Vec3& x, const Vec3& y, const Vec3& z, const Vec3& pos)
{
    set_row3(out, 0, x, 0.0f);
    set_row3(out, 1, y, 0.0f);
    set_row3(out, 2, z, 0.0f);
    set_row3(out, 3, pos, 1.0f);
    return out;
}

Vec3 row_vec(const Mat44& m, int row) { return {m.m[4 * row], m.m[4 * row + 1], m.m[4 * row + 2]}; }

// Rows i and j replaced by (c*ri + s*rj, -s*ri + c*rj), all four columns.
Mat44* mix_rows(Mat44* out, const Mat44* m, int i, int j, float c, float s)
{
    const Mat44 in = *m;
    *out = in;
    for (int k = 0; k < 4; ++k) {
        const float ri = in.m[4 * i + k], rj = in.m[4 * j + k];
        out->m[4 * i + k] = c * ri + s * rj;
        out->m[4 * j + k] = -s * ri + c * rj;
    }
    return out;
}

// Standard-order rotation rows from table sines and cosines.
void euler_rows(Mat44* out, const Vec3& a)
{
    const float sx = vm_math_sin(a.x), cx = vm_math_cos(a.x);
    const float sy = vm_math_sin(a.y), cy = vm_math_cos(a.y);
    const float sz = vm_math_sin(a.z), cz = vm_math_cos(a.z);
    set_row(out, 0, cy * cz + sy * sx * sz, cx * sz, cy * sx * sz - sy * cz, 0.0f);
    set_row(out, 1, sy * sx * cz - cy * sz, cx * cz, cy * sx * cz + sy * sz, 0.0f);
    set_row(out, 2, sy * cx, -sx, cy * cx, 0.0f);
}

float atan2f_(float y, float x) { return std::atan2(y, x); }

}  // namespace

// ---- building and copying ----

Mat44* vm_mat_identity(Mat44* out)
{
    *out = VM_MAT_IDENTITY;
    return out;
}

Mat44* vm_mat_reset_rotation(Mat44* out)
{
    for (int i = 0; i < 12; ++i) out->m[i] = VM_MAT_IDENTITY.m[i];
    out->m[15] = 1.0f;
    return out;
}

Mat44* vm_mat_copy(Mat44* out, const Mat44* m)
{
    *out = *m;
    return out;
}

Mat44* vm_mat_copy_rotation(Mat44* out, const Mat44* m)
{
    const Mat44 in = *m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out->m[4 * r + c] = in.m[4 * r + c];
    return out;
}

Mat44* vm_mat_translation(Mat44* out, const Vec3* t)
{
    const Vec3 v = *t;
    *out = VM_MAT_IDENTITY;
    set_row3(out, 3, v, 1.0f);
    return out;
}

Mat44* vm_mat_from_euler(Mat44* out, const Vec3* angles)
{
    euler_rows(out, *angles);
    return out;
}

Mat44* vm_mat_from_pos_angles(Mat44* out, const Vec3* pos, const Vec3* angles)
{
    const Vec3 p = *pos, a = *angles;
    euler_rows(out, a);
    set_row3(out, 3, p, 1.0f);
    return out;
}

Mat44* vm_mat_from_pos_angles_f(Mat44* out, float px, float py, float pz, float ax, float ay,
                                float az)
{
    const Vec3 p = {px, py, pz}, a = {ax, ay, az};
    return vm_mat_from_pos_angles(out, &p, &a);
}

Mat44* vm_mat_from_axis_angle(Mat44* out, const Vec3* pos, const Vec3* axis, float angle)
{
    const Vec3 p = pos ? *pos : Vec3{0, 0, 0};
    Vec3 unit;
    vm_vec3_normalize(&unit, axis);
    Quat q;
    vm_quat_from_axis_angle(&q, &unit, angle);
    vm_quat_to_matrix(out, &q);
    set_row3(out, 3, p, 1.0f);
    return out;
}

Mat44* vm_mat_from_y_axis(Mat44* out, const Vec3* pos, const Vec3* y_dir)
{
    const Vec3 p = pos ? *pos : Vec3{0, 0, 0};
    Vec3 y = {0, 1, 0};
    if (y_dir) vm_vec3_normalize(&y, y_dir);
    if (y.x == 0.0f && y.y == 0.0f && y.z == 0.0f)  // no direction: keep +Y
        y = {0, 1, 0};
    // The permuted auxiliary is parallel to directions along (1, 1, 1); the
    // cross product would then be zero, so another auxiliary is taken.
    const Vec3 candidates[3] = {{y.z, y.x, y.y}, {1, 0, 0}, {0, 0, 1}};
    Vec3 x = {0, 0, 0};
    for (const Vec3& aux : candidates) {
        vm_vec3_cross(&x, &y, &aux);
        if (x.x != 0.0f || x.y != 0.0f || x.z != 0.0f) break;
    }
    Vec3 z;
    vm_vec3_cross(&z, &x, &y);
    vm_vec3_normalize(&x, &x);
    vm_vec3_normalize(&z, &z);
    return set_frame(out, x, y, z, p);
}

Mat44* vm_mat_transpose(Mat44* out, const Mat44* m)
{
    const Mat44 in = *m;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out->m[4 * r + c] = in.m[4 * c + r];
    return out;
}

// Determinant of the 3x3 left when row and col are struck from a.
static double minor3(const double a[16], int row, int col)
{
    int r[3], c[3];
    for (int i = 0, n = 0; i < 4; ++i)
        if (i != row) r[n++] = 4 * i;
    for (int i = 0, n = 0; i < 4; ++i)
        if (i != col) c[n++] = i;
    auto e = [&](int i, int j) { return a[r[i] + c[j]]; };
    return e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
           e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
           e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
}

int vm_mat_inverse_checked(Mat44* out, const Mat44* m)
{
    double a[16];
    for (int i = 0; i < 16; ++i) a[i] = m->m[i];
    // Adjugate (transposed cofactors) over the determinant.
    double adj[16];
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            adj[4 * col + row] = ((row + col) & 1 ? -1.0 : 1.0) * minor3(a, row, col);
    const double det = a[0] * adj[0] + a[1] * adj[4] + a[2] * adj[8] + a[3] * adj[12];
    if (det == 0.0 || !std::isfinite(det)) {
        // Callers often invert into fresh locals: never leave them unwritten.
        *out = VM_MAT_IDENTITY;
        return 0;
    }
    const double k = 1.0 / det;
    for (int i = 0; i < 16; ++i) out->m[i] = float(adj[i] * k);
    return 1;
}

Mat44* vm_mat_inverse(Mat44* out, const Mat44* m)
{
    vm_mat_inverse_checked(out, m);
    return out;
}

Mat44* vm_mat_normalize_rows(Mat44* out, const Mat44* m)
{
    const Mat44 in = *m;
    *out = in;
    for (int r = 0; r < 3; ++r) {
        Vec3 v = row_vec(in, r);
        vm_vec3_normalize(&v, &v);
        set_row3(out, r, v, in.m[4 * r + 3]);
    }
    return out;
}

// ---- editing in the matrix's own frame ----

Mat44* vm_mat_translate(Mat44* out, const Mat44* m, const Vec3* t)
{
    const Mat44 in = *m;
    const Vec3 v = *t;
    *out = in;
    for (int k = 0; k < 4; ++k)
        out->m[12 + k] = v.x * in.m[k] + v.y * in.m[4 + k] + v.z * in.m[8 + k] + in.m[12 + k];
    return out;
}

Mat44* vm_mat_rotate_x(Mat44* out, const Mat44* m, float angle)
{
    return mix_rows(out, m, 1, 2, vm_math_cos(angle), vm_math_sin(angle));
}

Mat44* vm_mat_rotate_y(Mat44* out, const Mat44* m, float angle)
{
    // row0' = c*row0 - s*row2, row2' = s*row0 + c*row2
    return mix_rows(out, m, 0, 2, vm_math_cos(angle), -vm_math_sin(angle));
}

Mat44* vm_mat_rotate_z(Mat44* out, const Mat44* m, float angle)
{
    return mix_rows(out, m, 0, 1, vm_math_cos(angle), vm_math_sin(angle));
}

Mat44* vm_mat_rotate_euler(Mat44* out, const Mat44* m, const Vec3* angles)
{
    const Vec3 a = *angles;
    vm_mat_rotate_y(out, m, a.y);
    vm_mat_rotate_x(out, out, a.x);
    return vm_mat_rotate_z(out, out, a.z);
}

Mat44* vm_mat_translate_rotate_euler(Mat44* m, const void* unused, const Vec3* pos,
                                     const Vec3* angles)
{
    (void)unused;
    vm_mat_translate(m, m, pos);
    return vm_mat_rotate_euler(m, m, angles);
}

Mat44* vm_mat_rotate_axis(Mat44* out, const Mat44* m, const Vec3* pos, const Vec3* axis,
                          float angle)
{
    Mat44 r;
    vm_mat_from_axis_angle(&r, pos, axis, angle);
    return vm_mat_mul(out, m, &r);
}

Mat44* vm_mat_scale(Mat44* out, const Mat44* m, const Vec3* s)
{
    const Mat44 in = *m;
    const float k[3] = {s->x, s->y, s->z};
    *out = in;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) out->m[4 * r + c] = in.m[4 * r + c] * k[r];
    return out;
}

// ---- products and transforms ----

Mat44* vm_mat_mul_affine(Mat44* out, const Mat44* a, const Mat44* b, const float row3[4])
{
    const float r3[4] = {row3[0], row3[1], row3[2], row3[3]};
    vm_mat_mul(out, a, b);
    for (int k = 0; k < 4; ++k) out->m[12 + k] = r3[k];
    return out;
}

// Four records through f, all read before any output is written.
template <typename In, typename F>
static void transform_four(Vec3 out[4], const Mat44* m, const In in[4], F f)
{
    const In v[4] = {in[0], in[1], in[2], in[3]};
    const Mat44 mm = *m;
    for (int i = 0; i < 4; ++i) out[i] = f(mm, v[i]);
}

const Mat44* vm_mat_transform_points4(Vec3 out[4], const Mat44* m, const Vec3 in[4])
{
    transform_four(out, m, in, [](const Mat44& mm, const Vec3& p) {
        Vec3 r;
        return *vm_mat_transform_point(&r, &mm, &p);
    });
    return m;
}

Vec3* vm_mat_transform_vectors4(Vec3 out[4], const Mat44* m, const Vec3 in[4])
{
    transform_four(out, m, in, [](const Mat44& mm, const Vec3& v) {
        Vec3 r;
        return *vm_mat_transform_vector(&r, &mm, &v);
    });
    return out;
}

Vec3* vm_mat_transform_vectors4_xy(Vec3 out[4], const Mat44* m, const Vec2 in[4])
{
    transform_four(out, m, in, [](const Mat44& mm, const Vec2& v) {
        return Vec3{v.x * mm.m[0] + v.y * mm.m[4], v.x * mm.m[1] + v.y * mm.m[5],
                    v.x * mm.m[2] + v.y * mm.m[6]};
    });
    return out;
}

static Vec4 transform4(const Mat44& m, float x, float y, float z, float w)
{
    return {x * m.m[0] + y * m.m[4] + z * m.m[8] + w * m.m[12],
            x * m.m[1] + y * m.m[5] + z * m.m[9] + w * m.m[13],
            x * m.m[2] + y * m.m[6] + z * m.m[10] + w * m.m[14],
            x * m.m[3] + y * m.m[7] + z * m.m[11] + w * m.m[15]};
}

Vec3* vm_mat_transform_point_divw(Vec3* out, const Mat44* m, const Vec3* p)
{
    const Vec4 r = transform4(*m, p->x, p->y, p->z, 1.0f);
    *out = {r.x / r.w, r.y / r.w, r.z / r.w};
    return out;
}

Vec3* vm_mat_transform_vec4(Vec3* out, const Mat44* m, const Vec3* p)
{
    const Vec4 r = transform4(*m, p->x, p->y, p->z, 1.0f);
    if (r.w == 0.0f) {
        *out = {r.x, r.y, r.z};
    } else {
        const float aw = std::fabs(r.w);
        *out = {r.x / aw, r.y / aw, r.z};
    }
    return out;
}

Vec4* vm_vec4_transform(Vec4* out, const Mat44* m, const Vec4* v)
{
    *out = transform4(*m, v->x, v->y, v->z, v->w);
    return out;
}

// ---- decomposition ----

static float row_len_sq(const Mat44& m, int r)
{
    const float* p = m.m + 4 * r;
    return p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
}

Vec3* vm_mat_row_lengths(Vec3* out, const Mat44* m)
{
    const Mat44 in = *m;
    *out = {std::sqrt(row_len_sq(in, 0)), std::sqrt(row_len_sq(in, 1)),
            std::sqrt(row_len_sq(in, 2))};
    return out;
}

float vm_mat_max_scale(const Mat44* m)
{
    const float a = row_len_sq(*m, 0), b = row_len_sq(*m, 1), c = row_len_sq(*m, 2);
    const float big = a > b ? (a > c ? a : c) : (b > c ? b : c);
    return vm_math_fast_sqrt(big);
}

// s holds plus or minus the sine of the middle angle; at or beyond 1 the
// middle angle is a quarter turn and the third angle is taken as 0.
template <typename Lo, typename Hi, typename Regular>
static Vec3* euler_cases(Vec3* out, float s, Lo at_minus_one, Hi at_plus_one, Regular regular)
{
    *out = s <= -1.0f ? at_minus_one() : (s >= 1.0f ? at_plus_one() : regular());
    return out;
}

Vec3* vm_mat_to_euler(Vec3* out, const Mat44* mat)
{
    const float* m = mat->m;
    return euler_cases(
        out, m[9],
        [m] {
            return Vec3{VM_HALF_PI, 0.0f, -atan2f_(m[4], m[0])};
        },
        [m] {
            return Vec3{-VM_HALF_PI, 0.0f, -atan2f_(m[4], m[0])};
        },
        [m] {
            return Vec3{std::asin(-m[9]), atan2f_(m[8], m[10]), atan2f_(m[1], m[5])};
        });
}

Vec3* vm_mat_to_euler_a(Vec3* out, const Mat44* mat)
{
    const float* m = mat->m;
    return euler_cases(
        out, m[8],
        [m] {
            return Vec3{0.0f, -VM_HALF_PI, atan2f_(m[1], m[5])};
        },
        [m] {
            return Vec3{0.0f, VM_HALF_PI, -atan2f_(-m[1], m[5])};
        },
        [m] {
            return Vec3{atan2f_(-m[9], m[10]), std::asin(m[8]), atan2f_(-m[4], m[0])};
        });
}

Vec3* vm_mat_to_euler_b(Vec3* out, const Mat44* mat)
{
    const float* m = mat->m;
    return euler_cases(
        out, m[1],
        [m] {
            return Vec3{atan2f_(m[6], m[10]), 0.0f, -VM_HALF_PI};
        },
        [m] {
            return Vec3{-atan2f_(-m[6], m[10]), 0.0f, VM_HALF_PI};
        },
        [m] {
            return Vec3{atan2f_(-m[9], m[5]), atan2f_(-m[2], m[0]), std::asin(m[1])};
        });
}

Vec3* vm_mat_to_euler_c(Vec3* out, const Mat44* mat)
{
    const float* m = mat->m;
    return euler_cases(
        out, m[6],
        [m] {
            return Vec3{-VM_HALF_PI, atan2f_(m[8], m[0]), 0.0f};
        },
        [m] {
            return Vec3{VM_HALF_PI, -atan2f_(-m[8], m[0]), 0.0f};
        },
        [m] {
            return Vec3{std::asin(m[6]), atan2f_(-m[2], m[10]), atan2f_(-m[4], m[5])};
        });
}

Vec3* vm_mat_to_euler_d(Vec3* out, const Mat44* mat)
{
    const float* m = mat->m;
    return euler_cases(
        out, m[2],
        [m] {
            return Vec3{-atan2f_(m[9], m[5]), VM_HALF_PI, 0.0f};
        },
        [m] {
            return Vec3{-atan2f_(m[9], m[5]), -VM_HALF_PI, 0.0f};
        },
        [m] {
            return Vec3{atan2f_(m[6], m[10]), std::asin(-m[2]), atan2f_(m[1], m[0])};
        });
}

void vm_mat_to_pos_angles(Vec3* out_pos, Vec3* out_angles, const Mat44* m)
{
    const Mat44 in = *m;
    *out_pos = row_vec(in, 3);
    vm_mat_to_euler(out_angles, &in);
}

void vm_mat_decompose(Vec3* out_pos, Vec3* out_angles, Vec3* out_scale, const Mat44* m)
{
    const Mat44 in = *m;
    // Angles come from the unscaled rows: a scale would push the sine of the
    // pitch out of range.
    const Mat44 rot = vm_rows_unscaled(&in);
    *out_pos = row_vec(in, 3);
    vm_mat_to_euler(out_angles, &rot);
    vm_mat_row_lengths(out_scale, &in);
}

Vec3* vm_mat_euler_compose(Vec3* out, const Mat44* m, const Vec3* angles)
{
    const Vec3 zero = {0, 0, 0};
    Mat44 r;
    vm_mat_from_pos_angles(&r, &zero, angles);
    vm_mat_mul(&r, &r, m);
    return vm_mat_to_euler(out, &r);
}

// ---- comparisons ----

int vm_mat_differs(const Mat44* a, const Mat44* b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        if (std::fabs(a->m[i] - b->m[i]) > tolerance) return 1;
    return 0;
}

int vm_mat_not_identity(const Mat44* m, float tolerance)
{
    return vm_mat_differs(m, &VM_MAT_IDENTITY, tolerance);
}

// ---- view and projection builders ----

static Vec3 aim_axis(const Vec3* dir, int flip)
{
    Vec3 z;
    vm_vec3_normalize(&z, dir);
    if (z.x == 0.0f && z.y == 0.0f && z.z == 0.0f)  // eye on the target: look along +Z
        z = {0, 0, 1};
    if (flip) vm_vec3_negate(&z, &z);
    return z;
}

Mat44* vm_mat_aim_dir(Mat44* out, const Vec3* pos, const Vec3* dir, const Vec3* up, int flip)
{
    const Vec3 p = pos ? *pos : Vec3{0, 0, 0};
    const Vec3 z = aim_axis(dir, flip);
    Vec3 y0 = {0, 1, 0};
    if (up) vm_vec3_normalize(&y0, up);
    Vec3 x, y;
    vm_vec3_cross(&x, &y0, &z);
    if (x.x == 0.0f && x.y == 0.0f && x.z == 0.0f) x.x = 1e-05f;
    vm_vec3_cross(&y, &z, &x);
    vm_vec3_normalize(&x, &x);
    vm_vec3_normalize(&y, &y);
    return set_frame(out, x, y, z, p);
}

static Vec3 eye_to_target(const Vec3* eye, const Vec3* target)
{
    const Vec3 e = eye ? *eye : Vec3{0, 0, 0}, t = target ? *target : Vec3{0, 0, 0};
    Vec3 d;
    return *vm_vec3_sub(&d, &t, &e);
}

Mat44* vm_mat_aim_at(Mat44* out, const Vec3* eye, const Vec3* target, const Vec3* up, int flip)
{
    const Vec3 e = eye ? *eye : Vec3{0, 0, 0};
    const Vec3 d = eye_to_target(eye, target);
    return vm_mat_aim_dir(out, &e, &d, up, flip);
}

Mat44* vm_mat_aim_dir_up(Mat44* out, const Vec3* pos, const Vec3* dir, const Vec3* up, int flip)
{
    const Vec3 p = pos ? *pos : Vec3{0, 0, 0};
    Vec3 y = {0, 1, 0};
    if (up && (up->x != 0.0f || up->y != 0.0f || up->z != 0.0f)) vm_vec3_normalize(&y, up);
    Vec3 z;
    vm_vec3_normalize(&z, dir);
    if (flip) vm_vec3_negate(&z, &z);
    Vec3 x;
    vm_vec3_cross(&x, &y, &z);
    if (x.x == 0.0f && x.y == 0.0f && x.z == 0.0f) {
        x = {1, 0, 0};
        z = {0, 0, 1};
    } else {
        vm_vec3_cross(&z, &x, &y);
        vm_vec3_normalize(&x, &x);
        vm_vec3_normalize(&z, &z);
    }
    return set_frame(out, x, y, z, p);
}

Mat44* vm_mat_aim_at_up(Mat44* out, const Vec3* eye, const Vec3* target, const Vec3* up, int flip)
{
    const Vec3 e = eye ? *eye : Vec3{0, 0, 0};
    const Vec3 d = eye_to_target(eye, target);
    return vm_mat_aim_dir_up(out, &e, &d, up, flip);
}

Mat44* vm_mat_perspective_offcenter(Mat44* out, float l, float r, float b, float t, float n,
                                    float f)
{
    *out = Mat44{};
    out->m[0] = 2.0f * n / (r - l);
    out->m[5] = 2.0f * n / (t - b);
    out->m[8] = (l + r) / (l - r);
    out->m[9] = (t + b) / (b - t);
    out->m[10] = f / (f - n);
    out->m[11] = 1.0f;
    out->m[14] = n * f / (n - f);
    return out;
}

Mat44* vm_mat_ortho_offcenter(Mat44* out, float l, float r, float b, float t, float n, float f)
{
    *out = Mat44{};
    out->m[0] = 2.0f / (r - l);
    out->m[5] = 2.0f / (t - b);
    out->m[10] = 1.0f / (f - n);
    out->m[12] = (l + r) / (l - r);
    out->m[13] = (t + b) / (b - t);
    out->m[14] = n / (n - f);
    out->m[15] = 1.0f;
    return out;
}

Mat44* vm_mat_texture_bias(Mat44* out, const Mat44* m)
{
    static const Mat44 bias = {{0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 1}};
    return vm_mat_mul(out, &bias, m);
}

Mat44* vm_mat_reflect(Mat44* out, const Plane* plane)
{
    Plane p;
    vm_plane_normalize(&p, plane);
    const float a = p.a, b = p.b, c = p.c, d = p.d;
    set_row(out, 0, 1.0f - 2.0f * a * a, -2.0f * a * b, -2.0f * a * c, 0.0f);
    set_row(out, 1, -2.0f * a * b, 1.0f - 2.0f * b * b, -2.0f * b * c, 0.0f);
    set_row(out, 2, -2.0f * a * c, -2.0f * b * c, 1.0f - 2.0f * c * c, 0.0f);
    set_row(out, 3, -2.0f * a * d, -2.0f * b * d, -2.0f * c * d, 1.0f);
    return out;
}

Mat44* vm_mat_shadow(Mat44* out, const Vec3* light, const Plane* plane, int directional)
{
    Plane p;
    vm_plane_normalize(&p, plane);
    const float pn[3] = {p.a, p.b, p.c};
    Mat44 r;
    if (directional) {
        Vec3 l;
        vm_vec3_normalize(&l, light);
        const float k = -(p.a * l.x + p.b * l.y + p.c * l.z);
        for (int i = 0; i < 3; ++i) {
            set_row(&r, i, pn[i] * l.x, pn[i] * l.y, pn[i] * l.z, 0.0f);
            r.m[5 * i] += k;
        }
        set_row(&r, 3, p.d * l.x, p.d * l.y, p.d * l.z, k);
    } else {
        const Vec3 l = *light;
        const float k = p.a * l.x + p.b * l.y + p.c * l.z + p.d;
        for (int i = 0; i < 3; ++i) {
            set_row(&r, i, -pn[i] * l.x, -pn[i] * l.y, -pn[i] * l.z, -pn[i]);
            r.m[5 * i] += k;
        }
        set_row(&r, 3, -p.d * l.x, -p.d * l.y, -p.d * l.z, -p.d + k);
    }
    *out = r;
    return out;
}

Mat44* vm_mat_clip_plane_projection(Mat44* out, const Mat44* projection, const Mat44* view,
                                    const Plane* plane)
{
    const Mat44 proj = *projection;
    Plane p;
    vm_plane_normalize(&p, plane);
    Mat44 m;
    vm_mat_mul(&m, &proj, view);
    vm_mat_inverse(&m, &m);
    vm_mat_transpose(&m, &m);
    const Vec4 pv = {p.a, p.b, p.c, p.d};
    Vec4 k;
    vm_vec4_transform(&k, &m, &pv);
    if (k.w == 0.0f) {
        *out = proj;
        return out;
    }
    Plane kp = {k.x, k.y, k.z, k.w};
    vm_plane_normalize(&kp, &kp);
    if (kp.d > 0.0f) {
        kp = {-kp.a, -kp.b, -kp.c, -kp.d};
        kp.d += 1.0f;
    }
    Mat44 x = VM_MAT_IDENTITY;
    x.m[2] = kp.a;
    x.m[6] = kp.b;
    x.m[10] = kp.c;
    x.m[14] = kp.d;
    return vm_mat_mul(out, &x, &proj);
}

// ---- interpolation ----

static Quat normalized_quat(Quat q)
{
    const float sq = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (sq == 0.0f) return q;
    const float k = 1.0f / std::sqrt(sq);
    return {q.x * k, q.y * k, q.z * k, q.w * k};
}

Mat44* vm_mat_interpolate(Mat44* out, const Mat44* a, const Mat44* b, float t)
{
    if (t == 0.0f) return vm_mat_copy(out, a);
    if (t == 1.0f) return vm_mat_copy(out, b);
    const Mat44 ma = *a, mb = *b;
    Vec3 sa, sb;
    vm_mat_row_lengths(&sa, &ma);
    vm_mat_row_lengths(&sb, &mb);
    const float scale[3] = {vm_lerp(sa.x, sb.x, t), vm_lerp(sa.y, sb.y, t), vm_lerp(sa.z, sb.z, t)};
    Quat qa, qb, q;
    vm_quat_from_matrix(&qa, &ma);
    vm_quat_from_matrix(&qb, &mb);
    qa = normalized_quat(qa);
    qb = normalized_quat(qb);
    vm_quat_slerp(&q, &qa, &qb, t);
    q = normalized_quat(q);
    vm_quat_to_matrix(out, &q);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out->m[4 * r + c] *= scale[r];
    set_row(out, 3, vm_lerp(ma.m[12], mb.m[12], t), vm_lerp(ma.m[13], mb.m[13], t),
            vm_lerp(ma.m[14], mb.m[14], t), 1.0f);
    return out;
}

Mat44* vm_mat_sample_array(Mat44* out, const Mat44* array, int count, int start, int last,
                           float time, int wrap)
{
    if (count < 1 || array == nullptr) return out;
    // Whole part of the time as an index; out-of-range and NaN times are
    // clamped before the integer conversion.
    double whole = std::trunc(double(time));
    if (!(whole > -2147483648.0)) whole = whole != whole ? 0.0 : -2147483648.0;
    if (whole > 2147483647.0) whole = 2147483647.0;
    int64_t i = int64_t(whole) - start;
    i = i < INT32_MIN ? INT32_MIN : (i > INT32_MAX - 1 ? INT32_MAX - 1 : i);
    const float f = std::isfinite(time) ? std::fmod(time, 1.0f) : 0.0f;
    const int32_t hi = vm_clamp_int(last, 0, count - 1);
    auto map = [&](int64_t k) {
        return wrap ? vm_wrap_int(int32_t(k), 0, hi) : vm_clamp_int(int32_t(k), 0, hi);
    };
    const int32_t k0 = map(i);
    if (std::fabs(f) < 1e-05f) return vm_mat_copy(out, &array[k0]);
    const int32_t k1 = map(i + 1);
    if (k0 == k1) return vm_mat_copy(out, &array[k0]);
    return vm_mat_interpolate(out, &array[k0], &array[k1], f);
}

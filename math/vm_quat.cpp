// Quaternions. Float arithmetic; sines and cosines from the table.
#include "math/vm_quat.h"

#include <cmath>

#include "math/vm_rows_local.h"
#include "math/vm_table.h"
#include "math/vm_vec.h"

namespace {

float clamped_acos(float c) { return std::acos(vm_clamp(c, -1.0f, 1.0f)); }

// Row-major 3x3 rotation in row-vector form.
struct M3 {
    float m[9];
};

M3 m3_mul(const M3& a, const M3& b)  // a first, then b
{
    M3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[3 * i + j] =
                a.m[3 * i] * b.m[j] + a.m[3 * i + 1] * b.m[3 + j] + a.m[3 * i + 2] * b.m[6 + j];
    return r;
}

M3 rot_x(float a)
{
    const float c = vm_math_cos(a), s = vm_math_sin(a);
    return {{1, 0, 0, 0, c, s, 0, -s, c}};
}

M3 rot_y(float a)
{
    const float c = vm_math_cos(a), s = vm_math_sin(a);
    return {{c, 0, -s, 0, 1, 0, s, 0, c}};
}

M3 rot_z(float a)
{
    const float c = vm_math_cos(a), s = vm_math_sin(a);
    return {{c, s, 0, -s, c, 0, 0, 0, 1}};
}

// The matrix-to-quaternion steps on a 3x3 given by its nine elements
// m0 m1 m2 / m4 m5 m6 / m8 m9 m10.
Quat quat_from_3x3(float m0, float m1, float m2, float m4, float m5, float m6, float m8, float m9,
                   float m10)
{
    Quat q;
    const float trace = m0 + m5 + m10;
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f), r = 0.5f / s;
        q = {(m6 - m9) * r, (m8 - m2) * r, (m1 - m4) * r, s * 0.5f};
        return q;
    }
    int pick = 0;
    float biggest = m0;
    if (m5 > biggest) {
        pick = 1;
        biggest = m5;
    }
    if (m10 > biggest) pick = 2;
    if (pick == 0) {
        const float s = std::sqrt(m0 - (m5 + m10) + 1.0f), r = 0.5f / s;
        q = {s * 0.5f, (m4 + m1) * r, (m2 + m8) * r, (m6 - m9) * r};
    } else if (pick == 1) {
        const float s = std::sqrt(m5 - (m10 + m0) + 1.0f), r = 0.5f / s;
        q = {(m4 + m1) * r, s * 0.5f, (m9 + m6) * r, (m8 - m2) * r};
    } else {
        const float s = std::sqrt(m10 - (m0 + m5) + 1.0f), r = 0.5f / s;
        q = {(m2 + m8) * r, (m9 + m6) * r, s * 0.5f, (m1 - m4) * r};
    }
    return q;
}

Quat quat_from_m3(const M3& r)
{
    return quat_from_3x3(r.m[0], r.m[1], r.m[2], r.m[3], r.m[4], r.m[5], r.m[6], r.m[7], r.m[8]);
}

}  // namespace

Quat* vm_quat_identity(Quat* out)
{
    *out = {0, 0, 0, 1};
    return out;
}

Quat* vm_quat_from_axis_angle(Quat* out, const Vec3* axis, float angle)
{
    const float s = vm_math_sin(angle * 0.5f), c = vm_math_cos(angle * 0.5f);
    *out = {axis->x * s, axis->y * s, axis->z * s, c};
    return out;
}

void vm_quat_to_axis_angle(Vec3* out_axis, float* out_angle, const Quat* q)
{
    const Quat v = *q;
    const float angle = 2.0f * clamped_acos(v.w);
    if (out_axis) {
        const Vec3 xyz = {v.x, v.y, v.z};
        vm_vec3_div_safe(out_axis, &xyz, vm_math_sin(angle * 0.5f));
    }
    if (out_angle) *out_angle = angle;
}

Quat* vm_rotation_between(Quat* out, const Vec3* from, const Vec3* to)
{
    Vec3 axis, nf, nt;
    vm_vec3_cross(&axis, from, to);
    if (vm_vec3_length_cut(&axis) < 1e-06f) return vm_quat_identity(out);
    vm_vec3_normalize(&axis, &axis);
    vm_vec3_normalize(&nf, from);
    vm_vec3_normalize(&nt, to);
    const float angle = std::acos(vm_clamp(vm_vec3_dot(&nf, &nt), -1.0f, 1.0f));
    if (angle < 1e-06f) return vm_quat_identity(out);
    return vm_quat_from_axis_angle(out, &axis, angle);
}

Quat* vm_quat_slerp(Quat* out, const Quat* a, const Quat* b, float t)
{
    Quat qa = *a;
    const Quat qb = *b;
    float d = qa.x * qb.x + qa.y * qb.y + qa.z * qb.z + qa.w * qb.w;
    if (d < 0.0f) {
        qa = {-qa.x, -qa.y, -qa.z, -qa.w};
        d = -d;
    }
    float theta = 0.0f, s = 0.0f;
    if (d < 1.0f) {
        theta = std::acos(d);
        s = vm_math_sin(theta);
    }
    if (s > -1e-09f && s < 1e-09f) {
        *out = qa;
        return out;
    }
    const float ka = vm_math_sin(theta - theta * t) / s, kb = vm_math_sin(theta * t) / s;
    *out = {qa.x * ka + qb.x * kb, qa.y * ka + qb.y * kb, qa.z * ka + qb.z * kb,
            qa.w * ka + qb.w * kb};
    return out;
}

Quat* vm_quat_log(Quat* out, const Quat* q)
{
    const Quat v = *q;
    const float theta = clamped_acos(v.w);
    if (theta == 0.0f) {
        *out = {0, 0, 0, 0};
        return out;
    }
    // Below one table step the table sine is 0; theta / sin(theta) is then 1.
    const float sn = vm_math_sin(theta);
    const float k = sn == 0.0f ? 1.0f : theta / sn;
    *out = {v.x * k, v.y * k, v.z * k, 0.0f};
    return out;
}

Quat* vm_quat_exp(Quat* out, const Vec3* v)
{
    const Vec3 in = *v;
    const float theta = std::sqrt(in.x * in.x + in.y * in.y + in.z * in.z);
    const float k = theta == 0.0f ? 1.0f : vm_math_sin(theta) / theta;
    *out = {in.x * k, in.y * k, in.z * k, vm_math_cos(theta)};
    return out;
}

void vm_quat_exp_jacobian(Quat* out_dx, Quat* out_dy, Quat* out_dz, const Vec3* v)
{
    const float vi[3] = {v->x, v->y, v->z};
    const float theta = std::sqrt(vi[0] * vi[0] + vi[1] * vi[1] + vi[2] * vi[2]);
    const float sn = vm_math_sin(theta), cs = vm_math_cos(theta);
    const float a = sn / theta, b = cs / (theta * theta) - sn / (theta * theta * theta);
    Quat* outs[3] = {out_dx, out_dy, out_dz};
    Quat res[3];
    for (int i = 0; i < 3; ++i) {
        float c[3];
        for (int j = 0; j < 3; ++j) c[j] = (i == j ? a : 0.0f) + vi[i] * vi[j] * b;
        res[i] = {c[0], c[1], c[2], -vi[i] * a};
    }
    for (int i = 0; i < 3; ++i) *outs[i] = res[i];
}

Mat44* vm_quat_matrix_derivative(Mat44* out, const Quat* q, const Quat* d)
{
    const float qx = q->x, qy = q->y, qz = q->z, qw = q->w;
    const float dx = d->x, dy = d->y, dz = d->z, dw = d->w;
    Mat44 r = {};
    r.m[0] = -4.0f * (qy * dy + qz * dz);
    r.m[1] = 2.0f * (qx * dy + qy * dx + qw * dz + qz * dw);
    r.m[2] = 2.0f * (qx * dz + qz * dx - qw * dy - qy * dw);
    r.m[4] = 2.0f * (qx * dy + qy * dx - qw * dz - qz * dw);
    r.m[5] = -4.0f * (qx * dx + qz * dz);
    r.m[6] = 2.0f * (qy * dz + qz * dy + qw * dx + qx * dw);
    r.m[8] = 2.0f * (qx * dz + qz * dx + qw * dy + qy * dw);
    r.m[9] = 2.0f * (qy * dz + qz * dy - qw * dx - qx * dw);
    r.m[10] = -4.0f * (qx * dx + qy * dy);
    r.m[15] = 1.0f;
    *out = r;
    return out;
}

Mat44* vm_quat_to_matrix(Mat44* out, const Quat* q)
{
    const float x = q->x, y = q->y, z = q->z, w = q->w;
    const float x2 = x + x, y2 = y + y, z2 = z + z;
    float* m = out->m;
    m[0] = 1.0f - (y * y2 + z * z2);
    m[1] = x * y2 + w * z2;
    m[2] = x * z2 - w * y2;
    m[3] = 0.0f;
    m[4] = x * y2 - w * z2;
    m[5] = 1.0f - (x * x2 + z * z2);
    m[6] = y * z2 + w * x2;
    m[7] = 0.0f;
    m[8] = x * z2 + w * y2;
    m[9] = y * z2 - w * x2;
    m[10] = 1.0f - (x * x2 + y * y2);
    m[11] = 0.0f;
    return out;
}

Quat* vm_quat_from_matrix(Quat* out, const Mat44* m)
{
    // A scaled 3x3 would give a quaternion of the wrong length and angle.
    const Mat44 r = vm_rows_unscaled(m);
    const float* e = r.m;
    *out = quat_from_3x3(e[0], e[1], e[2], e[4], e[5], e[6], e[8], e[9], e[10]);
    return out;
}

// Rotations named by the order in which they act on a point, first to last.
static Quat* euler_quat(Quat* out, const Vec3* a, const char order[3])
{
    M3 r = {{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        const char axis = order[i];
        r = m3_mul(r, axis == 'x' ? rot_x(a->x) : axis == 'y' ? rot_y(a->y) : rot_z(a->z));
    }
    *out = quat_from_m3(r);
    return out;
}

Quat* vm_quat_from_euler_zyx(Quat* out, const Vec3* a) { return euler_quat(out, a, "zyx"); }
Quat* vm_quat_from_euler_xzy(Quat* out, const Vec3* a) { return euler_quat(out, a, "xzy"); }
Quat* vm_quat_from_euler_yxz(Quat* out, const Vec3* a) { return euler_quat(out, a, "yxz"); }
Quat* vm_quat_from_euler_xyz(Quat* out, const Vec3* a) { return euler_quat(out, a, "xyz"); }
Quat* vm_quat_from_euler_yzx(Quat* out, const Vec3* a) { return euler_quat(out, a, "yzx"); }
Quat* vm_quat_from_euler_zxy(Quat* out, const Vec3* a) { return euler_quat(out, a, "zxy"); }

Quat* vm_quat_mul(Quat* out, const Quat* a, const Quat* b)
{
    const Quat p = *a, q = *b;
    *out = {p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
            p.w * q.y + p.y * q.w + p.z * q.x - p.x * q.z,
            p.w * q.z + p.z * q.w + p.x * q.y - p.y * q.x,
            p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z};
    return out;
}

Quat* vm_quat_conjugate(Quat* out, const Quat* q)
{
    *out = {-q->x, -q->y, -q->z, q->w};
    return out;
}

Quat* vm_quat_conjugate_by(Quat* out, const Quat* r, const Quat* q)
{
    const Quat rr = *r, qq = *q;
    Quat conj, tmp;
    vm_quat_conjugate(&conj, &qq);
    vm_quat_mul(&tmp, &qq, &rr);
    return vm_quat_mul(out, &tmp, &conj);
}

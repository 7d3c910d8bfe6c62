// Transform records.
#include "math/vm_xform.h"

#include "math/vm_mat.h"
#include "math/vm_quat.h"
#include "math/vm_vec.h"

XformRecord* vm_xform_init(XformRecord* out)
{
    *out = {{0, 0, 0}, {1, 1, 1}, {0, 0, 0, 1}};
    return out;
}

XformRecord* vm_xform_copy(XformRecord* out, const XformRecord* x)
{
    *out = *x;
    return out;
}

XformRecord* vm_xform_set_pos(XformRecord* out, const Vec3* pos)
{
    out->pos = *pos;
    return out;
}

XformRecord* vm_xform_set_scale(XformRecord* out, const Vec3* scale)
{
    out->scale = *scale;
    return out;
}

XformRecord* vm_xform_set_quat(XformRecord* out, const Quat* q)
{
    out->rot = *q;
    return out;
}

XformRecord* vm_xform_set_euler(XformRecord* out, const Vec3* angles)
{
    Quat q;
    vm_quat_from_euler_zxy(&q, angles);
    out->rot = q;
    return out;
}

XformRecord* vm_xform_set_pos_euler(XformRecord* out, const Vec3* pos, const Vec3* angles)
{
    const Vec3 p = *pos;
    vm_xform_set_euler(out, angles);
    out->pos = p;
    return out;
}

Mat44* vm_mat_from_quat_pos(Mat44* out, const Quat* q, const Vec3* pos)
{
    const Vec3 p = pos ? *pos : Vec3{0, 0, 0};
    vm_quat_to_matrix(out, q);
    out->m[12] = p.x;
    out->m[13] = p.y;
    out->m[14] = p.z;
    out->m[15] = 1.0f;
    return out;
}

Mat44* vm_xform_to_matrix(Mat44* out, const XformRecord* x)
{
    const XformRecord r = *x;
    vm_mat_from_quat_pos(out, &r.rot, &r.pos);
    return vm_mat_scale(out, out, &r.scale);
}

XformRecord* vm_xform_from_matrix(XformRecord* out, const Mat44* m)
{
    const Mat44 in = *m;
    XformRecord r;
    r.pos = {in.m[12], in.m[13], in.m[14]};
    vm_mat_row_lengths(&r.scale, &in);
    vm_quat_from_matrix(&r.rot, &in);
    *out = r;
    return out;
}

// Record of the product: b first, then a.
static XformRecord* record_of_product(XformRecord* out, const Mat44* a, const Mat44* b)
{
    Mat44 m;
    vm_mat_mul(&m, a, b);
    return vm_xform_from_matrix(out, &m);
}

XformRecord* vm_xform_translate(XformRecord* out, const XformRecord* x, const Vec3* t)
{
    Mat44 m;
    vm_xform_to_matrix(&m, x);
    vm_mat_translate(&m, &m, t);
    return vm_xform_from_matrix(out, &m);
}

XformRecord* vm_xform_rotate_euler(XformRecord* out, const XformRecord* x, const Vec3* angles)
{
    Mat44 m;
    vm_xform_to_matrix(&m, x);
    vm_mat_rotate_euler(&m, &m, angles);
    return vm_xform_from_matrix(out, &m);
}

XformRecord* vm_xform_mul(XformRecord* out, const XformRecord* a, const XformRecord* b)
{
    Mat44 ma, mb;
    vm_xform_to_matrix(&ma, a);
    vm_xform_to_matrix(&mb, b);
    return record_of_product(out, &ma, &mb);
}

XformRecord* vm_xform_mul_matrix(XformRecord* out, const Mat44* m, const XformRecord* x)
{
    Mat44 mx;
    vm_xform_to_matrix(&mx, x);
    return record_of_product(out, m, &mx);
}

XformRecord* vm_xform_mul_by_matrix(XformRecord* out, const XformRecord* x, const Mat44* m)
{
    Mat44 mx;
    vm_xform_to_matrix(&mx, x);
    return record_of_product(out, &mx, m);
}

XformRecord* vm_xform_rotate_quat(XformRecord* out, const XformRecord* x, const Quat* q)
{
    const Quat qq = *q;
    *out = *x;
    vm_quat_conjugate_by(&out->rot, &out->rot, &qq);
    return out;
}

XformRecord* vm_xform_scale(XformRecord* out, const XformRecord* x, const Vec3* s)
{
    const Vec3 k = *s;
    *out = *x;
    vm_vec3_mul(&out->scale, &out->scale, &k);
    return out;
}

XformRecord* vm_xform_lerp(XformRecord* out, const XformRecord* a, const XformRecord* b, float t)
{
    const XformRecord ra = *a, rb = *b;
    vm_vec3_lerp(&out->pos, &ra.pos, &rb.pos, t);
    vm_vec3_lerp(&out->scale, &ra.scale, &rb.scale, t);
    vm_quat_slerp(&out->rot, &ra.rot, &rb.rot, t);
    return out;
}

void vm_xform_get_pos_angles(Vec3* out_pos, Vec3* out_angles, const XformRecord* x)
{
    const XformRecord r = *x;
    if (out_angles) {
        Mat44 m = {};
        vm_quat_to_matrix(&m, &r.rot);
        vm_mat_to_euler(out_angles, &m);
    }
    if (out_pos) *out_pos = r.pos;
}

void vm_xform_get(Vec3* out_pos, Vec3* out_angles, Vec3* out_scale, const XformRecord* x)
{
    const XformRecord r = *x;
    vm_xform_get_pos_angles(out_pos, out_angles, &r);
    if (out_scale) *out_scale = r.scale;
}

Mat44* vm_xform_log_derivative(Mat44* out, const XformRecord* a, const XformRecord* b)
{
    Quat la, lb;
    vm_quat_log(&la, &a->rot);
    vm_quat_log(&lb, &b->rot);
    return vm_quat_matrix_derivative(out, &la, &lb);
}

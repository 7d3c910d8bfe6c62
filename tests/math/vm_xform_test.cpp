// Transform records: conversions to and from matrices and the editors.
#include "vm_test_util.h"

namespace {

XformRecord record(Vec3 pos, Vec3 scale, Vec3 angles)
{
    XformRecord x;
    vm_xform_init(&x);
    vm_xform_set_pos_euler(&x, &pos, &angles);
    vm_xform_set_scale(&x, &scale);
    return x;
}

Mat44 matrix_of(const XformRecord& x)
{
    Mat44 m;
    return *vm_xform_to_matrix(&m, &x);
}

}  // namespace

TEST(Xform, MatrixIsScaleThenRotateThenTranslateAndProductsFollowMatrixOrder)
{
    const XformRecord x = record({1, 2, 3}, {2, 3, 4}, {0.3f, -0.5f, 0.9f});
    const Mat44 rot = quat_matrix(x.rot);
    const Vec3 scaled_p = {1, -3, 8};  // (0.5, -1, 2) scaled
    Vec3 turned;
    vm_mat_transform_vector(&turned, &rot, &scaled_p);
    expect_vec3_near(point_by(matrix_of(x), {0.5f, -1, 2}),
                     {turned.x + 1, turned.y + 2, turned.z + 3}, 1e-5f);
    const XformRecord a = record({1, 0, 0}, {1, 1, 1}, {0, 0.5f, 0});
    const XformRecord b = record({0, 2, 0}, {1, 1, 1}, {0.3f, 0, 0});
    const Mat44 ma = matrix_of(a), mb = matrix_of(b), want = mat_mul(ma, mb);
    XformRecord ab;
    expect_mat_near(matrix_of(*vm_xform_mul(&ab, &a, &b)), want, 1e-4f);
    expect_mat_near(matrix_of(*vm_xform_mul_matrix(&ab, &ma, &b)), want, 1e-4f);
    expect_mat_near(matrix_of(*vm_xform_mul_by_matrix(&ab, &a, &mb)), want, 1e-4f);
    const Vec3 ang = {0.2f, 0.1f, -0.3f};
    Mat44 rm;
    vm_xform_rotate_euler(&ab, &a, &ang);
    expect_mat_near(matrix_of(ab), *vm_mat_rotate_euler(&rm, &ma, &ang), 1e-4f);
}

TEST(Xform, EditorsAndReaders)
{
    const Vec3 ang = {0.3f, 0.2f, 0.1f}, k = {2, 0.5f, 1};
    const XformRecord a = record({1, 2, 3}, {1, 2, 3}, ang);
    const XformRecord b = record({3, 2, 1}, {3, 2, 1}, {-0.3f, 0.5f, 0});
    XformRecord r;
    expect_vec3_near(vm_xform_lerp(&r, &a, &b, 0.0f)->scale, a.scale, 0);
    expect_vec3_near(vm_xform_lerp(&r, &a, &b, 0.5f)->pos, {2, 2, 2}, 0);
    expect_vec3_near(vm_xform_scale(&r, &a, &k)->scale, {2, 1, 3}, 0);
    Vec3 pos, angles, scale;
    vm_xform_get(&pos, &angles, &scale, &a);
    expect_vec3_near(angles, ang, 5e-4f);
    expect_vec3_near(scale, a.scale, 0);
    vm_xform_get_pos_angles(nullptr, nullptr, &a);  // null outputs are allowed
    // Translate moves in the own scaled frame: own X after a quarter turn about Y is -Z.
    const XformRecord x = record({1, 1, 1}, {2, 2, 2}, {0, float(M_PI_2), 0});
    const Vec3 t = {1, 0, 0};
    expect_vec3_near(vm_xform_translate(&r, &x, &t)->pos, {1, 1, -1}, 1e-3f);
}

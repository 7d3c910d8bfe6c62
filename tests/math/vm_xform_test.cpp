// Transform records: conversions to and from matrices and the editors.
#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace

TEST(Xform, MatrixIsScaleThenRotateThenTranslate)
{
    const XformRecord x = record({1, 2, 3}, {2, 3, 4}, {0.3f, -0.5f, 0.9f});
    Mat44 m;
    vm_xform_to_matrix(&m, &x);
    Mat44 rot = mat_identity();
    vm_quat_to_matrix(&rot, &x.rot);
    const Vec3 p = {0.5f, -1, 2}, scaled = {1, -3, 8};
    Vec3 got, turned;
    vm_mat_transform_point(&got, &m, &p);
    vm_mat_transform_vector(&turned, &rot, &scaled);
    expect_vec3_near(got, {turned.x + 1, turned.y + 2, turned.z + 3}, 1e-5f);
}

// The literal extraction turned 2 x (90 degrees about Y) into rows
// (-3.33, 0, -4), (0, 2, 0), (4, 0, -3.33).
TEST(Xform, ScaledQuarterTurnSurvives)
{
    Mat44 m;
    const Vec3 zero = {0, 0, 0}, quarter = {0, float(M_PI_2), 0}, two = {2, 2, 2};
    vm_mat_from_pos_angles(&m, &zero, &quarter);
    vm_mat_scale(&m, &m, &two);
    XformRecord x;
    Mat44 back;
    vm_xform_from_matrix(&x, &m);
    vm_xform_to_matrix(&back, &x);
    expect_mat_near(back, m, 1e-3f);
    EXPECT_NEAR(back.m[2], -2.0f, 1e-3f);
    EXPECT_NEAR(back.m[8], 2.0f, 1e-3f);
}

TEST(Xform, TranslateMovesInTheOwnScaledFrame)
{
    const XformRecord x = record({1, 1, 1}, {2, 2, 2}, {0, float(M_PI_2), 0});
    XformRecord moved;
    const Vec3 t = {1, 0, 0};
    vm_xform_translate(&moved, &x, &t);
    // Own X axis after a quarter turn about Y is -Z in the world.
    expect_vec3_near(moved.pos, {1, 1, -1}, 1e-3f);
    expect_vec3_near(moved.scale, {2, 2, 2}, 1e-3f);
}

TEST(Xform, ProductsFollowMatrixOrder)
{
    const XformRecord a = record({1, 0, 0}, {1, 1, 1}, {0, 0.5f, 0});
    const XformRecord b = record({0, 2, 0}, {1, 1, 1}, {0.3f, 0, 0});
    Mat44 ma, mb, want, got;
    vm_xform_to_matrix(&ma, &a);
    vm_xform_to_matrix(&mb, &b);
    vm_mat_mul(&want, &ma, &mb);
    XformRecord ab;
    vm_xform_mul(&ab, &a, &b);
    expect_mat_near(*vm_xform_to_matrix(&got, &ab), want, 1e-4f);
    vm_xform_mul_matrix(&ab, &ma, &b);
    expect_mat_near(*vm_xform_to_matrix(&got, &ab), want, 1e-4f);
    vm_xform_mul_by_matrix(&ab, &a, &mb);
    expect_mat_near(*vm_xform_to_matrix(&got, &ab), want, 1e-4f);
    const Vec3 ang = {0.2f, 0.1f, -0.3f};
    XformRecord turned;
    vm_xform_rotate_euler(&turned, &a, &ang);
    vm_mat_rotate_euler(&want, &ma, &ang);
    expect_mat_near(*vm_xform_to_matrix(&got, &turned), want, 1e-4f);
}

TEST(Xform, DirectEditorsAndReaders)
{
    const Vec3 ang = {0.3f, 0.2f, 0.1f};
    const XformRecord a = record({1, 2, 3}, {1, 2, 3}, ang);
    const XformRecord b = record({3, 2, 1}, {3, 2, 1}, {-0.3f, 0.5f, 0});
    XformRecord r;
    vm_xform_lerp(&r, &a, &b, 0.0f);
    expect_vec3_near(r.pos, a.pos, 0);
    expect_vec3_near(r.scale, a.scale, 0);
    vm_xform_lerp(&r, &a, &b, 0.5f);
    expect_vec3_near(r.pos, {2, 2, 2}, 0);
    const Vec3 k = {2, 0.5f, 1};
    vm_xform_scale(&r, &a, &k);
    expect_vec3_near(r.scale, {2, 1, 3}, 0);
    Vec3 pos, angles, scale;
    vm_xform_get(&pos, &angles, &scale, &a);
    expect_vec3_near(pos, a.pos, 0);
    expect_vec3_near(angles, ang, 5e-4f);
    expect_vec3_near(scale, a.scale, 0);
    vm_xform_get_pos_angles(nullptr, nullptr, &a);  // null outputs are allowed
}

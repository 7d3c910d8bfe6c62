// Quaternions: conversions, slerp, log and exp, products.
#include <gtest/gtest.h>

#include <cmath>

#include "vm_test_util.h"

namespace {

Mat44 rotation(Vec3 a)
{
    Mat44 m;
    const Vec3 zero = {0, 0, 0};
    return *vm_mat_from_pos_angles(&m, &zero, &a);
}

}  // namespace

TEST(Quat, MatrixRoundTripEveryBranch)
{
    // Trace > 0 and the three largest-diagonal branches (half turns).
    const Vec3 angles[] = {
        {0.3f, 0.7f, -1.1f}, {3.1f, 0, 0}, {0, 3.1f, 0}, {0, 0, 3.1f}, {1.5f, 2.5f, -2.0f}};
    for (const Vec3& a : angles) {
        const Mat44 m = rotation(a);
        Quat q;
        vm_quat_from_matrix(&q, &m);
        EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 2e-4f);
        Mat44 back = mat_identity();
        vm_quat_to_matrix(&back, &q);
        expect_mat_near(back, m, 2e-4f);
    }
}

TEST(Quat, AxisAngleBothWays)
{
    const Vec3 axis = {0, 0, 1};
    Quat q;
    vm_quat_from_axis_angle(&q, &axis, float(M_PI_2));
    EXPECT_NEAR(q.z, float(M_SQRT1_2), 1e-4f);
    Vec3 back;
    float angle;
    vm_quat_to_axis_angle(&back, &angle, &q);
    EXPECT_NEAR(angle, float(M_PI_2), 5e-4f);
    expect_vec3_near(back, axis, 2e-4f);
    // Matrix from axis-angle agrees with the elementary rotation.
    Mat44 m;
    vm_mat_from_axis_angle(&m, nullptr, &axis, 0.7f);
    expect_mat_near(m, rotation({0, 0, 0.7f}), 1e-4f);
}

// Slightly non-unit quaternions (slerp output) used to give acos > 1 = NaN.
TEST(Quat, NonUnitInputsStayFinite)
{
    const Quat q = {0, 0, 0, 1.0000002f};
    Vec3 axis;
    float angle = -1;
    vm_quat_to_axis_angle(&axis, &angle, &q);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_FALSE(std::isnan(axis.x));
    Quat l;
    vm_quat_log(&l, &q);
    EXPECT_FALSE(std::isnan(l.x));
    EXPECT_EQ(l.w, 0.0f);
}

TEST(Quat, LogExpRoundTrip)
{
    const Vec3 axis = {1, 2, -2};
    Vec3 unit;
    vm_vec3_normalize(&unit, &axis);
    for (float angle : {0.5f, 1.0f, 2.5f}) {
        Quat q, l, e;
        vm_quat_from_axis_angle(&q, &unit, angle);
        vm_quat_log(&l, &q);
        EXPECT_NEAR(std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z), angle * 0.5f, 1e-3f);
        const Vec3 v = {l.x, l.y, l.z};
        vm_quat_exp(&e, &v);
        expect_same_rotation(e, q, 1e-5f);
    }
    const Quat id = {0, 0, 0, 1};
    Quat l;
    vm_quat_log(&l, &id);
    EXPECT_EQ(l.x, 0.0f);
    EXPECT_EQ(l.w, 0.0f);
    const Vec3 zero = {0, 0, 0};
    Quat e;
    vm_quat_exp(&e, &zero);
    EXPECT_EQ(e.w, 1.0f);
}

// A rotation below one table step has a table sine of 0; its log used to be
// infinite.
TEST(Quat, LogOfTinyRotationIsFinite)
{
    const Quat q = {0, std::sin(3e-5f), 0, 0.9999999f};
    Quat l;
    vm_quat_log(&l, &q);
    EXPECT_TRUE(std::isfinite(l.y));
    EXPECT_NEAR(l.y, q.y, 1e-4f);
}

TEST(Quat, ExpJacobianMatchesFiniteDifferences)
{
    const Vec3 v = {0.3f, -0.4f, 0.5f};
    Quat d[3];
    vm_quat_exp_jacobian(&d[0], &d[1], &d[2], &v);
    const float h = 1e-3f;
    for (int i = 0; i < 3; ++i) {
        Vec3 vp = v, vm = v;
        (&vp.x)[i] += h;
        (&vm.x)[i] -= h;
        Quat qp, qm;
        vm_quat_exp(&qp, &vp);
        vm_quat_exp(&qm, &vm);
        // The table steps are about 1e-4: a loose tolerance.
        EXPECT_NEAR(d[i].x, (qp.x - qm.x) / (2 * h), 0.05f) << i;
        EXPECT_NEAR(d[i].w, (qp.w - qm.w) / (2 * h), 0.05f) << i;
    }
}

TEST(Quat, SlerpShortestPathAndEnds)
{
    const Vec3 y = {0, 1, 0};
    Quat a, b, r;
    vm_quat_identity(&a);
    vm_quat_from_axis_angle(&b, &y, float(M_PI_2));
    vm_quat_slerp(&r, &a, &b, 0.5f);
    Quat want;
    vm_quat_from_axis_angle(&want, &y, float(M_PI_4));
    expect_same_rotation(r, want, 1e-4f);
    // q and -q: the negation makes them equal, the result is q.
    const Quat neg = {-b.x, -b.y, -b.z, -b.w};
    vm_quat_slerp(&r, &b, &neg, 0.3f);
    EXPECT_TRUE(same_bits(r, neg) || same_bits(r, Quat{-neg.x, -neg.y, -neg.z, -neg.w}));
    expect_same_rotation(r, b, 1e-6f);
}

TEST(Quat, RotationBetweenDirections)
{
    const Vec3 from = {1, 0, 0}, to = {0, 0, -3};
    Quat q;
    vm_rotation_between(&q, &from, &to);
    Mat44 m = mat_identity();
    vm_quat_to_matrix(&m, &q);
    Vec3 r;
    vm_mat_transform_vector(&r, &m, &from);
    expect_vec3_near(r, {0, 0, -1}, 1e-3f);
    vm_rotation_between(&q, &from, &from);
    EXPECT_EQ(q.w, 1.0f);
}

TEST(Quat, ProductsAndConjugates)
{
    const Vec3 x = {1, 0, 0}, z = {0, 0, 1};
    Quat a, b, id, ab;
    vm_quat_identity(&id);
    vm_quat_from_axis_angle(&a, &x, 0.4f);
    vm_quat_from_axis_angle(&b, &z, 1.1f);
    EXPECT_TRUE(same_bits(*vm_quat_mul(&ab, &id, &a), a));
    // Hamilton product a*b: b acts first, then a (as vm_mat_mul(A, B)).
    vm_quat_mul(&ab, &a, &b);
    Mat44 ma = mat_identity(), mb = mat_identity(), mab = mat_identity(), want;
    vm_quat_to_matrix(&ma, &a);
    vm_quat_to_matrix(&mb, &b);
    vm_quat_to_matrix(&mab, &ab);
    vm_mat_mul(&want, &ma, &mb);
    expect_mat_near(mab, want, 1e-5f);
    Quat c, r;
    vm_quat_conjugate(&c, &a);
    vm_quat_mul(&r, &a, &c);
    expect_same_rotation(r, id, 1e-6f);
    // Conjugating a rotation about Z by a half turn about X reverses it.
    Quat flip, turned;
    vm_quat_from_axis_angle(&flip, &x, float(M_PI));
    vm_quat_conjugate_by(&turned, &b, &flip);
    Quat want_q;
    vm_quat_from_axis_angle(&want_q, &z, -1.1f);
    expect_same_rotation(turned, want_q, 1e-4f);
}

TEST(Quat, MatrixDerivativeMatchesFiniteDifferences)
{
    const Vec3 axis = {0.2f, 0.9f, -0.4f};
    Vec3 unit;
    vm_vec3_normalize(&unit, &axis);
    Quat q;
    vm_quat_from_axis_angle(&q, &unit, 0.8f);
    const Quat d = {0.1f, -0.2f, 0.3f, 0.05f};
    Mat44 deriv;
    vm_quat_matrix_derivative(&deriv, &q, &d);
    const float h = 1e-3f;
    const Quat qp = {q.x + h * d.x, q.y + h * d.y, q.z + h * d.z, q.w + h * d.w};
    const Quat qm = {q.x - h * d.x, q.y - h * d.y, q.z - h * d.z, q.w - h * d.w};
    Mat44 mp = mat_identity(), mm = mat_identity();
    vm_quat_to_matrix(&mp, &qp);
    vm_quat_to_matrix(&mm, &qm);
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(deriv.m[i], (mp.m[i] - mm.m[i]) / (2 * h), 2e-3f) << i;
    EXPECT_EQ(deriv.m[15], 1.0f);
}

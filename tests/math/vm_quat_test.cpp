// Quaternions: conversions, slerp, log and exp, products.
#include "vm_test_util.h"

namespace {

Quat axis_angle(Vec3 axis, float angle)
{
    Quat q;
    return *vm_quat_from_axis_angle(&q, &axis, angle);
}

const Vec3 VM_QUAT_X = {1, 0, 0}, VM_QUAT_Y = {0, 1, 0}, VM_QUAT_Z = {0, 0, 1};
// A unit axis off every plane: (1, 2, -2) / 3.
const Vec3 VM_QUAT_SLANTED = {1 / 3.0f, 2 / 3.0f, -2 / 3.0f};

}  // namespace

TEST(Quat, MatrixAxisAngleAndLogFormsRoundTripAndRotationsBetweenDirections)
{
    // Trace > 0 and the three largest-diagonal branches (half turns).
    const Vec3 angles[] = {
        {0.3f, 0.7f, -1.1f}, {3.1f, 0, 0}, {0, 3.1f, 0}, {0, 0, 3.1f}, {1.5f, 2.5f, -2.0f}};
    for (const Vec3& a : angles) {
        const Mat44 m = pos_angles({}, a);
        Quat q;
        vm_quat_from_matrix(&q, &m);
        expect_mat_near(quat_matrix(q), m, 2e-4f);
    }
    const Quat q = axis_angle(VM_QUAT_Z, float(M_PI_2));
    Vec3 back;
    float angle;
    vm_quat_to_axis_angle(&back, &angle, &q);
    EXPECT_NEAR(angle, float(M_PI_2), 5e-4f);
    expect_vec3_near(back, VM_QUAT_Z, 2e-4f);
    const Vec3 to = {0, 0, -3};
    Quat r;
    const Mat44 m = quat_matrix(*vm_rotation_between(&r, &VM_QUAT_X, &to));
    expect_vec3_near(*vm_mat_transform_vector(&back, &m, &VM_QUAT_X), {0, 0, -1}, 1e-3f);
    Quat l, e;
    for (float angle : {0.5f, 1.0f, 2.5f}) {
        const Quat q = axis_angle(VM_QUAT_SLANTED, angle);
        vm_quat_log(&l, &q);
        const Vec3 v = {l.x, l.y, l.z};
        expect_same_rotation(*vm_quat_exp(&e, &v), q, 1e-5f);
    }
}

TEST(Quat, ExpJacobianAndMatrixDerivativeMatchFiniteDifferences)
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
    const Quat q = axis_angle(VM_QUAT_SLANTED, 0.8f);
    const Quat dq = {0.1f, -0.2f, 0.3f, 0.05f};
    Mat44 deriv;
    vm_quat_matrix_derivative(&deriv, &q, &dq);
    const Mat44 mp = quat_matrix({q.x + h * dq.x, q.y + h * dq.y, q.z + h * dq.z, q.w + h * dq.w});
    const Mat44 mm = quat_matrix({q.x - h * dq.x, q.y - h * dq.y, q.z - h * dq.z, q.w - h * dq.w});
    for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10})
        EXPECT_NEAR(deriv.m[i], (mp.m[i] - mm.m[i]) / (2 * h), 2e-3f) << i;
}

// q and -q: the negation makes them equal, the result is q.
TEST(Quat, SlerpTakesTheShortestPath)
{
    Quat r;
    const Quat b = axis_angle(VM_QUAT_Y, float(M_PI_2)), neg = {-b.x, -b.y, -b.z, -b.w};
    vm_quat_slerp(&r, &b, &neg, 0.3f);
    expect_same_rotation(r, b, 1e-6f);
}

TEST(Quat, ProductsAndConjugates)
{
    const Quat a = axis_angle(VM_QUAT_X, 0.4f), b = axis_angle(VM_QUAT_Z, 1.1f),
               flip = axis_angle(VM_QUAT_X, float(M_PI));
    Quat id, ab, turned;
    vm_quat_identity(&id);
    EXPECT_TRUE(same_bits(*vm_quat_mul(&ab, &id, &a), a));
    // Hamilton product a*b: b acts first, then a (as vm_mat_mul(A, B)).
    vm_quat_mul(&ab, &a, &b);
    expect_mat_near(quat_matrix(ab), mat_mul(quat_matrix(a), quat_matrix(b)), 1e-5f);
    // Conjugating a rotation about Z by a half turn about X reverses it.
    vm_quat_conjugate_by(&turned, &b, &flip);
    expect_same_rotation(turned, axis_angle(VM_QUAT_Z, -1.1f), 1e-4f);
}

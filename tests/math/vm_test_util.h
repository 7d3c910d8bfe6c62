// Helpers shared by the maths tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/vm.h"

inline void expect_vec3_near(const Vec3& a, const Vec3& b, float tol, const char* what = "")
{
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

inline void expect_mat_near(const Mat44& a, const Mat44& b, float tol, const char* what = "")
{
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tol) << what << " element " << i;
}

// Quaternions q and -q are the same rotation.
inline void expect_same_rotation(const Quat& a, const Quat& b, float tol, const char* what = "")
{
    const float d = a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
    EXPECT_NEAR(std::fabs(d), 1.0f, tol) << what;
}

template <typename T>
bool same_bits(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

inline Mat44 mat_identity()
{
    Mat44 m;
    return *vm_mat_identity(&m);
}

// By-value forms of the builders the maths tests use most.
inline Mat44 pos_angles(Vec3 p, Vec3 a)
{
    Mat44 m;
    return *vm_mat_from_pos_angles(&m, &p, &a);
}

inline Mat44 scaled(Mat44 m, Vec3 s) { return *vm_mat_scale(&m, &m, &s); }

inline Mat44 translation(Vec3 t)
{
    Mat44 m;
    return *vm_mat_translation(&m, &t);
}

inline Mat44 mat_mul(const Mat44& a, const Mat44& b)
{
    Mat44 r;
    return *vm_mat_mul(&r, &a, &b);
}

inline Vec3 point_by(const Mat44& m, Vec3 p)
{
    Vec3 r;
    return *vm_mat_transform_point(&r, &m, &p);
}

inline Mat44 quat_matrix(const Quat& q)
{
    Mat44 m = mat_identity();
    return *vm_quat_to_matrix(&m, &q);
}

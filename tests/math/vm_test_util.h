// Helpers shared by the maths tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "math/vm.h"

// Whole values of floats compared within tol; a failure prints both values in full.
template <typename T>
testing::AssertionResult all_near(const T& a, const T& b, float tol)
{
    const size_t n = sizeof(T) / sizeof(float);
    const std::span<const float> x(reinterpret_cast<const float*>(&a), n),
        y(reinterpret_cast<const float*>(&b), n);
    bool ok = true;
    for (size_t i = 0; i < n; ++i) ok = ok && std::fabs(x[i] - y[i]) <= tol;
    if (ok) return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << testing::PrintToString(std::vector(x.begin(), x.end())) << " is not within " << tol
           << " of " << testing::PrintToString(std::vector(y.begin(), y.end()));
}

// v - v is 0 only where v is finite.
template <typename T>
bool all_finite(const T& v)
{
    return bool(all_near(v, v, 0));
}

inline void expect_vec3_near(const Vec3& a, const Vec3& b, float tol, const char* what = "")
{
    EXPECT_TRUE(all_near(a, b, tol)) << what;
}

inline void expect_mat_near(const Mat44& a, const Mat44& b, float tol, const char* what = "")
{
    EXPECT_TRUE(all_near(a, b, tol)) << what;
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

// Every function with an output argument gives the same bits when the
// output is the same record as one of its inputs. Each case runs the
// function twice: into a separate record that starts as a copy of the input,
// and in place.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "vm_test_util.h"

namespace {

template <typename T>
struct AliasCase {
    const char* name;
    T input;
    std::function<void(T*, const T*)> run;
};

template <typename T>
void check_all(const std::vector<AliasCase<T>>& cases)
{
    for (const AliasCase<T>& c : cases) {
        T separate = c.input, source = c.input, self = c.input;
        c.run(&separate, &source);
        c.run(&self, &self);
        EXPECT_TRUE(same_bits(separate, self)) << c.name;
        EXPECT_TRUE(same_bits(source, c.input)) << c.name << ": input changed";
    }
}

Mat44 affine(Vec3 p, Vec3 a, Vec3 s)
{
    Mat44 m;
    vm_mat_from_pos_angles(&m, &p, &a);
    return *vm_mat_scale(&m, &m, &s);
}

const Vec3 A = {1.5f, -2.0f, 0.7f}, B = {-0.3f, 4.0f, 2.2f}, C = {0.9f, 0.1f, -3.0f}, D = {2, 1, 1};
const Mat44 MA = affine({1, 2, 3}, {0.3f, 0.7f, -1.1f}, {1.5f, 2, 0.5f});
const Mat44 MB = affine({-4, 0, 1}, {-0.8f, 2.1f, 0.4f}, {1, 1, 1});

}  // namespace

TEST(Aliasing, Vec3Functions)
{
    std::vector<AliasCase<Vec3>> cases = {
        {"cross a", A, [](Vec3* o, const Vec3* x) { vm_vec3_cross(o, x, &B); }},
        {"cross b", B, [](Vec3* o, const Vec3* x) { vm_vec3_cross(o, &A, x); }},
        {"normalize", A, [](Vec3* o, const Vec3* x) { vm_vec3_normalize(o, x); }},
        {"direction from", A, [](Vec3* o, const Vec3* x) { vm_vec3_direction(o, x, &B); }},
        {"direction to", B, [](Vec3* o, const Vec3* x) { vm_vec3_direction(o, &A, x); }},
        {"direction_angles from", A,
         [](Vec3* o, const Vec3* x) { vm_vec3_direction_angles(o, x, &B); }},
        {"direction_angles to", B,
         [](Vec3* o, const Vec3* x) { vm_vec3_direction_angles(o, &A, x); }},
        {"to_angles", A, [](Vec3* o, const Vec3* x) { vm_vec3_to_angles(o, x); }},
        {"to_angles_up v", A,
         [](Vec3* o, const Vec3* x) {
             const Vec3 d = {0, -1, 0};
             vm_vec3_to_angles_up(o, x, &d);
         }},
        {"to_angles_up up", Vec3{0, -1, 0},
         [](Vec3* o, const Vec3* x) { vm_vec3_to_angles_up(o, &A, x); }},
        {"from_angles", A, [](Vec3* o, const Vec3* x) { vm_vec3_from_angles(o, x); }},
        {"turn", A, [](Vec3* o, const Vec3* x) { vm_vec3_turn(o, x, 0.2f, -0.4f, 3); }},
        {"polar_point", A,
         [](Vec3* o, const Vec3* x) { vm_vec3_polar_point(o, x, 0.2f, 0.4f, 3); }},
        {"ring_point centre", A,
         [](Vec3* o, const Vec3* x) { vm_vec3_ring_point(o, x, &B, 0.7f, 2); }},
        {"ring_point axis", B,
         [](Vec3* o, const Vec3* x) { vm_vec3_ring_point(o, &A, x, 0.7f, 2); }},
        {"orbit_point", A, [](Vec3* o, const Vec3* x) { vm_orbit_point(o, x, 0.3f, 0.6f, 2); }},
        {"hermite p0", A, [](Vec3* o, const Vec3* x) { vm_vec3_hermite(o, x, &B, &C, &D, 0.4f); }},
        {"hermite m0", B, [](Vec3* o, const Vec3* x) { vm_vec3_hermite(o, &A, x, &C, &D, 0.4f); }},
        {"hermite p1", C, [](Vec3* o, const Vec3* x) { vm_vec3_hermite(o, &A, &B, x, &D, 0.4f); }},
        {"hermite m1", D, [](Vec3* o, const Vec3* x) { vm_vec3_hermite(o, &A, &B, &C, x, 0.4f); }},
        {"hermite_point p0", A,
         [](Vec3* o, const Vec3* x) { vm_hermite_point(o, x, &B, &C, &D, 0.4f); }},
        {"hermite_point t1", D,
         [](Vec3* o, const Vec3* x) { vm_hermite_point(o, &A, &B, &C, x, 0.4f); }},
        {"slerp a", A, [](Vec3* o, const Vec3* x) { vm_vec3_slerp(o, x, &B, 0.3f); }},
        {"slerp b", B, [](Vec3* o, const Vec3* x) { vm_vec3_slerp(o, &A, x, 0.3f); }},
        {"segment_foot offset=p", A,
         [](Vec3* o, const Vec3* x) { vm_point_segment_foot(o, nullptr, x, &B, &C); }},
        {"segment_foot foot=p", A,
         [](Vec3* o, const Vec3* x) { vm_point_segment_foot(nullptr, o, x, &B, &C); }},
        {"segment_foot foot=a", B,
         [](Vec3* o, const Vec3* x) {
             Vec3 off;
             vm_point_segment_foot(&off, o, &A, x, &C);
         }},
        {"plane_project offset=p", A,
         [](Vec3* o, const Vec3* x) {
             const Plane p = {0, 2, 1, 1};
             Vec3 f;
             vm_plane_project_point(o, &f, x, &p);
         }},
        {"plane_project foot=p", A,
         [](Vec3* o, const Vec3* x) {
             const Plane p = {0, 2, 1, 1};
             Vec3 f;
             vm_plane_project_point(&f, o, x, &p);
         }},
        {"triangle_normal p0", A, [](Vec3* o, const Vec3* x) { vm_triangle_normal(o, x, &B, &C); }},
        {"triangle_normal p1", B, [](Vec3* o, const Vec3* x) { vm_triangle_normal(o, &A, x, &C); }},
        {"triangle_normal p2", C, [](Vec3* o, const Vec3* x) { vm_triangle_normal(o, &A, &B, x); }},
        {"transform_point", A, [](Vec3* o, const Vec3* x) { vm_mat_transform_point(o, &MA, x); }},
        {"transform_vector", A, [](Vec3* o, const Vec3* x) { vm_mat_transform_vector(o, &MA, x); }},
        {"transform_point_divw", A,
         [](Vec3* o, const Vec3* x) { vm_mat_transform_point_divw(o, &MA, x); }},
        {"transform_vec4", A, [](Vec3* o, const Vec3* x) { vm_mat_transform_vec4(o, &MA, x); }},
    };
    check_all(cases);
}

TEST(Aliasing, Vec3Arrays)
{
    const Vec3 in[4] = {A, B, C, D};
    Vec3 separate[4], self[4] = {A, B, C, D};
    vm_mat_transform_points4(separate, &MA, in);
    vm_mat_transform_points4(self, &MA, self);
    EXPECT_TRUE(same_bits(separate, self));
    Vec3 one;
    EXPECT_TRUE(same_bits(separate[2], *vm_mat_transform_point(&one, &MA, &in[2])));
    Vec3 self2[4] = {A, B, C, D};
    vm_mat_transform_vectors4(separate, &MA, in);
    vm_mat_transform_vectors4(self2, &MA, self2);
    EXPECT_TRUE(same_bits(separate, self2));
}

TEST(Aliasing, MatrixFunctions)
{
    const Plane plane = {0.1f, 1, 0.2f, -2};
    std::vector<AliasCase<Mat44>> cases = {
        {"mul a", MA, [](Mat44* o, const Mat44* x) { vm_mat_mul(o, x, &MB); }},
        {"mul b", MB, [](Mat44* o, const Mat44* x) { vm_mat_mul(o, &MA, x); }},
        {"mul a=b", MA, [](Mat44* o, const Mat44* x) { vm_mat_mul(o, x, x); }},
        {"mul_affine a", MA,
         [](Mat44* o, const Mat44* x) {
             const float r[4] = {1, 2, 3, 1};
             vm_mat_mul_affine(o, x, &MB, r);
         }},
        {"mul_affine b", MB,
         [](Mat44* o, const Mat44* x) {
             const float r[4] = {1, 2, 3, 1};
             vm_mat_mul_affine(o, &MA, x, r);
         }},
        {"mul_affine row3", MB,
         [](Mat44* o, const Mat44* x) { vm_mat_mul_affine(o, &MA, x, x->m + 12); }},
        {"copy", MA, [](Mat44* o, const Mat44* x) { vm_mat_copy(o, x); }},
        {"copy_rotation", MA, [](Mat44* o, const Mat44* x) { vm_mat_copy_rotation(o, x); }},
        {"transpose", MA, [](Mat44* o, const Mat44* x) { vm_mat_transpose(o, x); }},
        {"inverse", MA, [](Mat44* o, const Mat44* x) { vm_mat_inverse(o, x); }},
        {"normalize_rows", MA, [](Mat44* o, const Mat44* x) { vm_mat_normalize_rows(o, x); }},
        {"translate", MA, [](Mat44* o, const Mat44* x) { vm_mat_translate(o, x, &A); }},
        {"rotate_x", MA, [](Mat44* o, const Mat44* x) { vm_mat_rotate_x(o, x, 0.6f); }},
        {"rotate_y", MA, [](Mat44* o, const Mat44* x) { vm_mat_rotate_y(o, x, 0.6f); }},
        {"rotate_z", MA, [](Mat44* o, const Mat44* x) { vm_mat_rotate_z(o, x, 0.6f); }},
        {"rotate_euler", MA, [](Mat44* o, const Mat44* x) { vm_mat_rotate_euler(o, x, &A); }},
        {"rotate_axis", MA,
         [](Mat44* o, const Mat44* x) { vm_mat_rotate_axis(o, x, &B, &C, 0.8f); }},
        {"scale", MA, [](Mat44* o, const Mat44* x) { vm_mat_scale(o, x, &D); }},
        {"texture_bias", MA, [](Mat44* o, const Mat44* x) { vm_mat_texture_bias(o, x); }},
        {"interpolate a", MA,
         [](Mat44* o, const Mat44* x) { vm_mat_interpolate(o, x, &MB, 0.3f); }},
        {"interpolate b", MB,
         [](Mat44* o, const Mat44* x) { vm_mat_interpolate(o, &MA, x, 0.3f); }},
        {"clip_plane projection", MA,
         [&](Mat44* o, const Mat44* x) { vm_mat_clip_plane_projection(o, x, &MB, &plane); }},
        {"clip_plane view", MB,
         [&](Mat44* o, const Mat44* x) { vm_mat_clip_plane_projection(o, &MA, x, &plane); }},
        {"xform_to_matrix", MA,
         [](Mat44* o, const Mat44* x) {
             XformRecord r;
             vm_xform_from_matrix(&r, x);
             vm_xform_to_matrix(o, &r);
         }},
    };
    check_all(cases);
    // Sampling into one of the array's own matrices.
    Mat44 arr[3] = {MA, MB, MA}, copy[3] = {MA, MB, MA};
    Mat44 separate = arr[1];
    vm_mat_sample_array(&separate, copy, 3, 0, 2, 0.4f, 1);
    vm_mat_sample_array(&arr[1], arr, 3, 0, 2, 0.4f, 1);
    EXPECT_TRUE(same_bits(separate, arr[1]));
}

TEST(Aliasing, TransformRecords)
{
    XformRecord xa, xb;
    vm_xform_from_matrix(&xa, &MA);
    vm_xform_from_matrix(&xb, &MB);
    Quat q;
    vm_quat_from_euler_zxy(&q, &C);
    std::vector<AliasCase<XformRecord>> cases = {
        {"copy", xa, [&](XformRecord* o, const XformRecord* x) { vm_xform_copy(o, x); }},
        {"translate", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_translate(o, x, &A); }},
        {"rotate_euler", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_rotate_euler(o, x, &A); }},
        {"rotate_quat", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_rotate_quat(o, x, &q); }},
        {"rotate_quat by own rotation", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_rotate_quat(o, x, &x->rot); }},
        {"scale", xa, [&](XformRecord* o, const XformRecord* x) { vm_xform_scale(o, x, &D); }},
        {"scale by own scale", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_scale(o, x, &x->scale); }},
        {"mul a", xa, [&](XformRecord* o, const XformRecord* x) { vm_xform_mul(o, x, &xb); }},
        {"mul b", xb, [&](XformRecord* o, const XformRecord* x) { vm_xform_mul(o, &xa, x); }},
        {"mul_matrix", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_mul_matrix(o, &MB, x); }},
        {"mul_by_matrix", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_mul_by_matrix(o, x, &MB); }},
        {"lerp a", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_lerp(o, x, &xb, 0.4f); }},
        {"lerp b", xb,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_lerp(o, &xa, x, 0.4f); }},
        {"set_pos_euler own pos", xa,
         [&](XformRecord* o, const XformRecord* x) { vm_xform_set_pos_euler(o, &x->scale, &A); }},
    };
    check_all(cases);
}

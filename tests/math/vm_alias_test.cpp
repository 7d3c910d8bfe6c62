// Outputs may alias inputs: in place gives the same bits as a separate output.
#include <functional>

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

using V = Vec3;
using M = Mat44;
using X = XformRecord;

const Vec3 A = {1.5f, -2.0f, 0.7f}, B = {-0.3f, 4.0f, 2.2f}, C = {0.9f, 0.1f, -3.0f}, D = {2, 1, 1};
const Mat44 MA = scaled(pos_angles({1, 2, 3}, {0.3f, 0.7f, -1.1f}), {1.5f, 2, 0.5f});
const Mat44 MB = pos_angles({-4, 0, 1}, {-0.8f, 2.1f, 0.4f});
const Vec3 DOWN = {0, -1, 0};
const Plane PL = {0.1f, 1, 0.2f, -2};
const float R3[4] = {1, 2, 3, 1};
Vec3 spare;  // an output the case does not look at

}  // namespace

TEST(Aliasing, Vec3Functions)
{
    std::vector<AliasCase<V>> cases = {
        {"cross a", A, [](V* o, const V* x) { vm_vec3_cross(o, x, &B); }},
        {"cross b", B, [](V* o, const V* x) { vm_vec3_cross(o, &A, x); }},
        {"normalize", A, [](V* o, const V* x) { vm_vec3_normalize(o, x); }},
        {"direction from", A, [](V* o, const V* x) { vm_vec3_direction(o, x, &B); }},
        {"direction to", B, [](V* o, const V* x) { vm_vec3_direction(o, &A, x); }},
        {"direction_angles from", A, [](V* o, const V* x) { vm_vec3_direction_angles(o, x, &B); }},
        {"direction_angles to", B, [](V* o, const V* x) { vm_vec3_direction_angles(o, &A, x); }},
        {"to_angles", A, [](V* o, const V* x) { vm_vec3_to_angles(o, x); }},
        {"to_angles_up v", A, [](V* o, const V* x) { vm_vec3_to_angles_up(o, x, &DOWN); }},
        {"to_angles_up up", DOWN, [](V* o, const V* x) { vm_vec3_to_angles_up(o, &A, x); }},
        {"from_angles", A, [](V* o, const V* x) { vm_vec3_from_angles(o, x); }},
        {"turn", A, [](V* o, const V* x) { vm_vec3_turn(o, x, 0.2f, -0.4f, 3); }},
        {"polar_point", A, [](V* o, const V* x) { vm_vec3_polar_point(o, x, 0.2f, 0.4f, 3); }},
        {"ring_point centre", A, [](V* o, const V* x) { vm_vec3_ring_point(o, x, &B, 0.7f, 2); }},
        {"ring_point axis", B, [](V* o, const V* x) { vm_vec3_ring_point(o, &A, x, 0.7f, 2); }},
        {"orbit_point", A, [](V* o, const V* x) { vm_orbit_point(o, x, 0.3f, 0.6f, 2); }},
        {"hermite p0", A, [](V* o, const V* x) { vm_vec3_hermite(o, x, &B, &C, &D, 0.4f); }},
        {"hermite m0", B, [](V* o, const V* x) { vm_vec3_hermite(o, &A, x, &C, &D, 0.4f); }},
        {"hermite p1", C, [](V* o, const V* x) { vm_vec3_hermite(o, &A, &B, x, &D, 0.4f); }},
        {"hermite m1", D, [](V* o, const V* x) { vm_vec3_hermite(o, &A, &B, &C, x, 0.4f); }},
        {"hermite_point p0", A, [](V* o, const V* x) { vm_hermite_point(o, x, &B, &C, &D, 0.4f); }},
        {"hermite_point t1", D, [](V* o, const V* x) { vm_hermite_point(o, &A, &B, &C, x, 0.4f); }},
        {"slerp a", A, [](V* o, const V* x) { vm_vec3_slerp(o, x, &B, 0.3f); }},
        {"slerp b", B, [](V* o, const V* x) { vm_vec3_slerp(o, &A, x, 0.3f); }},
        {"foot off=p", A, [](V* o, const V* x) { vm_point_segment_foot(o, nullptr, x, &B, &C); }},
        {"foot foot=p", A, [](V* o, const V* x) { vm_point_segment_foot(nullptr, o, x, &B, &C); }},
        {"foot foot=a", B, [](V* o, const V* x) { vm_point_segment_foot(&spare, o, &A, x, &C); }},
        {"project off=p", A, [](V* o, const V* x) { vm_plane_project_point(o, &spare, x, &PL); }},
        {"project foot=p", A, [](V* o, const V* x) { vm_plane_project_point(&spare, o, x, &PL); }},
        {"triangle_normal p0", A, [](V* o, const V* x) { vm_triangle_normal(o, x, &B, &C); }},
        {"triangle_normal p1", B, [](V* o, const V* x) { vm_triangle_normal(o, &A, x, &C); }},
        {"triangle_normal p2", C, [](V* o, const V* x) { vm_triangle_normal(o, &A, &B, x); }},
        {"transform_point", A, [](V* o, const V* x) { vm_mat_transform_point(o, &MA, x); }},
        {"transform_vector", A, [](V* o, const V* x) { vm_mat_transform_vector(o, &MA, x); }},
        {"divw", A, [](V* o, const V* x) { vm_mat_transform_point_divw(o, &MA, x); }},
        {"transform_vec4", A, [](V* o, const V* x) { vm_mat_transform_vec4(o, &MA, x); }},
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
    std::vector<AliasCase<M>> cases = {
        {"mul a", MA, [](M* o, const M* x) { vm_mat_mul(o, x, &MB); }},
        {"mul b", MB, [](M* o, const M* x) { vm_mat_mul(o, &MA, x); }},
        {"mul a=b", MA, [](M* o, const M* x) { vm_mat_mul(o, x, x); }},
        {"mul_affine a", MA, [](M* o, const M* x) { vm_mat_mul_affine(o, x, &MB, R3); }},
        {"mul_affine b", MB, [](M* o, const M* x) { vm_mat_mul_affine(o, &MA, x, R3); }},
        {"mul_affine row3", MB, [](M* o, const M* x) { vm_mat_mul_affine(o, &MA, x, x->m + 12); }},
        {"copy", MA, [](M* o, const M* x) { vm_mat_copy(o, x); }},
        {"copy_rotation", MA, [](M* o, const M* x) { vm_mat_copy_rotation(o, x); }},
        {"transpose", MA, [](M* o, const M* x) { vm_mat_transpose(o, x); }},
        {"inverse", MA, [](M* o, const M* x) { vm_mat_inverse(o, x); }},
        {"normalize_rows", MA, [](M* o, const M* x) { vm_mat_normalize_rows(o, x); }},
        {"translate", MA, [](M* o, const M* x) { vm_mat_translate(o, x, &A); }},
        {"rotate_x", MA, [](M* o, const M* x) { vm_mat_rotate_x(o, x, 0.6f); }},
        {"rotate_y", MA, [](M* o, const M* x) { vm_mat_rotate_y(o, x, 0.6f); }},
        {"rotate_z", MA, [](M* o, const M* x) { vm_mat_rotate_z(o, x, 0.6f); }},
        {"rotate_euler", MA, [](M* o, const M* x) { vm_mat_rotate_euler(o, x, &A); }},
        {"rotate_axis", MA, [](M* o, const M* x) { vm_mat_rotate_axis(o, x, &B, &C, 0.8f); }},
        {"scale", MA, [](M* o, const M* x) { vm_mat_scale(o, x, &D); }},
        {"texture_bias", MA, [](M* o, const M* x) { vm_mat_texture_bias(o, x); }},
        {"interpolate a", MA, [](M* o, const M* x) { vm_mat_interpolate(o, x, &MB, 0.3f); }},
        {"interpolate b", MB, [](M* o, const M* x) { vm_mat_interpolate(o, &MA, x, 0.3f); }},
        {"clip proj", MA, [](M* o, const M* x) { vm_mat_clip_plane_projection(o, x, &MB, &PL); }},
        {"clip view", MB, [](M* o, const M* x) { vm_mat_clip_plane_projection(o, &MA, x, &PL); }},
        {"xform_to_matrix", MA,
         [](M* o, const M* x) {
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
    std::vector<AliasCase<X>> cases = {
        {"copy", xa, [&](X* o, const X* x) { vm_xform_copy(o, x); }},
        {"translate", xa, [&](X* o, const X* x) { vm_xform_translate(o, x, &A); }},
        {"rotate_euler", xa, [&](X* o, const X* x) { vm_xform_rotate_euler(o, x, &A); }},
        {"rotate_quat", xa, [&](X* o, const X* x) { vm_xform_rotate_quat(o, x, &q); }},
        {"rotate_quat own", xa, [&](X* o, const X* x) { vm_xform_rotate_quat(o, x, &x->rot); }},
        {"scale", xa, [&](X* o, const X* x) { vm_xform_scale(o, x, &D); }},
        {"scale by own scale", xa, [&](X* o, const X* x) { vm_xform_scale(o, x, &x->scale); }},
        {"mul a", xa, [&](X* o, const X* x) { vm_xform_mul(o, x, &xb); }},
        {"mul b", xb, [&](X* o, const X* x) { vm_xform_mul(o, &xa, x); }},
        {"mul_matrix", xa, [&](X* o, const X* x) { vm_xform_mul_matrix(o, &MB, x); }},
        {"mul_by_matrix", xa, [&](X* o, const X* x) { vm_xform_mul_by_matrix(o, x, &MB); }},
        {"lerp a", xa, [&](X* o, const X* x) { vm_xform_lerp(o, x, &xb, 0.4f); }},
        {"lerp b", xb, [&](X* o, const X* x) { vm_xform_lerp(o, &xa, x, 0.4f); }},
        {"set_pos_euler own", xa,
         [&](X* o, const X* x) { vm_xform_set_pos_euler(o, &x->scale, &A); }},
    };
    check_all(cases);
}

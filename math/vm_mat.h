// 4x4 matrix maths in the row-vector convention (see Mat44): builders,
// editors in a matrix's own frame, products and transforms, inversion,
// decomposition into position, Euler angles and scale, view and projection
// builders, interpolation. No state, any thread.
//
// Conventions: output first, then the inputs; the output is returned and may
// be the same record as any input. vm_mat_mul(out, a, b) applies b first and
// then a, so a child's world matrix is vm_mat_mul(world, parent, local).
// Euler angles (x pitch, y yaw, z roll) act in the order Z, then X, then Y.
// Sine and cosine come from the table (vm_table.h). Projections are Direct3D
// style: left-handed, clip depth 0 at the near plane to 1 at the far plane;
// the platform layer adapts them to OpenGL, never this library.
#pragma once

#include <cstring>

#include "math/vm_types.h"
#include "math/vm_vec.h"

namespace vm_detail {
typedef float F4 __attribute__((vector_size(16)));
inline F4 load4(const float* p)
{
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store4(float* p, F4 v) { std::memcpy(p, &v, sizeof v); }
// Row i of b times the rows of a (four-wide, no alignment needed).
inline F4 row_times(const float* b_row, F4 a0, F4 a1, F4 a2, F4 a3)
{
    return b_row[0] * a0 + b_row[1] * a1 + b_row[2] * a2 + b_row[3] * a3;
}
}  // namespace vm_detail

// ---- building and copying ----

Mat44* vm_mat_identity(Mat44* out);
Mat44* vm_mat_reset_rotation(Mat44* out);  // identity 3x3 and column 3; translation kept
Mat44* vm_mat_copy(Mat44* out, const Mat44* m);
Mat44* vm_mat_copy_rotation(Mat44* out, const Mat44* m);  // only the 3x3 part
Mat44* vm_mat_translation(Mat44* out, const Vec3* t);
Mat44* vm_mat_from_euler(Mat44* out, const Vec3* angles);  // rows 0-2 only, row 3 kept
Mat44* vm_mat_from_pos_angles(Mat44* out, const Vec3* pos, const Vec3* angles);
Mat44* vm_mat_from_pos_angles_f(Mat44* out, float px, float py, float pz, float ax, float ay,
                                float az);
Mat44* vm_mat_from_axis_angle(Mat44* out, const Vec3* pos, const Vec3* axis, float angle);
// Frame whose Y axis is the given direction (null: +Y); pos may be null.
Mat44* vm_mat_from_y_axis(Mat44* out, const Vec3* pos, const Vec3* y_dir);
Mat44* vm_mat_transpose(Mat44* out, const Mat44* m);
// General 4x4 inverse (projections included), computed in double. A singular
// or non-finite matrix gives the identity; the checked form also answers 0.
Mat44* vm_mat_inverse(Mat44* out, const Mat44* m);
int vm_mat_inverse_checked(Mat44* out, const Mat44* m);
Mat44* vm_mat_normalize_rows(Mat44* out, const Mat44* m);

// ---- editing in the matrix's own frame (the new transform acts before m) ----

Mat44* vm_mat_translate(Mat44* out, const Mat44* m, const Vec3* t);
Mat44* vm_mat_rotate_x(Mat44* out, const Mat44* m, float angle);
Mat44* vm_mat_rotate_y(Mat44* out, const Mat44* m, float angle);
Mat44* vm_mat_rotate_z(Mat44* out, const Mat44* m, float angle);
Mat44* vm_mat_rotate_euler(Mat44* out, const Mat44* m, const Vec3* angles);
// m edited in place: translate by pos, then rotate by angles.
Mat44* vm_mat_translate_rotate_euler(Mat44* m, const void* unused, const Vec3* pos,
                                     const Vec3* angles);
Mat44* vm_mat_rotate_axis(Mat44* out, const Mat44* m, const Vec3* pos, const Vec3* axis,
                          float angle);
Mat44* vm_mat_scale(Mat44* out, const Mat44* m, const Vec3* s);

// ---- products and transforms ----

// b first, then a.
inline Mat44* vm_mat_mul(Mat44* out, const Mat44* a, const Mat44* b)
{
    using namespace vm_detail;
    const F4 a0 = load4(a->m), a1 = load4(a->m + 4), a2 = load4(a->m + 8), a3 = load4(a->m + 12);
    const F4 r0 = row_times(b->m, a0, a1, a2, a3);
    const F4 r1 = row_times(b->m + 4, a0, a1, a2, a3);
    const F4 r2 = row_times(b->m + 8, a0, a1, a2, a3);
    const F4 r3 = row_times(b->m + 12, a0, a1, a2, a3);
    store4(out->m, r0);
    store4(out->m + 4, r1);
    store4(out->m + 8, r2);
    store4(out->m + 12, r3);
    return out;
}

// Rows 0-2 as vm_mat_mul, row 3 = the four given floats.
Mat44* vm_mat_mul_affine(Mat44* out, const Mat44* a, const Mat44* b, const float row3[4]);

inline Vec3* vm_mat_transform_point(Vec3* out, const Mat44* m, const Vec3* p)
{
    const float x = p->x, y = p->y, z = p->z;
    const float* r = m->m;
    const float ox = x * r[0] + y * r[4] + z * r[8] + r[12];
    const float oy = x * r[1] + y * r[5] + z * r[9] + r[13];
    const float oz = x * r[2] + y * r[6] + z * r[10] + r[14];
    *out = {ox, oy, oz};
    return out;
}

inline Vec3* vm_mat_transform_vector(Vec3* out, const Mat44* m, const Vec3* v)
{
    const float x = v->x, y = v->y, z = v->z;
    const float* r = m->m;
    const float ox = x * r[0] + y * r[4] + z * r[8];
    const float oy = x * r[1] + y * r[5] + z * r[9];
    const float oz = x * r[2] + y * r[6] + z * r[10];
    *out = {ox, oy, oz};
    return out;
}

// Four at once; out and in are four consecutive records each. Returns m.
const Mat44* vm_mat_transform_points4(Vec3 out[4], const Mat44* m, const Vec3 in[4]);
Vec3* vm_mat_transform_vectors4(Vec3 out[4], const Mat44* m, const Vec3 in[4]);
// (x, y) offsets: x*row0 + y*row1.
Vec3* vm_mat_transform_vectors4_xy(Vec3 out[4], const Mat44* m, const Vec2 in[4]);
// (p, 1)*m divided by w (no guard).
Vec3* vm_mat_transform_point_divw(Vec3* out, const Mat44* m, const Vec3* p);
// (p, 1)*m; x and y divided by |w| unless w is 0, z never divided.
Vec3* vm_mat_transform_vec4(Vec3* out, const Mat44* m, const Vec3* p);
Vec4* vm_vec4_transform(Vec4* out, const Mat44* m, const Vec4* v);

// ---- decomposition ----

Vec3* vm_mat_row_lengths(Vec3* out, const Mat44* m);
float vm_mat_max_scale(const Mat44* m);            // fast square root: about 12 bits
Vec3* vm_mat_to_euler(Vec3* out, const Mat44* m);  // standard order Z, X, Y
void vm_mat_to_pos_angles(Vec3* out_pos, Vec3* out_angles, const Mat44* m);
// Position, angles of the unscaled rotation, row lengths.
void vm_mat_decompose(Vec3* out_pos, Vec3* out_angles, Vec3* out_scale, const Mat44* m);
// Angles of m's rotation followed by the rotation of angles.
Vec3* vm_mat_euler_compose(Vec3* out, const Mat44* m, const Vec3* angles);
Vec3* vm_mat_to_euler_a(Vec3* out, const Mat44* m);  // order Z, Y, X
Vec3* vm_mat_to_euler_b(Vec3* out, const Mat44* m);  // order X, Z, Y
Vec3* vm_mat_to_euler_c(Vec3* out, const Mat44* m);  // order Y, X, Z
Vec3* vm_mat_to_euler_d(Vec3* out, const Mat44* m);  // order X, Y, Z

// ---- comparisons ----

int vm_mat_differs(const Mat44* a, const Mat44* b, float tolerance);
int vm_mat_not_identity(const Mat44* m, float tolerance);

// ---- view and projection builders ----

// Placement (object-to-world) looking along direction (+Z), up toward up
// (null: +Y); flip looks the other way. Invert it for a view matrix.
Mat44* vm_mat_aim_dir(Mat44* out, const Vec3* pos, const Vec3* dir, const Vec3* up, int flip);
Mat44* vm_mat_aim_at(Mat44* out, const Vec3* eye, const Vec3* target, const Vec3* up, int flip);
// As above, but the up vector is kept exactly and the direction bent.
Mat44* vm_mat_aim_dir_up(Mat44* out, const Vec3* pos, const Vec3* dir, const Vec3* up, int flip);
Mat44* vm_mat_aim_at_up(Mat44* out, const Vec3* eye, const Vec3* target, const Vec3* up, int flip);
Mat44* vm_mat_perspective_offcenter(Mat44* out, float l, float r, float b, float t, float n,
                                    float f);
Mat44* vm_mat_ortho_offcenter(Mat44* out, float l, float r, float b, float t, float n, float f);
// m, then clip x, y in [-1, 1] to texture u, v in [0, 1] (v down).
Mat44* vm_mat_texture_bias(Mat44* out, const Mat44* m);
Mat44* vm_mat_reflect(Mat44* out, const Plane* plane);
Mat44* vm_mat_shadow(Mat44* out, const Vec3* light, const Plane* plane, int directional);
// projection with its near plane replaced by a world-space clip plane.
Mat44* vm_mat_clip_plane_projection(Mat44* out, const Mat44* projection, const Mat44* view,
                                    const Plane* plane);

// ---- interpolation ----

// Scales lerped, rotations slerped, translations lerped.
Mat44* vm_mat_interpolate(Mat44* out, const Mat44* a, const Mat44* b, float t);
// Sample an animation array at time (whole part = index from start, fraction
// blends to the next); wrap or clamp past the last index. count < 1 leaves
// out unchanged.
Mat44* vm_mat_sample_array(Mat44* out, const Mat44* array, int count, int start, int last,
                           float time, int wrap);

// The small helpers under the short names the scene step, the 3D draw and the
// motion player call them by: scalar clamps and lerps, 3-vector operations,
// and the quaternion and matrix builders of the bone controllers. Each inline
// one is the vm_* function of the same meaning; the others say what they add.
// No state, any thread; output first, may alias any input.
#pragma once

#include "math/vm_quat.h"
#include "math/vm_types.h"
#include "math/vm_vec.h"
#include "math/vm_xform.h"

// ---- scalars ----

inline float lerp_f(float a, float b, float t) { return vm_lerp(a, b, t); }  // (b - a)*t + a
inline float clamp_f(float x, float lo, float hi) { return vm_clamp(x, lo, hi); }
inline float clampf(float v, float lo, float hi) { return vm_clamp(v, lo, hi); }
inline float clamp01(float x) { return vm_clamp01(x); }
inline int clampi(int v, int lo, int hi) { return vm_clamp_int(v, lo, hi); }

// ---- 3-vectors ----

inline Vec3* vec3_set3(Vec3* out, float x, float y, float z) { return vm_vec3_set(out, x, y, z); }
inline Vec3* vec3_add(Vec3* out, const Vec3* a, const Vec3* b) { return vm_vec3_add(out, a, b); }
inline Vec3* vec3_sub(Vec3* out, const Vec3* a, const Vec3* b) { return vm_vec3_sub(out, a, b); }
inline Vec3* vec3_scale(Vec3* out, const Vec3* v, float s) { return vm_vec3_scale(out, v, s); }
inline float vec3_dot(const Vec3* a, const Vec3* b) { return vm_vec3_dot(a, b); }
inline Vec3* vec3_cross(Vec3* out, const Vec3* a, const Vec3* b)
{
    return vm_vec3_cross(out, a, b);
}
inline Vec3* vec3_lerp(Vec3* out, const Vec3* a, const Vec3* b, float t)
{
    return vm_vec3_lerp(out, a, b, t);
}
// v over its length; unlike vm_vec3_normalize, a squared length that is not
// a number gives (0, 0, 0) as a zero one does.
Vec3* vec3_normalize(Vec3* out, const Vec3* v);

// Lengths and distances; all but the squared distances are "cut" (0 when the
// squared value is below 1e-10).
inline float vec3_len(const Vec3* v) { return vm_vec3_length_cut(v); }
inline float vec3_len_sq(const Vec3* v) { return vm_vec3_length_sq_cut(v); }
inline float vec3_dist(const Vec3* a, const Vec3* b) { return vm_vec3_dist_cut(a, b); }
inline float vec3_dist_sq(const Vec3* a, const Vec3* b) { return vm_vec3_dist_sq(a, b); }
inline float dist_sq(const Vec3* a, const Vec3* b) { return vm_vec3_dist_sq(a, b); }

// ---- rotations ----

inline Quat* quat_identity(Quat* out) { return vm_quat_identity(out); }
// The rotation taking the direction of from - pivot to that of to - pivot;
// the identity when either squared length is below 1e-6.
Quat* quat_rotation_between_about(Quat* out, const Vec3* from, const Vec3* to, const Vec3* pivot);
// Rotation rows of q, row 3 = (pos or 0, 1).
inline Mat44* mat_from_quat_pos(Mat44* out, const Quat* q, const Vec3* pos)
{
    return vm_mat_from_quat_pos(out, q, pos);
}
// The identity with rows 0-2 the rotation of the Euler angles (x, y, z).
Mat44* mat_from_euler_y(Mat44* out, float x, float y, float z);

// Quaternions (x, y, z, w), identity (0, 0, 0, 1): axis-angle conversions,
// slerp, log and exp, conversions to and from matrices and Euler angles,
// products. No state, any thread; output first, may alias any input.
#pragma once

#include "math/vm_types.h"

Quat* vm_quat_identity(Quat* out);
// (axis * sin(angle/2), cos(angle/2)) with the table; the axis is taken as is.
Quat* vm_quat_from_axis_angle(Quat* out, const Vec3* axis, float angle);
// Either output may be null.
void vm_quat_to_axis_angle(Vec3* out_axis, float* out_angle, const Quat* q);
// Shortest rotation taking the direction of from to the direction of to.
Quat* vm_rotation_between(Quat* out, const Vec3* from, const Vec3* to);
// Shortest-path slerp; the result is not normalised.
Quat* vm_quat_slerp(Quat* out, const Quat* a, const Quat* b, float t);
Quat* vm_quat_log(Quat* out, const Quat* q);  // (axis * angle/2, 0)
Quat* vm_quat_exp(Quat* out, const Vec3* v);
// Partial derivatives of vm_quat_exp by v.x, v.y, v.z (undefined at v = 0).
void vm_quat_exp_jacobian(Quat* out_dx, Quat* out_dy, Quat* out_dz, const Vec3* v);
// Rate of change of q's rotation matrix along d.
Mat44* vm_quat_matrix_derivative(Mat44* out, const Quat* q, const Quat* d);
// Rows 0-2 of the rotation; row 3 left as it was.
Mat44* vm_quat_to_matrix(Mat44* out, const Quat* q);
// Rotation of m's 3x3 part; scaled rows are divided by their lengths first.
Quat* vm_quat_from_matrix(Quat* out, const Mat44* m);
// Euler builders, named by the order in which the rotations act on a point.
Quat* vm_quat_from_euler_zyx(Quat* out, const Vec3* angles);
Quat* vm_quat_from_euler_xzy(Quat* out, const Vec3* angles);
Quat* vm_quat_from_euler_yxz(Quat* out, const Vec3* angles);
Quat* vm_quat_from_euler_xyz(Quat* out, const Vec3* angles);
Quat* vm_quat_from_euler_yzx(Quat* out, const Vec3* angles);
Quat* vm_quat_from_euler_zxy(Quat* out, const Vec3* angles);  // the standard order
// Hamilton product a*b.
Quat* vm_quat_mul(Quat* out, const Quat* a, const Quat* b);
Quat* vm_quat_conjugate(Quat* out, const Quat* q);
// q * r * conjugate(q)
Quat* vm_quat_conjugate_by(Quat* out, const Quat* r, const Quat* q);

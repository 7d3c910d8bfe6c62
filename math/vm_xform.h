// Transform records: a placement kept as position, scale and rotation
// (XformRecord) so that it can be edited and blended without drift. The
// record's matrix is scale first, then rotate, then translate. Output first,
// may alias any input; no state, any thread.
#pragma once

#include "math/vm_types.h"

XformRecord* vm_xform_init(XformRecord* out);  // position 0, scale 1, identity rotation
XformRecord* vm_xform_copy(XformRecord* out, const XformRecord* x);
XformRecord* vm_xform_set_pos(XformRecord* out, const Vec3* pos);
XformRecord* vm_xform_set_scale(XformRecord* out, const Vec3* scale);
XformRecord* vm_xform_set_quat(XformRecord* out, const Quat* q);
XformRecord* vm_xform_set_euler(XformRecord* out, const Vec3* angles);  // standard order
XformRecord* vm_xform_set_pos_euler(XformRecord* out, const Vec3* pos, const Vec3* angles);

Mat44* vm_xform_to_matrix(Mat44* out, const XformRecord* x);
// Rotation rows of q, row 3 = (pos or 0, 1).
Mat44* vm_mat_from_quat_pos(Mat44* out, const Quat* q, const Vec3* pos);
// Position = row 3, scale = row lengths, rotation of the unscaled rows.
XformRecord* vm_xform_from_matrix(XformRecord* out, const Mat44* m);

// Editors that go through the matrix form.
XformRecord* vm_xform_translate(XformRecord* out, const XformRecord* x,
                                const Vec3* t);  // own frame
XformRecord* vm_xform_rotate_euler(XformRecord* out, const XformRecord* x, const Vec3* angles);
XformRecord* vm_xform_mul(XformRecord* out, const XformRecord* a, const XformRecord* b);  // b first
XformRecord* vm_xform_mul_matrix(XformRecord* out, const Mat44* m,
                                 const XformRecord* x);  // x first
XformRecord* vm_xform_mul_by_matrix(XformRecord* out, const XformRecord* x,
                                    const Mat44* m);  // m first

// Direct editors.
XformRecord* vm_xform_rotate_quat(XformRecord* out, const XformRecord* x, const Quat* q);  // q r q*
XformRecord* vm_xform_scale(XformRecord* out, const XformRecord* x, const Vec3* s);
XformRecord* vm_xform_lerp(XformRecord* out, const XformRecord* a, const XformRecord* b, float t);

// Readers; every output may be null.
void vm_xform_get_pos_angles(Vec3* out_pos, Vec3* out_angles, const XformRecord* x);
void vm_xform_get(Vec3* out_pos, Vec3* out_angles, Vec3* out_scale, const XformRecord* x);
Mat44* vm_xform_log_derivative(Mat44* out, const XformRecord* a, const XformRecord* b);

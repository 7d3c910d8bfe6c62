// View maths: off-centre perspective parameters and their conversions, the
// frustum planes of a view-projection matrix (culling and collision
// volumes), view-volume corners, the light fit for shadow maps, a minimum
// on-screen size rule and plane construction. Matrices are row-vector,
// Direct3D style (clip depth 0..1); no state, any thread.
//
// Corner lists are eight Vec3: near top-left, top-right, bottom-left,
// bottom-right, then the same on the far side.
#pragma once

#include "math/vm_types.h"

// Nothing when either pointer is null.
Mat44* viewmath_perspective_from6(Mat44* out, const ProjParams* p);
// Planes c3+c2, c3-c2, c3-c0, c3+c0, c3+c1, c3-c1 of the columns, unit
// normals, in the order near, far, right, left, bottom, top.
FrustumPlanes* viewmath_frustum_planes(FrustumPlanes* out, const Mat44* view_proj);
// Corners of the params' view volume mapped by m (camera-to-world gives world
// positions).
Vec3* viewmath_frustum_corners(Vec3 out[8], const Mat44* m, const ProjParams* p);
Vec3* viewmath_box_corners(Vec3 out[8], const Vec3* box_min, const Vec3* box_max);
// Light view at the camera position and a perspective-warped projection
// fitted around the camera's view volume (and the box when both corners are
// given).
void viewmath_light_fit(Mat44* out_proj, Mat44* out_view, const Vec3* light_dir, const void* unused,
                        const Mat44* camera_to_world, const ProjParams* camera, const Vec3* box_min,
                        const Vec3* box_max);

// Full vertical fov in radians; cx, cy the share of the field left of and
// above the view axis (0.5 centred). Nothing when out is null.
ProjParams* vm_proj_params_from_fov(ProjParams* out, float fov, float aspect, float cx, float cy,
                                    float znear, float zfar);
ProjParams* vm_proj_params_from_angles(ProjParams* out, float top, float bottom, float left,
                                       float right, float aspect, float znear, float zfar);
// The values vm_proj_params_from_fov would be given for p; outputs may be null.
void vm_proj_params_info(float* out_fov, float* out_aspect, float* out_cx, float* out_cy,
                         float* out_near, float* out_far, const ProjParams* p);
// A near or far within 1e-05 of 0 keeps p's value.
ProjParams* vm_proj_params_scale(ProjParams* out, const ProjParams* p, float fov_factor,
                                 float aspect_factor, float znear, float zfar);
ProjParams* vm_proj_params_scale_angles(ProjParams* out, const ProjParams* p, float kt, float kb,
                                        float kl, float kr, float znear, float zfar);
ProjParams* vm_proj_params_from_matrix(ProjParams* out, const Mat44* projection);
// World size that keeps an object at least min_screen pixels large.
float vm_proj_min_world_size(const ProjParams* p, const Mat44* m, const Vec3* point, float size,
                             float screen_width, float min_screen);
float vm_proj_min_size_at_depth(const ProjParams* p, float depth, float size, float screen_width,
                                float min_screen);

float vm_inverse_lerp(float x, float a, float b);  // 0 when a equals b
Plane* vm_plane_from_point_normal(Plane* out, const Vec3* point, const Vec3* normal);
Plane* vm_plane_from_points(Plane* out, const Vec3* p0, const Vec3* p1, const Vec3* p2);
Vec3* vm_triangle_normal(Vec3* out, const Vec3* p0, const Vec3* p1,
                         const Vec3* p2);  // not normalised
float vm_vec3_get_z(const float* v);

// 3-vector maths: elementary operations, directions and angles, distances,
// overlap and hit tests, interpolation. Free functions over plain records,
// no state, any thread.
//
// Conventions: output first, inputs after, the output pointer is returned.
// An output may be the same record as any input. Intermediate results are
// kept in double and rounded to float when stored. Sine and cosine are the
// table lookups of vm_table.h; arc functions and square roots are the
// run-time library's. Euler angles in a Vec3 are (pitch about X, yaw about Y,
// roll about Z), radians; yaw turns +Z toward +X, positive pitch turns +Z
// toward -Y.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

// ---- elementary operations ----

Vec3* vm_vec3_set(Vec3* out, float x, float y, float z);
Vec3* vm_vec3_copy(Vec3* out, const Vec3* v);
Vec3* vm_vec3_negate(Vec3* out, const Vec3* v);
Vec3* vm_vec3_add(Vec3* out, const Vec3* a, const Vec3* b);
Vec3* vm_vec3_sub(Vec3* out, const Vec3* a, const Vec3* b);
Vec3* vm_vec3_scale(Vec3* out, const Vec3* v, float s);
Vec3* vm_vec3_madd(Vec3* out, const Vec3* a, const Vec3* v, float s);  // a + v*s
Vec3* vm_vec3_mul(Vec3* out, const Vec3* a, const Vec3* b);            // per component
// v / s, with |s| < 1e-05 replaced by 1e-05 carrying the sign of s (0 -> +)
Vec3* vm_vec3_div_safe(Vec3* out, const Vec3* v, float s);
float vm_vec3_dot(const Vec3* a, const Vec3* b);
Vec3* vm_vec3_cross(Vec3* out, const Vec3* a, const Vec3* b);
Vec3* vm_vec3_normalize(Vec3* out, const Vec3* v);  // zero stays zero
// The "cut" forms answer 0 when the squared value is below 1e-10.
float vm_vec3_length_cut(const Vec3* v);
float vm_vec3_length_sq_cut(const Vec3* v);
float vm_vec3_dist_cut(const Vec3* a, const Vec3* b);
float vm_vec3_dist_sq(const Vec3* a, const Vec3* b);
float vm_lerp(float a, float b, float t);  // (b - a)*t + a
Vec3* vm_vec3_lerp(Vec3* out, const Vec3* a, const Vec3* b, float t);
float vm_clamp(float x, float lo, float hi);
float vm_clamp01(float x);
int32_t vm_clamp_int(int32_t v, int32_t lo, int32_t hi);
// v wrapped into [lo, hi] (period hi + 1 - lo); lo when the range is empty.
int32_t vm_wrap_int(int32_t v, int32_t lo, int32_t hi);
// Indices of the largest and smallest element (first of equals wins); either
// output may be null. A count below 1 writes nothing.
void vm_int_array_max_min(const int32_t* values, int count, int* out_max, int* out_min);
void vm_float_array_max_min(const float* values, int count, int* out_max, int* out_min);

Vec4* vm_vec4_copy(Vec4* out, const Vec4* v);
Vec4* vm_vec4_negate(Vec4* out, const Vec4* v);

// All four values over the normal's length; a zero normal gives (0, 0, 0, 0).
Plane* vm_plane_normalize(Plane* out, const Plane* p);
float vm_plane_dot_point(const Plane* p, const Vec3* v);   // a*x + b*y + c*z + d
float vm_plane_dot_normal(const Plane* p, const Vec3* v);  // a*x + b*y + c*z

// ---- directions and angles ----

// Normalised (to - from); null (nothing written) when an input is null.
Vec3* vm_vec3_direction(Vec3* out, const Vec3* from, const Vec3* to);
// Angles (pitch, yaw, 0) of to - from; (0, 0, 0) for a purely vertical offset.
Vec3* vm_vec3_direction_angles(Vec3* out, const Vec3* from, const Vec3* to);
Vec3* vm_vec3_to_angles(Vec3* out, const Vec3* v);
// As vm_vec3_to_angles, turned over when up points below the horizon.
Vec3* vm_vec3_to_angles_up(Vec3* out, const Vec3* v, const Vec3* up);
// Unit direction of (pitch, yaw); null angles give (0, 0, 0).
Vec3* vm_vec3_from_angles(Vec3* out, const Vec3* angles);
// v's direction turned by the offsets, at the given length.
Vec3* vm_vec3_turn(Vec3* out, const Vec3* v, float pitch_offset, float yaw_offset, float length);
// centre + (cos a * sin b, sin a, cos a * cos b) * distance
Vec3* vm_vec3_polar_point(Vec3* out, const Vec3* centre, float a, float b, float distance);
// Point at angle on the circle of radius around centre, perpendicular to axis.
Vec3* vm_vec3_ring_point(Vec3* out, const Vec3* centre, const Vec3* axis, float angle,
                         float radius);
// (0, distance, 0) through the Y-axis frame of axis turned in its own axes
// first about Y by b, then about X by a. No centre is added.
Vec3* vm_orbit_point(Vec3* out, const Vec3* axis, float a, float b, float distance);

// ---- distances and projections ----

// Squared distance from p to the infinite line through a and b (0 for a = b).
float vm_point_line_dist_sq(const Vec3* a, const Vec3* b, const Vec3* p);
float vm_point_ray_dist_sq(const Vec3* origin, const Vec3* direction, const Vec3* p);
// Foot of p on the line ab (a when a = b) and p - foot; 1 when the foot lies
// on the segment (ends included).
int vm_point_segment_foot(Vec3* out_offset, Vec3* out_foot, const Vec3* p, const Vec3* a,
                          const Vec3* b);
// Foot of p on the plane and the offset p - foot; returns out_foot.
Vec3* vm_plane_project_point(Vec3* out_offset, Vec3* out_foot, const Vec3* p, const Plane* plane);
// Side of c against a->b in the XZ plane: 0 positive, 2 negative, 1 on it.
int vm_xz_side(const Vec3* a, const Vec3* b, const Vec3* c);

// ---- overlap and hit tests (1 or 0) ----

int vm_sphere_overlap(const Vec3* c1, float r1, const Vec3* c2, float r2);  // touching counts
int vm_line_point_within(const Vec3* a, const Vec3* b, const Vec3* p, float radius);
int vm_segment_sphere_overlap(const Vec3* start, const Vec3* v, const Vec3* centre, float radius);
// First crossing of the segment with the sphere: parameter along v, point
// and outward normal (each output may be null).
int vm_ray_sphere_hit(const Vec3* start, const Vec3* v, const Vec3* centre, float radius,
                      float* out_t, Vec3* out_point, Vec3* out_normal);
// Front side only; tri is three consecutive points. Zero-area triangles miss.
int vm_ray_triangle_hit(Vec3* out_point, Vec3* out_normal, const Vec3* tri, const Vec3* start,
                        const Vec3* v);
// Contact point and depth value (table cosine of the penetration ratio times
// the radius); normal may be null (taken from the triangle).
int vm_sphere_triangle_hit(Vec3* out_contact, float* out_depth, const Vec3* tri, const Vec3* normal,
                           const Vec3* centre, float radius);
// Inclusive; the box corners may be given in either order.
int vm_segment_box_overlap(const Vec3* start, const Vec3* v, const Vec3* box_min,
                           const Vec3* box_max);
// Closest points of two capsule axes; 1 when the closest points of the lines
// lie within both segments (widened by the radii).
int vm_capsule_closest(float* out_dist, Vec3* out_p1, Vec3* out_p2, const Vec3* start1,
                       const Vec3* v1, float r1, const Vec3* start2, const Vec3* v2, float r2);

// ---- interpolation ----

// Cubic Hermite curve, t clamped to [0, 1].
Vec3* vm_vec3_hermite(Vec3* out, const Vec3* p0, const Vec3* m0, const Vec3* p1, const Vec3* m1,
                      float t);
// Spherical interpolation of direction, linear of length.
Vec3* vm_vec3_slerp(Vec3* out, const Vec3* a, const Vec3* b, float t);

// The 2D side of the maths library: the affine Mat3x2 that places sprites,
// text and vector animations, 2D vector operations, line and segment
// intersections, and the overlap tests of the 2D draw objects (separating
// axes on oriented rectangles). Output first, may alias any input; no state.
//
// An oriented rectangle is four Vec2 corners laid out as a sprite quad: c0 to
// c1 one edge, c1 to c3 the adjacent edge, c2 opposite c1; the outline runs
// 0, 1, 3, 2. Touching counts as overlapping in every test.
#pragma once

#include "math/vm_types.h"

// ---- 2D affine matrices ----

Mat3x2* vm_mat3x2_identity(Mat3x2* out);
Mat3x2* vm_mat3x2_translation(Mat3x2* out, const Vec2* t);
Mat3x2* vm_mat3x2_translate(Mat3x2* out, const Mat3x2* m, const Vec2* t);  // move in m's frame
Mat3x2* vm_mat3x2_rotation(Mat3x2* out, const Vec2* pos, float angle);     // (c, -s, s, c, pos)
Mat2* vm_mat2_rotation(Mat2* out, float angle);                            // (c, s, -s, c)
Mat3x2* vm_mat3x2_scale(Mat3x2* out, const Mat3x2* m, const Vec2* s);      // output axes
Mat3x2* vm_mat3x2_shear(Mat3x2* out, const Mat3x2* m, const Vec2* s);
Mat3x2* vm_mat3x2_mul(Mat3x2* out, const Mat3x2* a, const Mat3x2* b);  // b first
Vec2* vm_mat3x2_transform_point(Vec2* out, const Mat3x2* m, const Vec2* p);
Mat3x2* vm_mat3x2_inverse(Mat3x2* out, const Mat3x2* m);              // det 0 copies m
Mat3x2* vm_mat3x2_rotate(Mat3x2* out, const Mat3x2* m, float angle);  // in m's frame

// ---- 2D vectors ----

Vec2* vm2_set(Vec2* out, float x, float y);
Vec2* vm2_sub(Vec2* out, const Vec2* a, const Vec2* b);
float vm2_dot(const Vec2* a, const Vec2* b);
float vm2_cross(const Vec2* a, const Vec2* b);  // a.x*b.y - a.y*b.x
Vec2* vm2_normalize(Vec2* out, const Vec2* v);  // zero stays zero
float vm2_length_cut(const Vec2* v);            // "cut": 0 below 1e-10 squared
float vm2_length_sq_cut(const Vec2* v);
float vm2_dist_cut(const Vec2* a, const Vec2* b);
float vm2_dist_sq(const Vec2* a, const Vec2* b);

// ---- tests and intersections ----

float vm2_point_line_dist(const Vec2* a, const Vec2* b, const Vec2* p);  // 0 for a = b
int vm2_side(const Vec2* a, const Vec2* b,
             const Vec2* c);  // 0 left (positive), 2 right, 1 on the line
int vm2_line_crosses(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d);
int vm2_segments_cross(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d);
int vm2_segments_touch(const Vec2* a, const Vec2* b, const Vec2* c, const Vec2* d);
// Infinite lines; parallel gives out = a1 and 0.
int vm2_line_intersect(Vec2* out, const Vec2* a1, const Vec2* a2, const Vec2* b1, const Vec2* b2);
// Lines by slopes; 1 when the point lies on both segments, parallel gives (0, 0) and 0.
int vm2_segment_intersect(Vec2* out, const Vec2* a1, const Vec2* a2, const Vec2* b1,
                          const Vec2* b2);
// Foot of p on line ab; 1 when it lies between a and b.
int vm2_perp_foot(Vec2* out, const Vec2* a, const Vec2* b, const Vec2* p);
int vm2_segment_circle(const Vec2* centre, float radius, const Vec2* a, const Vec2* b);

int vm_geom2d_rect_vs_point(const Vec2 rect[4], const Vec2* point);
int vm_geom2d_circle_vs_rect(const Vec2 rect[4], const Vec2* centre, float radius);
// The segment counts as a box of half thickness 0.01.
int vm_geom2d_rect_vs_segment(const Vec2 rect[4], const Vec2* a, const Vec2* b);
int vm_geom2d_rect_vs_rect(const Vec2 rect1[4], const Vec2 rect2[4]);

// Natural cubic spline through 2 to 8 samples with increasing xs; 0 outside
// the samples or for bad input.
float vm_spline_eval(const float* xs, const float* ys, int count, float x);

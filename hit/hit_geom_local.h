// hit/hit_geom_local: the triangle tests of hit_geom.cpp, as the set tests
// apply them; only that file and the checks of every triangle of a set (tests,
// benchmarks) include it.
#pragma once

#include "hit/hit_geom.h"

int hit_tri_segment(const HitTri& tri, const Vec3& origin, const Vec3& vec, float* out_t);
// Sphere-triangle contact: the foot on the face, else the nearest point of
// the nearest edge within the radius; the weight is radius x cos(distance /
// radius x pi/2) (table cosine; a radius of 0 gives weight 0).
int hit_tri_sphere(const HitTri& tri, const Vec3& centre, float radius, Vec3* out_contact,
                   float* out_weight);
// The ground probe's own horizontal test before the segment test.
int hit_tri_ground(const HitTri& tri, const Vec3& point, float* out_t);

// hit/hit_geom: the tests of one collision set (a "COLL" chunk): the vertical
// ground probe, the segment test, the movement test with contact details and
// the sphere-contact test, each through the set's grid, layered bounding
// hierarchy and shared-triangle list.
//
// A set is read once into a prepared form (`CollGeom`): every record decoded
// and checked against the chunk, the variable-length hierarchy nodes indexed,
// and an index from leaf boxes to the shared triangles that lie in them. The
// per-query candidate lists grow to the set's widest layer, so no candidate
// is ever dropped. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "math/vm_types.h"
#include "res/chunk.h"

struct ResDataInfo;

struct HitTri {
    Vec3 c[3];
    Vec3 normal;
    Vec3 sphere_centre;
    float radius;
    uint32_t face;
};

// A leaf box or a hierarchy node: its box, its sphere and a range of items
// (triangles of a leaf box, child indices of a node).
struct HitBounds {
    Vec3 centre, half;
    Vec3 sphere_centre;
    float radius;
    uint32_t first, count;
};

struct HitShared {
    HitTri tri;
    uint32_t first_box, box_count;  // range in CollGeom::shared_boxes
};

struct CollGeom {
    uint32_t div[3];
    Vec3 box_min, box_max;
    Vec3 sphere_centre;
    float sphere_radius;
    float origin_radius;  // radius about the set's origin (hit targets use it)
    std::vector<HitBounds> boxes;
    std::vector<HitTri> tris;
    std::vector<HitShared> shared;
    std::vector<uint32_t> shared_boxes;
    std::vector<std::vector<HitBounds>> layers;  // lowest first
    std::vector<uint32_t> children;
    // Shared triangles per leaf box, ascending: box i owns
    // box_shared[box_shared_first[i] .. box_shared_first[i + 1]).
    std::vector<uint32_t> box_shared_first, box_shared;
};

// Decodes and checks a collision chunk; false (out left empty) for a bad one.
bool hit_geom_build(ByteSpan chunk, CollGeom& out);
// The prepared form of a registered collision entry, built on first use and
// kept while the entry stays the same registration; null for a bad entry.
const CollGeom* hit_geom_of(const ResDataInfo* entry);

// The nearest hit of one test. The fraction runs along the query (segment
// tests) or is the contact weight (sphere test); the normal is in world space.
struct HitGeomHit {
    float t;
    Vec3 point;
    Vec3 normal;
    uint32_t face;
    Vec3 corners[3];            // movement test: the triangle, world space
    Vec3 box_centre, box_half;  // movement test: the leaf box, world space
};

// Each answers 1 with the nearest hit in out, 0 without a hit (a singular
// world matrix gives none). The world matrix may be null (identity).
int hit_coll_ground(const CollGeom& set, const Mat44* world, const Vec3* point, HitGeomHit* out);
int hit_coll_ray(const CollGeom& set, const Mat44* world, const Vec3* origin, const Vec3* vec,
                 HitGeomHit* out);
int hit_coll_sweep(const CollGeom& set, const Mat44* world, const Vec3* start, const Vec3* move,
                   HitGeomHit* out);
// out->t is the contact weight, out->point the contact.
int hit_coll_sphere(const CollGeom& set, const Mat44* world, const Vec3* centre, const Vec3* dir,
                    float radius, HitGeomHit* out);
// The segment against one sphere: the first crossing with 0 <= t <= 1 (a
// start inside the sphere meets it at t = 0); the face value is 0.
int hit_coll_sphere_ray(const Vec3* centre, float radius, const Vec3* origin, const Vec3* vec,
                        HitGeomHit* out);

constexpr float HIT_GROUND_DEPTH = 10000.0f;

// hit/hit: the hit-check system. Objects register hit targets (a collision
// set or a plain sphere placed by the owner's world matrix); queries over
// every target answer at once which target a probe, segment, movement or
// sphere meets nearest; registered rays are resolved once a frame by
// `hit_frame`, which leaves results on the ray and on the target it met and
// calls the ray's callback in the same frame. The display drives the start,
// stop, reset and frame hooks. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit_geom.h"
#include "math/vm_types.h"
#include "res/res.h"

using HitOwnerId = uint16_t;  // 1 to 65535
using HitGroup = uint32_t;    // HIT_ANY_GROUP in a query matches every group

constexpr int HIT_TARGETS = 8192;
constexpr int HIT_RESULTS = 512;
constexpr int HIT_RAYS = 128;
constexpr HitGroup HIT_ANY_GROUP = 0xFFFFFFFFu;

// Target flags.
constexpr uint32_t HIT_IN_USE = 1u << 0;
constexpr uint32_t HIT_HITTABLE = 1u << 1;  // every query and the ray pass need it
constexpr uint32_t HIT_GROUND = 1u << 2;    // the ground query needs it as well
constexpr uint32_t HIT_WAS_HIT = 1u << 3;   // met by a ray this frame
constexpr uint32_t HIT_OWN_CENTRE = 1u << 4;

// Ray flags: bit 0 in use, bit 1 hit this frame, bits 2-3 frames to live
// (0 = until released).
constexpr uint32_t HIT_RAY_IN_USE = 1u << 0;
constexpr uint32_t HIT_RAY_WAS_HIT = 1u << 1;
constexpr uint32_t HIT_RAY_LIFE_SHIFT = 2;
constexpr uint32_t HIT_RAY_LIFE_MASK = 3u << HIT_RAY_LIFE_SHIFT;

// Caller words (names, user values) may hold pointers.
using HitWord = uintptr_t;

struct HitResult {
    Vec3 point;
    Vec3 normal;
    uint32_t face;
    HitWord a, b, name, user;  // see hit_frame
    HitResult* chain_next;     // next result of the same target or ray
    HitResult *prev, *next;    // the pool's lists
};

struct HitTarget {
    uint32_t flags;
    HitOwnerId owner;
    HitWord name;  // the collision set's name (a const char*) or a caller's word
    HitWord user;
    HitGroup group;
    uint32_t result_count;
    HitResult* results;
    Vec3 centre;  // in the owner's frame, with HIT_OWN_CENTRE
    float radius;
    const Mat44* world;       // null: identity
    const ResDataInfo* coll;  // null: a plain sphere
    ResHandle coll_handle;    // the set's handle (debug draws find its mesh by it); 0: a sphere
    HitTarget* chain;         // released together with this one
    HitTarget *prev, *next;
};

struct HitRay;
using HitRayCallback = void (*)(HitResult* results, HitTarget* nearest);

struct HitRay {
    uint32_t flags;
    Vec3 origin;
    Vec3 vec;  // the segment runs from origin to origin + vec
    float length;
    float nearest_t;  // 1e7 when nothing was met
    HitGroup group;
    HitWord user1, user2;
    uint32_t result_count;
    HitResult* results;
    HitRayCallback callback;
    HitTarget* nearest;
    HitRay *prev, *next;
};

// ---- hooks ---------------------------------------------------------------------------------
void hit_init();
void hit_term();
void hit_pool_reset();  // display reset
void hit_reset();       // scene clear
void hit_frame();

HitOwnerId hit_next_id();

// ---- targets -------------------------------------------------------------------------------
// Null for an invalid handle or a full pool. name null: the set's own name.
HitTarget* hit_target_add_model(ResHandle coll, const Mat44* world, HitGroup group,
                                HitOwnerId owner, const char* name, HitWord user);
HitTarget* hit_target_add_sphere(const Vec3* centre, float radius, const Mat44* world,
                                 HitGroup group, HitOwnerId owner, HitWord name, HitWord user);
void hit_target_set_model(HitTarget* t, ResHandle coll, HitGroup group, const char* name,
                          HitWord user);
void hit_target_set_sphere(HitTarget* t, const Vec3* centre, float radius, HitGroup group,
                           HitWord name, HitWord user);
// Releasing t releases the target chained to it as well.
void hit_target_set_chain(HitTarget* t, HitTarget* chained);
void hit_target_release(HitTarget* t);
HitResult* hit_target_result_at(const HitTarget* t, uint32_t n);
int hit_target_count();
int hit_result_count();
int hit_ray_count();

// ---- queries over every target -------------------------------------------------------------
// Each answers 1 when something was met and writes only the outputs given.
// Targets of the caller's own owner id are skipped; group HIT_ANY_GROUP
// matches every target, any other value only targets of that group word.
int hit_ground_below(const Vec3* point, float* out_height, Vec3* out_normal, uint32_t* out_face,
                     HitOwnerId owner, HitGroup group);
int hit_ray_nearest(const Vec3* origin, const Vec3* vec, Vec3* out_point, Vec3* out_normal,
                    uint32_t* out_face, HitOwnerId owner, HitGroup group);
int hit_ray_fraction(const Vec3* origin, const Vec3* vec, float* out_t, Vec3* out_normal,
                     uint32_t* out_face, HitOwnerId owner, HitGroup group);
// out_corners: 9 floats, out_box: centre then half-size (6 floats).
int hit_sweep_nearest(const Vec3* start, const Vec3* move, Vec3* out_point, Vec3* out_normal,
                      uint32_t* out_face, float* out_corners, float* out_box, HitOwnerId owner,
                      HitGroup group);
int hit_sphere_nearest(const Vec3* centre, const Vec3* dir, float radius, Vec3* out_point,
                       Vec3* out_normal, uint32_t* out_face, HitOwnerId owner, HitGroup group);

// ---- tests against one collision entry (no targets) ----------------------------------------
int hit_ray_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* origin,
                    const Vec3* vec, Vec3* out_point, Vec3* out_normal, uint32_t* out_face);
int hit_ray_fraction_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* origin,
                             const Vec3* vec, float* out_t, Vec3* out_normal, uint32_t* out_face);
// out_slide: the end of the move projected onto the plane of the triangle met.
int hit_sweep_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* start,
                      const Vec3* move, Vec3* out_point, Vec3* out_slide, Vec3* out_normal,
                      uint32_t* out_face);
int hit_sphere_vs_coll(const ResDataInfo* coll, const Mat44* world, const Vec3* centre,
                       float radius, Vec3* out_point, float* out_weight, Vec3* out_normal,
                       uint32_t* out_face);

// ---- rays ----------------------------------------------------------------------------------
// Null when all are in use. A ray without a callback lives until released; one
// with a callback is resolved by the next hit_frame and released by the one after.
HitRay* hit_ray_add(const Vec3* origin, const Vec3* vec, float length, HitGroup group,
                    HitWord user1, HitWord user2);
HitRay* hit_ray_add_callback(const Vec3* origin, const Vec3* vec, float length, HitGroup group,
                             HitWord user1, HitRayCallback callback, HitWord user2);
void hit_ray_set(HitRay* r, const Vec3* origin, const Vec3* vec, float length, HitWord user1,
                 HitWord user2, HitGroup group);
void hit_ray_set_callback(HitRay* r, HitRayCallback callback);
void hit_ray_release(HitRay* r);
int hit_ray_was_hit(const HitRay* r);
// The n-th active ray whose nearest target is t.
HitRay* hit_ray_by_target(const HitTarget* t, uint32_t n);

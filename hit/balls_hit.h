// hit/balls_hit: the hit-sphere pool. Objects carry sets of collision spheres
// that follow an owner's world matrix; every frame each pair of objects whose
// groups and masks select each other is tested, the groups each touched are
// recorded for that frame, and overlapping objects are pushed apart by
// weight. Three nearest-hit queries (triangle, collision set, sphere) run
// against all objects. The display drives the hooks. Main thread only.
//
// Group word: bits 0-29 the groups; bit 30 takes part in contact but never
// pushes nor is pushed; bit 31 may be pushed.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "res/res.h"

constexpr int BALLS_HIT_OBJECTS = 768;
constexpr int BALLS_HIT_SPHERES = 2304;
constexpr uint32_t BALLS_HIT_GROUP_BITS = 0x3FFFFFFFu;
constexpr uint32_t BALLS_HIT_NO_PUSH = 1u << 30;
constexpr uint32_t BALLS_HIT_PUSHABLE = 1u << 31;
constexpr float BALLS_HIT_WEIGHT = 50.0f;

struct BallsHitObject;

struct BallsHitSphere {
    Vec3 local;
    Vec3 world;
    float radius;
    float reach;            // |local| + radius
    const Mat44* owner;     // null: the world centre is the local centre
    const Vec3* owner_pos;  // the owning object's position
    BallsHitSphere *prev, *next;
};

struct BallsHitObject {
    uint32_t flags;  // bit 0 in use
    uint32_t group;
    uint32_t mask;
    uint32_t hit_bits;  // groups touched this frame
    const ResDataInfo* set;
    const Mat44* owner;  // null: the position set by balls_hit_set_pos
    Vec3 pos;
    Vec3 push;  // sum of this frame's pushes
    float weight;
    float radius;
    uint32_t sphere_count;
    BallsHitSphere* spheres;  // chained through next
    BallsHitObject *prev, *next;
};

// ---- hooks ---------------------------------------------------------------------------------
void balls_hit_boot();   // display start
void balls_hit_clear();  // display reset
void balls_hit_reset();  // display stop
void balls_hit_renew();  // scene clear
void balls_hit_frame();

// ---- objects -------------------------------------------------------------------------------
// Null when all objects are in use. Without enough free spheres the object
// is made without spheres (tested by its position and radius).
BallsHitObject* balls_hit_create(const ResDataInfo* set, const Mat44* owner, uint32_t group,
                                 uint32_t mask, float radius);
BallsHitObject* balls_hit_create_from_handle(ResHandle shit, const Mat44* owner, uint32_t group,
                                             uint32_t mask);
void balls_hit_free(BallsHitObject* obj);
int balls_hit_get_result(const BallsHitObject* obj, Vec3* out_push, uint32_t* out_bits);
void balls_hit_set_pos(BallsHitObject* obj, const Vec3* pos);
int balls_hit_any(uint32_t unused, uint32_t bits);
int balls_hit_count();
int balls_hit_sphere_count();

// ---- nearest-hit queries -------------------------------------------------------------------
// mask: bits 0-29 must share a bit with an object's groups; per_sphere: test
// each sphere, else the object's position and radius.
int balls_hit_triangle(const Vec3 tri[3], const Vec3* normal, Vec3* out_contact, float* out_depth,
                       uint32_t mask, int per_sphere);
int balls_hit_coll(ResHandle coll, const Mat44* coll_world, Vec3* out_contact, float* out_weight,
                   Vec3* out_normal, uint32_t* out_face, uint32_t mask, int per_sphere);
int balls_hit_sphere_query(const Vec3* centre, float radius, Vec3* out_point, uint32_t mask,
                           int per_sphere);

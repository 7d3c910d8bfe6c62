// hit/hitcyl: collision volumes, upright cylinders that follow a parent
// matrix, find each other by group and mask, record the groups they touched
// this frame, push each other apart on the horizontal plane by weight, and
// can be kept inside six boundary planes (by default the view frustum of
// screen 0). The display drives the hooks; the pass runs after the hit-sphere
// pass. Main thread only.
//
// Group word: bits 0-29 the groups; bit 30 takes part in contact but never
// pushes nor is pushed; bit 31 may be pushed.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

constexpr int HITCYL_CYLINDERS = 128;
constexpr uint32_t HITCYL_IN_USE = 1u << 0;
constexpr uint32_t HITCYL_KEEP_INSIDE = 1u << 1;  // pushed back inside the boundary planes

struct HitCylinder {
    uint32_t flags;
    uint32_t group;
    uint32_t mask;
    uint32_t hit_bits;  // groups touched this frame
    const Mat44* parent;
    Vec3 pos;   // world centre: parent x offset, then moved by pushes
    Vec3 push;  // sum of this frame's pushes (x and z)
    Vec3 offset;
    float radius;
    float half_height;
    float weight;
    HitCylinder *prev, *next;
};

// ---- hooks ---------------------------------------------------------------------------------
void hitcyl_init();        // display start
void hitcyl_pool_reset();  // display reset
void hitcyl_release();     // scene clear
void hitcyl_term();        // display stop
void hitcyl_frame();

// ---- volumes -------------------------------------------------------------------------------
HitCylinder* hitcyl_create(const Mat44* parent, float radius, float half_height, const Vec3* offset,
                           uint32_t group, uint32_t mask);
void hitcyl_free(HitCylinder* v);
// 1 when the volume touched anything this frame.
int hitcyl_get_result(const HitCylinder* v, Vec3* out_push);
// The groups the volume touched this frame (0 for null).
uint32_t hitcyl_get_hit_bits(const HitCylinder* v);
// Sets or clears the keep-inside bit.
void hitcyl_set_keep_inside(HitCylinder* v, int on);
int hitcyl_count();
// With parameters: the boundary is the frustum of that projection with screen
// 0's view; null: screen 0's own frustum.
void hitcyl_set_view(const ProjParams* params);

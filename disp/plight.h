// disp/plight: point lights, coloured spheres of light that game code puts
// in the scene. A fixed pool of 128, each owned by a resource group, with an
// optional per-frame update callback, optionally released at the end of the
// frame. Each frame the lights are culled against both screens' cull
// frusta; the 3D pass then asks per object for the nearest lights that
// reach it (at most 4 for a mesh), and the shader library uploads them.
//
// Main thread. The draw-object manager's reset calls plight_pool_reset; the
// display frame calls plight_frame before drawing, plight_cull after the draw
// list is built, and plight_release_1f at the frame's end; the group release
// calls plight_kill_owner.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

// ---- capacities ------------------------------------------------------------------

inline constexpr int PLIGHT_POOL = 128;
inline constexpr int PLIGHT_SCREENS = 2;

// Flags.
inline constexpr uint32_t PLIGHT_ACTIVE = 1u << 0;
inline constexpr uint32_t PLIGHT_SHOWN = 1u << 1;  // debug view draws it in its colour
inline constexpr uint32_t PLIGHT_END_OF_FRAME = 1u << 2;
inline constexpr int PLIGHT_PRIORITY_SHIFT = 8;  // bits 8..15, lower chosen first
inline constexpr uint32_t PLIGHT_PRIORITY_MASK = 0xFFu << PLIGHT_PRIORITY_SHIFT;
inline constexpr uint32_t PLIGHT_DEFAULT_PRIORITY = 127;

// ---- value types -----------------------------------------------------------------

struct PointLight;
using PlightUpdateFn = int (*)(PointLight* light);  // nonzero: release the light
using PlightReleaseFn = void (*)(PointLight* light);

// Callers set the priority, group mask, position, callbacks and the shown
// bit by writing the fields.
struct PointLight {
    uint32_t flags;
    uint32_t sort_key;    // selection scratch: priority << 16 | distance rank
    uint32_t group_mask;  // an object takes only lights sharing a bit with its mask
    uint32_t owner;       // resource group id
    Vec3 pos;             // world
    float range;
    float scale;     // 1.0 at creation; not read by the display
    float range_sq;  // refreshed by the cull
    float distance;  // selection scratch
    float intensity;
    float color_f[4];  // (r, g, b) / 255 x intensity, a / 255; refreshed each frame
    uint32_t color;    // 0xAARRGGBB
    uint32_t user[8];  // zero at creation; not read by the display
    PlightUpdateFn update;
    PlightReleaseFn release;
    PointLight* prev;
    PointLight* next;
};

// ---- start, per frame ------------------------------------------------------------

// Clears the pool and links the 128 lights into the free list in pool order.
void plight_pool_reset();
// Per frame before drawing: update callbacks, colour floats, releases.
void plight_frame();
// Per frame after the draw list is built: each screen's visible list.
void plight_cull();
// At the end of the frame: frees every light marked for it.
void plight_release_1f();
// The debug view's flag (drawn by plight_debug_draw, objx/plight_debug.h).
void plight_set_debug(int on);

// ---- commands --------------------------------------------------------------------

// Null when all 128 are in use. pos may be null (the light stays at 0).
PointLight* plight_create(uint32_t owner, const Vec3* pos, float range, uint32_t color,
                          float intensity);
PointLight* plight_create_1f(uint32_t owner, const Vec3* pos, float range, uint32_t color,
                             float intensity);
void plight_set_1f(PointLight* light);
// Null or an already free light: nothing.
void plight_free(PointLight* light);
// Frees every active light of the owner; owner 0 frees nothing.
void plight_kill_owner(uint32_t owner);
// Refreshes the colour floats from colour and intensity.
void plight_update_color(PointLight* light);

// ---- queries ---------------------------------------------------------------------

// The lights of the screen's visible list that reach the sphere (point,
// radius) and share a bit with group_mask, lowest priority value first and
// nearest first within a priority; at most max_count written to out.
int plight_select_for_point(PointLight** out, int max_count, int screen, const Vec3* point,
                            float radius, uint32_t group_mask);
int plight_get_count();
int plight_visible_count(int screen);
PointLight* plight_visible(int screen, int i);  // null outside the list
int plight_debug_enabled();
// The newest active light; the others follow through `next`.
PointLight* plight_first_active();

// obj3d/obj3d_hit: what the 3D object types share about their hit targets.
// An object keeps one target (model, mesh list, attachment, primitive list)
// or a chain of them in bone order (motion object); results are summed and
// counted along the chain, bits are switched on every target of it, and the
// debug draw shows each target. Main thread only.
#pragma once

#include <cstdint>

#include "hit/hit.h"
#include "math/vm_types.h"

struct DrawObj;
using ResGroupId = uint32_t;

constexpr uint32_t OBJ3D_HIT_DEBUG_HITTABLE = 0x8000FFFFu;
constexpr uint32_t OBJ3D_HIT_DEBUG_OFF = 0x80FF0000u;

// Re-points *slot, or makes a new target on the owner matrix with a fresh
// owner id; a new one has its ground bit as ground_on.
void obj3d_hit_set_model(HitTarget** slot, const Mat44* owner, ResHandle coll, HitGroup group,
                         int ground_on);
void obj3d_hit_set_sphere(HitTarget** slot, const Mat44* owner, const Vec3* centre, float radius,
                          HitGroup group, int ground_on);
// The collision model while its on-screen size is large enough, else a
// sphere of the radius that keeps min_screen pixels (vm_proj_min_world_size).
void obj3d_hit_set_auto(HitTarget** slot, const Mat44* owner, int view, const Mat44* world,
                        ResHandle coll, const Vec3* centre, float min_screen, HitGroup group);
void obj3d_hit_set_sphere_scaled(HitTarget** slot, const Mat44* owner, int view, const Mat44* world,
                                 float radius, const Vec3* centre, float min_screen,
                                 HitGroup group);
void obj3d_hit_release(HitTarget** slot);  // the whole chain

uint32_t obj3d_hit_result_count(const HitTarget* chain);
// The n-th result of the chain (point, normal, face, a, b, name, user; the
// links cleared); 0 when there is none.
int obj3d_hit_result(const HitTarget* chain, uint32_t n, HitResult* out);
void obj3d_hit_set_bits(HitTarget* chain, uint32_t bits, int on);
// The single-target types' hittable switch: the hittable bit as given, the
// ground bit cleared.
void obj3d_hit_set_hittable(HitTarget* chain, int on);
int obj3d_hit_count(const HitTarget* chain);
HitTarget* obj3d_hit_at(HitTarget* chain, int n);
// The first target whose name word is the given string; null for a null name.
HitTarget* obj3d_hit_by_name(HitTarget* chain, const char* name);

// Each target of the chain: a sphere as a debug sphere, a collision set as
// its triangles or, with as_model, as a one-frame model of the mesh of the
// same group and name; cyan when hittable, else red.
void obj3d_hit_debug_draw(ResGroupId group, const HitTarget* chain, int as_model);

// Every use of the macros below has the names it makes written out beside it,
// so that a search for a name finds its declaration and its definition.

// The release, result and target getters of a type whose work (reached by the
// accessor W, null for another type) keeps its target in `hit`.
#define OBJ3D_HIT_DECLARE(P)                                                                       \
    void P##_hit_release(DrawObj* obj);                                                            \
    uint32_t P##_hit_result_count(DrawObj* obj);                                                   \
    int P##_hit_result(DrawObj* obj, uint32_t n, HitResult* out);                                  \
    HitOwnerId P##_hit_id(DrawObj* obj);                                                           \
    HitTarget* P##_get_hit(DrawObj* obj);

#define OBJ3D_HIT_DEFINE(P, W)                                                                     \
    void P##_hit_release(DrawObj* obj)                                                             \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_release(&w->hit);                                          \
    }                                                                                              \
    uint32_t P##_hit_result_count(DrawObj* obj)                                                    \
    {                                                                                              \
        auto* w = W(obj);                                                                          \
        return w ? obj3d_hit_result_count(w->hit) : 0;                                             \
    }                                                                                              \
    int P##_hit_result(DrawObj* obj, uint32_t n, HitResult* out)                                   \
    {                                                                                              \
        auto* w = W(obj);                                                                          \
        return w ? obj3d_hit_result(w->hit, n, out) : 0;                                           \
    }                                                                                              \
    HitOwnerId P##_hit_id(DrawObj* obj)                                                            \
    {                                                                                              \
        auto* w = W(obj);                                                                          \
        return w && w->hit ? w->hit->owner : 0;                                                    \
    }                                                                                              \
    HitTarget* P##_get_hit(DrawObj* obj)                                                           \
    {                                                                                              \
        auto* w = W(obj);                                                                          \
        return w ? w->hit : nullptr;                                                               \
    }

// The target setters, switches and debug draw of a type (the model and the
// attachment objects) whose work keeps one target in `hit`, owned by its
// matrix field M; new targets start switched off.
#define OBJ3D_HIT_DEFINE_MATRIX_TARGET(P, W, M)                                                    \
    void P##_set_hit(DrawObj* obj, ResHandle coll, HitGroup group)                                 \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_set_model(&w->hit, &w->M, coll, group, 0);                 \
    }                                                                                              \
    void P##_set_hit_sphere(DrawObj* obj, const Vec3* centre, float radius, HitGroup group)        \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_set_sphere(&w->hit, &w->M, centre, radius, group, 0);      \
    }                                                                                              \
    void P##_set_hit_auto(DrawObj* obj, int view, const Mat44* world, ResHandle coll,              \
                          const Vec3* centre, float min_screen, HitGroup group)                    \
    {                                                                                              \
        if (auto* w = W(obj))                                                                      \
            obj3d_hit_set_auto(&w->hit, &w->M, view, world, coll, centre, min_screen, group);      \
    }                                                                                              \
    void P##_set_hit_sphere_scaled(DrawObj* obj, int view, const Mat44* world, float radius,       \
                                   const Vec3* centre, float min_screen, HitGroup group)           \
    {                                                                                              \
        if (auto* w = W(obj))                                                                      \
            obj3d_hit_set_sphere_scaled(&w->hit, &w->M, view, world, radius, centre, min_screen,   \
                                        group);                                                    \
    }                                                                                              \
    void P##_hit_enable(DrawObj* obj, int on)                                                      \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_set_bits(w->hit, HIT_GROUND, on);                          \
    }                                                                                              \
    void P##_hit_set_hittable(DrawObj* obj, int on)                                                \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_set_hittable(w->hit, on);                                  \
    }                                                                                              \
    void P##_hit_debug_draw(DrawObj* obj, int as_model)                                            \
    {                                                                                              \
        if (auto* w = W(obj)) obj3d_hit_debug_draw(obj->group, w->hit, as_model);                  \
    }

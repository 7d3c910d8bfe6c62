// stage/stage_set: a stage mesh set turns the node trees (bone sets) of a
// loaded model group into draw objects. For one base name it tries a fixed
// table of name suffixes; each suffix names a bone set of the group, and the
// suffix's render flags decide whether its nodes become one merged mesh-list
// object or one model object per node, and how they are drawn. A small
// anchor table spawns one-frame objects from the nodes below a named anchor
// node, optionally posed by an animation frame. The set also keeps the
// group's wall collision for ray and sweep queries (the suffix rules and the
// set's record: stage_set_local.h). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/vm_types.h"
#include "disp/obj.h"
#include "obj3d/obj3d.h"
#include "res/res.h"

// Longest base, bone-set or node name the set builds (longer ones find nothing).
constexpr int STAGE_NAME_MAX = 127;

// A caller's hook for the nodes whose name matches the pattern ('#' a run of
// digits, '*' the rest of the name). A table ends with a null pattern.
struct StageNodeHook {
    const char* pattern;
    void (*create)(DrawObj* obj, ResHandle mesh, const char* node);
    ObjUpdateFn update;
    ObjReleaseFn release;
    void (*draw_param)(DrawParam* dp, ResHandle mesh, const char* node);  // merged nodes
};

ResGroupId stage_set_init();
void stage_set_release();
// Builds every main rule of the name's base from the resource group; the wall
// collision handle (0 when the group has none).
ResHandle stage_set_load(const char* group, const char* name, const StageNodeHook* hooks,
                         uint32_t extra);
// One-frame objects of the nodes below the anchor, in the bone sets group +
// "_zs" and group + "_z"; takes no rows, so it may run every frame.
void stage_set_load_z(uint32_t unused, const char* group, const char* anchor, uint32_t extra,
                      int frame);
ResGroupId stage_set_group();
DrawObj* stage_set_rule_object(const char* suffix);
uint32_t stage_set_count_plain();
uint32_t stage_set_count_merged();
uint32_t stage_set_count_alpha();
uint32_t stage_set_count_alpha_merged();
uint32_t stage_set_count_fix();
// Ray and sweep against the wall collision (no world matrix); 0 without a wall.
int stage_set_wall_ray(const Vec3* origin, const Vec3* vec, Vec3* out_point, Vec3* out_normal,
                       uint32_t* out_face);
int stage_set_wall_sweep(const Vec3* start, const Vec3* move, Vec3* out_contact,
                         Vec3* out_correction, Vec3* out_normal, uint32_t* out_face);

// ---- names (the stage module builds its own from them) ------------------------------------
// Bounded copy of a + b into out; 0 (out empty) when it does not fit.
int stage_name_join(char* out, size_t size, const char* a, const char* b);
// The name cut at its last (first) underscore into out (unchanged when it has
// none); 0 (out empty) when it does not fit or is null.
int stage_name_cut_last(char* out, size_t size, const char* name);
int stage_name_cut_first(char* out, size_t size, const char* name);

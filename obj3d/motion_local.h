// obj3d/motion_local: what the motion player's own files share, and nobody
// else includes but their white-box tests: the bone flags and controller
// modes, the bone-work and spring pools, sampling, the two-bone solver, the
// spring step, mirroring, and row access on matrices.
//
// Ownership: motion_pool.cpp owns the pool block (players, bone works,
// springs); motion.cpp poses the players, samples and mirrors;
// motion_ctrl.cpp runs the bone controllers; motion_spring.cpp steps the
// spring chains.
#pragma once

#include <cstddef>
#include <cstdint>

#include "obj3d/motion.h"

// A bone's channel byte when it has none in the motion.
constexpr uint8_t MOTION_NO_CHANNEL = 255;

// Bone flags.
constexpr uint32_t MOTION_BW_CHAIN_MASK = 0xFFu;
constexpr int MOTION_BW_MODE_SHIFT = 8;  // bits 8-10
constexpr uint32_t MOTION_BW_MODE_MASK = 7u << MOTION_BW_MODE_SHIFT;
constexpr uint32_t MOTION_BW_WORLD_DONE = 1u << 11;
constexpr uint32_t MOTION_BW_NO_UP = 1u << 12;
constexpr uint32_t MOTION_BW_SPRING = 1u << 13;

// A bone's controller for the next update (bone flags bits 8-10).
enum BoneCtrlMode : uint32_t {
    MOTION_CTRL_NONE,
    MOTION_CTRL_REACH,
    MOTION_CTRL_AIM,
    MOTION_CTRL_BLEND,
    MOTION_CTRL_BLEND_WORLD
};

struct BoneSpring {
    Vec3 pos, prev_pos, vel;
    float rest;  // distance to the parent's world position
    BoneSpring *prev, *next;
};

// --- pools -------------------------------------------------------------------------
void motion_player_clear(MotionPlayer* p);  // bone works back, record zeroed
void motion_player_reset(MotionPlayer* p);
// n linked, reset records, or null when fewer than n are free.
BoneWork* bone_work_alloc(int n, BoneWork** out_last);
void bone_work_free(BoneWork* first);
BoneWork* bone_work_at(BoneWork* first, int i);
int bone_work_count();
BoneSpring* bone_spring_alloc();
void bone_spring_free(BoneSpring* s);
int bone_spring_count();

// --- sampling ----------------------------------------------------------------------
// Adds or subtracts (hi + 1 - lo) until lo <= v <= hi; lo when the span is 1.
int64_t wrap_frame(int64_t v, int64_t lo, int64_t hi);
int anim_channel_index(ResHandle motion, const char* name, NameHash hash);
// The channel's matrix at key0, or interpolated toward key1 by fraction /
// 65536; identity for a missing motion or a channel out of range.
void anim_sample(const MotionPlayer* p, Mat44* out, uint32_t key0, uint32_t key1, uint32_t fraction,
                 int channel);

// --- controllers and springs -------------------------------------------------------
// Runs the bone's own controller request and clears it; true when its
// children must follow the new model-space matrix.
bool motion_run_controller(BoneWork* b, const Mat44* inv_root);
// The two-bone solver on model-space matrices (end, middle, top) toward a
// goal in model space; 0 and nothing changed for a degenerate chain.
int motion_solve_two_bone(Mat44* end, Mat44* mid, Mat44* top, const Vec3* goal);
void motion_spring_step(MotionPlayer* p, const Mat44* root, const Mat44* inv_root,
                        uint16_t owner_id);

// --- mirroring ---------------------------------------------------------------------
// 1 for a name with "_L_" (out: that L made R), 2 for "_R_", 0 otherwise (out
// untouched). out holds size bytes; a name that does not fit answers 0.
int mirror_bone_name(char* out, size_t size, const char* name);
void mirror_bone_matrix(Mat44* out, const Mat44* m, int is_root);

// --- matrix rows -------------------------------------------------------------------
inline Vec3 row3(const Mat44& m) { return {m.m[12], m.m[13], m.m[14]}; }
inline void set_row3(Mat44& m, const Vec3& v)
{
    m.m[12] = v.x;
    m.m[13] = v.y;
    m.m[14] = v.z;
}
inline Vec3 row(const Mat44& m, int r) { return {m.m[r * 4], m.m[r * 4 + 1], m.m[r * 4 + 2]}; }
inline void set_row(Mat44& m, int r, const Vec3& v)
{
    m.m[r * 4] = v.x;
    m.m[r * 4 + 1] = v.y;
    m.m[r * 4 + 2] = v.z;
    m.m[r * 4 + 3] = 0.0f;
}

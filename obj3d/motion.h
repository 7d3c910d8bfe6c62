// obj3d/motion: the skeletal motion player. A player poses a skeleton (a
// bone tree resource): it samples each node's channel of an animation at a
// 16.16 fixed-point frame, cross-fades from the previous pose, runs the bone
// controllers and spring chains requested for the update, and leaves per
// node a model-space, a world and (for a skinned mesh) a skinning matrix.
// Players, their per-bone records and the springs live in one block of
// fixed pools, cleared at display start. Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "res/name.h"
#include "res/res.h"

struct MeshBuffers;

constexpr int MOTION_PLAYERS = 256;
constexpr int MOTION_BONE_WORKS = 6400;
constexpr int MOTION_BONE_SPRINGS = 64;
constexpr uint32_t MOTION_ONE_FRAME = 0x10000;
// Bone and mesh-bone indices are bytes, 255 meaning none.
constexpr int MOTION_MAX_BONES = 254;

// Player flags.
constexpr uint32_t MOTION_MP_NODE_COUNT_MASK = 0xFFu;
constexpr int MOTION_MP_REF_FILTER_SHIFT = 8;  // bits 8-10
constexpr int MOTION_MP_MODES_SHIFT = 11;      // bits 11-15: mode m is bit 1 << (m - 1)
constexpr uint32_t MOTION_MP_LOOP = 1u << 16;
constexpr uint32_t MOTION_MP_FADED = 1u << 17;
constexpr uint32_t MOTION_MP_MIRROR = 1u << 18;
constexpr uint32_t MOTION_MP_REVERSE = 1u << 19;
constexpr uint32_t MOTION_MP_SPRING = 1u << 20;
constexpr uint32_t MOTION_MP_UPDATED = 1u << 21;
constexpr int MOTION_MP_REF_BONE_SHIFT = 24;  // bits 24-31, 255 = none

struct BoneSpring;

struct BoneWork {
    Mat44 world;      // row 3: the bone's world position
    Mat44 model;      // model space
    Mat44 skin;       // mesh bone offset x model space
    Mat44 fade_pose;  // model space when the running cross-fade began
    Mat44 ctrl;       // controller matrix (modes 3 and 4)
    Vec3 target, up;  // controller target (modes 1, 2) and up vector (mode 2)
    float weight;
    uint32_t flags;  // MOTION_BW_* (obj3d/motion_local.h)
    uint8_t channel, mirror_channel, mesh_bone;
    const char* name;  // inside the bone tree's stored data
    NameHash hash;
    BoneSpring* spring;
    BoneWork* parent;
    BoneWork *prev, *next;
};

struct MotionPlayer {
    ResHandle model;                          // bone tree
    ResHandle motion;                         // animation, 0 none
    uint32_t flags;                           // MOTION_MP_*
    uint32_t step, start, loop_start, frame;  // 16.16
    uint32_t loop_count;
    int32_t loop_limit;  // -1 endless
    uint32_t length;     // frames x 0x10000
    uint32_t fade_len, fade_left;
    Vec3 root_pos, prev_root_pos;
    const Mat44* ref_matrix;  // the bind matrix before the reference node, or null
    Mat44 ref_bind;           // its storage
    BoneWork *bones, *last_bone;
    const MeshBuffers* skin_mesh;
    MotionPlayer *prev, *next;
};

// --- pools ---------------------------------------------------------------------
// The bone-work and spring pools behind the players are the player's own
// (obj3d/motion_local.h).
void motion_pool_reset();             // display start, display reset and scene clear
void motion_pool_term();              // display stop
MotionPlayer* motion_player_alloc();  // null when all are in use
void motion_player_free(MotionPlayer* p);
int motion_player_count();

// --- control ---------------------------------------------------------------------
// 1 when the player had no motion before (a first motion does not fade).
int motion_player_set(MotionPlayer* p, ResHandle model, ResHandle motion);
// frame -1 advances by the step; owner_id keeps the ground probe off the
// owner's own hit targets.
void motion_player_update(MotionPlayer* p, const Mat44* root, int frame, const MeshBuffers* skin,
                          uint16_t owner_id, int no_fade);
void motion_set_loop(MotionPlayer* p, int on);
void motion_set_loop_limit(MotionPlayer* p, int n);
void motion_set_mirror(MotionPlayer* p, int on);
void motion_set_reverse(MotionPlayer* p, int on);
void motion_set_speed(MotionPlayer* p, float frames);
void motion_set_fade(MotionPlayer* p, int n);
void motion_start_fade(MotionPlayer* p);
void motion_set_frame(MotionPlayer* p, uint32_t frame_16_16);
int motion_is_playing(const MotionPlayer* p, int loops);
int motion_is_playing_limit(const MotionPlayer* p);
int motion_at_start(const MotionPlayer* p);
int motion_at_end(const MotionPlayer* p);
int motion_ref_bone(const MotionPlayer* p);  // 255 none
// The reference bone's sampled local matrix (mirrored when mirroring) times
// the reference matrix; identity without a reference bone.
void motion_ref_matrix(const MotionPlayer* p, Mat44* out);
void motion_root_delta(const MotionPlayer* p, Vec3* out);
int motion_bone_index(const MotionPlayer* p, const char* name);
const char* motion_bone_name(const MotionPlayer* p, int i);
BoneWork* motion_bone_world(MotionPlayer* p, int i, const Mat44* root, int force);
BoneWork* bone_work_by_name(const MotionPlayer* p, const char* name, NameHash hash);
int motion_node_count(const MotionPlayer* p);

// --- controllers and springs -------------------------------------------------------
// Each answers 0 for a bone index out of range, else 1.
int motion_ctrl_reach(MotionPlayer* p, int i, const Vec3* target, float weight, int chain);
int motion_ctrl_aim(MotionPlayer* p, int i, const Vec3* target, const Vec3* up, float weight);
int motion_ctrl_blend(MotionPlayer* p, int i, const Mat44* m, float weight);
int motion_ctrl_blend_world(MotionPlayer* p, int i, const Mat44* m, float weight);
int motion_node_enable_spring(MotionPlayer* p, const char* node, int on);

// obj3d/motion_local: what the motion player's own files share, and nobody
// else includes: row access on matrices, and the bone controllers' entry
// point for the pose walk.
//
// Ownership: motion_pool.cpp owns the pool block (players, bone works,
// springs); motion.cpp poses the players; motion_ctrl.cpp runs the bone
// controllers; motion_spring.cpp steps the spring chains.
#pragma once

#include "obj3d/motion.h"

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

// Runs the bone's own controller request and clears it; true when its
// children must follow the new model-space matrix.
bool motion_run_controller(BoneWork* b, const Mat44* inv_root);

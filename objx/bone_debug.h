// objx/bone_debug: skeletons drawn as one-frame 3D lines: a bone tree
// (res_bone_debug_draw, named with the resource manager whose bone trees it
// reads) and a motion object's skeleton. It makes 3D objects, so it sits
// above the 3D object types, apart from the resource manager.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "res/res.h"

struct DrawObj;
struct MotionPlayer;
using ResGroupId = uint32_t;

// From each node a line to each child (red at the parent, green at the
// child) and its three axes 0.1 long (red, green, blue). The nodes are
// placed by the tree's bind matrices under the root matrix, or by the
// motion's bone works when one is given. The label flag shows nothing.
// The number of lines made (fewer when the object pool runs out).
int res_bone_debug_draw(ResGroupId group, ResHandle bones, const Mat44* root, uint32_t label,
                        const MotionPlayer* motion);
// A motion object's skeleton under its world matrix, posed by its player
// when with_pose.
int motobj_draw_skeleton(DrawObj* obj, uint32_t colour, int with_pose);

// A bone tree drawn as one-frame 3D lines, each node with its axes and a line from its parent,
// and a motion object's skeleton drawn through it (see bone_debug.h).
#include "objx/bone_debug.h"

#include "math/vm_mat.h"
#include "disp/obj.h"
#include "obj3d/motion.h"
#include "obj3d/motobj.h"
#include "obj3d/prim3d.h"
#include "res/chunk.h"

namespace {

constexpr int BONE_DEBUG_MAX_DEPTH = 64;
constexpr float BONE_DEBUG_AXIS_LENGTH = 0.1f;
constexpr uint32_t BONE_DEBUG_AXIS_COLOURS[3] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu};

int node_lines(ResGroupId group, const Mat44& node, const Mat44* parent)
{
    int made = 0;
    const Vec3 at = {node.m[12], node.m[13], node.m[14]};
    if (parent) {
        const Vec3 from = {parent->m[12], parent->m[13], parent->m[14]};
        made += prim3d_line_create_1f(group, &from, 0xFFFF0000u, &at, 0xFF00FF00u) != nullptr;
    }
    for (int r = 0; r < 3; ++r) {
        const Vec3 tip = {at.x + BONE_DEBUG_AXIS_LENGTH * node.m[r * 4],
                          at.y + BONE_DEBUG_AXIS_LENGTH * node.m[r * 4 + 1],
                          at.z + BONE_DEBUG_AXIS_LENGTH * node.m[r * 4 + 2]};
        made += prim3d_line_create_1f(group, &at, BONE_DEBUG_AXIS_COLOURS[r], &tip,
                                      BONE_DEBUG_AXIS_COLOURS[r]) != nullptr;
    }
    return made;
}

}  // namespace

int res_bone_debug_draw(ResGroupId group, ResHandle bones, const Mat44* root, uint32_t,
                        const MotionPlayer* motion)
{
    const ByteSpan d = res_data(RES_BONE, bones);
    if (d.empty()) return 0;
    Mat44 ident;
    vm_mat_identity(&ident);
    const Mat44& base = root ? *root : ident;
    // The matrix stack of the walk and, per nesting depth, the open node.
    Mat44 stack[BONE_DEBUG_MAX_DEPTH];
    struct Open {
        int depth;
        Mat44 world;
    } open[BONE_DEBUG_MAX_DEPTH];
    int sp = 0, nopen = 0, depth = 0, made = 0;
    stack[0] = base;
    const BoneWork* bw = motion ? motion->bones : nullptr;
    uint32_t pos = 0;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_PUSH) {
            ++depth;
            if (sp + 1 < BONE_DEBUG_MAX_DEPTH) stack[sp + 1] = stack[sp], ++sp;
        } else if (t.kind == CHUNK_BONE_TOK_POP) {
            --depth;
            if (sp > 0) --sp;
        } else if (t.kind == CHUNK_BONE_TOK_MATRIX) {
            Mat44 m;
            if (chunk_rd_f32s(d, t.matrix_off, m.m, 16)) vm_mat_mul(&stack[sp], &stack[sp], &m);
        } else if (t.kind == CHUNK_BONE_TOK_NODE) {
            Mat44 world = stack[sp];
            if (motion) {
                if (!bw) break;
                world = bw->world;
                bw = bw->next;
            }
            while (nopen > 0 && open[nopen - 1].depth >= depth) --nopen;
            made += node_lines(group, world, nopen > 0 ? &open[nopen - 1].world : nullptr);
            if (nopen < BONE_DEBUG_MAX_DEPTH) open[nopen++] = {depth, world};
        }
    }
    return made;
}

int motobj_draw_skeleton(DrawObj* obj, uint32_t colour, int with_pose)
{
    MotionObj* m = motobj_work(obj);
    if (!m || !m->player) return 0;
    return res_bone_debug_draw(obj->group, m->player->model, &m->world, colour,
                               with_pose ? m->player : nullptr);
}

// obj3d/motion_pool: the motion player's fixed pools: players, their per-bone
// records and the springs, in one block cleared at display start, each pool
// with its free list and count.
#include "obj3d/motion.h"

#include <cstring>

#include "obj3d/motion_local.h"
#include "util/pool_list.h"

namespace {

struct MotionBlock {
    MotionPlayer players[MOTION_PLAYERS];
    MotionPlayer *active, *free;
    BoneWork bones[MOTION_BONE_WORKS];
    BoneWork* free_bones;
    BoneSpring springs[MOTION_BONE_SPRINGS];
    BoneSpring *active_springs, *free_springs;
    int player_count, bone_count, spring_count;
};
MotionBlock g_mb;

void link_free_lists()
{
    MotionBlock& b = g_mb;
    b.active = nullptr;
    pool_list_init(b.players, MOTION_PLAYERS, b.free);
    pool_list_init(b.bones, MOTION_BONE_WORKS, b.free_bones);
    b.active_springs = nullptr;
    pool_list_init(b.springs, MOTION_BONE_SPRINGS, b.free_springs);
    b.player_count = b.bone_count = b.spring_count = 0;
}

}  // namespace

// --- pools -----------------------------------------------------------------------------

void motion_pool_reset()
{
    std::memset(static_cast<void*>(&g_mb), 0, sizeof g_mb);
    link_free_lists();
}

void motion_pool_term() { link_free_lists(); }

int motion_player_count() { return g_mb.player_count; }
int bone_work_count() { return g_mb.bone_count; }
int bone_spring_count() { return g_mb.spring_count; }

MotionPlayer* motion_player_alloc()
{
    MotionPlayer* p = pool_list_take(g_mb.free, g_mb.active);
    if (!p) return nullptr;
    ++g_mb.player_count;
    motion_player_reset(p);
    return p;
}

void motion_player_clear(MotionPlayer* p)
{
    if (!p) return;
    bone_work_free(p->bones);
    MotionPlayer* prev = p->prev;
    MotionPlayer* next = p->next;
    std::memset(static_cast<void*>(p), 0, sizeof *p);
    p->prev = prev;
    p->next = next;
}

void motion_player_free(MotionPlayer* p)
{
    if (!p) return;
    motion_player_clear(p);
    pool_list_give(p, g_mb.free, g_mb.active);
    --g_mb.player_count;
}

void motion_player_reset(MotionPlayer* p)
{
    p->model = p->motion = 0;
    p->step = MOTION_ONE_FRAME;
    p->start = p->loop_start = p->frame = p->loop_count = 0;
    p->loop_limit = -1;
    p->fade_len = p->fade_left = 0;
    p->flags = MOTION_MP_LOOP | (255u << MOTION_MP_REF_BONE_SHIFT);
    p->skin_mesh = nullptr;
}

BoneWork* bone_work_alloc(int n, BoneWork** out_last)
{
    if (out_last) *out_last = nullptr;
    if (n <= 0 || n > MOTION_BONE_WORKS - g_mb.bone_count) return nullptr;
    // The records are taken in free-list order and linked in that order.
    BoneWork *first = nullptr, *last = nullptr;
    for (int i = 0; i < n; ++i) {
        BoneWork* b = pool_list_take_unlinked(g_mb.free_bones);
        b->world = b->model = b->skin = b->fade_pose = b->ctrl = VM_MAT_IDENTITY;
        b->channel = b->mirror_channel = MOTION_NO_CHANNEL;
        b->mesh_bone = 255;
        b->prev = last;
        (last ? last->next : first) = b;
        last = b;
    }
    g_mb.bone_count += n;
    if (out_last) *out_last = last;
    return first;
}

void bone_work_free(BoneWork* first)
{
    while (BoneWork* b = first) {
        if (b->spring) bone_spring_free(b->spring);
        b->spring = nullptr;
        pool_list_give(b, g_mb.free_bones, first);
        --g_mb.bone_count;
    }
}

BoneWork* bone_work_at(BoneWork* first, int i)
{
    if (i < 0) return nullptr;
    while (first && i-- > 0) first = first->next;
    return first;
}

BoneSpring* bone_spring_alloc()
{
    BoneSpring* s = pool_list_take(g_mb.free_springs, g_mb.active_springs);
    if (!s) return nullptr;
    ++g_mb.spring_count;
    return s;
}

void bone_spring_free(BoneSpring* s)
{
    if (!s) return;
    pool_list_give(s, g_mb.free_springs, g_mb.active_springs);
    --g_mb.spring_count;
}

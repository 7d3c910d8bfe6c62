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
    b.free = nullptr;
    for (int i = MOTION_PLAYERS - 1; i >= 0; --i) {
        b.players[i].prev = nullptr;
        b.players[i].next = b.free;
        if (b.free) b.free->prev = &b.players[i];
        b.free = &b.players[i];
    }
    b.free_bones = nullptr;
    for (int i = MOTION_BONE_WORKS - 1; i >= 0; --i) {
        b.bones[i].prev = nullptr;
        b.bones[i].next = b.free_bones;
        b.free_bones = &b.bones[i];
    }
    b.active_springs = nullptr;
    b.free_springs = nullptr;
    for (int i = MOTION_BONE_SPRINGS - 1; i >= 0; --i) {
        b.springs[i].prev = nullptr;
        b.springs[i].next = b.free_springs;
        b.free_springs = &b.springs[i];
    }
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
    MotionPlayer* p = g_mb.free;
    if (!p) return nullptr;
    g_mb.free = p->next;
    if (g_mb.free) g_mb.free->prev = nullptr;
    p->prev = nullptr;
    p->next = g_mb.active;
    if (g_mb.active) g_mb.active->prev = p;
    g_mb.active = p;
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
    if (p->prev) p->prev->next = p->next;
    if (p->next) p->next->prev = p->prev;
    if (g_mb.active == p) g_mb.active = p->next;
    p->prev = nullptr;
    p->next = g_mb.free;
    if (g_mb.free) g_mb.free->prev = p;
    g_mb.free = p;
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
    BoneWork* first = g_mb.free_bones;
    BoneWork* b = first;
    BoneWork* prev = nullptr;
    for (int i = 0; i < n; ++i) {
        BoneWork* next = b->next;
        std::memset(static_cast<void*>(b), 0, sizeof *b);
        b->world = b->model = b->skin = b->fade_pose = b->ctrl = VM_MAT_IDENTITY;
        b->channel = b->mirror_channel = MOTION_NO_CHANNEL;
        b->mesh_bone = 255;
        b->prev = prev;
        if (prev) prev->next = b;
        prev = b;
        b = next;
    }
    prev->next = nullptr;
    g_mb.free_bones = b;
    g_mb.bone_count += n;
    if (out_last) *out_last = prev;
    return first;
}

void bone_work_free(BoneWork* first)
{
    while (first) {
        BoneWork* next = first->next;
        if (first->spring) bone_spring_free(first->spring);
        first->spring = nullptr;
        first->prev = nullptr;
        first->next = g_mb.free_bones;
        g_mb.free_bones = first;
        --g_mb.bone_count;
        first = next;
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
    if (s->prev) s->prev->next = s->next;
    if (s->next) s->next->prev = s->prev;
    if (g_mb.active_springs == s) g_mb.active_springs = s->next;
    s->prev = nullptr;
    s->next = g_mb.free_springs;
    g_mb.free_springs = s;
    --g_mb.spring_count;
}

#include "obj3d/motion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "disp/disp_fade.h"
#include "res/mesh_buf.h"
#include "hit/hit.h"
#include "math/vm_mat.h"
#include "math/vm_quat.h"
#include "math/vm_vec.h"
#include "math/vm_xform.h"
#include "res/chunk.h"
#include "util/pool_list.h"

namespace {

// Bone walks keep two stack levels of their own below the tree's.
constexpr int kStackDepth = 64;
constexpr int kMaxTreeDepth = kStackDepth - 3;
constexpr float kPi = 3.14159265358979f;

struct MotionBlock {
    MotionPlayer players[kMotionPlayers];
    MotionPlayer *active, *free;
    BoneWork bones[kBoneWorks];
    BoneWork* free_bones;
    BoneSpring springs[kBoneSprings];
    BoneSpring *active_springs, *free_springs;
    int player_count, bone_count, spring_count;
};
MotionBlock g_mb;

const Mat44 kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

void link_free_lists()
{
    MotionBlock& b = g_mb;
    b.active = nullptr;
    b.free = nullptr;
    for (int i = kMotionPlayers - 1; i >= 0; --i) {
        b.players[i].prev = nullptr;
        b.players[i].next = b.free;
        if (b.free) b.free->prev = &b.players[i];
        b.free = &b.players[i];
    }
    b.free_bones = nullptr;
    for (int i = kBoneWorks - 1; i >= 0; --i) {
        b.bones[i].prev = nullptr;
        b.bones[i].next = b.free_bones;
        b.free_bones = &b.bones[i];
    }
    b.active_springs = nullptr;
    b.free_springs = nullptr;
    for (int i = kBoneSprings - 1; i >= 0; --i) {
        b.springs[i].prev = nullptr;
        b.springs[i].next = b.free_springs;
        b.free_springs = &b.springs[i];
    }
    b.player_count = b.bone_count = b.spring_count = 0;
}

Vec3 row3(const Mat44& m) { return {m.m[12], m.m[13], m.m[14]}; }
void set_row3(Mat44& m, const Vec3& v)
{
    m.m[12] = v.x;
    m.m[13] = v.y;
    m.m[14] = v.z;
}
Vec3 row(const Mat44& m, int r) { return {m.m[r * 4], m.m[r * 4 + 1], m.m[r * 4 + 2]}; }
void set_row(Mat44& m, int r, const Vec3& v)
{
    m.m[r * 4] = v.x;
    m.m[r * 4 + 1] = v.y;
    m.m[r * 4 + 2] = v.z;
    m.m[r * 4 + 3] = 0.0f;
}

uint32_t bone_mode(const BoneWork* b) { return (b->flags & kBwModeMask) >> kBwModeShift; }

void request_mode(MotionPlayer* p, BoneWork* b, uint32_t mode)
{
    b->flags = (b->flags & ~kBwModeMask) | (mode << kBwModeShift);
    if (mode) p->flags |= 1u << (kMpModesShift + int(mode) - 1);
}

// What one update needs to sample keys.
struct Keys {
    uint32_t key0, key1, fraction;
};
Keys keys_of(const MotionPlayer* p)
{
    Keys k = {p->frame >> 16, 0, p->frame & 0xFFFFu};
    const uint32_t frames = p->length >> 16;
    const uint32_t last = frames ? frames - 1 : 0;
    k.key0 = std::min(k.key0, last);
    k.key1 = std::min(k.key0 + (p->step >> 16) + 1, last);
    return k;
}

// The bone's local matrix at the keys, mirrored when the player mirrors.
void sample_local(const MotionPlayer* p, const BoneWork* b, const Keys& k, Mat44* out)
{
    const bool mirror = (p->flags & kMpMirror) != 0;
    anim_sample(p, out, k.key0, k.key1, k.fraction, mirror ? b->mirror_channel : b->channel);
    if (mirror) mirror_bone_matrix(out, out, b->parent == nullptr);
}

// Counts node and matrix tokens and the deepest nesting; 0 for a stream the
// player cannot pose (tokens that do not pair, too many bones, too deep).
int tree_bone_count(ByteSpan d)
{
    uint32_t pos = 0;
    BoneTok t;
    int nodes = 0, matrices = 0, depth = 0, deepest = 0;
    while (bone_next(d, pos, t)) {
        if (t.kind == BONE_TOK_NODE) ++nodes;
        if (t.kind == BONE_TOK_MATRIX) ++matrices;
        if (t.kind == BONE_TOK_PUSH) deepest = std::max(deepest, ++depth);
        if (t.kind == BONE_TOK_POP) --depth;
    }
    if (nodes != matrices || nodes < 1 || nodes > kMotionMaxBones || deepest > kMaxTreeDepth)
        return 0;
    return nodes;
}

// --- controllers ---------------------------------------------------------------------

void reach_cyclic(BoneWork** chain, int k, const Vec3& goal)
{
    Mat44 local[kBwChainMask + 1];
    local[k - 1] = chain[k - 1]->model;
    for (int j = 0; j < k - 1; ++j) {
        Mat44 inv;
        vm_mat_inverse(&inv, &chain[j + 1]->model);
        vm_mat_mul(&local[j], &inv, &chain[j]->model);
    }
    auto up_to = [&](int j, Mat44* out) {
        *out = local[j];
        for (int i = j + 1; i < k; ++i) vm_mat_mul(out, &local[i], out);
    };
    for (int pass = 0; pass < 4; ++pass) {
        for (int j = 1; j < k; ++j) {
            Mat44 wj, inv, tip;
            up_to(j, &wj);
            vm_mat_inverse(&inv, &wj);
            up_to(0, &tip);
            Vec3 tip_pos = row3(tip), tip_j, goal_j;
            vm_mat_transform_point(&tip_j, &inv, &tip_pos);
            vm_mat_transform_point(&goal_j, &inv, &goal);
            Quat q;
            const Vec3 origin = {0, 0, 0};
            quat_rotation_between_about(&q, &tip_j, &goal_j, &origin);
            Mat44 r;
            mat_from_quat_pos(&r, &q, nullptr);
            vm_mat_mul(&local[j], &local[j], &r);
        }
        Mat44 tip;
        up_to(0, &tip);
        const Vec3 tip_pos = row3(tip);
        if (vec3_dist_sq(&tip_pos, &goal) < 0.0004f) break;
    }
    for (int j = k - 1; j >= 0; --j) up_to(j, &chain[j]->model);
}

void run_reach(BoneWork* b, const Mat44* inv_root)
{
    if (!b->parent || !b->parent->parent || !(b->weight > 0.0f)) return;
    Vec3 target, goal;
    vm_mat_transform_point(&target, inv_root, &b->target);
    const Vec3 pos = row3(b->model);
    vec3_lerp(&goal, &pos, &target, b->weight);
    BoneWork* chain[kBwChainMask + 1];
    const int want = int(b->flags & kBwChainMask);
    int k = 0;
    for (BoneWork* c = b; c && k < want; c = c->parent) chain[k++] = c;
    if (k == 3)
        motion_solve_two_bone(&chain[0]->model, &chain[1]->model, &chain[2]->model, &goal);
    else if (k > 3)
        reach_cyclic(chain, k, goal);
}

void run_aim(BoneWork* b, const Mat44* inv_root)
{
    Mat44& m = b->model;
    Vec3 target, up;
    vm_mat_transform_point(&target, inv_root, &b->target);
    const Vec3 pos = row3(m);
    if (b->flags & kBwNoUp) {
        const Vec3 r0 = row(m, 0);
        Vec3 d;
        vec3_sub(&d, &pos, &target);
        vec3_cross(&up, &r0, &d);
    } else {
        vm_mat_transform_vector(&up, inv_root, &b->up);
    }
    Mat44 a;
    vm_mat_aim_at(&a, &pos, &target, &up, 0);
    vm_mat_interpolate(&m, &m, &a, b->weight);
}

void run_blend(BoneWork* b, const Mat44* inv_root, bool world)
{
    Mat44 r;
    if (world) {
        vm_mat_mul(&r, inv_root, &b->ctrl);
    } else {
        const float keep[4] = {b->model.m[12], b->model.m[13], b->model.m[14], b->model.m[15]};
        vm_mat_mul_affine(&r, &b->ctrl, &b->model, keep);
    }
    if (b->weight == 1.0f)
        b->model = r;
    else
        vm_mat_interpolate(&b->model, &b->model, &r, b->weight);
}

// Runs the bone's own controller; true when its children must follow the
// new model-space matrix.
bool run_controller(BoneWork* b, const Mat44* inv_root)
{
    const uint32_t mode = bone_mode(b);
    b->flags &= ~kBwModeMask;
    switch (mode) {
    case BONE_CTRL_REACH: run_reach(b, inv_root); return true;
    case BONE_CTRL_AIM: run_aim(b, inv_root); return true;
    case BONE_CTRL_BLEND: run_blend(b, inv_root, false); return true;
    case BONE_CTRL_BLEND_WORLD: run_blend(b, inv_root, true); return false;
    default: return false;
    }
}

// --- update steps ---------------------------------------------------------------------

void advance_frame(MotionPlayer* p, int frame)
{
    if (p->length == 0) {
        p->frame = 0;
        return;
    }
    const int64_t one = kMotionOneFrame;
    const int64_t last = int64_t(p->length) - one;
    int64_t f = p->frame;
    const bool reverse = (p->flags & kMpReverse) != 0;
    if (frame >= 0)
        f = int64_t(std::min(frame, 0x7FFF)) * one;
    else if (reverse)
        f = f <= int64_t(p->step) ? 0 : f - int64_t(p->step);
    else
        f += p->step;
    if (!(p->flags & kMpLoop)) {
        f = std::clamp(f, std::min<int64_t>(p->start, last), last);
    } else {
        int64_t lo = p->start;
        if (p->start < p->loop_start && f >= int64_t(p->loop_start)) lo = p->loop_start;
        lo = std::min(lo, last);
        if (p->loop_limit == -1 || int64_t(p->loop_count) < p->loop_limit) {
            if ((!reverse && f > last) || (reverse && f < lo)) ++p->loop_count;
            f = lo >= last ? lo : wrap_frame(f, lo, int64_t(p->length) - 1);
        } else {
            f = std::clamp(f, lo, last);
        }
    }
    p->frame = uint32_t(f);
}

void pose_bones(MotionPlayer* p, ByteSpan d, float t, bool fading, int no_fade,
                const Mat44* inv_root)
{
    Mat44 stack[kStackDepth];
    int sp = 1;
    stack[0] = stack[1] = kIdentity;
    const Keys k = keys_of(p);
    const bool ctrl = ((p->flags >> kMpModesShift) & 31u) != 0;
    const int ref = motion_ref_bone(p);
    const uint32_t filter = (p->flags >> kMpRefFilterShift) & 7u;
    BoneWork* b = p->bones;
    int idx = 0;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && bone_next(d, pos, tok)) {
        if (tok.kind == BONE_TOK_PUSH) {
            if (sp + 1 < kStackDepth) stack[sp + 1] = stack[sp], ++sp;
            continue;
        }
        if (tok.kind == BONE_TOK_POP) {
            if (sp > 1) --sp;
            continue;
        }
        if (tok.kind != BONE_TOK_MATRIX) continue;
        Mat44 bind;
        if (!rd_f32s(d, tok.matrix_off, bind.m, 16)) bind = kIdentity;
        Mat44& top = stack[sp];
        vm_mat_mul(&top, &top, &bind);
        b->skin = top;
        b->mesh_bone = 255;
        b->flags &= ~kBwWorldDone;
        Mat44 local;
        sample_local(p, b, k, &local);
        if (idx == ref) {
            if (filter == 1) local.m[12] = local.m[14] = 0.0f;
            if (filter == 2) local.m[12] = local.m[13] = local.m[14] = 0.0f;
            if (filter == 3) vm_mat_reset_rotation(&local);
        }
        if (idx != ref || filter < 4) vm_mat_mul(&top, &top, &local);
        if (fading) {
            vm_mat_interpolate(&b->model, &b->fade_pose, &top, t);
        } else if (no_fade) {
            b->model = top;
            b->fade_pose = b->model;
        } else {
            b->fade_pose = b->model;
            b->model = top;
        }
        if (ctrl && run_controller(b, inv_root)) top = b->model;
        b = b->next;
        ++idx;
    }
}

void update_root_motion(MotionPlayer* p)
{
    Mat44 r;
    motion_ref_matrix(p, &r);
    const Vec3 now = row3(r);
    const bool keep = (p->flags & kMpUpdated) && p->frame > p->start + p->step;
    p->prev_root_pos = keep ? p->root_pos : now;
    p->root_pos = now;
}

void skin_bones(MotionPlayer* p, const MeshBuffers* skin)
{
    p->skin_mesh = skin;
    if (!skin || !skin->bones) return;
    const uint32_t n = std::min<uint32_t>(skin->bone_count, kMotionMaxBones);
    for (uint32_t i = 0; i < n; ++i) {
        const MeshBone& mb = skin->bones[i];
        BoneWork* b = bone_work_by_name(p, mb.name, mb.hash);
        if (!b) continue;
        Mat44 offset;
        std::memcpy(offset.m, mb.matrix, sizeof offset.m);
        b->mesh_bone = uint8_t(i);
        vm_mat_mul(&b->skin, &b->model, &offset);
    }
}

// Points the parent's world matrix at the spring below it.
void aim_parent_at_spring(BoneWork* b, const Mat44* inv_root)
{
    BoneWork* par = b->parent;
    const Vec3 ppos = row3(par->world);
    Vec3 from, to;
    const Vec3 own = row3(b->world);
    if (par->spring)
        from = row(par->world, 0);
    else
        vec3_sub(&from, &own, &ppos);
    vec3_sub(&to, &b->spring->pos, &ppos);
    Quat q;
    const Vec3 origin = {0, 0, 0};
    quat_rotation_between_about(&q, &from, &to, &origin);
    Mat44 r, turned;
    mat_from_quat_pos(&r, &q, nullptr);
    vm_mat_mul(&turned, &r, &par->world);
    const Vec3 keep = par->spring ? par->spring->pos : ppos;
    for (int i = 0; i < 12; ++i) par->world.m[i] = turned.m[i];
    set_row3(par->world, keep);
    set_row3(b->world, b->spring->pos);
    vm_mat_mul(&par->model, inv_root, &par->world);
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
    p->step = kMotionOneFrame;
    p->start = p->loop_start = p->frame = p->loop_count = 0;
    p->loop_limit = -1;
    p->fade_len = p->fade_left = 0;
    p->flags = kMpLoop | (255u << kMpRefBoneShift);
    p->skin_mesh = nullptr;
}

BoneWork* bone_work_alloc(int n, BoneWork** out_last)
{
    if (out_last) *out_last = nullptr;
    if (n <= 0 || n > kBoneWorks - g_mb.bone_count) return nullptr;
    BoneWork* first = g_mb.free_bones;
    BoneWork* b = first;
    BoneWork* prev = nullptr;
    for (int i = 0; i < n; ++i) {
        BoneWork* next = b->next;
        std::memset(static_cast<void*>(b), 0, sizeof *b);
        b->world = b->model = b->skin = b->fade_pose = b->ctrl = kIdentity;
        b->channel = b->mirror_channel = kNoChannel;
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

// --- control ------------------------------------------------------------------------------

int motion_player_set(MotionPlayer* p, ResHandle model, ResHandle motion)
{
    if (!p) return 0;
    if (model == 0 && motion == 0) {
        bone_work_free(p->bones);
        p->bones = p->last_bone = nullptr;
        p->model = p->motion = 0;
        return 0;
    }
    // Handles with the top bit set count as "keep the current one".
    const bool keep_model = int32_t(model) < 0;
    if (!keep_model) {
        const ByteSpan d = res_data(RES_BONE, model);
        if (d.empty()) return 0;
        if (model != p->model || !p->bones) {
            bone_work_free(p->bones);
            p->bones = p->last_bone = nullptr;
            if (const int n = tree_bone_count(d)) p->bones = bone_work_alloc(n, &p->last_bone);
        }
        p->model = model;
    }
    const int first = p->motion == 0 ? 1 : 0;
    p->fade_left = first ? 0 : p->fade_len;
    if (int32_t(motion) >= 0) p->motion = motion;

    const ByteSpan d = res_data(RES_BONE, p->model);
    int count = 0;
    for (BoneWork* b = p->bones; b; b = b->next) ++count;
    p->flags = (p->flags & ~(kMpNodeCountMask | (255u << kMpRefBoneShift) | kMpUpdated)) |
               uint32_t(count) | (255u << kMpRefBoneShift);
    p->frame = p->start;
    p->loop_count = 0;
    p->ref_matrix = nullptr;
    p->length = p->motion ? res_anime_max_frame(p->motion) * kMotionOneFrame : 0;

    const char* entry = res_bone_name(p->model);
    const NameHash entry_hash = entry ? name_hash(entry) : 0;
    bool ref_known = false;
    // Open ancestors by nesting depth: a node's parent is the nearest
    // enclosing node, whatever the tree's push and pop layout.
    struct Open {
        int depth;
        BoneWork* bone;
    } open[kStackDepth];
    int nopen = 0, depth = 0, idx = 0;
    BoneWork* b = p->bones;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && bone_next(d, pos, tok)) {
        if (tok.kind == BONE_TOK_PUSH) ++depth;
        if (tok.kind == BONE_TOK_POP) --depth;
        if (tok.kind == BONE_TOK_MATRIX && !ref_known)
            rd_f32s(d, tok.matrix_off, p->ref_bind.m, 16);
        if (tok.kind != BONE_TOK_NODE) continue;
        const char* name = tok.name_off ? rd_name(d, tok.name_off) : nullptr;
        const NameHash hash = rd_u32_or0(d, tok.hash_off);
        if (!ref_known && name && entry && hash == entry_hash && std::strcmp(name, entry) == 0) {
            ref_known = true;
            p->ref_matrix = &p->ref_bind;
            p->flags = (p->flags & ~(255u << kMpRefBoneShift)) | uint32_t(idx) << kMpRefBoneShift;
        }
        b->fade_pose = b->model;
        b->name = name;
        b->hash = hash;
        b->channel = b->mirror_channel = kNoChannel;
        if (p->motion && name) {
            const int ch = anim_channel_index(p->motion, name, hash);
            b->channel = b->mirror_channel = ch >= 0 ? uint8_t(ch) : kNoChannel;
            char mirrored[CHUNK_NAME_MAX + 1];
            if (mirror_bone_name(mirrored, sizeof mirrored, name)) {
                const int mc = anim_channel_index(p->motion, mirrored, name_hash(mirrored));
                if (mc >= 0) b->mirror_channel = uint8_t(mc);
            }
        }
        while (nopen > 0 && open[nopen - 1].depth >= depth) --nopen;
        b->parent = nopen > 0 ? open[nopen - 1].bone : nullptr;
        if (nopen < kStackDepth) open[nopen++] = {depth, b};
        b = b->next;
        ++idx;
    }
    return first;
}

void motion_player_update(MotionPlayer* p, const Mat44* root, int frame, const MeshBuffers* skin,
                          uint16_t owner_id, int no_fade)
{
    if (!p) return;
    const Mat44& rm = root ? *root : kIdentity;
    Mat44 inv = kIdentity;
    const uint32_t modes = (p->flags >> kMpModesShift) & 31u;
    if ((modes & (1u | 2u | 8u)) || (p->flags & kMpSpring)) vm_mat_inverse(&inv, &rm);
    const ByteSpan d = res_data(RES_BONE, p->model);
    if (d.empty() || !p->bones) return;
    const bool fading = !no_fade && p->fade_left != 0;
    float t = 0.0f;
    if (fading && p->fade_len != 0) {
        const float f =
            clamp01(float(p->fade_len - std::min(p->fade_left, p->fade_len)) / float(p->fade_len));
        t = (1.0f - std::cos(kPi * f)) * 0.5f;
    }
    advance_frame(p, frame);
    pose_bones(p, d, t, fading, no_fade, &inv);
    if (p->fade_left) --p->fade_left;
    p->flags = (p->flags & ~(kMpFaded | (31u << kMpModesShift))) | (fading ? kMpFaded : 0u);
    for (BoneWork* b = p->bones; b; b = b->next) {
        if (b->flags & kBwWorldDone) continue;
        vm_mat_mul(&b->world, &rm, &b->model);
        b->flags |= kBwWorldDone;
    }
    if (p->flags & kMpSpring) motion_spring_step(p, &rm, &inv, owner_id);
    update_root_motion(p);
    skin_bones(p, skin);
    p->flags |= kMpUpdated;
}

void motion_set_loop(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | kMpLoop : p->flags & ~kMpLoop;
}
void motion_set_loop_limit(MotionPlayer* p, int n)
{
    if (p) p->loop_limit = n;
}
void motion_set_mirror(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | kMpMirror : p->flags & ~kMpMirror;
}
void motion_set_reverse(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | kMpReverse : p->flags & ~kMpReverse;
}
void motion_set_speed(MotionPlayer* p, float frames)
{
    if (p) p->step = uint32_t(clampf(frames, 0.0f, 65535.0f) * 65536.0f);
}
void motion_set_fade(MotionPlayer* p, int n)
{
    if (!p) return;
    p->fade_len = uint32_t(std::max(n, 0));
    if (p->fade_len == 0) p->fade_left = 0;
}
void motion_start_fade(MotionPlayer* p)
{
    if (p) p->fade_left = p->fade_len;
}
void motion_set_frame(MotionPlayer* p, uint32_t f)
{
    if (!p) return;
    p->frame = f;
    p->flags &= ~kMpUpdated;
}

int motion_is_playing(const MotionPlayer* p, int loops)
{
    if (!p || p->length == 0) return 0;
    if (p->flags & kMpLoop) return int64_t(p->loop_count) <= loops ? 1 : 0;
    return p->frame < p->length - kMotionOneFrame ? 1 : 0;
}
int motion_is_playing_limit(const MotionPlayer* p)
{
    return p ? motion_is_playing(p, p->loop_limit) : 0;
}
int motion_at_start(const MotionPlayer* p)
{
    return p && p->length && p->start <= p->frame && p->frame < p->start + kMotionOneFrame;
}
int motion_at_end(const MotionPlayer* p)
{
    return p && p->length && p->length - kMotionOneFrame <= p->frame && p->frame <= p->length - 1;
}
int motion_ref_bone(const MotionPlayer* p) { return p ? int(p->flags >> kMpRefBoneShift) : 255; }
int motion_node_count(const MotionPlayer* p) { return p ? int(p->flags & kMpNodeCountMask) : 0; }

void motion_ref_matrix(const MotionPlayer* p, Mat44* out)
{
    *out = kIdentity;
    const int ref = motion_ref_bone(p);
    const BoneWork* b = p && ref != 255 ? bone_work_at(p->bones, ref) : nullptr;
    if (!b) return;
    Mat44 local;
    sample_local(p, b, keys_of(p), &local);
    if (p->ref_matrix)
        vm_mat_mul(out, p->ref_matrix, &local);
    else
        *out = local;
}

void motion_root_delta(const MotionPlayer* p, Vec3* out)
{
    if (p)
        vec3_sub(out, &p->root_pos, &p->prev_root_pos);
    else
        *out = {0, 0, 0};
}

BoneWork* bone_work_by_name(const MotionPlayer* p, const char* name, NameHash hash)
{
    if (!p || !name) return nullptr;
    for (BoneWork* b = p->bones; b; b = b->next)
        if (b->hash == hash && b->name && std::strcmp(b->name, name) == 0) return b;
    return nullptr;
}

int motion_bone_index(const MotionPlayer* p, const char* name)
{
    if (!p || !name) return -1;
    const NameHash h = name_hash(name);
    int i = 0;
    for (const BoneWork* b = p->bones; b; b = b->next, ++i)
        if (b->hash == h && b->name && std::strcmp(b->name, name) == 0) return i;
    return -1;
}

const char* motion_bone_name(const MotionPlayer* p, int i)
{
    const BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    return b ? b->name : nullptr;
}

BoneWork* motion_bone_world(MotionPlayer* p, int i, const Mat44* root, int force)
{
    BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    if (!b) return nullptr;
    if (force || !(b->flags & kBwWorldDone)) {
        vm_mat_mul(&b->world, root ? root : &kIdentity, &b->model);
        b->flags |= kBwWorldDone;
    }
    return b;
}

// --- small operations ------------------------------------------------------------------

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

int64_t wrap_frame(int64_t v, int64_t lo, int64_t hi)
{
    const int64_t span = hi + 1 - lo;
    if (span <= 1) return lo;
    if (v < lo) v += ((lo - v + span - 1) / span) * span;
    if (v > hi) v -= ((v - hi + span - 1) / span) * span;
    return v;
}

int anim_channel_index(ResHandle motion, const char* name, NameHash hash)
{
    const ByteSpan d = res_data(RES_ANIME, motion);
    if (d.empty() || !name) return -1;
    const uint32_t n = std::min<uint32_t>(rd_u32_or0(d, 0), kMotionMaxBones);
    for (uint32_t i = 0; i < n; ++i) {
        AnimNode node;
        if (!anim_node(d, i, node) || rd_u32_or0(d, node.hash_off) != hash) continue;
        const char* s = rd_name(d, node.name_off);
        if (s && std::strcmp(s, name) == 0) return int(i);
    }
    return -1;
}

void anim_sample(const MotionPlayer* p, Mat44* out, uint32_t key0, uint32_t key1, uint32_t fraction,
                 int channel)
{
    *out = kIdentity;
    if (!p || !p->motion || channel == kNoChannel) return;
    const ByteSpan d = res_data(RES_ANIME, p->motion);
    AnimNode node;
    if (d.empty() || !anim_node(d, uint32_t(channel), node)) return;
    if (!anim_frame(d, node, key0, out->m)) {
        *out = kIdentity;
        return;
    }
    if ((fraction & 0xFFFFu) == 0) return;
    Mat44 b;
    if (anim_frame(d, node, key1, b.m))
        vm_mat_interpolate(out, out, &b, float(fraction & 0xFFFFu) / 65536.0f);
}

// --- controllers ---------------------------------------------------------------------

int motion_ctrl_reach(MotionPlayer* p, int i, const Vec3* target, float weight, int chain)
{
    BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    if (!b || !target) return 0;
    b->target = *target;
    b->weight = weight;
    b->flags = (b->flags & ~kBwChainMask) | uint32_t(std::clamp(chain, 3, 255));
    request_mode(p, b, BONE_CTRL_REACH);
    return 1;
}

int motion_ctrl_aim(MotionPlayer* p, int i, const Vec3* target, const Vec3* up, float weight)
{
    BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    if (!b || !target) return 0;
    b->target = *target;
    b->weight = weight;
    if (up) {
        b->up = *up;
        b->flags &= ~kBwNoUp;
    } else {
        b->up = {1, 0, 0};
        b->flags |= kBwNoUp;
    }
    request_mode(p, b, BONE_CTRL_AIM);
    return 1;
}

static int ctrl_blend(MotionPlayer* p, int i, const Mat44* m, float weight, BoneCtrlMode mode)
{
    BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    if (!b) return 0;
    if (m && weight != 0.0f) {
        b->ctrl = *m;
        b->weight = weight;
        request_mode(p, b, mode);
    } else {
        b->ctrl = kIdentity;
        b->weight = 0.0f;
        b->flags &= ~kBwModeMask;
        p->flags |= 1u << (kMpModesShift + int(mode) - 1);
    }
    return 1;
}

int motion_ctrl_blend(MotionPlayer* p, int i, const Mat44* m, float weight)
{
    return ctrl_blend(p, i, m, weight, BONE_CTRL_BLEND);
}

int motion_ctrl_blend_world(MotionPlayer* p, int i, const Mat44* m, float weight)
{
    return ctrl_blend(p, i, m, weight, BONE_CTRL_BLEND_WORLD);
}

int motion_solve_two_bone(Mat44* end, Mat44* mid, Mat44* top, const Vec3* goal)
{
    Mat44 inv_t, inv_m, lm, le;
    vm_mat_inverse(&inv_t, top);
    vm_mat_inverse(&inv_m, mid);
    Vec3 g;
    vm_mat_transform_point(&g, &inv_t, goal);
    vm_mat_mul(&lm, &inv_t, mid);
    vm_mat_mul(&le, &inv_m, end);
    const Vec3 tp = row3(*top), mp = row3(*mid), ep = row3(*end);
    const float a = vec3_dist(&mp, &tp), b = vec3_dist(&ep, &mp);
    float d = vec3_len(&g);
    // Coincident joints or a goal at the top joint: no bend to compute.
    if (d <= 1e-5f || a <= 1e-5f || b <= 1e-5f) return 0;
    Vec3 n;
    vec3_scale(&n, &g, 1.0f / d);
    if (d >= a + b) {
        d = 0.999f * (a + b);
        vec3_scale(&g, &n, d);
    }
    // The bend turns the lower bone toward +z of the middle joint, which the
    // top's rotation below maps onto the goal's side.
    const float theta = std::acos(clampf((d * d - a * a - b * b) / (2 * a * b), -1.0f, 1.0f));
    const float ct = std::cos(theta), st = std::sin(theta);
    set_row(lm, 0, {ct, 0, st});
    set_row(lm, 1, {0, 1, 0});
    set_row(lm, 2, {-st, 0, ct});
    const float c = clampf((a * a + d * d - b * b) / (2 * d * a), -1.0f, 1.0f);
    Vec3 foot, m, e, u, w, tmp;
    vec3_scale(&foot, &n, c * a);
    const float h = a * std::sqrt(std::max(0.0f, 1.0f - c * c));
    const Vec3 lpos = row3(lm);
    vec3_sub(&m, &lpos, &foot);
    vec3_scale(&tmp, &n, vec3_dot(&m, &n));
    vec3_sub(&e, &m, &tmp);
    Vec3 y = {0, 1, 0};
    if (std::fabs(n.y) > 0.999f) y = {1, 0, 0};
    vec3_scale(&tmp, &n, vec3_dot(&y, &n));
    vec3_sub(&u, &y, &tmp);
    vec3_normalize(&u, &u);
    vec3_cross(&w, &n, &u);
    Vec3 exu;
    vec3_cross(&exu, &e, &u);
    float phi = std::atan2(vec3_len(&exu), vec3_dot(&e, &u));
    Vec3 pnt;
    auto place = [&]() {
        Vec3 dir, uc, ws;
        vec3_scale(&uc, &u, std::cos(phi));
        vec3_scale(&ws, &w, std::sin(phi));
        vec3_add(&dir, &uc, &ws);
        vec3_scale(&dir, &dir, h);
        vec3_add(&pnt, &foot, &dir);
    };
    place();
    if (vec3_dist(&pnt, &lpos) > 1.0f) {
        phi = -phi;
        place();
    }
    Vec3 r0, r1, r2;
    vec3_normalize(&r0, &pnt);
    vec3_scale(&tmp, &r0, vec3_dot(&g, &r0));
    vec3_sub(&r2, &g, &tmp);
    if (vec3_len_sq(&r2) == 0.0f || vec3_len_sq(&r0) == 0.0f) return 0;
    vec3_normalize(&r2, &r2);
    vec3_cross(&r1, &r2, &r0);
    Mat44 r = kIdentity;
    set_row(r, 0, r0);
    set_row(r, 1, r1);
    set_row(r, 2, r2);
    vm_mat_mul(top, top, &r);
    vm_mat_mul(mid, top, &lm);
    vm_mat_mul(end, mid, &le);
    return 1;
}

// --- springs -----------------------------------------------------------------------

int motion_node_enable_spring(MotionPlayer* p, const char* node, int on)
{
    if (!p) return 0;
    p->flags = on ? p->flags | kMpSpring : p->flags & ~kMpSpring;
    const ByteSpan d = res_data(RES_BONE, p->model);
    if (d.empty() || !p->bones) return 0;
    const NameHash want = node ? name_hash(node) : 0;
    int depth = 0, found_depth = -1;
    BoneWork* b = p->bones;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && bone_next(d, pos, tok)) {
        if (tok.kind == BONE_TOK_PUSH) ++depth;
        if (tok.kind == BONE_TOK_POP) --depth;
        if (tok.kind != BONE_TOK_NODE) continue;
        BoneWork* cur = b;
        b = b->next;
        if (found_depth < 0) {
            const char* n = tok.name_off ? rd_name(d, tok.name_off) : nullptr;
            if (!node || (n && rd_u32_or0(d, tok.hash_off) == want && std::strcmp(n, node) == 0))
                found_depth = depth;
            continue;
        }
        if (depth <= found_depth) return 0;
        if (on) {
            if (!cur->spring) cur->spring = bone_spring_alloc();
            // An exhausted pool leaves the bone without a spring.
            if (!cur->spring) continue;
            const Vec3 wp = row3(cur->world);
            cur->spring->pos = cur->spring->prev_pos = wp;
            cur->spring->vel = {0, 0, 0};
            const Vec3 pp = cur->parent ? row3(cur->parent->world) : wp;
            cur->spring->rest = cur->parent ? vec3_dist(&wp, &pp) : 0.0f;
            cur->flags |= kBwSpring;
        } else {
            bone_spring_free(cur->spring);
            cur->spring = nullptr;
            cur->flags &= ~kBwSpring;
        }
    }
    return 1;
}

void motion_spring_step(MotionPlayer* p, const Mat44* root, const Mat44* inv_root,
                        uint16_t owner_id)
{
    (void)root;
    for (BoneWork* b = p->bones; b; b = b->next) {
        if (!b->spring) continue;
        b->spring->pos.x += b->spring->vel.x;
        b->spring->pos.y += b->spring->vel.y - 0.005f;
        b->spring->pos.z += b->spring->vel.z;
    }
    for (int pass = 0; pass < 10; ++pass) {
        for (BoneWork* b = p->bones; b; b = b->next) {
            if (!b->spring || !b->parent) continue;
            Vec3 parent_copy = row3(b->parent->world);
            Vec3* pp = b->parent->spring ? &b->parent->spring->pos : &parent_copy;
            Vec3 d, n;
            vec3_sub(&d, &b->spring->pos, pp);
            vec3_normalize(&n, &d);
            const float c = (b->spring->rest - vec3_len(&d)) * 0.99f;
            Vec3 step;
            vec3_scale(&step, &n, c);
            vec3_sub(pp, pp, &step);
            vec3_add(&b->spring->pos, &b->spring->pos, &step);
        }
    }
    for (BoneWork* b = p->bones; b; b = b->next) {
        BoneSpring* s = b->spring;
        if (!s) continue;
        Vec3 v;
        vec3_sub(&v, &s->pos, &s->prev_pos);
        vec3_scale(&s->vel, &v, 0.999f);
        const Vec3 probe = {s->pos.x, s->pos.y + 1.0f, s->pos.z};
        // Nothing below (or only the owner's own targets): the floor is y = 0.
        float floor = 0.0f;
        if (!hit_ground_below(&probe, &floor, nullptr, nullptr, owner_id, kHitAnyGroup))
            floor = 0.0f;
        const float clearance = floor + 0.2f * s->rest;
        if (s->pos.y < clearance) {
            s->vel.x *= 0.8f;
            s->vel.z *= 0.8f;
            s->vel.y *= -0.25f;
            s->pos.y = clearance;
        }
        if (b->parent) aim_parent_at_spring(b, inv_root);
        s->prev_pos = s->pos;
    }
}

// --- mirroring -------------------------------------------------------------------------

int mirror_bone_name(char* out, size_t size, const char* name)
{
    if (!out || !name) return 0;
    const char* at = std::strstr(name, "_L_");
    int side = 1;
    if (!at) {
        at = std::strstr(name, "_R_");
        side = 2;
    }
    const size_t len = std::strlen(name);
    if (!at || len + 1 > size) return 0;
    std::memcpy(out, name, len + 1);
    out[at - name + 1] = side == 1 ? 'R' : 'L';
    return side;
}

void mirror_bone_matrix(Mat44* out, const Mat44* m, int is_root)
{
    XformRecord x;
    vm_xform_from_matrix(&x, m);
    if (is_root) {
        x.pos.z = -x.pos.z;
        x.rot.x = -x.rot.x;
        x.rot.y = -x.rot.y;
    } else {
        x.pos.y = -x.pos.y;
        x.rot.x = -x.rot.x;
        x.rot.z = -x.rot.z;
    }
    vm_xform_to_matrix(out, &x);
}

// --- vector operations -----------------------------------------------------------------

float vec3_len_sq(const Vec3* v)
{
    const float s = v->x * v->x + v->y * v->y + v->z * v->z;
    return s < 1e-10f ? 0.0f : s;
}
float vec3_len(const Vec3* v) { return std::sqrt(vec3_len_sq(v)); }
float vec3_dist_sq(const Vec3* a, const Vec3* b)
{
    const Vec3 d = {b->x - a->x, b->y - a->y, b->z - a->z};
    return d.x * d.x + d.y * d.y + d.z * d.z;
}
float dist_sq(const Vec3* a, const Vec3* b) { return vec3_dist_sq(a, b); }
float vec3_dist(const Vec3* a, const Vec3* b)
{
    const float s = vec3_dist_sq(a, b);
    return s < 1e-10f ? 0.0f : std::sqrt(s);
}
Vec3* vec3_scale(Vec3* out, const Vec3* v, float s) { return vm_vec3_scale(out, v, s); }
Vec3* vec3_add(Vec3* out, const Vec3* a, const Vec3* b) { return vm_vec3_add(out, a, b); }
float vec3_dot(const Vec3* a, const Vec3* b) { return vm_vec3_dot(a, b); }
Vec3* vec3_cross(Vec3* out, const Vec3* a, const Vec3* b) { return vm_vec3_cross(out, a, b); }

Quat* quat_identity(Quat* out) { return vm_quat_identity(out); }

Quat* quat_rotation_between_about(Quat* out, const Vec3* from, const Vec3* to, const Vec3* pivot)
{
    Vec3 a, b;
    vec3_sub(&a, from, pivot);
    vec3_sub(&b, to, pivot);
    const float la = a.x * a.x + a.y * a.y + a.z * a.z, lb = b.x * b.x + b.y * b.y + b.z * b.z;
    if (la < 1e-6f || lb < 1e-6f) return vm_quat_identity(out);
    vec3_normalize(&a, &a);
    vec3_normalize(&b, &b);
    return vm_rotation_between(out, &a, &b);
}

Mat44* mat_from_quat_pos(Mat44* out, const Quat* q, const Vec3* pos)
{
    const Vec3 zero = {0, 0, 0};
    return vm_mat_from_quat_pos(out, q, pos ? pos : &zero);
}

Mat44* mat_from_euler_y(Mat44* out, float x, float y, float z)
{
    *out = kIdentity;
    const Vec3 a = {x, y, z};
    return vm_mat_from_euler(out, &a);
}

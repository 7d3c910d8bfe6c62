// obj3d/motion: the motion player itself: choosing a skeleton and motion,
// advancing the frame, posing the bones with the cross-fade, skinning, the
// queries on the pose, sampling and mirroring. The pools, the bone
// controllers and the spring chains have files of their own.
#include "obj3d/motion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "res/mesh_buf.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_small.h"
#include "math/vm_xform.h"
#include "obj3d/motion_local.h"
#include "res/chunk.h"

namespace {

// Bone walks keep two stack levels of their own below the tree's.
constexpr int MOTION_STACK_DEPTH = 64;
constexpr int MOTION_MAX_TREE_DEPTH = MOTION_STACK_DEPTH - 3;

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
    const bool mirror = (p->flags & MOTION_MP_MIRROR) != 0;
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
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_NODE) ++nodes;
        if (t.kind == CHUNK_BONE_TOK_MATRIX) ++matrices;
        if (t.kind == CHUNK_BONE_TOK_PUSH) deepest = std::max(deepest, ++depth);
        if (t.kind == CHUNK_BONE_TOK_POP) --depth;
    }
    if (nodes != matrices || nodes < 1 || nodes > MOTION_MAX_BONES ||
        deepest > MOTION_MAX_TREE_DEPTH)
        return 0;
    return nodes;
}

// --- update steps ---------------------------------------------------------------------

void advance_frame(MotionPlayer* p, int frame)
{
    if (p->length == 0) {
        p->frame = 0;
        return;
    }
    const int64_t one = MOTION_ONE_FRAME;
    const int64_t last = int64_t(p->length) - one;
    int64_t f = p->frame;
    const bool reverse = (p->flags & MOTION_MP_REVERSE) != 0;
    if (frame >= 0)
        f = int64_t(std::min(frame, 0x7FFF)) * one;
    else if (reverse)
        f = f <= int64_t(p->step) ? 0 : f - int64_t(p->step);
    else
        f += p->step;
    if (!(p->flags & MOTION_MP_LOOP)) {
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
    Mat44 stack[MOTION_STACK_DEPTH];
    int sp = 1;
    stack[0] = stack[1] = VM_MAT_IDENTITY;
    const Keys k = keys_of(p);
    const bool ctrl = ((p->flags >> MOTION_MP_MODES_SHIFT) & 31u) != 0;
    const int ref = motion_ref_bone(p);
    const uint32_t filter = (p->flags >> MOTION_MP_REF_FILTER_SHIFT) & 7u;
    BoneWork* b = p->bones;
    int idx = 0;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && chunk_bone_next(d, pos, tok)) {
        if (tok.kind == CHUNK_BONE_TOK_PUSH) {
            if (sp + 1 < MOTION_STACK_DEPTH) stack[sp + 1] = stack[sp], ++sp;
            continue;
        }
        if (tok.kind == CHUNK_BONE_TOK_POP) {
            if (sp > 1) --sp;
            continue;
        }
        if (tok.kind != CHUNK_BONE_TOK_MATRIX) continue;
        Mat44 bind;
        if (!chunk_rd_f32s(d, tok.matrix_off, bind.m, 16)) bind = VM_MAT_IDENTITY;
        Mat44& top = stack[sp];
        vm_mat_mul(&top, &top, &bind);
        b->skin = top;
        b->mesh_bone = 255;
        b->flags &= ~MOTION_BW_WORLD_DONE;
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
        if (ctrl && motion_run_controller(b, inv_root)) top = b->model;
        b = b->next;
        ++idx;
    }
}

void update_root_motion(MotionPlayer* p)
{
    Mat44 r;
    motion_ref_matrix(p, &r);
    const Vec3 now = row3(r);
    const bool keep = (p->flags & MOTION_MP_UPDATED) && p->frame > p->start + p->step;
    p->prev_root_pos = keep ? p->root_pos : now;
    p->root_pos = now;
}

void skin_bones(MotionPlayer* p, const MeshBuffers* skin)
{
    p->skin_mesh = skin;
    if (!skin || !skin->bones) return;
    const uint32_t n = std::min<uint32_t>(skin->bone_count, MOTION_MAX_BONES);
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

}  // namespace

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
    p->flags = (p->flags & ~(MOTION_MP_NODE_COUNT_MASK | (255u << MOTION_MP_REF_BONE_SHIFT) |
                             MOTION_MP_UPDATED)) |
               uint32_t(count) | (255u << MOTION_MP_REF_BONE_SHIFT);
    p->frame = p->start;
    p->loop_count = 0;
    p->ref_matrix = nullptr;
    p->length = p->motion ? res_anime_max_frame(p->motion) * MOTION_ONE_FRAME : 0;

    const char* entry = res_bone_name(p->model);
    const NameHash entry_hash = entry ? name_hash(entry) : 0;
    bool ref_known = false;
    // Open ancestors by nesting depth: a node's parent is the nearest
    // enclosing node, whatever the tree's push and pop layout.
    struct Open {
        int depth;
        BoneWork* bone;
    } open[MOTION_STACK_DEPTH];
    int nopen = 0, depth = 0, idx = 0;
    BoneWork* b = p->bones;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && chunk_bone_next(d, pos, tok)) {
        if (tok.kind == CHUNK_BONE_TOK_PUSH) ++depth;
        if (tok.kind == CHUNK_BONE_TOK_POP) --depth;
        if (tok.kind == CHUNK_BONE_TOK_MATRIX && !ref_known)
            chunk_rd_f32s(d, tok.matrix_off, p->ref_bind.m, 16);
        if (tok.kind != CHUNK_BONE_TOK_NODE) continue;
        const char* name = tok.name_off ? chunk_rd_name(d, tok.name_off) : nullptr;
        const NameHash hash = chunk_rd_u32_or0(d, tok.hash_off);
        if (!ref_known && name && entry && hash == entry_hash && std::strcmp(name, entry) == 0) {
            ref_known = true;
            p->ref_matrix = &p->ref_bind;
            p->flags = (p->flags & ~(255u << MOTION_MP_REF_BONE_SHIFT)) |
                       uint32_t(idx) << MOTION_MP_REF_BONE_SHIFT;
        }
        b->fade_pose = b->model;
        b->name = name;
        b->hash = hash;
        b->channel = b->mirror_channel = MOTION_NO_CHANNEL;
        if (p->motion && name) {
            const int ch = anim_channel_index(p->motion, name, hash);
            b->channel = b->mirror_channel = ch >= 0 ? uint8_t(ch) : MOTION_NO_CHANNEL;
            char mirrored[CHUNK_NAME_MAX + 1];
            if (mirror_bone_name(mirrored, sizeof mirrored, name)) {
                const int mc = anim_channel_index(p->motion, mirrored, name_hash(mirrored));
                if (mc >= 0) b->mirror_channel = uint8_t(mc);
            }
        }
        while (nopen > 0 && open[nopen - 1].depth >= depth) --nopen;
        b->parent = nopen > 0 ? open[nopen - 1].bone : nullptr;
        if (nopen < MOTION_STACK_DEPTH) open[nopen++] = {depth, b};
        b = b->next;
        ++idx;
    }
    return first;
}

void motion_player_update(MotionPlayer* p, const Mat44* root, int frame, const MeshBuffers* skin,
                          uint16_t owner_id, int no_fade)
{
    if (!p) return;
    const Mat44& rm = root ? *root : VM_MAT_IDENTITY;
    Mat44 inv = VM_MAT_IDENTITY;
    const uint32_t modes = (p->flags >> MOTION_MP_MODES_SHIFT) & 31u;
    if ((modes & (1u | 2u | 8u)) || (p->flags & MOTION_MP_SPRING)) vm_mat_inverse(&inv, &rm);
    const ByteSpan d = res_data(RES_BONE, p->model);
    if (d.empty() || !p->bones) return;
    const bool fading = !no_fade && p->fade_left != 0;
    float t = 0.0f;
    if (fading && p->fade_len != 0) {
        const float f =
            clamp01(float(p->fade_len - std::min(p->fade_left, p->fade_len)) / float(p->fade_len));
        t = (1.0f - std::cos(VM_PI * f)) * 0.5f;
    }
    advance_frame(p, frame);
    pose_bones(p, d, t, fading, no_fade, &inv);
    if (p->fade_left) --p->fade_left;
    p->flags = (p->flags & ~(MOTION_MP_FADED | (31u << MOTION_MP_MODES_SHIFT))) |
               (fading ? MOTION_MP_FADED : 0u);
    for (BoneWork* b = p->bones; b; b = b->next) {
        if (b->flags & MOTION_BW_WORLD_DONE) continue;
        vm_mat_mul(&b->world, &rm, &b->model);
        b->flags |= MOTION_BW_WORLD_DONE;
    }
    if (p->flags & MOTION_MP_SPRING) motion_spring_step(p, &rm, &inv, owner_id);
    update_root_motion(p);
    skin_bones(p, skin);
    p->flags |= MOTION_MP_UPDATED;
}

void motion_set_loop(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | MOTION_MP_LOOP : p->flags & ~MOTION_MP_LOOP;
}
void motion_set_loop_limit(MotionPlayer* p, int n)
{
    if (p) p->loop_limit = n;
}
void motion_set_mirror(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | MOTION_MP_MIRROR : p->flags & ~MOTION_MP_MIRROR;
}
void motion_set_reverse(MotionPlayer* p, int on)
{
    if (p) p->flags = on ? p->flags | MOTION_MP_REVERSE : p->flags & ~MOTION_MP_REVERSE;
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
    p->flags &= ~MOTION_MP_UPDATED;
}

int motion_is_playing(const MotionPlayer* p, int loops)
{
    if (!p || p->length == 0) return 0;
    if (p->flags & MOTION_MP_LOOP) return int64_t(p->loop_count) <= loops ? 1 : 0;
    return p->frame < p->length - MOTION_ONE_FRAME ? 1 : 0;
}
int motion_is_playing_limit(const MotionPlayer* p)
{
    return p ? motion_is_playing(p, p->loop_limit) : 0;
}
int motion_at_start(const MotionPlayer* p)
{
    return p && p->length && p->start <= p->frame && p->frame < p->start + MOTION_ONE_FRAME;
}
int motion_at_end(const MotionPlayer* p)
{
    return p && p->length && p->length - MOTION_ONE_FRAME <= p->frame && p->frame <= p->length - 1;
}
int motion_ref_bone(const MotionPlayer* p)
{
    return p ? int(p->flags >> MOTION_MP_REF_BONE_SHIFT) : 255;
}
int motion_node_count(const MotionPlayer* p)
{
    return p ? int(p->flags & MOTION_MP_NODE_COUNT_MASK) : 0;
}

void motion_ref_matrix(const MotionPlayer* p, Mat44* out)
{
    *out = VM_MAT_IDENTITY;
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
    if (force || !(b->flags & MOTION_BW_WORLD_DONE)) {
        vm_mat_mul(&b->world, root ? root : &VM_MAT_IDENTITY, &b->model);
        b->flags |= MOTION_BW_WORLD_DONE;
    }
    return b;
}

// --- small operations ------------------------------------------------------------------

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
    const uint32_t n = std::min<uint32_t>(chunk_rd_u32_or0(d, 0), MOTION_MAX_BONES);
    for (uint32_t i = 0; i < n; ++i) {
        AnimNode node;
        if (!chunk_anim_node(d, i, node) || chunk_rd_u32_or0(d, node.hash_off) != hash) continue;
        const char* s = chunk_rd_name(d, node.name_off);
        if (s && std::strcmp(s, name) == 0) return int(i);
    }
    return -1;
}

void anim_sample(const MotionPlayer* p, Mat44* out, uint32_t key0, uint32_t key1, uint32_t fraction,
                 int channel)
{
    *out = VM_MAT_IDENTITY;
    if (!p || !p->motion || channel == MOTION_NO_CHANNEL) return;
    const ByteSpan d = res_data(RES_ANIME, p->motion);
    AnimNode node;
    if (d.empty() || !chunk_anim_node(d, uint32_t(channel), node)) return;
    if (!chunk_anim_frame(d, node, key0, out->m)) {
        *out = VM_MAT_IDENTITY;
        return;
    }
    if ((fraction & 0xFFFFu) == 0) return;
    Mat44 b;
    if (chunk_anim_frame(d, node, key1, b.m))
        vm_mat_interpolate(out, out, &b, float(fraction & 0xFFFFu) / 65536.0f);
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

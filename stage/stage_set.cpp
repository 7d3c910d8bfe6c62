// Stage mesh sets: suffix rules over the bone sets of a model group.
#include "stage/stage_set.h"
#include "stage/stage_set_local.h"

#include <cstdio>
#include <cstring>

#include "hit/hit.h"
#include "math/vm_mat.h"
#include "obj3d/mdlobj.h"
#include "obj3d/meshobj.h"
#include "res/chunk.h"

const StageSuffixRule STAGE_MAIN_TABLE[STAGE_MAIN_RULES] = {
    {"_s", 0x81},    {"_ssdw", 0x181}, {"_sc", 0x91},   {"_ds", 0x89},  {"_dsc", 0x99},
    {"", 0x0},       {"_d", 0x8},      {"_a", 0x2},     {"_da", 0xA},   {"_sn", 0x1},
    {"_snc", 0x11},  {"_dsn", 0x9},    {"_dsnc", 0x19}, {"_as", 0x3},   {"_asc", 0x13},
    {"_das", 0xB},   {"_dasc", 0x1B},  {"_fix", 0x6},   {"_sky", 0x0},  {"_v", 0x2},
    {"_k", 0x30},    {"_ks", 0x31},    {"_sdec", 0x49}, {"_dec", 0x48}, {"_scdec", 0x59},
    {"_cdec", 0x58}, {"_gs", 0x409},   {"_g", 0x408},
};
const StageSuffixRule STAGE_ANCHOR_TABLE[STAGE_ANCHOR_RULES] = {{"_zs", 0x281}, {"_z", 0x280}};

namespace {

StageMeshSet s;

constexpr int STAGE_BLEND_SHIFT = 8, STAGE_BLEND_BITS = 5;
constexpr int STAGE_CULL_SHIFT = 13, STAGE_CULL_BITS = 3;
constexpr int STAGE_ALPHA_REF_SHIFT = 20, STAGE_ALPHA_REF_BITS = 3;
// Pattern and name lengths beyond any name a chunk can carry end the match.
constexpr size_t STAGE_MATCH_LIMIT = 1024;

DrawParam put_bit(DrawParam dp, int bit, bool on) { return obj3d_dp_put(dp, bit, 1, on ? 1 : 0); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One node met while walking a bone stream.
struct NodeVisit {
    const char* name;
    uint32_t hash;
};

// Walks a bone set's stream with the matrix stack: matrix tokens multiply the
// top, push and pop move it; fn(node, depth) for every named node.
template <class Fn>
void walk_bone(ResHandle bone, bool follow_matrices, Fn&& fn)
{
    const ResDataInfo* info = res_bone_get(bone);
    if (!info) return;
    ByteSpan d = info->data;
    uint32_t pos = 0;
    int depth = 0;
    BoneTok t{};
    while (chunk_bone_next(d, pos, t)) {
        switch (t.kind) {
        case CHUNK_BONE_TOK_MATRIX:
            if (follow_matrices) {
                float m[16];
                if (chunk_rd_f32s(d, t.matrix_off, m, 16)) res_mstack_mul(m);
            }
            break;
        case CHUNK_BONE_TOK_PUSH:
            depth++;
            if (follow_matrices) res_mstack_push();
            break;
        case CHUNK_BONE_TOK_POP:
            depth--;
            if (follow_matrices) res_mstack_pop();
            break;
        case CHUNK_BONE_TOK_NODE:
            if (const char* name = t.name_off ? chunk_rd_name(d, t.name_off) : nullptr)
                fn(NodeVisit{name, chunk_rd_u32_or0(d, t.hash_off)}, depth);
            break;
        default: break;
        }
    }
}

// The walk with matrices, on two stack levels of its own over an identity,
// leaving the caller's levels as they were.
template <class Fn>
void walk_bone_placed(ResHandle bone, Fn&& fn)
{
    res_mstack_push();
    res_mstack_load(nullptr);
    res_mstack_push();
    walk_bone(bone, true, fn);
    res_mstack_pop();
    res_mstack_pop();
}

const StageNodeHook* find_hook(const StageNodeHook* hooks, const char* node, bool merged)
{
    if (!hooks) return nullptr;
    for (const StageNodeHook* h = hooks; h->pattern; h++) {
        const bool usable =
            merged ? h->draw_param != nullptr : (h->create || h->update || h->release);
        if (usable && stage_name_match(node, h->pattern)) return h;
    }
    return nullptr;
}

bool is_nodisp(const char* node) { return stage_name_last_is(node, "_nodisp"); }

// The model object of one node at a matrix; null when nothing is made.
DrawObj* make_node_model(const char* group, const char* node, uint32_t flags,
                         const StageNodeHook* hook, const Mat44* m, uint32_t extra)
{
    const bool hidden = is_nodisp(node);
    const ResHandle mesh = res_mesh_find(group, node);
    if (!hidden && !mesh) return nullptr;
    DrawObj* obj = mdlobj_create(s.group, m, mesh, stage_rule_priority(flags));
    if (!obj) return nullptr;
    obj_set_visible(obj, hidden ? 0 : 1);
    ModelObj* w = mdlobj_work(obj);
    w->dp = stage_node_draw_param(w->dp, flags, node);
    if (flags & STAGE_BILLBOARD)
        w->dp = obj3d_dp_put(w->dp, OBJ3D_DP_BILLBOARD_SHIFT, OBJ3D_DP_BILLBOARD_BITS, 1);
    if ((flags & STAGE_COLLISION) && !hidden) {
        if (ResHandle coll = res_coll_find(group, node)) {
            mdlobj_set_hit(obj, coll, extra);
            mdlobj_hit_enable(obj, 1);
        }
    }
    if (hook) {
        if (hook->update) obj_set_update(obj, hook->update);
        if (hook->release) obj_set_release(obj, hook->release);
        if (hook->create) hook->create(obj, mesh, node);
    }
    return obj;
}

// Adds a displayed node's mesh to the open mesh list; 1 when added.
int add_merged_node(const char* group, const char* node, uint32_t flags, const StageNodeHook* hooks)
{
    if (is_nodisp(node)) return 0;
    const ResHandle mesh = res_mesh_find(group, node);
    if (!mesh) return 0;
    DrawParam dp = stage_node_draw_param(meshobj_draw_param_init(0), flags, node);
    if (const StageNodeHook* h = find_hook(hooks, node, true)) h->draw_param(&dp, mesh, node);
    return res_mlist_add(group, node, &dp) ? 1 : 0;
}

// Closes the open list into a mesh-list object (null for an empty list).
DrawObj* make_merged_object(uint32_t flags, ResHandle coll, uint32_t extra)
{
    ResMeshListNode* head = nullptr;
    if (!res_mlist_end(&head) || !head) return nullptr;
    DrawObj* obj = meshobj_create(s.group, head, stage_rule_priority(flags));
    if (!obj) {
        res_mlist_free(head);
        return nullptr;
    }
    obj_set_visible(obj, 1);
    // The target takes part in queries at once and goes with the object.
    if ((flags & STAGE_COLLISION) && coll) meshobj_set_hit(obj, coll, extra);
    return obj;
}

// One main rule; the merged object it made (null for a per-node rule).
DrawObj* load_rule(const char* group, const char* bone_name, const StageNodeHook* hooks,
                   uint32_t flags, uint32_t extra)
{
    const ResHandle bone = res_bone_find(group, bone_name);
    if (!bone || s.rows_used >= STAGE_ROWS) return nullptr;
    const ResHandle coll = res_coll_find(group, bone_name);
    StageRow& row = s.rows[s.rows_used++];
    row = StageRow{flags, 0};
    if (flags & STAGE_MERGED) {
        res_mlist_begin();
        walk_bone(bone, false, [&](const NodeVisit& n, int) {
            row.count += uint32_t(add_merged_node(group, n.name, flags, hooks));
        });
        return make_merged_object(flags, coll, extra);
    }
    walk_bone_placed(bone, [&](const NodeVisit& n, int) {
        const Mat44* top = reinterpret_cast<const Mat44*>(res_mstack_top());
        if (make_node_model(group, n.name, flags, find_hook(hooks, n.name, false), top, extra))
            row.count++;
    });
    return nullptr;
}

// The nodes below the anchor in one anchor rule's bone set, killed at once.
void spawn_below_anchor(const char* group, const char* bone_name, const char* anchor,
                        uint32_t flags, uint32_t extra, int frame)
{
    const ResHandle bone = res_bone_find(group, bone_name);
    if (!bone) return;
    const NameHash want = name_hash(anchor);
    const ResHandle anim = res_anime_find(group, anchor);
    const bool merged = flags & STAGE_MERGED;
    int anchor_depth = -1;
    auto spawn = [&](const NodeVisit& n, int depth) {
        if (anchor_depth < 0) {
            if (n.hash == want && std::strcmp(n.name, anchor) == 0) anchor_depth = depth;
            return;
        }
        if (depth <= anchor_depth) return;
        if (merged) {
            add_merged_node(group, n.name, flags, nullptr);
            return;
        }
        Mat44 m = *reinterpret_cast<const Mat44*>(res_mstack_top());
        Mat44 pose;
        const uint32_t f = frame < 0 ? 0u : uint32_t(frame);  // the read clamps to the last
        if (anim && res_anime_node_frame(anim, n.name, f, pose.m)) vm_mat_mul(&m, &m, &pose);
        obj_kill(make_node_model(group, n.name, flags, nullptr, &m, extra));
    };
    if (merged) {
        res_mlist_begin();
        walk_bone(bone, false, spawn);
        obj_kill(make_merged_object(flags, res_coll_find(group, bone_name), extra));
        return;
    }
    walk_bone_placed(bone, spawn);
}

uint32_t count_of_first_row(uint32_t flags)
{
    for (int i = 0; i < s.rows_used; i++)
        if ((s.rows[i].flags & ~STAGE_COLLISION) == flags) return s.rows[i].count;
    return 0;
}

const ResDataInfo* wall_info() { return s.wall ? res_coll_get(s.wall) : nullptr; }

}  // namespace

// ==== helpers ================================================================================

int stage_rule_priority(uint32_t flags)
{
    if (flags & STAGE_NO_ALPHA_TEST) return 84;
    if (flags & STAGE_PRIO76) return 76;
    if (flags & STAGE_TRANSLUCENT) return 79;
    if (flags & STAGE_SORTED_REF3) return 80;
    return 82;
}

DrawParam stage_node_draw_param(DrawParam dp, uint32_t flags, const char* node)
{
    if (flags & STAGE_TRANSLUCENT) {
        dp = put_bit(dp, OBJ3D_DP_DEPTH_SORT_BIT, true);
        dp = put_bit(dp, OBJ3D_DP_Z_WRITE_BIT, false);
    } else if (flags & STAGE_NO_ALPHA_TEST) {
        dp = obj3d_dp_put(dp, STAGE_ALPHA_REF_SHIFT, STAGE_ALPHA_REF_BITS, 5);
    } else if (flags & STAGE_SORTED_REF3) {
        dp = put_bit(dp, OBJ3D_DP_DEPTH_SORT_BIT, true);
        dp = obj3d_dp_put(dp, STAGE_ALPHA_REF_SHIFT, STAGE_ALPHA_REF_BITS, 3);
    } else {
        dp = obj3d_dp_put(dp, STAGE_ALPHA_REF_SHIFT, STAGE_ALPHA_REF_BITS, 2);
    }
    if (flags & STAGE_CULL2) dp = obj3d_dp_put(dp, STAGE_CULL_SHIFT, STAGE_CULL_BITS, 2);
    dp = put_bit(dp, OBJ3D_DP_LIGHTING_BIT, !(flags & STAGE_NO_LIGHT));
    dp = put_bit(dp, OBJ3D_DP_FOG_BIT, !(flags & STAGE_NO_FOG));
    if (stage_name_last_is(node, "_aadd"))
        dp = obj3d_dp_put(dp, STAGE_BLEND_SHIFT, STAGE_BLEND_BITS, 2);
    if (flags & STAGE_PASS_AB) {
        dp = put_bit(dp, OBJ3D_DP_PASS_A_BIT, true);
        dp = put_bit(dp, OBJ3D_DP_PASS_B_BIT, true);
    }
    return dp;
}

int stage_name_match(const char* name, const char* pattern)
{
    if (!name || !pattern) return 0;
    size_t i = 0, j = 0;
    while (i < STAGE_MATCH_LIMIT && j < STAGE_MATCH_LIMIT) {
        const char p = pattern[j];
        if (p == '\0') return name[i] == '\0';
        if (p == '*') return name[i] != '\0';
        if (p == '#') {
            size_t k = i;
            while (k < STAGE_MATCH_LIMIT && is_digit(name[k])) k++;
            if (k == i && pattern[j + 1] == '\0') return 0;  // a final '#' needs a digit
            i = k;
            j++;
            continue;
        }
        if (name[i] == '\0' || name[i] != p) return 0;
        i++;
        j++;
    }
    return 0;
}

int stage_name_last_is(const char* name, const char* suffix)
{
    if (!name || !suffix) return 0;
    const char* u = std::strrchr(name, '_');
    return u && std::strcmp(u, suffix) == 0;
}

int stage_name_join(char* out, size_t size, const char* a, const char* b)
{
    if (!out || size == 0) return 0;
    out[0] = '\0';
    if (!a || !b) return 0;
    const int n = std::snprintf(out, size, "%s%s", a, b);
    if (n < 0 || size_t(n) >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

namespace {

// The name up to its last (first) underscore, or whole when it has none.
int cut_name(char* out, size_t size, const char* name, bool last)
{
    if (!out || size == 0) return 0;
    out[0] = '\0';
    if (!name) return 0;
    const char* u = last ? std::strrchr(name, '_') : std::strchr(name, '_');
    const size_t n = u ? size_t(u - name) : std::strlen(name);
    if (n >= size) return 0;
    std::memcpy(out, name, n);
    out[n] = '\0';
    return 1;
}

}  // namespace

int stage_name_cut_last(char* out, size_t size, const char* name)
{
    return cut_name(out, size, name, true);
}

int stage_name_cut_first(char* out, size_t size, const char* name)
{
    return cut_name(out, size, name, false);
}

// ==== the set ================================================================================

ResGroupId stage_set_init()
{
    s = StageMeshSet{};
    s.group = group_alloc();
    return s.group;
}

void stage_set_release()
{
    if (s.group) {
        group_release(s.group);
        group_free(s.group);
    }
    // The merged objects and the wall went with the group: a later lookup
    // must not hand them out again.
    s = StageMeshSet{};
}

ResHandle stage_set_load(const char* group, const char* name, const StageNodeHook* hooks,
                         uint32_t extra)
{
    char base[STAGE_NAME_MAX + 1];
    if (!group || !stage_name_cut_last(base, sizeof base, name)) return 0;
    char bone_name[STAGE_NAME_MAX + 1];
    for (int i = 0; i < STAGE_MAIN_RULES; i++) {
        const StageSuffixRule& r = STAGE_MAIN_TABLE[i];
        if (!stage_name_join(bone_name, sizeof bone_name, base, r.suffix)) continue;
        if (DrawObj* obj = load_rule(group, bone_name, hooks, r.flags, extra)) s.merged[i] = obj;
    }
    s.wall = stage_name_join(bone_name, sizeof bone_name, base, "_wall")
                 ? res_coll_find(group, bone_name)
                 : 0;
    return s.wall;
}

void stage_set_load_z(uint32_t, const char* group, const char* anchor, uint32_t extra, int frame)
{
    if (!group || !anchor) return;
    char bone_name[STAGE_NAME_MAX + 1];
    for (const StageSuffixRule& r : STAGE_ANCHOR_TABLE)
        if (stage_name_join(bone_name, sizeof bone_name, group, r.suffix))
            spawn_below_anchor(group, bone_name, anchor, r.flags, extra, frame);
}

ResGroupId stage_set_group() { return s.group; }

DrawObj* stage_set_rule_object(const char* suffix)
{
    if (!suffix) return nullptr;
    for (int i = 0; i < STAGE_MAIN_RULES; i++)
        if (std::strcmp(STAGE_MAIN_TABLE[i].suffix, suffix) == 0) return s.merged[i];
    return nullptr;
}

uint32_t stage_set_count_plain() { return count_of_first_row(0x0); }
uint32_t stage_set_count_merged() { return count_of_first_row(0x1); }
uint32_t stage_set_count_alpha() { return count_of_first_row(0x2); }
uint32_t stage_set_count_alpha_merged() { return count_of_first_row(0x3); }
uint32_t stage_set_count_fix() { return count_of_first_row(0x6); }
const StageMeshSet& stage_set_state() { return s; }

int stage_set_wall_ray(const Vec3* origin, const Vec3* vec, Vec3* out_point, Vec3* out_normal,
                       uint32_t* out_face)
{
    const ResDataInfo* w = wall_info();
    return w ? hit_ray_vs_coll(w, nullptr, origin, vec, out_point, out_normal, out_face) : 0;
}

int stage_set_wall_sweep(const Vec3* start, const Vec3* move, Vec3* out_contact,
                         Vec3* out_correction, Vec3* out_normal, uint32_t* out_face)
{
    const ResDataInfo* w = wall_info();
    return w ? hit_sweep_vs_coll(w, nullptr, start, move, out_contact, out_correction, out_normal,
                                 out_face)
             : 0;
}

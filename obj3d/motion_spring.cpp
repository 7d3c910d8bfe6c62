// obj3d/motion_spring: the spring chains of the motion player: switching
// springs on below a node, and the per-update step that lets the chain hang,
// swing and rest on the ground, turning each parent bone toward its spring.
#include "obj3d/motion.h"

#include <cstring>

#include "hit/hit.h"
#include "math/vm_mat.h"
#include "math/vm_small.h"
#include "obj3d/motion_local.h"
#include "res/chunk.h"

namespace {

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

// --- springs -----------------------------------------------------------------------

int motion_node_enable_spring(MotionPlayer* p, const char* node, int on)
{
    if (!p) return 0;
    p->flags = on ? p->flags | MOTION_MP_SPRING : p->flags & ~MOTION_MP_SPRING;
    const ByteSpan d = res_data(RES_BONE, p->model);
    if (d.empty() || !p->bones) return 0;
    const NameHash want = node ? name_hash(node) : 0;
    int depth = 0, found_depth = -1;
    BoneWork* b = p->bones;
    uint32_t pos = 0;
    BoneTok tok;
    while (b && chunk_bone_next(d, pos, tok)) {
        if (tok.kind == CHUNK_BONE_TOK_PUSH) ++depth;
        if (tok.kind == CHUNK_BONE_TOK_POP) --depth;
        if (tok.kind != CHUNK_BONE_TOK_NODE) continue;
        BoneWork* cur = b;
        b = b->next;
        if (found_depth < 0) {
            const char* n = tok.name_off ? chunk_rd_name(d, tok.name_off) : nullptr;
            if (!node ||
                (n && chunk_rd_u32_or0(d, tok.hash_off) == want && std::strcmp(n, node) == 0))
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
            cur->flags |= MOTION_BW_SPRING;
        } else {
            bone_spring_free(cur->spring);
            cur->spring = nullptr;
            cur->flags &= ~MOTION_BW_SPRING;
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
        if (!hit_ground_below(&probe, &floor, nullptr, nullptr, owner_id, HIT_ANY_GROUP))
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

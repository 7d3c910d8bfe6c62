// obj3d/motion_ctrl: the bone controllers of the motion player: the requests
// (reach, aim, blend, blend in world space), their run during the pose walk,
// the joint-chain solvers behind reach (two-bone and cyclic).
#include "obj3d/motion.h"

#include <algorithm>
#include <cmath>

#include "math/vm_mat.h"
#include "math/vm_quat.h"
#include "math/vm_small.h"
#include "math/vm_vec.h"
#include "math/vm_xform.h"
#include "obj3d/motion_local.h"

namespace {

uint32_t bone_mode(const BoneWork* b)
{
    return (b->flags & MOTION_BW_MODE_MASK) >> MOTION_BW_MODE_SHIFT;
}

void request_mode(MotionPlayer* p, BoneWork* b, uint32_t mode)
{
    b->flags = (b->flags & ~MOTION_BW_MODE_MASK) | (mode << MOTION_BW_MODE_SHIFT);
    if (mode) p->flags |= 1u << (MOTION_MP_MODES_SHIFT + int(mode) - 1);
}

void reach_cyclic(BoneWork** chain, int k, const Vec3& goal)
{
    Mat44 local[MOTION_BW_CHAIN_MASK + 1];
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
    BoneWork* chain[MOTION_BW_CHAIN_MASK + 1];
    const int want = int(b->flags & MOTION_BW_CHAIN_MASK);
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
    if (b->flags & MOTION_BW_NO_UP) {
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

}  // namespace

// --- the pose walk's run ---------------------------------------------------------------

bool motion_run_controller(BoneWork* b, const Mat44* inv_root)
{
    const uint32_t mode = bone_mode(b);
    b->flags &= ~MOTION_BW_MODE_MASK;
    switch (mode) {
    case MOTION_CTRL_REACH: run_reach(b, inv_root); return true;
    case MOTION_CTRL_AIM: run_aim(b, inv_root); return true;
    case MOTION_CTRL_BLEND: run_blend(b, inv_root, false); return true;
    case MOTION_CTRL_BLEND_WORLD: run_blend(b, inv_root, true); return false;
    default: return false;
    }
}

// --- requests and solvers -------------------------------------------------------------

int motion_ctrl_reach(MotionPlayer* p, int i, const Vec3* target, float weight, int chain)
{
    BoneWork* b = p ? bone_work_at(p->bones, i) : nullptr;
    if (!b || !target) return 0;
    b->target = *target;
    b->weight = weight;
    b->flags = (b->flags & ~MOTION_BW_CHAIN_MASK) | uint32_t(std::clamp(chain, 3, 255));
    request_mode(p, b, MOTION_CTRL_REACH);
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
        b->flags &= ~MOTION_BW_NO_UP;
    } else {
        b->up = {1, 0, 0};
        b->flags |= MOTION_BW_NO_UP;
    }
    request_mode(p, b, MOTION_CTRL_AIM);
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
        b->ctrl = VM_MAT_IDENTITY;
        b->weight = 0.0f;
        b->flags &= ~MOTION_BW_MODE_MASK;
        p->flags |= 1u << (MOTION_MP_MODES_SHIFT + int(mode) - 1);
    }
    return 1;
}

int motion_ctrl_blend(MotionPlayer* p, int i, const Mat44* m, float weight)
{
    return ctrl_blend(p, i, m, weight, MOTION_CTRL_BLEND);
}

int motion_ctrl_blend_world(MotionPlayer* p, int i, const Mat44* m, float weight)
{
    return ctrl_blend(p, i, m, weight, MOTION_CTRL_BLEND_WORLD);
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
    Mat44 r = VM_MAT_IDENTITY;
    set_row(r, 0, r0);
    set_row(r, 1, r1);
    set_row(r, 2, r2);
    vm_mat_mul(top, top, &r);
    vm_mat_mul(mid, top, &lm);
    vm_mat_mul(end, mid, &le);
    return 1;
}

// The motion player on the sample character: frames, loops, fades, mirror,
// controllers, springs and the pools' limits.
#include "anim_fixture.h"
#include "obj3d/motion_local.h"

namespace {

using namespace o3t;

class MotionTest : public AnimScene {};

TEST_F(MotionTest, FramesLoopClampAndReverse)
{
    struct Case {
        const char* what;
        int loop, reverse, updates;
        uint32_t start_frame, loop_start, want_frame, want_loops;
    } cases[] = {
        {"no loop stops on the last frame", 0, 0, 25, 0, 0, 19, 0},
        {"a loop wraps to the start", 1, 0, 21, 0, 0, 1, 1},
        {"a loop wraps to the loop start", 1, 0, 21, 0, 5, 6, 1},
        {"reverse from half a frame stays at 0", 0, 1, 3, 0x8000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        MotionPlayer* p = player_with(walk);
        motion_set_loop(p, c.loop);
        motion_set_reverse(p, c.reverse);
        p->loop_start = c.loop_start << 16;
        motion_set_frame(p, c.start_frame);
        for (int i = 0; i < c.updates; ++i)
            motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
        EXPECT_EQ(p->frame, c.want_frame << 16) << c.what;
        EXPECT_EQ(p->loop_count, c.want_loops) << c.what;
        // The root follows the sampled frame: 0.25 along x per frame.
        EXPECT_NEAR(p->bones->model.m[12], 0.25f * float(c.want_frame), 1e-4f) << c.what;
        EXPECT_TRUE(c.loop || c.reverse || motion_at_end(p)) << c.what;
        motion_player_free(p);
    }
}

TEST_F(MotionTest, MotionChangeFadesWithTheCosineWeightAndAFirstMotionDoesNot)
{
    MotionPlayer* p = motion_player_alloc();
    motion_set_fade(p, 10);
    EXPECT_EQ(motion_player_set(p, bones, wave), 1);
    EXPECT_EQ(p->fade_left, 0u);  // a first motion never fades
    motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 1);
    EXPECT_EQ(motion_player_set(p, -1, walk), 0);
    for (int k = 1; k <= 11; ++k) {
        motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
        const float f = float(k - 1) / 10.0f;
        const float t = k <= 10 ? (1.0f - std::cos(3.14159265f * f)) / 2 : 1.0f;
        EXPECT_NEAR(p->bones->model.m[12], t * 0.25f * float(k), 1e-4f) << k;
        EXPECT_EQ((p->flags & MOTION_MP_FADED) != 0, k <= 10) << k;
    }
    motion_player_free(p);
}

TEST_F(MotionTest, MirrorSwapsTheSidesChannels)
{
    MotionPlayer* p = player_with(wave);
    motion_set_mirror(p, 1);
    motion_player_update(p, &VM_MAT_IDENTITY, 3, nullptr, 0, 1);
    const int left = motion_bone_index(p, "arm_L_up");
    // The left arm plays the right arm's channel, 30 degrees about y at frame 3, mirrored
    // across its x-z plane: the same turn, not the left channel's turn about z.
    Mat44 turn = VM_MAT_IDENTITY, want, bind;
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    turn.m[0] = turn.m[10] = c, turn.m[2] = -s, turn.m[8] = s;
    const Vec3 at = {0.5f, 0, 0};
    vm_mat_translation(&bind, &at);
    vm_mat_mul(&want, &bind, &turn);
    const Mat44& got = bone_work_at(p->bones, left)->model;
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(got.m[i], want.m[i], 1e-4f) << i;
    motion_player_free(p);

    // Side names swap; a name without one, or too long for `out`, is left alone.
    const char* names[][3] = {{"arm_L_up", "1", "arm_R_up"},
                              {"x_R_L_", "1", "x_R_R_"},
                              {"leg_R_", "2", "leg_L_"},
                              {"hand_L", "0", "-"},
                              {"a_much_too_long_L_name", "0", "-"}};
    for (const auto& n : names) {
        char out[16] = "-";
        EXPECT_EQ(mirror_bone_name(out, sizeof out, n[0]), std::atoi(n[1])) << n[0];
        EXPECT_STREQ(out, n[2]) << n[0];
    }
}

TEST_F(MotionTest, ReachAndBlendControllers)
{
    struct Case {
        Vec3 goal;
        float want_dist;  // from the chain's top; < 0: the goal itself
    } cases[] = {{{1.9f, 0.6f, 0.0f}, -1}, {{0.5f, 1.2f, 1.0f}, -1}, {{9.0f, 3.0f, 0.0f}, 1.998f}};
    for (const Case& c : cases) {
        MotionPlayer* p = player_with(0);
        const int hand = motion_bone_index(p, "hand_L");
        ASSERT_EQ(motion_ctrl_reach(p, hand, &c.goal, 1.0f, 1), 1);
        EXPECT_EQ(bone_work_at(p->bones, hand)->flags & MOTION_BW_CHAIN_MASK, 3u);  // at least 3
        motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
        const Vec3 tip = pos(bone_work_at(p->bones, hand)->world);
        const Vec3 top = {0.5f, 0, 0};
        if (c.want_dist < 0) {
            EXPECT_LT(dist(tip, c.goal), 1e-3f);
        } else {
            EXPECT_NEAR(dist(tip, top), c.want_dist, 1e-3f);
            // Stretched along the line from the top toward the goal.
            const Vec3 g = {c.goal.x - top.x, c.goal.y - top.y, 0};
            const float gl = std::sqrt(g.x * g.x + g.y * g.y);
            EXPECT_NEAR((tip.x - top.x) / c.want_dist, g.x / gl, 2e-2f);
        }
        motion_player_free(p);
    }
    EXPECT_EQ(motion_ctrl_reach(nullptr, 0, &cases[0].goal, 1, 3), 0);

    // A chain of four takes the cyclic method.
    MotionPlayer* p = player_with(0);
    const int tip = motion_bone_index(p, "tail3");
    const Vec3 goal = {1.5f, -2.0f, 0.5f};
    motion_ctrl_reach(p, tip, &goal, 1.0f, 4);
    motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
    EXPECT_LT(dist(pos(bone_work_at(p->bones, tip)->world), goal), 0.1f);

    // Blend toward a turn: weight 1 takes it whole, 0.5 half of it.
    const int arm = motion_bone_index(p, "arm_L_up");
    Mat44 turn;
    const Vec3 angles = {0, 0, 1.0f};
    vm_mat_identity(&turn);
    vm_mat_from_euler(&turn, &angles);
    for (float w : {1.0f, 0.5f}) {
        motion_ctrl_blend(p, arm, &turn, w);
        motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
        const Mat44& m = bone_work_at(p->bones, arm)->model;
        EXPECT_NEAR(std::atan2(m.m[1], m.m[0]), std::atan2(turn.m[1], turn.m[0]) * w, 1e-3f);
        EXPECT_NEAR(m.m[12], 0.5f, 1e-5f);  // the position stays
    }
    // Aim with weight 0 leaves the pose; a request lasts one update.
    const Vec3 target = {0.5f, 5, 0};
    motion_ctrl_aim(p, arm, &target, nullptr, 0.0f);
    motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
    EXPECT_NEAR(bone_work_at(p->bones, arm)->model.m[0], 1.0f, 1e-5f);
    EXPECT_EQ(p->flags & (31u << MOTION_MP_MODES_SHIFT), 0u);
    motion_player_free(p);
}

// Aiming turns a bone so that its forward axis (row 2) points at the target;
// the weight blends the turn as a rotation, so a part of the weight is that
// part of the angle, and the bone keeps its place, its length and its shape.
Vec3 aim_row(const Mat44& m, int r) { return {m.m[4 * r], m.m[4 * r + 1], m.m[4 * r + 2]}; }
float aim_dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 aim_unit(const Vec3& v)
{
    const float l = std::sqrt(aim_dot(v, v));
    return {v.x / l, v.y / l, v.z / l};
}
float aim_angle(const Vec3& a, const Vec3& b)
{
    return std::acos(std::clamp(aim_dot(aim_unit(a), aim_unit(b)), -1.0f, 1.0f));
}

// Rows 0-2 of m: unit length, at right angles, right-handed.
void aim_expect_rotation(const Mat44& m, const char* what)
{
    const Vec3 x = aim_row(m, 0), y = aim_row(m, 1), z = aim_row(m, 2);
    for (const Vec3& r : {x, y, z}) EXPECT_NEAR(aim_dot(r, r), 1.0f, 1e-4f) << what;
    EXPECT_NEAR(aim_dot(x, y), 0.0f, 1e-4f) << what;
    EXPECT_NEAR(aim_dot(y, z), 0.0f, 1e-4f) << what;
    EXPECT_NEAR(aim_dot(z, x), 0.0f, 1e-4f) << what;
    const Vec3 xy = {x.y * y.z - x.z * y.y, x.z * y.x - x.x * y.z, x.x * y.y - x.y * y.x};
    EXPECT_NEAR(aim_dot(xy, z), 1.0f, 1e-4f) << what;
}

TEST_F(MotionTest, AimTurnsTheBoneTowardItsTargetByItsWeight)
{
    // The upper left arm rests at (0.5, 0, 0) facing +z; its child starts 1 along its x axis.
    const float h = 0.70710678f, s22 = 0.38268343f, c22 = 0.92387953f;
    const Vec3 up_y = {0, 1, 0};
    const struct {
        const char* what;
        Vec3 target;
        const Vec3* up;
        float weight;
        Vec3 want_forward;
        Vec3 want_side;  // row 0 where the case fixes it, else zero
    } cases[] = {
        {"whole weight to the side", {3.5f, 0, 0}, &up_y, 1.0f, {1, 0, 0}, {0, 0, -1}},
        {"half weight to the side", {3.5f, 0, 0}, &up_y, 0.5f, {h, 0, h}, {h, 0, -h}},
        {"a quarter to the side", {3.5f, 0, 0}, &up_y, 0.25f, {s22, 0, c22}, {c22, 0, -s22}},
        {"whole weight up and ahead", {0.5f, 3, 3}, &up_y, 1.0f, {0, h, h}, {1, 0, 0}},
        {"half weight up and ahead", {0.5f, 3, 3}, &up_y, 0.5f, {0, s22, c22}, {1, 0, 0}},
        {"straight ahead: no turn", {0.5f, 0, 4}, &up_y, 1.0f, {0, 0, 1}, {1, 0, 0}},
        {"straight ahead at half weight", {0.5f, 0, 4}, &up_y, 0.5f, {0, 0, 1}, {1, 0, 0}},
        // Behind: the whole turn is half a turn about the up vector, upright.
        {"behind", {0.5f, 0, -4}, &up_y, 1.0f, {0, 0, -1}, {-1, 0, 0}},
        // On the up vector's line the side axis is still a unit one.
        {"on the up axis", {0.5f, 4, 0}, &up_y, 1.0f, {0, 1, 0}, {0, 0, 0}},
        // Without an up vector the bone turns about its own side axis.
        {"no up vector", {0.5f, 4, 0}, nullptr, 1.0f, {0, 1, 0}, {1, 0, 0}},
        {"no up vector, half weight", {0.5f, 4, 0}, nullptr, 0.5f, {0, h, h}, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        MotionPlayer* p = player_with(0);
        const int arm = motion_bone_index(p, "arm_L_up"), low = motion_bone_index(p, "arm_L_low");
        ASSERT_EQ(motion_ctrl_aim(p, arm, &c.target, c.up, c.weight), 1);
        motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
        const Mat44& m = bone_work_at(p->bones, arm)->world;
        for (float v : m.m) ASSERT_TRUE(std::isfinite(v)) << c.what;
        aim_expect_rotation(m, c.what);
        EXPECT_LT(aim_angle(aim_row(m, 2), c.want_forward), 1e-3f) << c.what;
        if (aim_dot(c.want_side, c.want_side) > 0) {
            EXPECT_LT(aim_angle(aim_row(m, 0), c.want_side), 1e-3f) << c.what;
        }
        EXPECT_LT(dist(pos(m), {0.5f, 0, 0}), 1e-5f) << c.what;
        // The child follows the turned bone.
        const Vec3 x = aim_row(m, 0), child = {0.5f + x.x, x.y, x.z};
        EXPECT_LT(dist(pos(bone_work_at(p->bones, low)->world), child), 1e-4f) << c.what;
        motion_player_free(p);
    }

    // Half weight toward a target behind: a quarter turn about the up vector,
    // to one side or the other, never a squashed matrix.
    MotionPlayer* p = player_with(0);
    const int arm = motion_bone_index(p, "arm_L_up");
    const Vec3 behind = {0.5f, 0, -4};
    motion_ctrl_aim(p, arm, &behind, &up_y, 0.5f);
    motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
    const Mat44& m = bone_work_at(p->bones, arm)->world;
    aim_expect_rotation(m, "half weight behind");
    EXPECT_NEAR(std::fabs(aim_row(m, 2).x), 1.0f, 1e-3f);
    EXPECT_NEAR(aim_row(m, 1).y, 1.0f, 1e-3f);
    motion_player_free(p);
}

// The target and the up vector are in world space: the object's own turn and
// place are taken out before the bone turns.
TEST_F(MotionTest, AimTakesTheTargetInWorldSpace)
{
    Mat44 root = at(2.0f, 1.0f, 5.0f);
    const Vec3 quarter = {0, 1.5707963f, 0};
    vm_mat_from_euler(&root, &quarter);
    const Vec3 up = {0, 1, 0};
    for (const Vec3& target : {Vec3{-3, 4, 2}, Vec3{6, 1, 5}, Vec3{2, -2, 9}}) {
        MotionPlayer* p = player_with(0);
        const int arm = motion_bone_index(p, "arm_L_up");
        motion_ctrl_aim(p, arm, &target, &up, 1.0f);
        motion_player_update(p, &root, 0, nullptr, 0, 1);
        const Mat44& w = bone_work_at(p->bones, arm)->world;
        const Vec3 eye = pos(w), to = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
        EXPECT_LT(aim_angle(aim_row(w, 2), to), 1e-3f) << target.x;
        // Upright in the world: the side axis is level, the bone's up is on the up side.
        EXPECT_NEAR(aim_dot(aim_row(w, 0), up), 0.0f, 1e-4f) << target.x;
        EXPECT_GT(aim_dot(aim_row(w, 1), up), 0.0f) << target.x;
        motion_player_free(p);
    }
}

TEST_F(MotionTest, DegenerateReachLeavesThePoseFinite)
{
    MotionPlayer* p = player_with(0);
    const int hand = motion_bone_index(p, "hand_L");
    const Vec3 at_top = {0.5f, 0, 0}, near_top = {0.5f, 0.01f, 0};
    for (const Vec3& g : {at_top, near_top}) {
        motion_ctrl_reach(p, hand, &g, 1.0f, 3);
        motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
        for (BoneWork* b = p->bones; b; b = b->next)
            for (float v : b->world.m) ASSERT_TRUE(std::isfinite(v));
    }
    // A reach on a bone with fewer than two ancestors does nothing.
    const Vec3 far = {5, 5, 5};
    motion_ctrl_reach(p, 1, &far, 1.0f, 3);
    motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 1);
    EXPECT_NEAR(pos(bone_work_at(p->bones, 1)->world).x, 0.5f, 1e-5f);
    motion_player_free(p);
}

TEST_F(MotionTest, SpringChainSettlesAboveTheGround)
{
    MotionPlayer* p = player_with(0);
    const Mat44 high = at(0, 1.0f, 0);
    motion_player_update(p, &high, 0, nullptr, 0, 1);
    ASSERT_EQ(motion_node_enable_spring(p, "tail0", 1), 1);
    EXPECT_EQ(bone_spring_count(), 3);  // the subtree, not the node itself
    for (int i = 0; i < 600; ++i) motion_player_update(p, &high, 0, nullptr, 0, 0);
    float lowest = 1e9f;
    for (BoneWork* b = p->bones; b; b = b->next) {
        if (!b->spring) continue;
        EXPECT_GE(b->spring->pos.y, 0.2f * b->spring->rest - 1e-4f);
        lowest = std::min(lowest, b->spring->pos.y);
    }
    EXPECT_NEAR(lowest, 0.2f, 1e-3f);  // rest length 1: resting 0.2 above y = 0
    p->flags &= ~MOTION_MP_SPRING;
    const Vec3 before = bone_work_at(p->bones, motion_bone_index(p, "tail3"))->spring->pos;
    motion_player_update(p, &high, 0, nullptr, 0, 0);
    EXPECT_EQ(bone_work_at(p->bones, motion_bone_index(p, "tail3"))->spring->pos.y, before.y);
    motion_player_free(p);
    EXPECT_EQ(bone_spring_count(), 0);
}

TEST_F(MotionTest, ExhaustedPoolsAnswerNull)
{
    std::vector<MotionPlayer*> all;
    while (MotionPlayer* p = motion_player_alloc()) all.push_back(p);
    EXPECT_EQ(int(all.size()), MOTION_PLAYERS);
    for (MotionPlayer* p : all) motion_player_free(p);
    BoneWork* last = nullptr;
    EXPECT_EQ(bone_work_alloc(MOTION_BONE_WORKS + 1, &last), nullptr);
    BoneWork* most = bone_work_alloc(MOTION_BONE_WORKS - 5, &last);
    ASSERT_NE(most, nullptr);
    // Too few bone works left: the player gets none and its update does nothing.
    MotionPlayer* p = player_with(wave);
    EXPECT_EQ(p->bones, nullptr);
    motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
    EXPECT_EQ(p->frame | (p->flags & MOTION_MP_UPDATED), 0u);
    bone_work_free(most);
    // Springs: the 65th bone gets none and no spring flag.
    std::vector<MotionPlayer*> ps;
    for (int i = 0; i < 22; ++i) ps.push_back(player_with(0));
    for (MotionPlayer* q : ps) motion_node_enable_spring(q, "tail0", 1);
    EXPECT_EQ(bone_spring_count(), MOTION_BONE_SPRINGS);
    const BoneWork* t3 = bone_work_at(ps.back()->bones, motion_bone_index(ps.back(), "tail3"));
    EXPECT_EQ(t3->spring, nullptr);
    EXPECT_EQ(t3->flags & MOTION_BW_SPRING, 0u);
    for (int i = 0; i < 3; ++i) motion_player_update(ps.back(), &VM_MAT_IDENTITY, 0, nullptr, 0, 0);
}

// Bone trees the loader takes but the player cannot pose: one level deeper
// than its stack holds, a node without its matrix token.
TEST_F(MotionTest, HostileTreesGetNoBoneWorks)
{
    qvw::BoneNode deep{"n0", qvw::mat_identity(), {}};
    for (int i = 1; i < 62; ++i)
        deep = qvw::BoneNode{"n" + std::to_string(i), qvw::mat_identity(), {deep}};
    qvw::Bytes unpaired = qvw::bone_chunk(qvw::sample_character_bones());
    unpaired.erase(unpaired.begin() + 4, unpaired.begin() + 4 + 4 + 64);  // the first matrix token
    BoneTok t;
    for (uint32_t pos = 0; chunk_bone_next(unpaired, pos, t);)  // the names moved up with it
        if (t.kind == CHUNK_BONE_TOK_NODE) chunk_wr_u32(unpaired, t.at + 4, t.name_off - 68);
    for (const qvw::Bytes& chunk : {qvw::bone_chunk({deep}), unpaired}) {
        const ResHandle h = res_bone_register("bad", "n61", chunk);
        ASSERT_NE(h, 0u);
        MotionPlayer* p = motion_player_alloc();
        motion_player_set(p, h, 0);
        EXPECT_EQ(p->bones, nullptr);
        motion_player_update(p, &VM_MAT_IDENTITY, 0, nullptr, 0, 0);
        motion_player_free(p);
        res_bone_release(h);
    }
    EXPECT_EQ(bone_work_count(), 0);
}

}  // namespace

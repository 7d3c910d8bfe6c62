// Hit targets of the 3D types: bone targets riding their bones under one
// owner id, rebuilt with a new skeleton, keeping their switches; targets
// released by every type's exit; the springs resting on collision ground.
#include "anim_fixture.h"
#include "hit/hit.h"
#include "obj3d/motion_local.h"

namespace {

using namespace o3t;

class Obj3dHitTest : public AnimScene {
protected:
    void SetUp() override
    {
        AnimScene::SetUp();
        hit_init();
        // An arm with a collision node for the arm only ("CM_hand" is
        // missing: the hand gets no target).
        qvw::Mat16 one = qvw::mat_identity(), two = one;
        one[12] = 1, two[12] = 2;
        qvw::BoneNode hand{"hand", one, {}};
        qvw::BoneNode cm{"CM_arm", qvw::mat_identity(), {}};
        qvw::BoneNode arm{"arm", two, {hand, cm}};
        tree = res_bone_register("bh", "tree",
                                 qvw::bone_chunk({{"root", qvw::mat_identity(), {arm}}}));
        floor = res_coll_register("bh", "CM_arm", qvw::coll_chunk(qvw::sample_coll_ground()));
        ASSERT_TRUE(tree && floor);
    }
    void TearDown() override
    {
        hit_term();
        AnimScene::TearDown();
    }
    static float ground(const Vec3& p, HitOwnerId skip)
    {
        float h = -1e9f;
        return hit_ground_below(&p, &h, nullptr, nullptr, skip, HIT_ANY_GROUP) ? h : -1e9f;
    }
    ResHandle tree = 0, floor = 0;
};

TEST_F(Obj3dHitTest, BoneTargetsRideTheirBonesUnderOneOwner)
{
    DrawObj* o = motobj_create(0, nullptr, 0, 81);
    ASSERT_NE(o, nullptr);
    motobj_set_motion(o, tree, 0);
    EXPECT_EQ(motobj_hit_count(o), 0);  // nothing until asked for
    ASSERT_EQ(motobj_build_bone_hits(o, MOTOBJ_PLAYER_BONES, 0), 1);
    HitTarget* t = motobj_hit_at(o, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->world, &motobj_bone_world_by_name(o, "arm", 0)->world);
    EXPECT_STREQ(reinterpret_cast<const char*>(t->name), "CM_arm");
    const HitOwnerId id = motobj_hit_id(o);
    EXPECT_NE(id, 0);
    const Vec3 p = {3, 20, 1};
    EXPECT_EQ(ground(p, 0), -1e9f);  // hittable but not ground yet
    motobj_hit_enable(o, 1);
    EXPECT_NEAR(ground(p, 0), 0, 1e-3);
    EXPECT_EQ(ground(p, id), -1e9f);  // the owner's own bones are skipped
    motobj_matrix(o)->m[13] = 4;
    motobj_update(o, -1);
    EXPECT_NEAR(ground(p, 0), 4, 1e-3);

    // A rebuild keeps the switches, takes a fresh owner id and new bones.
    motobj_hit_set_hittable(o, 0);
    motobj_set_motion(o, tree, 0);
    ASSERT_EQ(motobj_hit_count(o), 1);
    EXPECT_NE(motobj_hit_id(o), id);
    EXPECT_EQ(motobj_hit_at(o, 0)->flags & (HIT_HITTABLE | HIT_GROUND), HIT_GROUND);
    EXPECT_EQ(motobj_hit_at(o, 0)->world, &motobj_bone_world_by_name(o, "arm", 0)->world);
    EXPECT_EQ(motobj_hit_set_hittable_by_name(o, "CM_arm", 1), 1);
    EXPECT_EQ(motobj_hit_set_hittable_by_name(o, "CM_hand", 1), 0);
    EXPECT_EQ(motobj_hit_enable_by_name(o, nullptr, 1), 0);
    EXPECT_NEAR(ground(p, 0), 4, 1e-3);
    const int live = obj_live_count();
    motobj_hit_debug_draw(o, 0, 0);  // collision triangles
    motobj_hit_debug_draw(o, 0, 1);  // no mesh "CM_arm": an empty model, still drawn
    EXPECT_EQ(obj_live_count(), live + 2);
    motobj_set_motion(o, 0, 0);  // clearing the player leaves the targets
    EXPECT_EQ(motobj_hit_count(o), 1);
    obj_free(o);
    EXPECT_EQ(hit_target_count(), 0);
}

TEST_F(Obj3dHitTest, EveryTypeReleasesItsTargetOnExit)
{
    const Vec3 p = {1, 20, 1}, down = {0, -40, 0};
    // The model object's target: results over the chain, re-pointed, released with the object.
    DrawObj* model = mdlobj_create(0, nullptr, 0, 81);
    mdlobj_set_hit(model, floor, 4);
    EXPECT_EQ(ground(p, 0), -1e9f);  // made switched off
    mdlobj_hit_enable(model, 1);
    EXPECT_EQ(ground(p, mdlobj_hit_id(model)), -1e9f);
    mdlobj_matrix(model)->m[13] = 6;
    EXPECT_NEAR(ground(p, 0), 6, 1e-3);
    hit_ray_add(&p, &down, 40, HIT_ANY_GROUP, 1, 2);
    hit_frame();
    ASSERT_EQ(mdlobj_hit_result_count(model), 1u);
    HitResult r;
    ASSERT_EQ(mdlobj_hit_result(model, 0, &r), 1);
    EXPECT_NEAR(r.point.y, 6, 1e-3);
    EXPECT_EQ(r.next, nullptr);
    EXPECT_EQ(mdlobj_hit_result(model, 1, &r), 0);
    mdlobj_set_hit_sphere(model, nullptr, 2, 4);  // re-pointed, not a second target
    EXPECT_EQ(hit_target_count(), 1);
    obj_free(model);
    EXPECT_EQ(hit_target_count(), 0);

    DrawObj* mesh = meshobj_create(0, nullptr, 81);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(meshobj_hit_enable(mesh, 1), 1);  // no target: nothing done, still 1
    meshobj_set_hit(mesh, floor, 0);
    EXPECT_NEAR(ground(p, 0), 0, 1e-3);  // switched on at once
    meshobj_matrix(mesh)->m[13] = 3;     // moves the target only
    EXPECT_NEAR(ground(p, 0), 3, 1e-3);
    const int live = obj_live_count();
    meshobj_hit_debug_draw(mesh);  // the collision triangles as one object
    EXPECT_EQ(obj_live_count(), live + 1);

    DrawObj* att = attobj_create(0, nullptr, 0, 81);
    DrawObj* list = plist3d_create(0, nullptr, 81);
    ASSERT_TRUE(att && list);
    attobj_set_hit(att, floor, 0);
    EXPECT_EQ(attobj_get_hit(att)->flags & HIT_GROUND, 0u);  // switched off
    attobj_matrix(att)->m[13] = 7;
    attobj_hit_enable(att, 1);
    EXPECT_NEAR(ground(p, 0), 7, 1e-3);
    const Vec3 centre = {0, 1, 0};
    plist3d_set_hit_sphere(list, &centre, 2, 0);
    plist3d_matrix(list)->m[12] = 5;
    const HitTarget* s = plist3d_get_hit(list);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->flags & HIT_GROUND, 0u);
    DrawObj* disc = debug_hit_sphere_draw(0, s, OBJ3D_HIT_DEBUG_OFF);
    ASSERT_NE(disc, nullptr);
    EXPECT_EQ(plist3d_get_colour(disc), OBJ3D_HIT_DEBUG_OFF);
    EXPECT_EQ(hit_target_count(), 3);

    for (DrawObj* o : {mesh, att, list}) {
        const int before = hit_target_count();
        obj_free(o);
        EXPECT_EQ(hit_target_count(), before - 1);
    }
}

TEST_F(Obj3dHitTest, SpringChainRestsOnTheRamp)
{
    const ResHandle ramp = res_coll_register("t", "ramp", qvw::coll_chunk(qvw::sample_coll_ramp()));
    ASSERT_NE(hit_target_add_model(ramp, nullptr, 0, hit_next_id(), nullptr, 0), nullptr);
    MotionPlayer* p = player_with(0);
    Mat44 high;
    vm_mat_identity(&high);
    high.m[12] = 10, high.m[13] = 6.5f;  // the tail is longer than the drop
    motion_player_update(p, &high, 0, nullptr, 0, 1);
    ASSERT_EQ(motion_node_enable_spring(p, "tail0", 1), 1);
    for (int i = 0; i < 600; ++i) motion_player_update(p, &high, 0, nullptr, 0, 0);
    float gap = 1e9f;
    for (BoneWork* b = p->bones; b; b = b->next) {
        if (!b->spring) continue;
        const float rest_y = b->spring->pos.x / 2 + 0.2f * b->spring->rest;  // ramp y = x / 2
        EXPECT_GE(b->spring->pos.y, rest_y - 1e-3f);
        gap = std::min(gap, b->spring->pos.y - rest_y);
    }
    EXPECT_LT(gap, 1e-2f);  // lying on the ramp, far above y = 0
    motion_player_free(p);
}

}  // namespace

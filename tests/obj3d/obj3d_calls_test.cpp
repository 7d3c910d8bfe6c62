// Objects driven through their own calls: a motion object's playback and its
// attached parts, a model's material.
#include "anim_fixture.h"

namespace {

using namespace o3t;

class ObjCallsTest : public AnimScene {};

TEST_F(ObjCallsTest, LoopsSpeedReverseAndTheRootThroughTheObject)
{
    DrawObj* o = motobj_create(0, nullptr, mesh, 81);
    ASSERT_NE(o, nullptr);
    motobj_set_motion(o, bones, walk);
    EXPECT_EQ(std::pair(motobj_get_motion(o), motobj_get_bone_model(o)), std::pair(walk, bones));
    motobj_set_start(o, 0);
    motobj_set_frame(o, 0);
    EXPECT_TRUE(motobj_at_start(o));
    EXPECT_EQ(motobj_get_length(o), 20);
    motobj_set_loop(o, 1);
    motobj_set_loop_start(o, 5);
    EXPECT_EQ(motobj_get_loop_start(o), 5);
    for (int i = 0; i < 21; ++i) motobj_update(o, -1);
    EXPECT_EQ(std::tuple(motobj_get_frame(o), motobj_get_loop_count(o), motobj_get_total_frames(o)),
              std::tuple(6, 1, 6 + 20));
    EXPECT_TRUE(motobj_is_playing_n(o, 1));
    EXPECT_FALSE(motobj_is_playing_n(o, 0));
    motobj_set_speed(o, 2.0f);
    motobj_update(o, -1);
    EXPECT_EQ(motobj_get_frame(o), 8);
    motobj_set_reverse(o, 1);
    motobj_update(o, -1);
    EXPECT_EQ(motobj_get_frame(o), 6);
    // The root walks 0.25 along x a frame.
    float x = 0, y = 1, z = 1;
    motobj_ref_pos(o, &x, &y, &z);
    EXPECT_NEAR(x, 0.25f * 6, 1e-4f);
    Vec3 d{};
    motobj_root_delta(o, &d);
    EXPECT_NEAR(d.x, -0.5f, 1e-4f);
    EXPECT_NEAR(motobj_root_speed(o), 0.5f, 1e-4f);
    const int hand = motobj_bone_index(o, "hand_L");
    EXPECT_STREQ(motobj_bone_name(o, hand), "hand_L");
    Mat44 at;
    vm_mat_identity(&at);
    at.m[12] = 7.0f;
    EXPECT_EQ(motobj_ctrl_blend_world_by_name(o, "hand_L", &at, 1.0f), 1);
    motobj_update(o, -1);
    EXPECT_NEAR(motobj_bone_world(o, hand, 1)->world.m[12], 7.0f, 1e-3f);
    motobj_set_loop(o, 0);
    motobj_set_reverse(o, 0);
    motobj_set_frame(o, 19);
    EXPECT_TRUE(motobj_at_end(o));
}

TEST_F(ObjCallsTest, AttachmentsKeepTheirOrderAndLeaveTheListCleanly)
{
    DrawObj* o = motobj_create(0, nullptr, mesh, 81);
    const ResHandle cube = make_cube("part", 0.5f);
    DrawObj* parts[3] = {attobj_list_attach(o, "a", cube), attobj_list_attach(o, "b", cube),
                         attobj_list_attach(o, "c", cube)};
    ASSERT_EQ(attobj_list_count(o), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(attobj_list_get(o, i), parts[i]);
        EXPECT_EQ(attobj_get_owner(parts[i]), o);
        EXPECT_EQ(attobj_get_prev(parts[i]), i ? parts[i - 1] : nullptr);
        EXPECT_EQ(attobj_get_next(parts[i]), i < 2 ? parts[i + 1] : nullptr);
    }
    EXPECT_STREQ(attobj_name(parts[1]), "b");
    EXPECT_EQ(attobj_get_mesh(parts[1]), cube);
    attobj_list_show_at(o, 1, 0);
    EXPECT_FALSE(parts[1]->flags & OBJ_VISIBLE);
    attobj_list_detach(o, "b");  // the neighbours close the gap
    EXPECT_EQ(attobj_get_next(parts[0]), parts[2]);
    EXPECT_EQ(attobj_get_prev(parts[2]), parts[0]);
    Mat44 front = at(0, 0, 10), behind = at(0, 0, -10);
    attobj_set_parent_matrix(parts[0], &front);
    attobj_set_parent_matrix(parts[2], &behind);
    EXPECT_EQ(attobj_get_parent_matrix(parts[0]), &front);
    motobj_update(o, -1);
    EXPECT_EQ(attobj_is_culled(parts[0], 0, nullptr, 1), 0);
    EXPECT_EQ(attobj_is_culled(parts[2], 0, nullptr, 0), 1);
    attobj_list_detach_all(o);
    EXPECT_EQ(std::pair(attobj_list_count(o), obj_live_count()), std::pair(0, 1));
}

TEST_F(ObjCallsTest, EachMaterialCallSetsItsOwnFieldAndTheDefaultFlag)
{
    DrawObj* o = mdlobj_create(0, nullptr, mesh, 81);
    struct Row {
        int (*set)(DrawObj*);
        ObjMaterial want;
    };
    const ObjMaterial d = OBJ3D_MATERIAL_DEFAULT;
    const Row rows[] = {
        {[](DrawObj* x) { return mdlobj_set_ambient(x, 1); }, {1, d.diffuse, 0, 0, 0, 1}},
        {[](DrawObj* x) { return mdlobj_set_colour(x, 2); }, {d.ambient, 2, 0, 0, 0, 1}},
        {[](DrawObj* x) { return mdlobj_set_emissive(x, 3); }, {d.ambient, d.diffuse, 3, 0, 0, 1}},
        {[](DrawObj* x) { return mdlobj_set_specular(x, 4, 5); },
         {d.ambient, d.diffuse, 0, 4, 5, 1}},
        {[](DrawObj* x) { return mdlobj_set_material_w5(x, 6); },
         {d.ambient, d.diffuse, 0, 0, 0, 6}},
        {[](DrawObj* x) { return mdlobj_set_material(x, 1, 2, 3, 4, 5, 6); }, {1, 2, 3, 4, 5, 6}},
    };
    for (const Row& r : rows) {
        mdlobj_set_material(o, d.ambient, d.diffuse, 0, 0, 0, 1);
        EXPECT_EQ(r.set(o), 0);
        EXPECT_EQ(std::memcmp(mdlobj_get_material(o), &r.want, sizeof r.want), 0);
    }
    EXPECT_EQ(mdlobj_get_colour(o), 2u);
    EXPECT_EQ(mdlobj_set_material(o, d.ambient, d.diffuse, 0, 0, 0, 1), 1);
    EXPECT_EQ(mdlobj_set_ambient(motobj_create(0, nullptr, mesh, 81), 1), 0);  // not a model
    EXPECT_EQ(mdlobj_get_material(nullptr), nullptr);
}

}  // namespace

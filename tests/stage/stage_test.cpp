// Stage names, and stage scenes: suffix rules, wall queries, loading in steps, node lookups.
#include "stage_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "stage/stage_local.h"
#include "stage/stage_set_local.h"

namespace {

TEST(StageNames, PatternsAndBoundedNames)
{
    const std::tuple<const char*, const char*, int> cases[] = {
        {"tree1", "tree#", 1},  {"tree12", "tree#", 1}, {"tree", "tree#", 0},
        {"tree1a", "tree#", 0}, {"ab", "a#b", 1},       {"a7b", "a#b", 1},
        {"tree1a", "tree*", 1}, {"tree", "tree*", 0},   {"a11", "a#1", 0},
        {nullptr, "a", 0},      {"a", nullptr, 0},      {"x", "x", 1}};
    for (auto [name, pattern, match] : cases)
        EXPECT_EQ(stage_name_match(name, pattern), match) << pattern;
    EXPECT_EQ(stage_name_match(std::string(5000, '7').c_str(), "#"), 0);  // over any stored name
    char out[8];
    EXPECT_TRUE(stage_name_cut_last(out, sizeof out, "rock_01") && !strcmp(out, "rock"));
    EXPECT_TRUE(stage_name_cut_first(out, sizeof out, "door_a_01") && !strcmp(out, "door"));
    EXPECT_TRUE(!stage_name_cut_last(out, sizeof out, "rockandroll_01") && !out[0]);  // too long
    EXPECT_FALSE(stage_name_join(out, sizeof out, "s1", "_nodisp"));
}

TEST_F(StageScene, SuffixRulesAndTheAnchorMakeTheirObjects)
{
    ASSERT_GT(load_stage(), 0);
    DrawObj* merged = stage_set_rule_object("_s");
    ASSERT_TRUE(merged && merged->prio == 82);
    ResMeshListNode* list = meshobj_work(merged)->list;
    EXPECT_TRUE(list && list->next && !list->next->next);  // lamp_nodisp left out
    EXPECT_NE(meshobj_work(merged)->hit, nullptr);
    EXPECT_TRUE(!meshobj_work(stage_set_rule_object("_sn"))->hit && !stage_set_rule_object("_d"));
    EXPECT_EQ(stage_set_count_merged(), 2u);  // the "_s" row came first
    EXPECT_EQ(stage_set_count_alpha() * 10 + stage_set_count_fix(), 11u);
    EXPECT_EQ(stage_set_count_plain(), 0u);

    // cull 2, alpha-ref 2, blend 2 for "_aadd", depth sort, z write off, billboard
    const std::tuple<const char*, int, int, int, uint32_t> nodes[] = {
        {"postB", 82, 13, 3, 2},
        {"postB", 82, 20, 3, 2},
        {"glow_aadd", 82, 8, 5, 2},
        {"glass", 79, OBJ3D_DP_DEPTH_SORT_BIT, 1, 1},
        {"glass", 79, OBJ3D_DP_Z_WRITE_BIT, 1, 0},
        {"flare", 79, OBJ3D_DP_BILLBOARD_SHIFT, 3, 1}};
    for (auto [mesh, prio, shift, bits, value] : nodes) {
        DrawObj* o = model_of(mesh);
        ASSERT_NE(o, nullptr) << mesh;
        EXPECT_EQ(o->prio, prio) << mesh;
        EXPECT_EQ((mdlobj_work(o)->dp >> shift) & ((1u << bits) - 1), value) << mesh << shift;
    }
    const Mat44& w = mdlobj_work(model_of("postB"))->world;
    EXPECT_EQ(w.m[12] * 10 + w.m[13], 21.0f);  // (2, 1): its parent's matrix applied after
    DrawObj* lamp = model_of("lamp_nodisp");   // no mesh: the "_d" node only
    EXPECT_TRUE(lamp && !(lamp->flags & OBJ_VISIBLE));

    obj_build_draw_list();  // the translucent rule after the opaque ones of its band
    const auto at = [](DrawObj* o) {
        for (int i = 0; i < obj_draw_list_count(); i++)
            if (obj_draw_list()[i] == o) return i;
        return -1;
    };
    EXPECT_TRUE(at(model_of("postB")) >= 0 && at(model_of("glass")) > at(model_of("postB")));
    // The anchor spawns every frame, posed by the animation, taking no rows.
    const int rows = stage_set_state().rows_used;
    for (int frame = 0; frame < 20; frame++) {
        stage_set_load_z(0, "s1", "door", 7, frame);
        DrawObj* door = model_of("door01");
        ASSERT_TRUE(door && door->prio == 84 && (door->flags & OBJ_KILL_MASK)) << frame;
        const Mat44& dw = mdlobj_work(door)->world;  // frames clamp to the last
        EXPECT_TRUE(dw.m[12] == 1 && dw.m[13] == float(std::min(frame, 2)) && dw.m[14] == 5)
            << dw.m[13];
        EXPECT_TRUE(mdlobj_get_hit(door) && mdlobj_get_hit(door)->group == 7u);
        EXPECT_NE(model_of("gate01"), nullptr);  // deeper, after the anchor's subtree
        obj_free_dead();
        EXPECT_EQ(model_of("door01"), nullptr);
    }
    EXPECT_EQ(stage_set_state().rows_used, rows);
}

TEST_F(StageScene, WallQueriesReleaseAndTheSeventeenthRule)
{
    ASSERT_GT(load_stage(), 0);
    Vec3 o = {0, 1, 0}, v = {0, 0, 20}, p{}, n{}, slide{};
    ASSERT_EQ(stage_set_wall_ray(&o, &v, &p, &n, nullptr), 1);
    EXPECT_TRUE(p.z == 10 && n.z == -1) << p.z << " " << n.z;
    const Vec3 away = {0, 0, -20}, start = {0, 1, 8}, move = {2, 0, 4};
    EXPECT_EQ(stage_set_wall_ray(&o, &away, &p, &n, nullptr), 0);
    ASSERT_EQ(stage_set_wall_sweep(&start, &move, &p, &slide, &n, nullptr), 1);
    EXPECT_TRUE(slide.z == 10 && slide.x == 2) << slide.z;  // the end slid back onto the wall

    const int targets = hit_target_count();
    stage_set_release();
    EXPECT_TRUE(!stage_set_rule_object("_s") && !stage_set_wall_ray(&o, &v, &p, &n, nullptr));
    EXPECT_LT(hit_target_count(), targets);  // the merged object's target went with it
    // A 17th rule that finds its bone set, and huge names, make nothing.
    for (int i = 0; i < 20; i++) {
        const std::string s = std::string("x") + STAGE_MAIN_TABLE[i].suffix;
        ASSERT_TRUE(res_bone_register("t", s.c_str(), qvw::bone_chunk({{s, {}, {}}})));
    }
    stage_set_init();
    stage_set_load("t", "x_01", nullptr, 0);
    EXPECT_EQ(stage_set_state().rows_used, STAGE_ROWS);
    const std::string huge(4000, 'n');
    EXPECT_EQ(stage_set_load("t", huge.c_str(), nullptr, 0), 0u);
    stage_set_load_z(0, huge.c_str(), "door", 0, 0);
    EXPECT_EQ(stage_set_state().rows_used, STAGE_ROWS);
}

TEST_F(StageScene, OnlyTheTablesRowLoadsInStepsAndALiveMarkIsReleased)
{
    const int tex = res_pool_used(RES_TEX), groups = group_count();
    stage_release();  // before any stage_init: releases nothing
    EXPECT_EQ(res_pool_used(RES_TEX) * 1000 + group_count(), tex * 1000 + groups);
    EXPECT_FALSE(stage_init(1, 5) || stage_init(-1, 5) || stage_load());
    EXPECT_TRUE(!stage_row_name(1) && !stage_find_entry(1, 0) && !stage_find_entry(0, 3));
    ASSERT_TRUE(stage_init_default(0));
    EXPECT_EQ(stage_load(), 0);  // queued
    EXPECT_TRUE(fog_get_enable(0) && fog_get_start(0) == 500 && fog_get_end(0) == 1000);
    EXPECT_TRUE(env_get_color0(0) == 0x141414u && cam_get_fov(0) == 1.0471976f &&
                cam_get_far(0) == 500);
    int calls = 1;
    while (!stage_load() && calls < 100) calls++;
    EXPECT_GE(calls, 3);  // at least one more 0 while the group loads
    EXPECT_TRUE(stage_load() == 1 && stage_set_state().rows_used == 5);  // _s _sn _a _d _fix
    EXPECT_STREQ(stage_state().dummy, "s1_dummy");
    EXPECT_GT(res_pool_used(RES_MESH), 0);
    stage_release(), stage_release();  // twice: nothing more
    EXPECT_EQ(res_pool_used(RES_MESH), 0);
    EXPECT_EQ(res_pool_used(RES_TEX) * 1000 + group_count(), tex * 1000 + groups);
}

TEST_F(StageScene, NodeLookupsBySuffixAndMergedAndPerNodeRulesDrawn)
{
    ASSERT_GT(load_stage(), 0);
    const ResHandle door = res_mesh_find("s1", "door_a_01");
    Vec3 c{};
    float r = 0;
    Mat44 m{};
    ASSERT_TRUE(stage_node_switch(door, &c, &r));
    EXPECT_TRUE(c.y == 1 && c.z == 8 && std::fabs(r - 0.4330127f) < 1e-5f);
    EXPECT_TRUE(stage_node_target(door, &c) && c.y == 2);
    EXPECT_FALSE(stage_node_switch(res_mesh_find("s1", "rockA"), &c, &r) ||
                 stage_node_switch(door, nullptr, &r));
    EXPECT_TRUE(stage_node_path(door) && !stage_node_path(res_mesh_find("s1", "glass")));
    const Vec3 high = {0, 5, 0};
    // Mode 1 turns about y only (level, +z ahead); mode 0 aims down at the point.
    EXPECT_TRUE(stage_node_lookat(door, &m, &high, 1) && std::fabs(m.m[10] - 1) < 1e-4f);
    EXPECT_TRUE(stage_node_lookat(door, &m, &high, 0) && m.m[9] < -0.1f);
    EXPECT_FALSE(stage_node_lookat(door, &m, &high, 2));
    EXPECT_TRUE(m.m[13] == 5 && m.m[0] == 1);
    EXPECT_TRUE(stage_dummy_node_matrix(&m, "spot") && m.m[12] == 3 && m.m[14] == 5);
    const Vec3 eye = {0, 0, -6}, zero = {0, 0, 0};
    cam_set_pos_rot(0, &eye, &zero);
    Render();
    EXPECT_GT(Luma(Pixel(32, 24)), 0);  // rockB (merged) at the origin
    int lit = 0;  // postA and postB (per node) at x = 2, nothing else right of x = 1
    for (int y = 0; y < o3t::OBJ3D_FIXTURE_H; y++)
        for (int x = 40; x <= 56; x++) lit += Luma(Pixel(x, y)) > 0;
    EXPECT_GT(lit, 0);
}

}  // namespace

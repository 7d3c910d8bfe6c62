// Game-scene functions on the test characters the data writer builds, loaded
// through the loader, with the display's hooks as it wires them.
#include "tool/game_scene.h"

#include "svc/txt_settings.h"
#include "obj3d/attobj.h"
#include "obj3d/motion.h"
#include "obj3d/motobj.h"
#include "obj3d/obj3d_fixture.h"
#include "res/resload.h"
#include "sound/sereq.h"
#include "temp_dir.h"
#include "tools/qv_samples.h"

#include <cstring>

namespace {

class GameScene : public o3t::Obj3dScene {
protected:
    void SetUp() override
    {
        for (const qvw::SampleFile& f : qvw::sample_game_characters())
            dir_.write(f.name, std::string(f.bytes.begin(), f.bytes.end()));
        const std::string pools = "\nMAX_NR_ANIME 8\nSZ_BUFF_ANIME 65536\nSZ_BUFF_ANIMENAME 256\n";
        txt_settings_load(dir_.write("s", "MODEL_DATA_PATH " + dir_.file("") + pools).c_str());
        Obj3dScene::SetUp();
        motion_pool_reset(), resload_boot();
        for (const char* g : {"gs_hero", "gs_knight", "gs_weapon"})
            ASSERT_TRUE(resload_request(g, 0));
        while (resload_step() != RESLOAD_IDLE) {}
    }
    void TearDown() override { resload_shutdown(), Obj3dScene::TearDown(), txt_settings_term(); }
    TempDir dir_;
};

TEST_F(GameScene, PrefixedAndMotionLookupsAndCharactersWithTheirAttachment)
{
    const qvw::Bytes coll = qvw::coll_chunk(qvw::sample_coll(1));
    const ResHandle c = res_coll_register("t", "x", coll),
                    cm_c = res_coll_register("t", "CM_x", coll);
    const ResHandle m = res_mesh_find("gs_hero", "hero_body"),
                    cm_m = o3t::make_cube("CM_hero_body", 1);
    EXPECT_TRUE(coll_find_prefixed("t", "x", 1) == cm_c && coll_find_prefixed("t", "x", 0) == c);
    EXPECT_EQ(coll_find_prefixed("t", std::string(5000, 'x').c_str(), 1), 0u);
    EXPECT_EQ(mesh_find_prefixed("test", "hero_body", 1), cm_m);
    EXPECT_EQ(mesh_find_prefixed("gs_hero", "hero_body", 1), m);  // no "CM_" one there
    EXPECT_EQ(mesh_find_prefixed("gs_hero", nullptr, 1), 0u);
    EXPECT_EQ(anime_count_named("gs_hero", "gs_knight"), 4);
    EXPECT_EQ(anime_count_named(nullptr, "gs_knight"), 2);
    const char *g = nullptr, *n = nullptr;
    ASSERT_TRUE(anime_find_nth(&g, &n, "gs_hero", "gs_knight", 3));
    EXPECT_TRUE(std::strcmp(g, "gs_knight") == 0 && std::strcmp(n, "walk") == 0) << g << n;
    EXPECT_FALSE(anime_find_nth(&g, &n, "gs_hero", "gs_knight", 4));
    EXPECT_TRUE(!char_create(1, nullptr, "Knight", 81) && !char_create(1, nullptr, nullptr, 81));
    EXPECT_TRUE(char_table_count() == 2 && !char_table_row(2) && obj_live_count() == 0);
    for (int i = 0; i < char_table_count(); ++i) {
        const CharRow& row = *char_table_row(i);
        DrawObj* o = char_create(1, nullptr, row.name, 80);
        ASSERT_TRUE(o && o->prio == 80 && motobj_attachment_count(o) == row.attach_count);
        EXPECT_EQ(motobj_get_motion(o), res_anime_find(row.group, row.motion));
        EXPECT_EQ(motobj_get_bone_model(o), res_bone_find(row.group, "root"));
        EXPECT_TRUE(motobj_get_material(o)->specular == row.specular &&
                    motobj_get_material(o)->power == row.power);
        EXPECT_NE(motobj_work(o)->dp & (1u << 6), 0u);  // pass A
        if (row.attach_count) {
            const AttachObj* a = attobj_work(motobj_get_attachment(o, 0));
            EXPECT_TRUE(a->mesh == res_mesh_find("gs_weapon", "sword") &&
                        a->material.specular == 0xFFC0C0C0u);
            EXPECT_EQ(a->parent, &motobj_bone_world_by_name(o, "hand_R", 0)->world);
            EXPECT_EQ((a->dp >> 1 & 1) | (a->dp >> 4 & 1) << 1 | (a->dp >> 13 & 7) << 2,
                      1u | 2u << 2);
            EXPECT_NE(a->own_flags & ATTOBJ_PASS_A, 0u);
        }
        EXPECT_TRUE(motobj_play_named(o, "walk") == 1 &&
                    motobj_get_motion(o) == res_anime_find(row.group, "walk"));
        EXPECT_TRUE(motobj_play_named(o, "run") == 0 &&
                    motobj_get_bone_model(o) == res_bone_find(row.group, "root"));
    }
}

TEST_F(GameScene, KeyMoveAndHooks)
{
    Mat44 in, out;
    const Vec3 pos = {1, 2, 3}, angles = {0.3f, 0.5f, 0};
    vm_mat_from_pos_angles(&in, &pos, &angles);
    const auto row = [](const Mat44& m, int r) {
        return Vec3{m.m[4 * r], m.m[4 * r + 1], m.m[4 * r + 2]};
    };
    const auto dot = [](Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    float last = 0;
    for (int k = -1; k < 10; ++k) {  // each flag alone, or first of its pair with the other one
        int f[11] = {};
        f[k + 1] = f[k + 1 + (k >= 0 && k % 2 == 0)] = 1;
        mat_key_move(&out, &in, f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], 0.5f,
                     0.25f);
        const Vec3 moved = {out.m[12] - in.m[12], out.m[13] - in.m[13], out.m[14] - in.m[14]};
        const float step = k < 0 || k > 5 ? 0 : k % 2 ? -0.5f : 0.5f;
        EXPECT_NEAR(dot(moved, row(in, k < 2 ? 2 : k < 4 ? 0 : 1)), step, 1e-5) << k;
        // Turns by 0.25 about the own y (flags 7, 8) and x (9, 10), each way.
        const float turned = dot(row(out, 2), row(in, k < 8 ? 0 : 1));
        EXPECT_NEAR(std::fabs(turned), k < 6 ? 0 : std::sin(0.25f), 1e-4) << k;
        EXPECT_TRUE(k < 6 || k % 2 == 0 || std::fabs(turned + last) < 1e-4f) << k;
        EXPECT_NEAR(dot(row(out, k < 8 ? 1 : 0), row(in, k < 8 ? 1 : 0)), 1, 1e-5) << k;
        last = turned;
    }
    obj_alloc(1), cam_set_center(0, 0.2f, 0.3f), game_scene_init();
    EXPECT_TRUE(obj_live_count() == 0 && cam_get_center_x(0) == 0.5f &&
                cam_get_center_y(0) == 0.5f);
    game_scene_frame(), game_scene_frame();
    EXPECT_TRUE(sereq_frame_count() == 2 && game_scene_frame_count() == 2);
    obj_alloc(1), game_scene_term();
    EXPECT_EQ(obj_live_count(), 0);
}

}  // namespace

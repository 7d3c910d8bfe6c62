// The animation tests' scene: the obj3d scene with the shipped shaders (for
// skinned draws), pools large enough for animations, the motion pools, the
// 3D line and triangle types, and the sample character registered as group
// "chr" (mesh, bone tree "root", motions "wave" and "walk").
#pragma once

#include "../shader/shader_fixture.h"
#include "obj3d/attobj.h"
#include "obj3d/meshobj.h"
#include "obj3d/motion.h"
#include "obj3d/motobj.h"
#include "obj3d/plist3d.h"
#include "obj3d/prim3d.h"
#include "obj3d_fixture.h"
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "tools/qv_samples.h"

namespace o3t {

class AnimScene : public Obj3dScene {
protected:
    void SetUp() override
    {
        const std::string text = shader_path_setting(tmp_, shipped_shader_dir()) +
                                 "MAX_NR_ANIME 8\nSZ_BUFF_ANIME 65536\nSZ_BUFF_ANIMENAME 256\n";
        txt_settings_load(tmp_.write("QUORVEL.TXT", text).c_str());
        window_ = scene_boot(OBJ3D_FIXTURE_W, OBJ3D_FIXTURE_H);
        ASSERT_NE(window_, nullptr);
        shader_init_in(tmp_);
        motion_pool_reset();
        prim3d_line_type_register();
        prim3d_tri_type_register();
        mesh = add_model("chr", qvw::sample_character_mesh());
        bones = res_bone_register("chr", "root", qvw::bone_chunk(qvw::sample_character_bones()));
        wave = res_anime_register("chr", "wave", qvw::anime_chunk(qvw::sample_character_wave()));
        walk = res_anime_register("chr", "walk", qvw::anime_chunk(qvw::sample_character_walk()));
        ASSERT_TRUE(mesh && bones && wave && walk);
    }
    void TearDown() override
    {
        shader_term();
        Obj3dScene::TearDown();
        txt_settings_term();
    }

    static ResHandle add_model(const char* group, const qvw::ModelDesc& desc)
    {
        qvw::Bytes d;
        EXPECT_TRUE(qvw::model_chunk(desc, d));
        ModelChunk m;
        EXPECT_EQ(chunk_parse_model(d, m), CHUNK_OK);
        MeshSource src;
        mdl_decode(d, m, 0, 0, src);
        return res_mesh_register(group, desc.name.c_str(), src, 0);
    }

    MotionPlayer* player_with(ResHandle motion)
    {
        MotionPlayer* p = motion_player_alloc();
        motion_player_set(p, bones, motion);
        return p;
    }

    static Vec3 pos(const Mat44& m) { return {m.m[12], m.m[13], m.m[14]}; }
    static float dist(const Vec3& a, const Vec3& b)
    {
        return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                         (a.z - b.z) * (a.z - b.z));
    }

    TempDir tmp_;
    ResHandle mesh = 0, bones = 0, wave = 0, walk = 0;
};

}  // namespace o3t

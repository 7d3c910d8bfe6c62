// The stage tests' scene: the obj3d test scene over the stage group "s1".
#pragma once

#include "obj3d/meshobj.h"
#include "obj3d/obj3d_fixture.h"
#include "stage_scene.h"
#include "temp_dir.h"

class StageScene : public o3t::Obj3dScene {
protected:
    void SetUp() override
    {
        stage_files_write(dir_.file(""));
        o3t::Obj3dScene::SetUp();
        ASSERT_NE(window_, nullptr);
        stage_loader_boot(dir_.file(""));
    }
    void TearDown() override
    {
        stage_loader_shutdown();
        if (window_) o3t::Obj3dScene::TearDown();
    }
    // Calls stage_load until it answers 1; the number of calls (0: never).
    static int load_stage()
    {
        if (!stage_init_default(0)) return 0;
        for (int n = 1; n <= 100; n++)
            if (stage_load()) return n;
        return 0;
    }
    // The live model object drawing the named mesh (null when none).
    static DrawObj* model_of(const char* mesh)
    {
        static std::pair<ResHandle, DrawObj*> q;
        q = {res_mesh_find("s1", mesh), nullptr};
        obj_for_each(
            [](DrawObj* o, void*) {
                if (mdlobj_is_type(o) && mdlobj_get_model(o) == q.first) q.second = o;
            },
            nullptr);
        return q.second;
    }

    TempDir dir_;
};

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
        stage_files_write(dir_.file("")), o3t::Obj3dScene::SetUp();
        ASSERT_NE(window_, nullptr);
        stage_loader_boot(dir_.file(""));
    }
    void TearDown() override
    {
        stage_loader_shutdown();
        if (window_) o3t::Obj3dScene::TearDown();
    }
    static int load_stage()  // calls stage_load until it answers 1; the calls made (0: never)
    {
        int n = stage_init_default(0) ? 1 : 101;
        while (n <= 100 && !stage_load()) n++;
        return n <= 100 ? n : 0;
    }
    static DrawObj* model_of(const char* mesh)  // the live model object drawing the mesh, or null
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

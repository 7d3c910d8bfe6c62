// The stage on the offscreen device (64 x 48): group "s1" loaded from its file to its first
// drawn frame, and stage_set_load_z making 200 one-frame model objects below an anchor.
#include "bench/bench_util.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tests/stage/stage_scene.h"

struct Scene {
    bench::TempDir dir{"stage"};
    void* window = (stage_files_write(dir.path), o3t::scene_boot(64, 48));
    Scene() { stage_loader_boot(dir.path); }
    ~Scene() { stage_loader_shutdown(), window ? o3t::scene_shutdown(window) : void(); }
};

void BM_StageLoadToFirstFrame(benchmark::State& state)
{
    Scene scene;
    for (auto _ : state) {
        for (stage_init_default(0); scene.window && !stage_load();) {}
        cam_update_all(), obj_build_draw_list(), gfx_begin_scene();
        gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        obj3d_scene_begin(0, 0, 0), obj_draw_range(72, 83), obj3d_scene_end(), gfx_end_scene();
        obj_free_dead(), stage_release();
    }
}
BENCHMARK(BM_StageLoadToFirstFrame)->Unit(benchmark::kMillisecond);

void BM_StageSpawn200(benchmark::State& state)
{
    Scene scene;
    qvw::BoneNode anchor{"door", qvw::mat_identity(), {}};
    for (int i = 0; i < 200; i++) {
        anchor.children.push_back({"n" + std::to_string(i), qvw::mat_identity(), {}});
        anchor.children.back().matrix[12] = float(i % 20);
        o3t::make_cube(anchor.children.back().name.c_str(), 0.1f);
    }
    res_bone_register("test", "test_z",
                      qvw::bone_chunk({{"test_z", qvw::mat_identity(), {anchor}}}));
    stage_set_init();
    for (auto _ : state) stage_set_load_z(0, "test", "door", 0, 0), obj_free_dead();
    state.counters["live_after"] = obj_live_count();
}
BENCHMARK(BM_StageSpawn200)->Unit(benchmark::kMicrosecond);

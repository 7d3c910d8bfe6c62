// Per-frame cost of the view state: the camera rebuild and derived sets of both screens (each
// camera moved every frame, both slices and the mirror on), and the fade step with fades running.
#include <benchmark/benchmark.h>

#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/disp_fade.h"
#include "disp/disp_param.h"
#include "disp/disp_work.h"
#include "disp/fog.h"

void start_scene()
{
    disp_work_clear();
    disp_param_init(nullptr, 0, 800, 600, 32, nullptr);
    scene_set_defaults();
    for (int s = 0; s < 2; ++s) {
        cam_set_enable(s, 1);
        subview_set_enable(s, 0, 1);
        subview_set_enable(s, 1, 1);
        mirror_set_enable(s, 1);
    }
}

void BM_CamUpdateAll(benchmark::State& state)
{
    start_scene();
    const Vec3 target = {0, 0, 0};
    float t = 0.0f;
    for (auto _ : state) {
        t += 0.01f;
        const Vec3 eye = {t, 1.0f, 5.0f};
        cam_set_look_at(0, &eye, &target, nullptr);
        cam_set_look_at(1, &eye, &target, nullptr);
        cam_update_all();
        benchmark::DoNotOptimize(cam_get_xform_set(12));
    }
}
BENCHMARK(BM_CamUpdateAll);

void BM_FadeFrame(benchmark::State& state)
{
    start_scene();
    const Vec3 dir = {0, -1, 0};
    for (auto _ : state) {
        state.PauseTiming();
        for (int s = 0; s < 2; ++s) {
            env_fade_light_dir(s, &dir, 100);
            env_fade_color2(s, 0xFF102030, 100);
            lset_fade_color(s, 0, 0xFFFFFFFF, 100);
            fog_fade_end(s, 50.0f, 100);
            cam_shake(s, 100, 1.0f, 1.0f, 0.9f, 0);
        }
        state.ResumeTiming();
        for (int i = 0; i < 50; ++i) disp_fade_frame();
    }
    state.SetItemsProcessed(state.iterations() * 50);
}
BENCHMARK(BM_FadeFrame);

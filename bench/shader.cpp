// Per-draw cost of the shader library (choice, constants, binding) with the shipped shader
// files, and of the point-light choice per object with a full visible list. No draw is issued:
// these are the CPU costs the 3D pass adds to each mesh draw.
#include "bench/bench_util.h"
#include "disp/cam.h"
#include "disp/disp_work.h"
#include "disp/plight.h"
#include "disp/rstate.h"
#include "disp/shader.h"

// The device with the shader library loaded.
bool booted()
{
    static const bool ok = [] {
        bench::headless();
        D3d9BootDesc desc;
        desc.window = gfx_test_window_create(800, 600);
        desc.width = 800;
        desc.height = 600;
        if (!desc.window || !d3d9_boot(&desc)) return false;
        bench::load_settings("shader", bench::shader_path_setting());
        disp_work_clear();
        scene_set_defaults();
        shader_init();
        return shader_get_record(3)->stage[SHADER_STAGE_PIXEL].shader != nullptr;
    }();
    return ok;
}

RstateMeshArgs args(int set)
{
    static uint32_t params[23];
    static const float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, 4, 5, 1};
    static const ShaderMaterial mat{0x00FFFFFFu, 0xFFFFFFFFu, 0, 0, 0.0f, 1.0f};
    RstateMeshArgs a{};
    a.shader_set = set;
    a.params = params;
    a.decl = disp_fvf_to_lvf(0x112);
    a.world = world;
    a.material = &mat;
    return a;
}

// The same record for every draw (range(0) 1), or two records in turn (range(0) 2).
void BM_Setup(benchmark::State& state)
{
    if (!booted()) return state.SkipWithError("no device or no shader files");
    const RstateMeshArgs a[2] = {args(3), args(4)};
    const int records = int(state.range(0));
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(shader_setup_mesh(a[i]));
        if (++i == records) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Setup)->Arg(1)->Arg(2);

// 128 visible lights scattered in a cube of 100; the object takes four.
void BM_PlightSelect(benchmark::State& state)
{
    disp_work_clear();
    DispWork& w = disp_work();
    for (int s = 0; s < 2; ++s) {
        w.cam[s].enable = 0;
        for (Plane& p : w.xform[s].cull_planes.p) p = {0, 0, 0, 1};
    }
    plight_pool_reset();
    bench::Lcg rng{1};
    auto next = [&rng] { return float(rng.next() >> 8) / float(1 << 24) * 100.0f; };
    for (int i = 0; i < PLIGHT_POOL; ++i) {
        const Vec3 p = {next(), next(), next()};
        plight_create(1, &p, 30.0f, 0xFFFFFFFFu, 1.0f);
    }
    plight_cull();
    PointLight* out[4];
    const Vec3 at = {50, 50, 50};
    for (auto _ : state)
        benchmark::DoNotOptimize(plight_select_for_point(out, 4, 0, &at, 5.0f, ~0u));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlightSelect);

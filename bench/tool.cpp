// The patch tool on the offscreen device at 800 x 600 with the built data set, as the program
// runs it: input update, tool_frame, the display frame. From the display start (device, shader
// library, fonts, draw objects) to the end of the first frame that draws the loaded tool, frame
// pacing left out (loading_frames: frames the loader took at 90 percent of each); one whole
// frame with 100 placed patches, ending with a one-pixel read-back so that queued frames do not
// flatter it.
#include "app/app_main.h"
#include "app/key.h"
#include "app/mouse.h"
#include "bench/bench_util.h"
#include "res/res.h"
#include "tests/tool/tool_frame.h"
#include "tool/tool.h"
#include "tool/tool_local.h"
#include "tool/tool_patch.h"
#include "util/perf.h"

constexpr int k_w = 800, k_h = 600;
constexpr int k_patches = 100;

void frame()
{
    tool_test_frame();
    uint8_t px[4];
    gfx_read_pixels(0, 0, 1, 1, px, 4);  // waits for the frame
}

struct ToolBench {
    bool ok = false;
    double start_ms = 0;
    int loading_frames = 0;
    ToolBench()
    {
        bench::headless();
        app_choose_work_dir(plat_exe_dir());  // the build folder holds data/
        void* window = gfx_test_window_create(k_w, k_h);
        if (!window) return;
        perf_timer_init(30);
        const auto t0 = bench::Clock::now();
        if (!disp_boot(window, 0, k_w, k_h, 32, nullptr)) return;
        key_init();
        mouse_init();
        tool_init();
        while (tool_step() != TOOL_STEP_RUN) {
            frame();
            if (++loading_frames > 100000) return;
        }
        frame();  // the first frame of the running tool
        start_ms = bench::ms_since(t0);
        ok = res_mesh_count() > 0;
    }
};

void BM_ToolStartToFirstLoadedFrame(benchmark::State& state)
{
    ToolBench& b = bench::once<ToolBench>();
    if (!b.ok) return state.SkipWithError("no device or no data set");
    for (auto _ : state) state.SetIterationTime(b.start_ms / 1000.0);
    state.counters["start_ms"] = b.start_ms;
    state.counters["loading_frames"] = b.loading_frames;
    state.counters["meshes"] = res_mesh_count();
}
BENCHMARK(BM_ToolStartToFirstLoadedFrame)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ToolFrame100Patches(benchmark::State& state)
{
    ToolBench& b = bench::once<ToolBench>();
    if (!b.ok) return state.SkipWithError("no device or no data set");
    // A 10 x 10 grid over the fitted picture, every model of the palette in turn, each placed.
    const int32_t meshes = res_mesh_count();
    for (int i = 0; i < k_patches && tool_state().patches[size_t(i)] == nullptr; ++i) {
        DrawObj* p = tool_patch_create(tool_state().model_group, uint32_t(i % meshes) + 1);
        if (!p) break;
        PatchRecord* r = tool_patch_record(p);
        r->state = 0;
        const float s = tool_get_bg_scale();
        r->pic = {(float(i % 10) - 4.5f) * 55.0f / s, (float(i / 10) - 4.5f) * 55.0f / s, 0.0f};
    }
    for (int i = 0; i < 3; ++i) frame();
    for (auto _ : state) frame();
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ToolFrame100Patches)->Unit(benchmark::kMillisecond)->UseRealTime();

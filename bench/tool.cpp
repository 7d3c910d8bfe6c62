// The patch tool on the offscreen device with the built data set, as the program runs it: input
// update, tool_frame, the display frame. From the display start (device, shader library, fonts,
// draw objects) to the end of the first frame that draws the loaded tool at 800 x 600, frame
// pacing left out (loading_frames: frames the loader took at 90 percent of each); one whole
// frame with 100 placed patches at 800 x 600, and with the tool's limit of 512 patches in the
// 1280 x 1024 window a 1920 x 1080 desktop gives, each ending with a one-pixel read-back so that
// queued frames do not flatter it.
#include "app/app_main.h"
#include "app/app_main_local.h"
#include "svc/key.h"
#include "svc/mouse.h"
#include "bench/bench_util.h"
#include "res/res.h"
#include "tests/tool/tool_frame.h"
#include "tool/tool.h"
#include "tool/tool_local.h"
#include "tool/tool_patch_local.h"
#include "util/perf.h"

#include <algorithm>
#include <cmath>

void frame()
{
    tool_test_frame();
    uint8_t px[4];
    gfx_read_pixels(0, 0, 1, 1, px, 4);  // waits for the frame
}

// The tool started on a hidden w x h window and run until its models are in.
struct ToolBench {
    int w, h;
    void* window = nullptr;
    bool ok = false;
    double start_ms = 0;
    int loading_frames = 0;
    ToolBench(int w_, int h_) : w(w_), h(h_)
    {
        bench::headless();
        app_choose_work_dir(plat_exe_dir());  // the build folder holds data/
        window = gfx_test_window_create(w, h);
        if (!window) return;
        perf_timer_init(30);
        const auto t0 = bench::Clock::now();
        if (!disp_boot(window, 0, w, h, 32, nullptr)) return;
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
    ~ToolBench()
    {
        if (ok) tool_term();
        if (app_disp_booted()) disp_shutdown();
        gfx_test_window_destroy(window);
        perf_timer_term();
    }
};

// The running tool at w x h, kept to the end of the process; a tool of another size is stopped
// first (one device at a time).
ToolBench& tool_bench(int w, int h)
{
    static ToolBench* b = nullptr;
    if (!b || b->w != w || b->h != h) {
        delete b;
        b = new ToolBench(w, h);
    }
    return *b;
}

// `count` placed patches on a square grid `spacing` screen pixels apart around the picture's
// centre, every model of the palette in turn; nothing when they are already there.
void place_patches(int count, float spacing)
{
    const int32_t meshes = res_mesh_count();
    const int columns = int(std::ceil(std::sqrt(double(count))));
    const float mid = float(columns - 1) / 2.0f;
    const float s = tool_get_bg_scale();
    for (int i = 0; i < count && tool_state().patches[size_t(i)] == nullptr; ++i) {
        DrawObj* p = tool_patch_create(tool_state().model_group, uint32_t(i % meshes) + 1);
        if (!p) break;
        PatchRecord* r = tool_patch_record(p);
        r->state = 0;
        r->pic = {(float(i % columns) - mid) * spacing / s,
                  (float(i / columns) - mid) * spacing / s, 0.0f};
    }
}

void run_patch_frames(benchmark::State& state, int w, int h, int count, float spacing)
{
    ToolBench& b = tool_bench(w, h);
    if (!b.ok) return state.SkipWithError("no device or no data set");
    place_patches(count, spacing);
    for (int i = 0; i < 3; ++i) frame();
    for (auto _ : state) frame();
    state.counters["fps"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    const auto& slots = tool_state().patches;
    state.counters["patches"] =
        double(slots.size() - size_t(std::count(slots.begin(), slots.end(), nullptr)));
}

void BM_ToolStartToFirstLoadedFrame(benchmark::State& state)
{
    ToolBench& b = tool_bench(800, 600);
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

void BM_ToolFrame100Patches(benchmark::State& state) { run_patch_frames(state, 800, 600, 100, 55); }
BENCHMARK(BM_ToolFrame100Patches)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToolFrame512Patches1280x1024(benchmark::State& state)
{
    run_patch_frames(state, 1280, 1024, TOOL_PATCH_SLOTS, 40);
}
BENCHMARK(BM_ToolFrame512Patches1280x1024)->Unit(benchmark::kMillisecond)->UseRealTime();

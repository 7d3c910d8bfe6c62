// Frame pacing on the real clock: 300 frames at 30 fps, each with about 3 ms of busy work, as the
// main loop runs them: the mean frame period (target 33.33 ms), the shortest and longest frame.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "plat/time.h"
#include "util/fps_ctrl.h"
#include "util/perf.h"

constexpr int FRAME_PACING_FRAMES = 300;
constexpr int64_t FRAME_PACING_WORK_US = 3000;

void busy_work(int64_t us)
{
    int64_t start = plat_time_counter();
    int64_t ticks = us * plat_time_frequency() / 1000000;
    while (plat_time_counter() - start < ticks) benchmark::ClobberMemory();
}

void BM_FramePacing30(benchmark::State& state)
{
    double mean_ms = 0, min_ms = 1e9, max_ms = 0;
    for (auto _ : state) {
        perf_timer_init(30);
        fps_ctrl_init(30);
        const double freq_ms = double(plat_time_frequency()) / 1000.0;
        const int64_t first = plat_time_counter();
        int64_t prev = first;
        for (int k = 0; k < FRAME_PACING_FRAMES; ++k) {
            busy_work(FRAME_PACING_WORK_US);
            fps_ctrl_wait();
            const int64_t now = plat_time_counter();
            const double period = double(now - prev) / freq_ms;
            min_ms = std::min(min_ms, period), max_ms = std::max(max_ms, period), prev = now;
        }
        mean_ms = double(prev - first) / freq_ms / FRAME_PACING_FRAMES;
    }
    state.counters["mean_frame_ms"] = mean_ms;
    state.counters["min_frame_ms"] = min_ms;
    state.counters["max_frame_ms"] = max_ms;
    float achieved = 0;
    int32_t target = 0;
    fps_ctrl_get_stats(&achieved, &target);
    state.counters["achieved_fps"] = achieved;
}

BENCHMARK(BM_FramePacing30)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

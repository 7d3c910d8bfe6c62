// Sound: what a post costs the main thread (with the thread idle, while it drains a burst, and a
// whole burst of 20 that must wait for room), the per-frame tick, the request queue's flush of 64
// requests, and loading a 10 MB WAVE file. The manager runs on OpenAL's null device in a folder
// of its own.
#include <thread>

#include "bench/bench_util.h"
#include "sound/sereq.h"
#include "sound/snd_mgr.h"
#include "sound/snd_mgr_local.h"
#include "sound/snd_ring_local.h"
#include "tools/gen/wave_file.h"

void drain_to(uint32_t pending)
{
    while (snd_ring_pending() > pending)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// One post with the thread idle (range(0) 0) or working through 3 to 12 pending commands (1);
// quantiles of the single posts as counters.
void BM_SndPost(benchmark::State& state)
{
    const bool draining = state.range(0);
    snd_thread_set_handler([](const SoundCmd&) {});
    snd_thread_start();
    std::vector<double> us;
    for (auto _ : state) {
        const uint32_t n = snd_ring_pending();
        if (!draining || n >= 12) drain_to(draining ? 6 : 8);
        if (draining && n < 3)
            for (int i = 0; i < 8; ++i) snd_post(SND_CMD_NOTHING, 0);
        const auto t0 = bench::Clock::now();
        snd_post(SND_CMD_NOTHING, 0);
        const double s = bench::ms_since(t0) / 1e3;
        state.SetIterationTime(s);
        us.push_back(s * 1e6);
    }
    snd_thread_stop();
    snd_thread_set_handler(nullptr);
    std::sort(us.begin(), us.end());
    state.counters["p50_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[us.size() * 99 / 100];
}
BENCHMARK(BM_SndPost)->Arg(0)->Arg(1)->UseManualTime()->Iterations(4000);

// 20 posts from an empty ring: from 14 pending on each waits for the thread.
void BM_SndPostBurstOf20(benchmark::State& state)
{
    snd_thread_set_handler([](const SoundCmd&) {});
    snd_thread_start();
    for (auto _ : state) {
        state.PauseTiming();
        drain_to(0);
        state.ResumeTiming();
        for (int i = 0; i < 20; ++i) snd_post(SND_CMD_NOTHING, 0);
    }
    snd_thread_stop();
    snd_thread_set_handler(nullptr);
}
BENCHMARK(BM_SndPostBurstOf20)->Unit(benchmark::kMillisecond)->Iterations(30);

// A folder with data/sound/bgm01.wav and the manager started in it.
struct SoundFolder {
    std::filesystem::path old = std::filesystem::current_path();
    bench::TempDir dir{"sound"};
    explicit SoundFolder(benchmark::State& state)
    {
        std::filesystem::create_directories(dir.path / "data/sound");
        wave_write_file((dir.path / "data/sound/bgm01.wav").string(), wave_bgm01());
        std::filesystem::current_path(dir.path);
        txt_settings_load("none.txt");
        snd_boot();
        drain_to(0);
        if (snd_get_error()) state.SkipWithError("no sound device");
    }
    ~SoundFolder()
    {
        snd_shutdown();
        std::filesystem::current_path(old);
    }
};

void BM_SndFrameNoVoice(benchmark::State& state)
{
    SoundFolder folder(state);
    for (auto _ : state) snd_frame();
}
BENCHMARK(BM_SndFrameNoVoice)->Unit(benchmark::kMicrosecond);

void BM_SereqFlush64(benchmark::State& state)
{
    SoundFolder folder(state);
    for (auto _ : state) {
        state.PauseTiming();
        sereq_init();
        for (int i = 0; i < SEREQ_MAX; ++i) {
            const Vec3 at{float(i), 0.0f, float(64 - i)};
            sereq_play(0, &at);
        }
        state.ResumeTiming();
        sereq_flush();
    }
}
BENCHMARK(BM_SereqFlush64)->Unit(benchmark::kMicrosecond);

void BM_DxsLoad10MB(benchmark::State& state)
{
    SoundFolder folder(state);
    const std::vector<uint8_t> samples(10u << 20, 0);
    wave_write_file("big.wav", wave_bytes(WaveSpec{}, samples));
    for (auto _ : state) {
        DxSound s;
        if (dxs_load(&s, "big.wav", DXS_PLAIN, 1.0f) != DXS_OK) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(samples.size()));
}
BENCHMARK(BM_DxsLoad10MB)->Unit(benchmark::kMillisecond);

// Named objects of their own, so that a running program is never met.
const int g_prefix = ::setenv("QUORVEL_IPC_PREFIX", "qvbench%p-", 0);

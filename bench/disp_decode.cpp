// The display's CPU-side image work: converting the rows of a 1024 x 1024 level, and building a
// 1024 x 1024 screenshot BMP.
#include "bench/bench_util.h"
#include "disp/rstate.h"
#include "disp/screenshot.h"
#include "disp/screenshot_local.h"
#include "disp/tex_convert_local.h"

constexpr int DISP_DECODE_SIDE = 1024;

std::vector<uint8_t> noise(size_t n)
{
    std::vector<uint8_t> v(n);
    bench::Lcg rng{12345};
    for (uint8_t& b : v) b = uint8_t(rng.next() >> 24);
    return v;
}

// A level of format `fmt` whose rows (of 4 x 4 blocks when compressed) are `pitch` bytes apart.
void convert(benchmark::State& state, int fmt, int pitch)
{
    const bool blocks = fmt == DISP_SF_DXT1 || fmt == DISP_SF_DXT5;
    auto src = noise(size_t(pitch) * (blocks ? DISP_DECODE_SIDE / 4 : DISP_DECODE_SIDE));
    std::vector<uint32_t> dst(size_t(DISP_DECODE_SIDE) * DISP_DECODE_SIDE);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            tex_row_convert(fmt, dst, src, 0, 0, DISP_DECODE_SIDE, DISP_DECODE_SIDE, pitch));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * DISP_DECODE_SIDE * DISP_DECODE_SIDE);
}
BENCHMARK_CAPTURE(convert, Dxt1, DISP_SF_DXT1, DISP_DECODE_SIDE / 4 * 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, Dxt5, DISP_SF_DXT5, DISP_DECODE_SIDE / 4 * 16)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, R5G6B5, DISP_SF_R5G6B5, DISP_DECODE_SIDE * 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(convert, A8R8G8B8, DISP_SF_A8R8G8B8, DISP_DECODE_SIDE * 4)
    ->Unit(benchmark::kMillisecond);

void BM_BuildBmp(benchmark::State& state)
{
    auto src = noise(size_t(DISP_DECODE_SIDE) * DISP_DECODE_SIDE * 4);
    const DispShotPixels part = {
        src, 0, 0, DISP_DECODE_SIDE, DISP_DECODE_SIDE, DISP_DECODE_SIDE * 4};
    for (auto _ : state) {
        const DispBmpFile file =
            disp_screenshot_build_bmp(part, 0, 0, DISP_DECODE_SIDE, DISP_DECODE_SIDE);
        benchmark::DoNotOptimize(file.bytes.get());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * DISP_DECODE_SIDE * DISP_DECODE_SIDE);
}
BENCHMARK(BM_BuildBmp)->Unit(benchmark::kMillisecond);

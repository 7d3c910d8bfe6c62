// Costs of the display's CPU-side image work: DXT and 16-bit row conversion
// of a 1024 x 1024 level, and building a 1024 x 1024 screenshot BMP.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "disp/rstate.h"
#include "disp/screenshot.h"
#include "disp/tex_decode.h"

namespace {

constexpr int kSide = 1024;

std::vector<uint8_t> noise(size_t n)
{
    std::vector<uint8_t> v(n);
    uint32_t s = 12345;
    for (uint8_t& b : v) {
        s = s * 1664525u + 1013904223u;
        b = uint8_t(s >> 24);
    }
    return v;
}

void convert(benchmark::State& state, int fmt, int pitch, size_t bytes)
{
    auto src = noise(bytes);
    std::vector<uint32_t> dst(size_t(kSide) * kSide);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tex_row_convert(fmt, dst, src, 0, 0, kSide, kSide, pitch));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

void BM_Dxt1(benchmark::State& s) { convert(s, kSfDxt1, kSide / 4 * 8, size_t(kSide) * kSide / 2); }
void BM_Dxt5(benchmark::State& s) { convert(s, kSfDxt5, kSide / 4 * 16, size_t(kSide) * kSide); }
void BM_R5G6B5(benchmark::State& s) { convert(s, kSfR5G6B5, kSide * 2, size_t(kSide) * kSide * 2); }
void BM_A8R8G8B8(benchmark::State& s)
{
    convert(s, kSfA8R8G8B8, kSide * 4, size_t(kSide) * kSide * 4);
}

void BM_BuildBmp(benchmark::State& state)
{
    auto src = noise(size_t(kSide) * kSide * 4);
    std::vector<uint8_t> out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            disp_screenshot_build_bmp(out, src, kSide, kSide, kSide * 4, 0, 0, kSide, kSide));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

}  // namespace

BENCHMARK(BM_Dxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dxt5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_R5G6B5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_A8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildBmp)->Unit(benchmark::kMillisecond);

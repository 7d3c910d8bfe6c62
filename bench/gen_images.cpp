// Time to make the built-in images (they are made at every build); the background's PNG holds
// the making of its pixels.
#include "tools/gen/background_image.h"
#include "tools/gen/font_image.h"

#include <benchmark/benchmark.h>

const FontSources faces{QUORVEL_LATIN_FACE, QUORVEL_KANA_FACE};

void BM_BackgroundPng(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(background_image_png());
}
BENCHMARK(BM_BackgroundPng)->Unit(benchmark::kMillisecond);

void BM_FontImages(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(font_image_font1_dds(faces));
        benchmark::DoNotOptimize(font_image_font6x11_png(faces));
        benchmark::DoNotOptimize(font_image_f1632_png(faces));
    }
}
BENCHMARK(BM_FontImages)->Unit(benchmark::kMillisecond);

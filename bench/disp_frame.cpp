// One display frame on a hidden 800 x 600 window with a screen of bitmap-font text, and with
// lines of system-font text (the error screen's load). The empty frame is measured against
// plain GL in versus_gl.cpp.
#include "svc/textlist.h"
#include "bench/bench_util.h"

void BM_FrameBitmapText(benchmark::State& state)
{
    bench::Display d(800, 600);
    const int32_t list = disp_get_text_drawlist();
    for (auto _ : state) {
        for (int i = 0; i < state.range(0); ++i)
            textlist_printf(list, 0, uint32_t(i % 6), 16, 10, 10 + (i % 36) * 16, 0xFFFFFFFF,
                            "line %3d: the quick brown fox jumps over the lazy dog", i);
        disp_update(nullptr);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FrameBitmapText)->Arg(36)->Arg(200)->Unit(benchmark::kMicrosecond);

void BM_FrameSystemText(benchmark::State& state)
{
    bench::Display d(800, 600);
    const int32_t list = disp_get_d3dx_text_drawlist();
    for (auto _ : state) {
        for (int i = 0; i < state.range(0); ++i)
            textlist_printf(list, TEXTLIST_ALIGN_CENTRE_X, 0, 16, 400, 100 + i * 24, 0xFFFFFFFF,
                            "%s", "I/Oボードとの接続が切れていないか確認して下さい。");
        disp_update(nullptr);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FrameSystemText)->Arg(4)->Arg(20)->Unit(benchmark::kMicrosecond);

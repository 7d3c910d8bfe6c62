// Draw objects: the manager's per-frame work (update pass, sort, draw-list build) for 1,000 and
// 4,000 live objects. Sprites on the renderer are measured against plain GL in versus_gl.cpp.
#include "bench/bench_util.h"
#include "disp/obj.h"

int update_nothing(DrawObj*) { return 0; }
void draw_nothing(DrawObj**, int) {}

void BM_ManagerFrame(benchmark::State& state)
{
    const int n = int(state.range(0));
    obj_module_init();
    int types[4];
    for (int& t : types) t = obj_register_type(draw_nothing, nullptr, nullptr, nullptr, 0);
    bench::Lcg rng{1};
    auto rnd = [&rng](uint32_t m) { return (rng.next() >> 8) % m; };
    for (int i = 0; i < n; ++i) {
        DrawObj* o = obj_alloc(1);
        obj_set_type(o, types[rnd(4)]);
        obj_set_priority(o, int(5 + rnd(89)));
        obj_set_sort_subkey(o, int(rnd(4)) * 60);
        obj_set_update(o, update_nothing);
        obj_set_update_order(o, int(rnd(3)) + 126);
        obj_set_visible(o, 1);
    }
    for (auto _ : state) {
        obj_frame();
        obj_build_draw_list();
        obj_draw_all();
        benchmark::DoNotOptimize(obj_draw_list_count());
    }
    state.counters["objects_per_ms"] = benchmark::Counter(
        double(n) * double(state.iterations()) / 1000.0, benchmark::Counter::kIsRate);
    obj_module_term();
}
BENCHMARK(BM_ManagerFrame)->Arg(1000)->Arg(4000);

// Draw objects: the manager's per-frame work (update pass, sort and draw-list
// build) for 1,000 and 4,000 live objects; a frame of 10,000 sprites of one
// 32 x 32 texture drawn through the sprite type on this machine's renderer
// at 800 x 600; a full pool of 8,192 sprites through the whole frame path. The sprite frame ends with a one-pixel read-back
// through the drawing layer, which waits for the GL work as glFinish does,
// before the clock is read.
//
// Counters: objects_per_ms for the manager; frame_ms and sprites_per_33ms
// (10,000 x 33 / frame_ms) for the sprite frame, and the same for the same
// quads drawn straight through the layer (the yardstick of one run).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "disp/d3d9.h"
#include "disp/tex.h"
#include "obj2d/line2d.h"
#include "obj2d/obj.h"
#include "obj2d/obj2d.h"
#include "obj2d/spr.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "res/res.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;

int update_nothing(DrawObj*) { return 0; }
void draw_nothing(DrawObj**, int) {}

void BM_ManagerFrame(benchmark::State& state)
{
    const int n = int(state.range(0));
    obj_module_init();
    int types[4];
    for (int& t : types) t = obj_register_type(draw_nothing, nullptr, nullptr, nullptr, 0);
    uint32_t seed = 1;
    auto rnd = [&seed](uint32_t m) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % m;
    };
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
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
    state.counters["objects_per_ms"] = benchmark::Counter(
        double(n) * double(state.iterations()) / 1000.0, benchmark::Counter::kIsRate);
    obj_module_term();
}
BENCHMARK(BM_ManagerFrame)->Arg(1000)->Arg(4000);

// --- sprites on the device --------------------------------------------------------------

std::map<uint32_t, std::unique_ptr<TexRecord>> g_records;
TexRecord* lookup(uint32_t h)
{
    auto it = g_records.find(h);
    return it == g_records.end() ? nullptr : it->second.get();
}

bool boot_device(void** window)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    *window = gfx_test_window_create(kWidth, kHeight);
    if (!*window) return false;
    DispLinks links;
    links.tex_lookup = lookup;
    disp_set_links(links);
    D3d9BootDesc desc;
    desc.window = *window;
    desc.width = kWidth;
    desc.height = kHeight;
    desc.settings.vsync = 0;
    return d3d9_boot(&desc) == 1;
}

struct SpriteScene {
    void* window = nullptr;
    ResHandle tex = 0;
    std::vector<DrawObj> recs;  // 10,000 sprite records beside the pool
    std::vector<DrawObj*> run;
    bool ok = false;
};

constexpr int kSprites = 10000;

// Device, resources, the 2D types, 10,000 sprite records at fixed places
// (the pool holds 8,192 objects, so the 10,000 are records of their own,
// drawn as one run of the sprite type) and a full pool of the same sprites.
SpriteScene sprite_scene_up()
{
    SpriteScene sc;
    if (!boot_device(&sc.window)) return sc;
    res_boot();
    obj_module_init();
    line2d_type_register();
    tri2d_type_register();
    obj2d_type_register();
    sc.tex = res_tex_create("b", "tex", 32, 32, RES_TEX_FORMAT_ARGB32, false);
    auto rec = std::make_unique<TexRecord>();
    tex_create(rec.get(), GFX_FMT_A8R8G8B8, 32, 32, 1);
    std::vector<uint32_t> px(32 * 32);
    for (int i = 0; i < 32 * 32; ++i) px[size_t(i)] = 0x80000000u | uint32_t(i * 97);
    std::vector<uint8_t> bytes(px.size() * 4);
    std::memcpy(bytes.data(), px.data(), bytes.size());
    tex_fill_rect(rec.get(), 0, 0, 32, 32, bytes);
    g_records[sc.tex] = std::move(rec);
    uint32_t seed = 7;
    auto rnd = [&seed](uint32_t m) {
        seed = seed * 1664525u + 1013904223u;
        return float((seed >> 8) % m);
    };
    sc.recs.resize(kSprites);
    for (DrawObj& o : sc.recs) {
        spr_init(&o);
        spr_set_tex(&o, sc.tex);
        spr_set_pos(&o, rnd(kWidth - 32), rnd(kHeight - 32));
        sc.run.push_back(&o);
    }
    while (spr_create_tex(1, sc.tex, 0xFFFFFFFFu, rnd(kWidth - 32), rnd(kHeight - 32), 0, 0, 1, 1,
                          50)) {}
    sc.ok = true;
    return sc;
}

void sprite_scene_down(SpriteScene& sc)
{
    obj_module_term();
    for (auto& [h, r] : g_records) tex_release(r.get());
    g_records.clear();
    res_shutdown();
    d3d9_shutdown();
    disp_set_links(DispLinks{});
    gfx_test_window_destroy(sc.window);
}

// Times one frame: `draw` between begin and end of the scene, then a
// one-pixel read-back that waits for the renderer.
template <class Draw>
double timed_frame(Draw draw)
{
    uint8_t pixel[4];
    const auto t0 = std::chrono::steady_clock::now();
    gfx_begin_scene();
    disp_clear(0, 0xFF000000u);
    draw();
    gfx_end_scene();
    gfx_read_pixels(0, 0, 1, 1, pixel, 4);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Sets the scene up, times frames of `draw` (given the scene), reports frame_ms
// and sprites_per_33ms for `sprites`, and takes the scene down.
template <class Draw>
void run_frames(benchmark::State& state, int sprites, Draw draw)
{
    SpriteScene sc = sprite_scene_up();
    if (!sc.ok) {
        state.SkipWithError("no device");
        return;
    }
    double total_ms = 0;
    for (auto _ : state) {
        const double ms = timed_frame([&] { draw(sc); });
        total_ms += ms;
        state.SetIterationTime(ms / 1000.0);
    }
    const double frame_ms = total_ms / double(state.iterations());
    state.counters["frame_ms"] = frame_ms;
    state.counters["sprites_per_33ms"] = sprites * 33.0 / frame_ms;
    sprite_scene_down(sc);
}

// 10,000 sprites of one texture as one run of the sprite type.
void BM_Sprites10k(benchmark::State& state)
{
    run_frames(state, kSprites, [](SpriteScene& sc) { spr_draw(sc.run.data(), kSprites); });
}
BENCHMARK(BM_Sprites10k)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A full pool of 8,192 sprites through the whole frame path: update pass,
// draw list, bands.
void BM_SpritePoolFrame(benchmark::State& state)
{
    run_frames(state, kObjPoolSize, [](SpriteScene&) {
        obj_frame();
        obj_build_draw_list();
        obj_draw_range(0, 93);
    });
}
BENCHMARK(BM_SpritePoolFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The yardstick: the same quads, built once, drawn straight through the
// drawing layer in batches of 4096 with the same states.
void BM_Quads10kLayerOnly(benchmark::State& state)
{
    std::vector<TexVertexA> verts(size_t(kSprites) * 4);
    run_frames(state, kSprites, [&verts](SpriteScene& sc) {
        if (verts[0].color == 0)
            for (int i = 0; i < kSprites; ++i)
                spr_quad(obj_work<SprWork>(sc.run[size_t(i)]), nullptr, 0xFFFFFFFFu,
                         &verts[size_t(i) * 4]);
        obj2d_stages_begin();
        obj2d_apply_key(obj2d_base_key(), 0, nullptr, kObj2dFvf);
        tex_set_stage(0, lookup(sc.tex), 0);
        for (int q = 0; q < kSprites; q += kObj2dBatchQuads) {
            const int n = std::min(kObj2dBatchQuads, kSprites - q);
            gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(n) * 4, uint32_t(n) * 2,
                                          tex_get_manager(), GFX_FMT_INDEX16, &verts[size_t(q) * 4],
                                          sizeof(TexVertexA));
        }
        obj2d_stages_end();
    });
}
BENCHMARK(BM_Quads10kLayerOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

// 1,000 live hit effects (topped up as they end) at 800 x 600: the time is their update pass;
// "ratio" is their draw ("draw_ms") over as many plain quads streamed through the device layer.
#include "bench/bench_util.h"
#include "stage/effect.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_samples.h"

constexpr int EFFECTS_WIDTH = 800, EFFECTS_HEIGHT = 600;
using bench::Clock;
using bench::QuadVertex;
ResHandle g_tex = 0;

bool boot_once()
{
    if (!o3t::scene_boot(EFFECTS_WIDTH, EFFECTS_HEIGHT) || !qspr_type_register()) return false;
    g_tex = res_tex_create(EFFECT_CATEGORY, "cmnv", 256, 256, RES_TEX_FORMAT_ARGB32, false);
    std::vector<uint32_t> px(256 * 256, 0xC0FFFFFFu);
    res_tex_set_image(g_tex, 0, 0, 256, 256, px.data());
    for (const qvw::TexLstCropDesc& c : qvw::sample_effect_category().textures[0].crops)
        res_crop_register_px(EFFECT_CATEGORY, c.name.c_str(), c.x, c.y, c.w, c.h, g_tex);
    const Vec3 eye = {0, 5, -8}, target = {0, 0, 10};
    cam_set_mode(0, CAM_MODE_LOOK_AT);
    cam_set_look_at(0, &eye, &target, nullptr);
    return cam_update_all(), true;
}

void top_up()
{
    static int next = 0;
    const Vec3 up = {0, 1, 0};
    for (; obj_live_count() < 1000; ++next) {
        const Vec3 p = {float(next * 37 % 17) - 8, float(next % 5) * 0.6f,
                        float(next * 13 % 17) + 3};
        if (next % 6 == 0) effect_explosion(1, &p, 1.2f, EFFECT_WHITE, 3, 2);
        if (next % 6 == 1) effect_smoke(1, &p, &up, 0.3f, 0.5f, 1, 1.02f, EFFECT_DARK_SMOKE, 30, 0);
        if (next % 6 == 2) effect_spark(1, &p, 0, 0);
        if (next % 6 >= 3) effect_hit(1, &p, &up, next % 4);
    }
}

void add_quad(DrawObj* o, void* out)  // a square of a billboard's size at its centre; a splat
{
    const QsprWork* w = obj_work<QsprWork>(o);
    const float hx = w->bb.w * w->bb.scale_x / 2, hy = w->bb.h * w->bb.scale_y / 2;
    for (int k = 0; o->type && k < 4; ++k) {
        const Vec3& c = w->bb.centre;
        const Vec3 p = w->kind ? w->quad.corner[k]
                               : Vec3{c.x + (k & 1 ? hx : -hx), c.y + (k & 2 ? hy : -hy), c.z};
        static_cast<std::vector<QuadVertex>*>(out)->push_back(
            {p, 1, 0, 1, 0x80FFFFFFu, {float(k & 1), float(k >> 1), 0, 0}});
    }
}

void BM_EffectFrame(benchmark::State& state)
{
    static const bool booted = boot_once();
    if (!booted) return state.SkipWithError("no device");
    double draw_ms[2] = {};  // plain quads, effects
    for (auto _ : state) {
        top_up();
        Clock::time_point t0 = Clock::now();
        obj_frame();
        state.SetIterationTime(bench::ms_since(t0) / 1e3);
        std::vector<QuadVertex> v;
        obj_for_each(add_quad, &v);
        for (int pass = 0; pass < 2; ++pass, draw_ms[pass - 1] += bench::ms_since(t0)) {
            t0 = Clock::now();
            bench::frame_3d(
                EFFECTS_WIDTH, EFFECTS_HEIGHT, GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, [&] {
                    if (pass) qspr_frame_reset(), obj_build_draw_list(), obj_draw_range(72, 83);
                    if (!pass) bench::draw_quads(g_tex, v);
                });
        }
    }
    state.counters["drawn"] = qspr_get_drawn_count();
    state.counters["draw_ms"] = draw_ms[1] / double(state.iterations());
    state.counters["quads_ms"] = draw_ms[0] / double(state.iterations());
    state.counters["ratio"] = draw_ms[0] > 0 ? draw_ms[1] / draw_ms[0] : 0;
}
BENCHMARK(BM_EffectFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

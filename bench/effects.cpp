// Frames of 1,000 live hit effects (explosions, smoke, sparks and hits with
// their drops and splats, topped up as they end) at 800 x 600 on the
// offscreen device. The time is their update pass (goal: under 1 ms);
// "draw_ms" is their draw in screen 0's 3D pass and "ratio" that over
// "quads_ms", the same number of quads of the same places and sizes streamed
// straight through the device layer with one state in the same iterations.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <vector>

#include "disp/tex.h"
#include "obj2d/qspr.h"
#include "stage/effect.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_samples.h"

namespace {

constexpr int kWidth = 800, kHeight = 600, kLive = 1000;
using Clock = std::chrono::steady_clock;
ResHandle g_tex = 0;

bool boot()
{
    static const bool ok = [] {
        if (!o3t::scene_boot(kWidth, kHeight) || !qspr_type_register()) return false;
        g_tex = res_tex_create(kEffectCategory, "cmnv", 256, 256, RES_TEX_FORMAT_ARGB32, false);
        std::vector<uint32_t> px(256 * 256, 0xC0FFFFFFu);
        res_tex_set_image(g_tex, 0, 0, 256, 256, px.data());
        for (const qvw::TexLstCropDesc& c : qvw::sample_effect_category().textures[0].crops)
            res_crop_register_px(kEffectCategory, c.name.c_str(), c.x, c.y, c.w, c.h, g_tex);
        const Vec3 eye = {0, 5, -8}, target = {0, 0, 10};
        cam_set_mode(0, CAM_MODE_LOOK_AT);
        cam_set_look_at(0, &eye, &target, nullptr);
        cam_update_all();
        return true;
    }();
    return ok;
}

void top_up()
{
    static int next = 0;
    const Vec3 up = {0, 1, 0};
    for (; obj_live_count() < kLive; ++next) {
        const Vec3 p = {float(next * 37 % 17) - 8, float(next % 5) * 0.6f,
                        float(next * 13 % 17) + 3};
        if (next % 6 == 0) effect_explosion(1, &p, 1.2f, kEffectWhite, 3, 2);
        if (next % 6 == 1) effect_smoke(1, &p, &up, 0.3f, 0.5f, 1, 1.02f, kEffectDarkSmoke, 30, 0);
        if (next % 6 == 2) effect_spark(1, &p, 0, 0);
        if (next % 6 >= 3) effect_hit(1, &p, &up, next % 4);
    }
}

double timed(void (*draw)(const void*, int), const void* arg, int n)
{
    const Clock::time_point t0 = Clock::now();
    gfx_begin_scene();
    disp_set_viewport(0, 0, kWidth, kHeight);
    gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    obj3d_scene_begin(0, 0, 0);
    draw(arg, n);
    obj3d_scene_end();
    gfx_end_scene();
    gfx_present();
    glFinish();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct QuadVertex {
    Vec3 p;
    float a, b, size;
    uint32_t c;
    float uv[4];
};

// A world-space square of each billboard's size at its centre; a splat's corners.
void add_quad(DrawObj* o, void* out)
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

void stream_quads(const void* v, int n)
{
    qspr_apply_state(rs_key_pack(0, 0, 0, 1, 2, 5, 3, 0, 1), 0, 0, nullptr);
    tex_set_stage(0, disp_tex_lookup(g_tex), 1);
    for (int first = 0; first < n; first += kQsprBatchQuads)
        gfx_draw_indexed_primitive_up(
            GFX_PT_TRIANGLELIST, 0, uint32_t(std::min(kQsprBatchQuads, n - first)) * 4,
            uint32_t(std::min(kQsprBatchQuads, n - first)) * 2, tex_get_manager(), GFX_FMT_INDEX16,
            static_cast<const QuadVertex*>(v) + 4 * first, sizeof(QuadVertex));
}

void BM_EffectFrame(benchmark::State& state)
{
    if (!boot()) return state.SkipWithError("no device");
    double effects_s = 0, quads_s = 0;
    for (auto _ : state) {
        top_up();
        const Clock::time_point t0 = Clock::now();
        obj_frame();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        std::vector<QuadVertex> quads;
        obj_for_each(add_quad, &quads);
        quads_s += timed(stream_quads, quads.data(), int(quads.size() / 4));
        qspr_frame_reset();
        obj_build_draw_list();
        effects_s += timed([](const void*, int) { obj_draw_range(72, 83); }, nullptr, 0);
    }
    state.counters["drawn"] = qspr_get_drawn_count();
    state.counters["draw_ms"] = effects_s * 1e3 / double(state.iterations());
    state.counters["quads_ms"] = quads_s * 1e3 / double(state.iterations());
    state.counters["ratio"] = quads_s > 0 ? effects_s / quads_s : 0;
}
BENCHMARK(BM_EffectFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

// Hit effects at 800 x 600 on the offscreen device, kept at 1,000 live
// effects (explosions, smoke, flashes, sparks and hits of every type with
// their drops and splats, topped up after each frame as effects end).
//
// BM_EffectUpdate: the update pass of such a frame alone (the goal is under
// 1 ms). BM_EffectDraw: drawing the frame's sprites in screen 0's 3D pass,
// with the counter "ratio" against "quads_ms": the same number of quads of
// the same places and sizes, built once and streamed straight through the
// device layer with one state in the same iterations.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <vector>

#include "disp/tex.h"
#include "obj2d/qspr.h"
#include "stage/effect.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_samples.h"
#include "util/crt_rand.h"

namespace {

constexpr int kWidth = 800, kHeight = 600, kLive = 1000;
using Clock = std::chrono::steady_clock;

ResHandle g_tex = 0;

bool boot()
{
    static const bool ok = [] {
        if (!o3t::scene_boot(kWidth, kHeight)) return false;
        qspr_type_register();
        const qvw::TexLstTexDesc t = qvw::sample_effect_category().textures[0];
        const ResHandle tex = g_tex =
            res_tex_create(kEffectCategory, "cmnv", 256, 256, RES_TEX_FORMAT_ARGB32, false);
        std::vector<uint32_t> px(256 * 256, 0xC0FFFFFFu);
        res_tex_set_image(tex, 0, 0, 256, 256, px.data());
        for (const qvw::TexLstCropDesc& c : t.crops)
            res_crop_register_px(kEffectCategory, c.name.c_str(), c.x, c.y, c.w, c.h, tex);
        const Vec3 eye = {0, 5, -8}, target = {0, 0, 10};
        cam_set_mode(0, CAM_MODE_LOOK_AT);
        cam_set_look_at(0, &eye, &target, nullptr);
        cam_update_all();
        crt_srand(1);
        return true;
    }();
    return ok;
}

// Effects in a field in front of the camera until kLive objects live.
void top_up()
{
    static int next = 0;
    while (obj_live_count() < kLive) {
        const Vec3 p = {float(next * 37 % 17) - 8, float(next % 5) * 0.6f,
                        float(next * 13 % 17) + 3};
        const Vec3 dir = {0, 1, 0};
        switch (next++ % 6) {
        case 0: effect_explosion(1, &p, 1.2f, kEffectWhite, 3, 2); break;
        case 1: effect_smoke(1, &p, &dir, 0.3f, 0.5f, 1.0f, 1.02f, kEffectDarkSmoke, 30, 0); break;
        case 2: effect_spark(1, &p, 0, 0); break;
        default: effect_hit(1, &p, &dir, next % 4); break;
        }
    }
}

void begin_pass()
{
    gfx_begin_scene();
    disp_set_viewport(0, 0, kWidth, kHeight);
    gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    obj3d_scene_begin(0, 0, 0);
}
void end_pass()
{
    obj3d_scene_end();
    gfx_end_scene();
    gfx_present();
    glFinish();
}

void BM_EffectUpdate(benchmark::State& state)
{
    if (!boot()) return state.SkipWithError("no device");
    for (auto _ : state) {
        top_up();
        const Clock::time_point t0 = Clock::now();
        obj_frame();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    state.counters["live"] = kLive;
}
BENCHMARK(BM_EffectUpdate)->UseManualTime()->Unit(benchmark::kMicrosecond);

struct QuadVertex {
    Vec3 p;
    float a, b, size;
    uint32_t c;
    float uv[4];
};

// One camera-facing square per billboard (its size and scale, turned by the
// camera's right and up rows) and the corners of every splat.
std::vector<QuadVertex> plain_quads()
{
    struct Collect {
        std::vector<QuadVertex> out;
        const Mat44* view;
    } c = {{}, cam_get_view_mtx(0)};
    obj_for_each(
        [](DrawObj* o, void* arg) {
            Collect& c = *static_cast<Collect*>(arg);
            const QsprWork* w = obj_work<QsprWork>(o);
            if (o->type == 0) return;
            for (int k = 0; k < 4; ++k) {
                Vec3 p = w->quad.corner[k];
                if (w->kind == QSPR_BILLBOARD) {
                    const float* m = c.view->m;
                    const float sx = (k & 1 ? 0.5f : -0.5f) * w->bb.w * w->bb.scale_x;
                    const float sy = (k & 2 ? 0.5f : -0.5f) * w->bb.h * w->bb.scale_y;
                    p = {w->bb.centre.x + m[0] * sx + m[4] * sy,
                         w->bb.centre.y + m[1] * sx + m[5] * sy,
                         w->bb.centre.z + m[2] * sx + m[6] * sy};
                }
                c.out.push_back({p, 1, 0, 1, 0x80FFFFFFu, {float(k & 1), float(k >> 1), 0, 0}});
            }
        },
        &c);
    return c.out;
}

double seconds_since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void BM_EffectDraw(benchmark::State& state)
{
    if (!boot()) return state.SkipWithError("no device");
    double effects_s = 0, quads_s = 0;
    for (auto _ : state) {
        top_up();
        obj_frame();
        const std::vector<QuadVertex> quads = plain_quads();
        const int n = int(quads.size() / 4);
        Clock::time_point t0 = Clock::now();
        begin_pass();
        qspr_apply_state(rs_key_pack(0, 0, 0, 1, 2, 5, 3, 0, 1), 0, 0, nullptr);
        tex_set_stage(0, disp_tex_lookup(g_tex), 1);
        for (int first = 0; first < n; first += kQsprBatchQuads) {
            const int k = std::min(kQsprBatchQuads, n - first);
            gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(k) * 4, uint32_t(k) * 2,
                                          tex_get_manager(), GFX_FMT_INDEX16,
                                          quads.data() + 4 * first, sizeof(QuadVertex));
        }
        end_pass();
        quads_s += seconds_since(t0);
        t0 = Clock::now();
        qspr_frame_reset();
        obj_build_draw_list();
        begin_pass();
        obj_draw_range(72, 83);
        end_pass();
        const double s = seconds_since(t0);
        effects_s += s;
        state.SetIterationTime(s);
        state.counters["quads"] = n;
    }
    state.counters["drawn"] = qspr_get_drawn_count();
    state.counters["quads_ms"] = quads_s * 1e3 / double(state.iterations());
    state.counters["ratio"] = quads_s > 0 ? effects_s / quads_s : 0;
}
BENCHMARK(BM_EffectDraw)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

// Sprite objects and vector animations at 800 x 600 on the offscreen device: 8,000 billboards
// of 16 x 16 pixels in one 3D pass, of one texture or of four interleaved (every object changes
// the texture), against the same quads built once and streamed straight through the device
// layer; 128 vector-animation objects playing a one-shape movie of 50 triangles, ticked and
// drawn.
#include "bench/bench_util.h"
#include "obj2d/fla.h"
#include "obj2d/flaobj.h"
#include "obj2d/line2d.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_writer.h"

constexpr int SPRITES_WIDTH = 800, SPRITES_HEIGHT = 600;
constexpr int SPRITES_BILLBOARDS = 8000, SPRITES_MOVIES = 128;

// One shape of 25 quads (50 triangles) that moves a pixel per frame.
qvw::FlaDesc one_shape_movie()
{
    qvw::FlaDesc d;
    d.rect[2] = d.rect[3] = 64;
    qvw::FlaShape s;
    s.char_id = 1;
    qvw::FlaPart p;
    for (int i = 0; i < 26; ++i) {
        p.verts.push_back({float(i) * 2, 0, float(i) / 25, 0});
        p.verts.push_back({float(i) * 2, 40, float(i) / 25, 1});
    }
    for (uint16_t q = 0; q < 25; ++q)
        for (uint16_t k : {0, 1, 2, 2, 1, 3}) p.indices.push_back(uint16_t(2 * q + k));
    s.parts = {p};
    d.shapes = {s};
    for (int f = 0; f < 30; ++f) {
        qvw::Bytes b;
        const float m[6] = {1, 0, 0, 1, float(f), 0};
        qvw::fla_cmd_place_full(b, 1, f == 0 ? 1 : -1, m, nullptr, f != 0);
        qvw::fla_cmd_end(b);
        d.frames.push_back(b);
    }
    return d;
}

struct Scene {
    ResHandle tex[4] = {};
    ResHandle movie = 0;
    bool ok = false;
    Scene()
    {
        bench::headless();
        // The movie pool is closed by default.
        bench::load_settings("sprites",
                             "MAX_NR_FLASH 4\nSZ_BUFF_FLASH 65536\nSZ_BUFF_FLASHNAME 256\n");
        if (!o3t::scene_boot(SPRITES_WIDTH, SPRITES_HEIGHT)) return;
        line2d_type_register();
        tri2d_type_register();
        obj2d_type_register();
        qspr_type_register();
        fla_pool_reset();
        const char* names[4] = {"a", "b", "c", "d"};
        for (int t = 0; t < 4; ++t) {
            tex[t] = res_tex_create("bench", names[t], 16, 16, RES_TEX_FORMAT_ARGB32, false);
            std::vector<uint32_t> px(256, 0xFF102030u * uint32_t(t + 1));
            res_tex_set_image(tex[t], 0, 0, 16, 16, px.data());
        }
        movie = res_flash_register("bench", "shape", qvw::fla_chunk(one_shape_movie()));
        ok = movie != 0;
    }
};

// Billboard i of a 100 x 80 grid at depth 40, where 1.5 units are 16 pixels.
Vec3 grid_point(int i)
{
    return {(float(i % 100) - 49.5f) * 0.7f, (float(i / 100) - 39.5f) * 0.7f, 40};
}

void BM_Billboards(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no device");
    const int textures = int(state.range(0));
    std::vector<DrawObj*> objs;
    for (int i = 0; i < SPRITES_BILLBOARDS; ++i) {
        const Vec3 p = grid_point(i);
        DrawObj* o = qspr_bb_create(1, &p, 0, 1.5f, 0, 0xFFFFFFFFu, 1);
        qspr_bb_set_tex1(o, s.tex[i % textures]);
        objs.push_back(o);
    }
    cam_update_all();
    auto one = [] {
        qspr_frame_reset();
        obj_build_draw_list();
        bench::frame_3d(SPRITES_WIDTH, SPRITES_HEIGHT, bench::BENCH_UTIL_CLEAR_ALL,
                        [] { obj_draw_range(72, 83); });
    };
    one();
    for (auto _ : state) one();
    state.counters["draws"] = qspr_get_draw_calls();
    state.counters["objects"] = qspr_get_drawn_count();
    for (DrawObj* o : objs) obj_free(o);
}
BENCHMARK(BM_Billboards)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PrebuiltQuads(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no device");
    std::vector<bench::QuadVertex> quads;
    for (int i = 0; i < SPRITES_BILLBOARDS; ++i) {
        const Vec3 c = grid_point(i);
        for (int k = 0; k < 4; ++k) {
            const Vec3 p = {c.x + (k & 1 ? 0.75f : -0.75f), c.y + (k & 2 ? 0.75f : -0.75f), c.z};
            quads.push_back({p, 1, 0, 1, 0xFFFFFFFFu, {float(k & 1), float(k >> 1), 0, 0}});
        }
    }
    cam_update_all();
    auto draw = [&] { bench::draw_quads(s.tex[0], quads); };
    bench::frame_3d(SPRITES_WIDTH, SPRITES_HEIGHT, bench::BENCH_UTIL_CLEAR_ALL, draw);
    for (auto _ : state)
        bench::frame_3d(SPRITES_WIDTH, SPRITES_HEIGHT, bench::BENCH_UTIL_CLEAR_ALL, draw);
}
BENCHMARK(BM_PrebuiltQuads)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Movies(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no device");
    std::vector<DrawObj*> objs;
    for (int i = 0; i < SPRITES_MOVIES; ++i) {
        DrawObj* o =
            flaobj_create(1, s.movie, float(i % 16) * 48, float(i / 16) * 64, 0, 0, 1, 1, 30);
        flaobj_set_loop(o, 1);
        objs.push_back(o);
    }
    auto one = [&] {
        for (DrawObj* o : objs) flaobj_tick(o);
        obj_build_draw_list();
        disp_set_scissor(0, 0, SPRITES_WIDTH, SPRITES_HEIGHT);
        bench::frame(SPRITES_WIDTH, SPRITES_HEIGHT, GFX_CLEAR_TARGET,
                     [] { obj_draw_range(30, 30); });
    };
    one();
    for (auto _ : state) one();
    for (DrawObj* o : objs) obj_free(o);
}
BENCHMARK(BM_Movies)->Unit(benchmark::kMillisecond)->UseRealTime();

// Skeletal animation and skinned drawing.
//
// BM_PoseCrossFade: motion_player_update for 64 players of a 60-bone
// skeleton, every update inside a running cross-fade; ns_per_bone per bone.
// BM_ReachAndAim: one update of one player with a reach (4-bone chain) and
// an aim controller. BM_SpringChain: one update of a 16-bone spring chain.
// BM_SkinnedPass / BM_SkinnedDevice: 64 skinned characters of 2,000
// triangles at 800 x 600 through the 3D pass, and the same draws (same
// shader set-up and palettes) issued straight to the device; compare the
// two within one run.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/txt_settings.h"
#include "disp/mesh_buf.h"
#include "disp/rstate.h"
#include "disp/shader.h"
#include "obj3d/motion.h"
#include "obj3d/motobj.h"
#include "plat/gfx_draw.h"
#include "plat/files.h"
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_writer.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kPlayers = 64, kBones = 60, kFrames = 30, kChars = 64;

qvw::Mat16 turn_z(float a, float x)
{
    qvw::Mat16 m = qvw::mat_identity();
    m[0] = std::cos(a), m[1] = std::sin(a), m[4] = -m[1], m[5] = m[0], m[12] = x;
    return m;
}

std::string bone_name(int i) { return "b" + std::to_string(i); }

// Three limbs of 20 bones below the first bone of the first limb.
std::vector<qvw::BoneNode> skeleton(int first, int count)
{
    if (count == 0) return {};
    qvw::BoneNode n{bone_name(first), turn_z(0, first % 20 ? 0.1f : 0.0f),
                    skeleton(first + 1, count - 1)};
    return {n};
}

qvw::AnimDesc motion(const char* name, float speed)
{
    qvw::AnimDesc a;
    a.name = name;
    for (int b = 0; b < kBones; ++b) {
        qvw::AnimNodeDesc n{bone_name(b), {}};
        for (int f = 0; f < kFrames; ++f)
            n.frames.push_back(
                turn_z(0.05f * speed * std::sin(float(f + b) * 0.2f), b % 20 ? 0.1f : 0));
        a.nodes.push_back(n);
    }
    return a;
}

// A tube of 2,000 triangles along the first limb, each ring bound to a bone.
qvw::ModelDesc character()
{
    qvw::ModelDesc m;
    m.name = "body";
    m.has_uvs = m.has_blend = true;
    constexpr int kRings = 51, kSides = 20;
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSides; ++s) {
            qvw::ModelVertex v;
            const float a = 6.2831853f * float(s) / kSides;
            v.pos = {0.04f * float(r), 0.15f * std::cos(a), 0.15f * std::sin(a)};
            v.nrm = {0, std::cos(a), std::sin(a)};
            v.blend.bone = {uint8_t(std::min(r / 3, 19)), 0, 0, 0};
            v.blend.weight = {1, 0, 0, 0};
            m.verts.push_back(v);
        }
    for (int r = 0; r + 1 < kRings; ++r)
        for (int s = 0; s < kSides; ++s) {
            const uint32_t a = uint32_t(r * kSides + s),
                           b = uint32_t(r * kSides + (s + 1) % kSides);
            m.corners.insert(m.corners.end(), {a, a + kSides, b, b, a + kSides, b + kSides});
        }
    for (int b = 0; b < 20; ++b) {
        qvw::Mat16 off = qvw::mat_identity();
        off[12] = -0.1f * float(b);
        m.bones.push_back({bone_name(b), off});
    }
    return m;
}

struct Scene {
    void* window = nullptr;
    ResHandle bones = 0, a = 0, b = 0, mesh = 0, springs = 0;
    bool ok = false;
};

Scene& scene()
{
    static Scene sc = [] {
        Scene s;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        const std::string settings =
            std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
            "/quorvel_bench_anim.txt";
        std::ofstream(settings) << "SHADER_PATH " << plat_exe_dir() << "../data/sh/\n"
                                << "MAX_NR_ANIME 4\nSZ_BUFF_ANIME 2000000\nSZ_BUFF_ANIMENAME 1024\n"
                                << "MAX_NR_MESH_BONE 64\nSZ_BUFF_MESH_BONENAME 1024\n";
        txt_settings_load(settings.c_str());
        s.window = o3t::scene_boot(kWidth, kHeight);
        if (!s.window) return s;
        shader_init();
        motion_pool_reset();
        std::vector<qvw::BoneNode> root = skeleton(0, 20);
        root[0].children.push_back(skeleton(20, 20)[0]);
        root[0].children.push_back(skeleton(40, 20)[0]);
        s.bones = res_bone_register("bench", "b0", qvw::bone_chunk(root));
        s.a = res_anime_register("bench", "a", qvw::anime_chunk(motion("a", 1.0f)));
        s.b = res_anime_register("bench", "b", qvw::anime_chunk(motion("b", -1.0f)));
        s.springs = res_bone_register("bench", "c0", [] {
            qvw::BoneNode n{"c15", turn_z(0, 0.2f), {}};
            for (int i = 14; i >= 0; --i) n = {"c" + std::to_string(i), turn_z(0, 0.2f), {n}};
            return qvw::bone_chunk({n});
        }());
        qvw::Bytes d;
        qvw::model_chunk(character(), d);
        ModelChunk mc;
        MeshSource src;
        if (chunk_parse_model(d, mc) == CHUNK_OK) mdl_decode(d, mc, 0, 0, src);
        s.mesh = res_mesh_register("bench", "body", src, 0);
        s.ok = s.bones && s.a && s.b && s.mesh && s.springs;
        return s;
    }();
    return sc;
}

const Mat44 kIdent = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

void BM_PoseCrossFade(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) return state.SkipWithError("no scene");
    std::vector<MotionPlayer*> ps;
    for (int i = 0; i < kPlayers; ++i) {
        MotionPlayer* p = motion_player_alloc();
        motion_player_set(p, s.bones, s.a);
        motion_set_fade(p, 1000000);
        motion_player_update(p, &kIdent, -1, nullptr, 0, 0);
        motion_player_set(p, -1, s.b);  // a fade that lasts the whole run
        ps.push_back(p);
    }
    for (auto _ : state)
        for (MotionPlayer* p : ps) motion_player_update(p, &kIdent, -1, nullptr, 0, 0);
    state.counters["ns_per_bone"] =
        benchmark::Counter(double(state.iterations()) * kPlayers * kBones,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (MotionPlayer* p : ps) motion_player_free(p);
}
BENCHMARK(BM_PoseCrossFade)->Unit(benchmark::kMillisecond);

void BM_ReachAndAim(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) return state.SkipWithError("no scene");
    MotionPlayer* p = motion_player_alloc();
    motion_player_set(p, s.bones, s.a);
    const Vec3 goal = {0.5f, 0.6f, 0.1f}, look = {0, 3, 1};
    for (auto _ : state) {
        motion_ctrl_reach(p, 19, &goal, 1.0f, 4);
        motion_ctrl_aim(p, 39, &look, nullptr, 0.5f);
        motion_player_update(p, &kIdent, -1, nullptr, 0, 0);
    }
    motion_player_free(p);
}
BENCHMARK(BM_ReachAndAim)->Unit(benchmark::kMicrosecond);

void BM_SpringChain(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) return state.SkipWithError("no scene");
    MotionPlayer* p = motion_player_alloc();
    motion_player_set(p, s.springs, 0);
    const Mat44 high = o3t::at(0, 5, 0);
    motion_player_update(p, &high, 0, nullptr, 0, 1);
    motion_node_enable_spring(p, nullptr, 1);
    for (auto _ : state) motion_player_update(p, &high, 0, nullptr, 0, 0);
    motion_player_free(p);
}
BENCHMARK(BM_SpringChain)->Unit(benchmark::kMicrosecond);

// 64 characters on an 8 x 8 grid, posed once.
std::vector<DrawObj*>& characters()
{
    static std::vector<DrawObj*> cs = [] {
        std::vector<DrawObj*> v;
        Scene& s = scene();
        for (int i = 0; i < kChars; ++i) {
            const Mat44 w =
                o3t::at((float(i % 8) - 4.0f) * 1.2f, (float(i / 8) - 4.0f) * 0.8f, 9.0f);
            DrawObj* o = motobj_create(0, &w, s.mesh, 81);
            motobj_set_motion(o, s.bones, s.a);
            motobj_update(o, 5);
            v.push_back(o);
        }
        return v;
    }();
    return cs;
}

template <class Draw>
void frame(Draw draw)
{
    cam_update_all();
    obj_build_draw_list();
    gfx_begin_scene();
    disp_set_viewport(0, 0, kWidth, kHeight);
    gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    draw();
    gfx_end_scene();
    gfx_present();
    glFinish();
}

void pass()
{
    obj3d_scene_begin(0, 0, 0);
    obj_draw_range(72, 83);
    obj3d_scene_end();
}

// The same meshes, shader set-up and palettes, without the pass.
void direct()
{
    const MeshBuffers* mb = res_mesh_get_object(scene().mesh);
    obj3d_scene_begin(0, 0, 0);
    disp_rstate_cache_reset();
    gfx_set_indices(disp_wire_index_buffer(mb->ib, mb->index_bits == 32 ? 4 : 2));
    gfx_set_stream_source(0, disp_wire_vertex_buffer(mb->vb), 0, mb->stride);
    const MeshSubset& sub = mb->subsets[0];
    for (DrawObj* o : characters()) {
        MotionObj* m = motobj_work(o);
        RstateMeshArgs a = {};
        a.decl = mb->lvf;
        a.world = m->world.m;
        a.mesh = mb;
        a.skin = motion_skeleton(m->player, mb);
        shader_setup_mesh(a);
        gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 0, sub.min_vertex, sub.vertex_count,
                                   sub.start_index, sub.prim_count);
    }
    obj3d_scene_end();
}

void BM_SkinnedPass(benchmark::State& state)
{
    if (!scene().ok) return state.SkipWithError("no scene");
    characters();
    frame(pass);
    for (auto _ : state) frame(pass);
    state.counters["characters"] = kChars;
}
BENCHMARK(BM_SkinnedPass)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SkinnedDevice(benchmark::State& state)
{
    if (!scene().ok) return state.SkipWithError("no scene");
    characters();
    frame(direct);
    for (auto _ : state) frame(direct);
    state.counters["characters"] = kChars;
}
BENCHMARK(BM_SkinnedDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pass and direct frames alternating, so that both see the same load.
void BM_SkinnedSideBySide(benchmark::State& state)
{
    if (!scene().ok) return state.SkipWithError("no scene");
    characters();
    using Clock = std::chrono::steady_clock;
    double pass_ms = 0, direct_ms = 0;
    auto timed = [](auto draw) {
        const auto t0 = Clock::now();
        frame(draw);
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    timed(pass);
    timed(direct);
    for (auto _ : state) {
        pass_ms += timed(pass);
        direct_ms += timed(direct);
    }
    const double n = double(state.iterations());
    state.counters["pass_ms"] = pass_ms / n;
    state.counters["direct_ms"] = direct_ms / n;
    state.counters["overhead_pct"] = 100.0 * (pass_ms - direct_ms) / direct_ms;
}
BENCHMARK(BM_SkinnedSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

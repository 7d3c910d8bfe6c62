// Skeletal animation and skinned drawing: motion_player_update for 64 players of a 60-bone
// skeleton inside a running cross-fade (ns_per_bone); one update with a reach (4-bone chain) and
// an aim controller; one update of a 16-bone spring chain; 64 skinned characters of 2,000
// triangles at 800 x 600 through the 3D pass against the same draws (same shader set-up and
// palettes) issued straight to the device.
#include <cmath>

#include "bench/bench_util.h"
#include "math/vm_const.h"
#include "res/mesh_buf.h"
#include "disp/rstate.h"
#include "disp/shader.h"
#include "obj3d/motion.h"
#include "obj3d/motobj.h"
#include "plat/gfx_draw.h"
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "tests/obj3d/obj3d_scene.h"
#include "tools/qv_writer.h"

constexpr int ANIM_WIDTH = 800, ANIM_HEIGHT = 600;
constexpr int ANIM_PLAYERS = 64, ANIM_BONES = 60, ANIM_FRAMES = 30, ANIM_CHARS = 64;

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
    return {
        {bone_name(first), turn_z(0, first % 20 ? 0.1f : 0.0f), skeleton(first + 1, count - 1)}};
}

qvw::AnimDesc motion(const char* name, float speed)
{
    qvw::AnimDesc a;
    a.name = name;
    for (int b = 0; b < ANIM_BONES; ++b) {
        qvw::AnimNodeDesc n{bone_name(b), {}};
        for (int f = 0; f < ANIM_FRAMES; ++f)
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
    constexpr int ANIM_RINGS = 51, ANIM_SIDES = 20;
    for (int r = 0; r < ANIM_RINGS; ++r)
        for (int s = 0; s < ANIM_SIDES; ++s) {
            qvw::ModelVertex v;
            const float a = VM_TWO_PI * float(s) / ANIM_SIDES;
            v.pos = {0.04f * float(r), 0.15f * std::cos(a), 0.15f * std::sin(a)};
            v.nrm = {0, std::cos(a), std::sin(a)};
            v.blend.bone = {uint8_t(std::min(r / 3, 19)), 0, 0, 0};
            v.blend.weight = {1, 0, 0, 0};
            m.verts.push_back(v);
            const uint32_t i = uint32_t(r * ANIM_SIDES + s),
                           j = uint32_t(r * ANIM_SIDES + (s + 1) % ANIM_SIDES);
            if (r + 1 < ANIM_RINGS)
                m.corners.insert(m.corners.end(),
                                 {i, i + ANIM_SIDES, j, j, i + ANIM_SIDES, j + ANIM_SIDES});
        }
    for (int b = 0; b < 20; ++b) m.bones.push_back({bone_name(b), turn_z(0, -0.1f * float(b))});
    return m;
}

struct Scene {
    ResHandle bones = 0, a = 0, b = 0, mesh = 0, springs = 0;
    bool ok = false;
    Scene()
    {
        bench::headless();
        bench::load_settings("anim", bench::shader_path_setting() +
                                         "MAX_NR_ANIME 4\nSZ_BUFF_ANIME 2000000\n"
                                         "SZ_BUFF_ANIMENAME 1024\nMAX_NR_MESH_BONE 64\n"
                                         "SZ_BUFF_MESH_BONENAME 1024\n");
        if (!o3t::scene_boot(ANIM_WIDTH, ANIM_HEIGHT)) return;
        shader_init();
        motion_pool_reset();
        std::vector<qvw::BoneNode> root = skeleton(0, 20);
        root[0].children.push_back(skeleton(20, 20)[0]);
        root[0].children.push_back(skeleton(40, 20)[0]);
        bones = res_bone_register("bench", "b0", qvw::bone_chunk(root));
        a = res_anime_register("bench", "a", qvw::anime_chunk(motion("a", 1.0f)));
        b = res_anime_register("bench", "b", qvw::anime_chunk(motion("b", -1.0f)));
        qvw::BoneNode spring{"c15", turn_z(0, 0.2f), {}};
        for (int i = 14; i >= 0; --i) spring = {"c" + std::to_string(i), turn_z(0, 0.2f), {spring}};
        springs = res_bone_register("bench", "c0", qvw::bone_chunk({spring}));
        qvw::Bytes d;
        qvw::model_chunk(character(), d);
        ModelChunk mc;
        MeshSource src;
        if (chunk_parse_model(d, mc) == CHUNK_OK) mdl_decode(d, mc, 0, 0, src);
        mesh = res_mesh_register("bench", "body", src, 0);
        ok = bones && a && b && mesh && springs;
    }
};

void BM_PoseCrossFade(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no scene");
    std::vector<MotionPlayer*> ps;
    for (int i = 0; i < ANIM_PLAYERS; ++i) {
        MotionPlayer* p = motion_player_alloc();
        motion_player_set(p, s.bones, s.a);
        motion_set_fade(p, 1000000);
        motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
        motion_player_set(p, -1, s.b);  // a fade that lasts the whole run
        ps.push_back(p);
    }
    for (auto _ : state)
        for (MotionPlayer* p : ps) motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
    bench::per_item(state, "ns_per_bone", ANIM_PLAYERS * ANIM_BONES);
    for (MotionPlayer* p : ps) motion_player_free(p);
}
BENCHMARK(BM_PoseCrossFade)->Unit(benchmark::kMillisecond);

void BM_ReachAndAim(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no scene");
    MotionPlayer* p = motion_player_alloc();
    motion_player_set(p, s.bones, s.a);
    const Vec3 goal = {0.5f, 0.6f, 0.1f}, look = {0, 3, 1};
    for (auto _ : state) {
        motion_ctrl_reach(p, 19, &goal, 1.0f, 4);
        motion_ctrl_aim(p, 39, &look, nullptr, 0.5f);
        motion_player_update(p, &VM_MAT_IDENTITY, -1, nullptr, 0, 0);
    }
    motion_player_free(p);
}
BENCHMARK(BM_ReachAndAim)->Unit(benchmark::kMicrosecond);

void BM_SpringChain(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
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

std::vector<DrawObj*> g_characters;

template <class Draw>
double frame(Draw draw)
{
    const auto t0 = bench::Clock::now();
    cam_update_all();
    obj_build_draw_list();
    bench::frame_3d(ANIM_WIDTH, ANIM_HEIGHT, bench::BENCH_UTIL_CLEAR_ALL, draw);
    return bench::ms_since(t0);
}

void pass() { obj_draw_range(72, 83); }

// The same meshes, shader set-up and palettes, without the pass.
void direct()
{
    const MeshBuffers* mb = res_mesh_get_object(bench::once<Scene>().mesh);
    disp_rstate_cache_reset();
    gfx_set_indices(disp_wire_index_buffer(mb->ib, mb->index_bits == 32 ? 4 : 2));
    gfx_set_stream_source(0, disp_wire_vertex_buffer(mb->vb), 0, mb->stride);
    const MeshSubset& sub = mb->subsets[0];
    for (DrawObj* o : g_characters) {
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
}

// Pass and direct frames alternating, so that both see the same load.
void BM_SkinnedSideBySide(benchmark::State& state)
{
    Scene& s = bench::once<Scene>();
    if (!s.ok) return state.SkipWithError("no scene");
    for (int i = 0; i < ANIM_CHARS; ++i) {  // on an 8 x 8 grid, posed once
        const Mat44 w = o3t::at((float(i % 8) - 4.0f) * 1.2f, (float(i / 8) - 4.0f) * 0.8f, 9.0f);
        g_characters.push_back(motobj_create(0, &w, s.mesh, 81));
        motobj_set_motion(g_characters.back(), s.bones, s.a);
        motobj_update(g_characters.back(), 5);
    }
    double pass_ms = 0, direct_ms = 0;
    frame(pass), frame(direct);
    for (auto _ : state) pass_ms += frame(pass), direct_ms += frame(direct);
    const double n = double(state.iterations());
    state.counters["pass_ms"] = pass_ms / n;
    state.counters["direct_ms"] = direct_ms / n;
    state.counters["overhead_pct"] = 100.0 * (pass_ms - direct_ms) / direct_ms;
}
BENCHMARK(BM_SkinnedSideBySide)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

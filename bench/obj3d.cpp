// One frame of the 3D pass with 512 model objects (the patch tool's limit)
// of a 448-triangle lit sphere each, at 800 x 600 on the offscreen device.
//
// BM_Obj3dFrame: the whole frame (draw-list build, the 3D pass, present),
// ending with glFinish so that queued frames do not flatter it; the counter
// pass_ms is the time spent in the 3D pass itself on the calling thread
// (llvmpipe transforms vertices there, inside the draw calls).
// BM_DeviceReference: the same 512 draws issued straight to the drawing
// device with one fixed state, the yardstick for the pass's own overhead.
// Compare the two within one run.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "disp/cam.h"
#include "disp/d3d9.h"
#include "disp/disp_env.h"
#include "disp/disp_fade.h"
#include "disp/disp_wire.h"
#include "disp/fog.h"
#include "disp/plight.h"
#include "disp/shader.h"
#include "math/vm_mat.h"
#include "obj2d/obj.h"
#include "obj3d/mdlobj.h"
#include "obj3d/obj3d.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "res/res.h"
#include "tests/obj3d/obj3d_scene.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;
constexpr int kObjects = 512;
constexpr int kStacks = 14, kSlices = 16;  // 2 x 14 x 16 = 448 triangles

using Clock = std::chrono::steady_clock;

ResHandle make_sphere()
{
    MeshSource src{};
    for (int i = 0; i <= kStacks; ++i) {
        const float t = 3.14159265f * float(i) / kStacks;
        for (int j = 0; j <= kSlices; ++j) {
            const float p = 6.2831853f * float(j) / kSlices;
            const float x = std::sin(t) * std::cos(p), y = std::cos(t),
                        z = std::sin(t) * std::sin(p);
            src.positions.insert(src.positions.end(), {x, y, z});
            src.normals.insert(src.normals.end(), {x, y, z});
        }
    }
    for (int i = 0; i < kStacks; ++i)
        for (int j = 0; j < kSlices; ++j) {
            const uint32_t a = uint32_t(i * (kSlices + 1) + j), b = a + kSlices + 1;
            for (uint32_t k : {a, a + 1, b, a + 1, b + 1, b}) src.indices.push_back(k);
        }
    src.vertex_count = uint32_t(src.positions.size() / 3);
    src.index_count = uint32_t(src.indices.size());
    src.index_bits = 16;
    MeshSubsetSrc s{};
    s.last = src.index_count / 3 - 1;
    src.subsets.push_back(s);
    const float sphere[6] = {0, 0, 0, 1, 1, 1};
    std::copy(sphere, sphere + 6, src.sphere);
    for (int k = 0; k < 3; ++k) src.box_min[k] = -1, src.box_max[k] = 1;
    return res_mesh_register("bench", "sphere", src, 0);
}

struct Scene {
    void* window = nullptr;
    ResHandle mesh = 0;
    bool ok = false;
};

Scene& scene()
{
    static Scene sc = [] {
        Scene s;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        s.window = o3t::scene_boot(kWidth, kHeight);
        if (!s.window) return s;
        s.mesh = make_sphere();
        // A 32 x 16 grid in front of the camera, every sphere visible.
        for (int i = 0; i < kObjects; ++i) {
            Mat44 m;
            const Vec3 t = {(float(i % 32) - 15.5f) * 1.6f, (float(i / 32) - 7.5f) * 1.6f, 40.0f};
            vm_mat_translation(&m, &t);
            mdlobj_create(0, &m, s.mesh, 81);
        }
        s.ok = s.mesh != 0;
        return s;
    }();
    return sc;
}

void frame(double* pass_ms)
{
    disp_fade_frame();
    cam_update_all();
    obj_build_draw_list();
    gfx_begin_scene();
    disp_set_viewport(0, 0, kWidth, kHeight);
    gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    const auto t0 = Clock::now();
    obj3d_scene_begin(0, 0, 0);
    obj_draw_range(72, 83);
    obj3d_scene_end();
    *pass_ms += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    gfx_end_scene();
    gfx_present();
    glFinish();
}

void BM_Obj3dFrame(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no device");
        return;
    }
    double pass_ms = 0;
    frame(&pass_ms);  // first draw compiles the shaders
    pass_ms = 0;
    for (auto _ : state) frame(&pass_ms);
    state.counters["pass_ms"] = pass_ms / double(state.iterations());
    state.counters["objects"] = kObjects;
}
BENCHMARK(BM_Obj3dFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeviceReference(benchmark::State& state)
{
    Scene& s = scene();
    if (!s.ok) {
        state.SkipWithError("no device");
        return;
    }
    const MeshBuffers* mb = res_mesh_get_object(s.mesh);
    cam_update_all();
    auto one = [&] {
        gfx_begin_scene();
        disp_set_viewport(0, 0, kWidth, kHeight);
        gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000, 1.0f, 0);
        cam_apply_xform_set(0);
        gfx_set_fvf(mb->fvf);
        gfx_set_indices(disp_wire_index_buffer(mb->ib, 2));
        gfx_set_stream_source(0, disp_wire_vertex_buffer(mb->vb), 0, mb->stride);
        for (int i = 0; i < kObjects; ++i) {
            Mat44 m;
            const Vec3 t = {(float(i % 32) - 15.5f) * 1.6f, (float(i / 32) - 7.5f) * 1.6f, 40.0f};
            vm_mat_translation(&m, &t);
            gfx_set_transform(GFX_TS_WORLD, m.m);
            gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 0, 0, mb->vertex_count, 0,
                                       mb->prim_count);
        }
        gfx_end_scene();
        gfx_present();
        glFinish();
    };
    one();
    for (auto _ : state) one();
    state.counters["objects"] = kObjects;
}
BENCHMARK(BM_DeviceReference)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// What the benchmark programs share: a headless start, settings of their own, a temporary
// folder, the display on a hidden window, device frames and per-item counters.
#pragma once

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "svc/txt_settings.h"
#include "disp/d3d9.h"
#include "app/disp_main.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "objx/qspr.h"
#include "objx/qspr_local.h"
#include "obj3d/obj3d.h"
#include "plat/files.h"
#include "plat/gfx.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// The same numbers on every run.
struct Lcg {
    uint32_t seed;
    uint32_t next() { return seed = seed * 1664525u + 1013904223u; }
};

// The one T of the program, made on first use, so that the device and the data it loads
// serve every case.
template <class T>
T& once()
{
    static T t;
    return t;
}

inline double ms_since(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Without a display the drawing benchmarks run on the offscreen renderer.
inline void headless() { setenv("SDL_VIDEODRIVER", "offscreen", 0); }

// A folder of this run's own in the temporary folder: mkdtemp gives it a fresh name and mode
// 0700, so that runs of two users never write into one another's files. Removed with
// everything in it; a run that cannot make one ends, since every case needs its files.
struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& name)
    {
        std::string made =
            std::filesystem::temp_directory_path() / ("quorvel_bench_" + name + "_XXXXXX");
        if (!mkdtemp(made.data())) {
            std::perror("bench: no temporary folder");
            std::exit(1);
        }
        path = made;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Loads `text` as the settings, through a file of its own.
inline void load_settings(const std::string& name, const std::string& text)
{
    const TempDir dir(name);
    const auto path = dir.path / "settings.txt";
    std::ofstream(path) << text;
    txt_settings_load(path.string().c_str());
}

// The shipped shader files beside the build (build/data/sh). From here on the benchmark
// works in the build folder, as the program works in its own, and names them from there:
// a settings value ends at a blank, and the checkout's path may hold one.
inline std::string shader_path_setting()
{
    std::filesystem::current_path(std::string(plat_exe_dir()) + "..");
    return "SHADER_PATH data/sh/\n";
}

// The display started on a hidden window as the program starts it.
struct Display {
    void* window;
    bool ok;
    Display(int w, int h) : window(gfx_test_window_create(w, h))
    {
        ok = window && disp_boot(window, 0, w, h, 32, nullptr) == 1;
        DispLinks l = disp_links();  // a save announces nothing
        l.message_box = nullptr;
        disp_set_links(l);
    }
    ~Display()
    {
        if (ok) disp_shutdown();
        gfx_test_window_destroy(window);
    }
};

// The time per item, where each iteration handles `items`.
inline void per_item(benchmark::State& state, const char* name, double items)
{
    state.counters[name] =
        benchmark::Counter(items * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One device frame of w x h, cleared as `clear` asks; it ends with glFinish so that queued
// frames do not flatter it.
template <class Draw>
void frame(int w, int h, uint32_t clear, Draw draw)
{
    gfx_begin_scene();
    disp_set_viewport(0, 0, w, h);
    gfx_clear(clear, 0xFF000000, 1.0f, 0);
    draw();
    gfx_end_scene();
    gfx_present();
    glFinish();
}
constexpr uint32_t BENCH_UTIL_CLEAR_ALL = GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL;

// A device frame holding one 3D pass of screen 0.
template <class Draw>
void frame_3d(int w, int h, uint32_t clear, Draw draw)
{
    frame(w, h, clear, [&] {
        obj3d_scene_begin(0, 0, 0);
        draw();
        obj3d_scene_end();
    });
}

// The sprites' vertex layout.
struct QuadVertex {
    Vec3 p;
    float a, b, size;
    uint32_t c;
    float uv[4];
};

// Quads streamed straight through the device layer in the sprites' batches with one state
// and one texture: the yardstick for the sprite draw's own cost.
inline void draw_quads(ResHandle tex, const std::vector<QuadVertex>& v)
{
    qspr_apply_state(rs_key_pack(0, 0, 0, 1, 2, 5, 3, 0, 1), 0, 0, nullptr);
    tex_set_stage(0, disp_tex_lookup(tex), 1);
    const int n = int(v.size() / 4);
    for (int first = 0; first < n; first += QSPR_BATCH_QUADS) {
        const int k = std::min(QSPR_BATCH_QUADS, n - first);
        gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, uint32_t(k) * 4, uint32_t(k) * 2,
                                      tex_get_manager(), GFX_FMT_INDEX16, v.data() + 4 * first,
                                      sizeof(QuadVertex));
    }
}

}  // namespace bench

// What the benchmark programs share: a headless start, settings of their own, a temporary
// folder and the display on a hidden window.
#pragma once

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/txt_settings.h"
#include "disp/d3d9.h"
#include "disp/disp_main.h"
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

// A folder in the temporary folder, removed with everything in it.
struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const std::string& name)
        : path(std::filesystem::temp_directory_path() /
               ("quorvel_bench_" + name + "_" + std::to_string(getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// Loads `text` as the settings, through a file of its own.
inline void load_settings(const std::string& name, const std::string& text)
{
    const auto path = std::filesystem::temp_directory_path() / ("quorvel_bench_" + name + ".txt");
    std::ofstream(path) << text;
    txt_settings_load(path.string().c_str());
    std::filesystem::remove(path);
}

// The shipped shader files beside the build (build/data/sh).
inline std::string shader_path_setting()
{
    return "SHADER_PATH " + std::string(plat_exe_dir()) + "../data/sh/\n";
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

}  // namespace bench

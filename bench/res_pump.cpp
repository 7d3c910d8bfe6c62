// Loading model groups through the pump on the real display (hidden window,
// run headless with SDL_VIDEODRIVER=offscreen): 100 generated groups, each a
// 128 x 128 texture and three textured grid meshes (300 meshes), written to a
// temporary folder with the data writer. Reported: megabytes of group files
// and meshes per second, and the shares of the time spent reading files,
// making textures (image decode and upload), making the meshes' device
// buffers, and in everything else of the load (chunk checks, model decode,
// vertex interleaving, registration).
#include <benchmark/benchmark.h>

#include "app/txt_settings.h"
#include "disp/disp_main.h"
#include "disp/disp_wire.h"
#include "plat/gfx.h"
#include "disp/mesh_buf.h"
#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"
#include "tools/qv_samples.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr int kGroups = 100;
constexpr int kMeshesPerGroup = 3;

using Clock = std::chrono::steady_clock;

struct Corpus {
    std::filesystem::path dir;
    uint64_t bytes = 0;
    Corpus()
    {
        dir = std::filesystem::temp_directory_path() /
              ("quorvel-res-pump-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir);
        for (int g = 0; g < kGroups; g++) {
            const std::string tex = "t" + std::to_string(g) + ".png";
            qvw::Bytes f;
            qvw::file_add_chunk(
                f, qvw::MAGIC_TEX,
                qvw::tex_chunk(tex,
                               qvw::png_checker(128, 128, 0xFF000000u + uint32_t(g), 0xFFFFFFFFu)));
            for (int k = 0; k < kMeshesPerGroup; k++) {
                qvw::Bytes chunk;
                qvw::model_chunk(qvw::sample_grid("m" + std::to_string(g) + "_" + std::to_string(k),
                                                  8 + 8 * uint32_t(k), tex),
                                 chunk);
                qvw::file_add_chunk(f, qvw::MAGIC_MODEL, chunk);
            }
            std::ofstream(dir / ("g" + std::to_string(g) + ".bin"), std::ios::binary)
                .write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
            bytes += f.size();
        }
        // Room for 100 more groups than the default 100.
        std::ofstream(dir / "settings.txt") << "MAX_NR_CAT 200\nSZ_BUFF_CATNAME 4000\n";
    }
    ~Corpus() { std::filesystem::remove_all(dir); }
};

// Time spent inside the file reads and the texture makes of the services.
struct Split {
    Clock::duration read{}, tex{}, upload{};
};
Split g_split;
ResEnv g_inner;

size_t timed_read(void* file, uint8_t* dst, size_t n)
{
    const auto t0 = Clock::now();
    const size_t got = g_inner.file_read(file, dst, n);
    g_split.read += Clock::now() - t0;
    return got;
}

bool timed_tex_load(const uint8_t* image, uint32_t size, bool mipmaps, bool linear, ResTexInfo& out)
{
    const auto t0 = Clock::now();
    const bool ok = g_inner.tex_load(image, size, mipmaps, linear, out);
    g_split.tex += Clock::now() - t0;
    return ok;
}

void BM_PumpModelGroups(benchmark::State& st)
{
    Corpus corpus;
    txt_settings_load((corpus.dir / "settings.txt").string().c_str());
    void* window = gfx_test_window_create(320, 240);
    if (!window || disp_boot(window, 0, 320, 240, 32, nullptr) != 1) {
        st.SkipWithError("the display did not start");
        return;
    }
    const std::string folder = corpus.dir.string() + "/";
    for (int i = 0; i < 3; i++) resload_set_model_folder(i, folder.c_str());
    g_inner = res_env();
    ResEnv timed = g_inner;
    timed.file_read = timed_read;
    timed.tex_load = timed_tex_load;
    res_env_set(timed);
    g_split = Split{};

    std::vector<std::string> names;
    for (int g = 0; g < kGroups; g++) names.push_back("g" + std::to_string(g));
    Clock::duration total{};
    int32_t meshes = 0;
    for (auto _ : st) {
        ResMark mark;
        res_mark(mark);
        const auto t0 = Clock::now();
        size_t next = 0;
        int r = RESLOAD_CONTINUE;
        // The ring holds 64 requests: the rest are queued as it drains.
        while (next < names.size() || r == RESLOAD_CONTINUE) {
            while (next < names.size() && resload_request(names[next].c_str(), 0)) next++;
            r = resload_pump(90.0f);
            if (r >= RESLOAD_FATAL) break;
        }
        // The display makes a mesh's device buffers on its first draw; made
        // here so that the figures hold the whole way to the device.
        const auto t1 = Clock::now();
        for (int32_t i = mark.used[RES_MESH]; i < res_mesh_count(); i++) {
            const MeshBuffers* mb = res_mesh_get_object(res_index_to_handle(i));
            disp_wire_vertex_buffer(mb->vb);
            disp_wire_index_buffer(mb->ib, mb->index_bits == 32 ? 4 : 2);
        }
        const auto t2 = Clock::now();
        g_split.upload += t2 - t1;
        total += t2 - t0;
        st.PauseTiming();
        meshes = res_mesh_count() - mark.used[RES_MESH];
        res_release_to_mark(mark);
        st.ResumeTiming();
        if (r >= RESLOAD_FATAL || meshes != kGroups * kMeshesPerGroup) {
            st.SkipWithError("a group did not load");
            break;
        }
    }
    res_env_set(g_inner);
    disp_shutdown();
    gfx_test_window_destroy(window);
    txt_settings_term();

    const double secs = std::chrono::duration<double>(total).count();
    const double n = double(st.iterations());
    if (secs <= 0) return;
    st.counters["MB_per_s"] = double(corpus.bytes) * n / 1e6 / secs;
    st.counters["meshes_per_s"] = double(kGroups * kMeshesPerGroup) * n / secs;
    st.counters["file_MB"] = double(corpus.bytes) / 1e6;
    st.counters["read_share"] = std::chrono::duration<double>(g_split.read).count() / secs;
    st.counters["texture_share"] = std::chrono::duration<double>(g_split.tex).count() / secs;
    st.counters["buffer_share"] = std::chrono::duration<double>(g_split.upload).count() / secs;
    st.counters["decode_share"] =
        1.0 -
        (std::chrono::duration<double>(g_split.read + g_split.tex + g_split.upload).count() / secs);
}
BENCHMARK(BM_PumpModelGroups)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

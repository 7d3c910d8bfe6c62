// Loading model groups through the pump on the real display: 100 generated groups, each a
// 128 x 128 texture and three textured grid meshes (300 meshes), written to a temporary folder
// with the data writer. Reported: megabytes of group files and meshes per second, and the shares
// of the time spent reading files, making textures (image decode and upload), making the meshes'
// device buffers, and in everything else (chunk checks, model decode, vertex interleaving,
// registration).
#include "bench/bench_util.h"
#include "disp/disp_wire_table.h"
#include "res/mesh_buf.h"
#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"
#include "tools/qv_samples.h"

constexpr int RES_PUMP_GROUPS = 100;
constexpr int RES_PUMP_MESHES_PER_GROUP = 3;

using bench::Clock;

// Writes the groups; their size in bytes.
uint64_t write_groups(const std::filesystem::path& dir)
{
    uint64_t bytes = 0;
    for (int g = 0; g < RES_PUMP_GROUPS; g++) {
        const std::string tex = "t" + std::to_string(g) + ".png";
        qvw::Bytes f;
        qvw::file_add_chunk(
            f, qvw::MAGIC_TEX,
            qvw::tex_chunk(tex, qvw::png_checker(128, 128, 0xFF000000u + uint32_t(g), ~0u)));
        for (int k = 0; k < RES_PUMP_MESHES_PER_GROUP; k++) {
            qvw::Bytes chunk;
            const std::string name = "m" + std::to_string(g) + "_" + std::to_string(k);
            qvw::model_chunk(qvw::sample_grid(name, 8 + 8 * uint32_t(k), tex), chunk);
            qvw::file_add_chunk(f, qvw::MAGIC_MODEL, chunk);
        }
        plat_write_file((dir / ("g" + std::to_string(g) + ".bin")).string(), f, nullptr);
        bytes += f.size();
    }
    return bytes;
}

// Time spent inside the file reads and the texture makes of the services.
Clock::duration g_read{}, g_tex{};
ResEnv g_inner;

size_t timed_read(void* file, uint8_t* dst, size_t n)
{
    const auto t0 = Clock::now();
    const size_t got = g_inner.file_read(file, dst, n);
    g_read += Clock::now() - t0;
    return got;
}

bool timed_tex_load(const uint8_t* image, uint32_t size, bool mipmaps, bool linear, ResTexInfo& out)
{
    const auto t0 = Clock::now();
    const bool ok = g_inner.tex_load(image, size, mipmaps, linear, out);
    g_tex += Clock::now() - t0;
    return ok;
}

double secs(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_PumpModelGroups(benchmark::State& st)
{
    bench::TempDir dir("res_pump");
    const uint64_t bytes = write_groups(dir.path);
    bench::load_settings("res_pump", "MAX_NR_CAT 200\nSZ_BUFF_CATNAME 4000\n");  // 100 more
    bench::Display disp(320, 240);
    if (!disp.ok) return st.SkipWithError("the display did not start");
    const std::string folder = dir.path.string() + "/";
    for (int i = 0; i < 3; i++) resload_set_model_folder(i, folder.c_str());
    g_inner = res_env();
    ResEnv timed = g_inner;
    timed.file_read = timed_read;
    timed.tex_load = timed_tex_load;
    res_env_set(timed);
    g_read = g_tex = {};
    std::vector<std::string> names;
    for (int g = 0; g < RES_PUMP_GROUPS; g++) names.push_back("g" + std::to_string(g));
    Clock::duration total{}, upload{};
    for (auto _ : st) {
        ResMark mark;
        res_mark(mark);
        const auto t0 = Clock::now();
        int next = 0, r = RESLOAD_CONTINUE;
        // The ring holds 64 requests: the rest are queued as it drains.
        while (next < RES_PUMP_GROUPS || r == RESLOAD_CONTINUE) {
            while (next < RES_PUMP_GROUPS && resload_request(names[size_t(next)].c_str(), 0))
                next++;
            if ((r = resload_pump(90.0f)) >= RESLOAD_FATAL) break;
        }
        // The display makes a mesh's device buffers on its first draw; made here so that the
        // figures hold the whole way to the device.
        const auto t1 = Clock::now();
        for (int32_t i = mark.used[RES_MESH]; i < res_mesh_count(); i++) {
            const MeshBuffers* mb = res_mesh_get_object(res_index_to_handle(i));
            disp_wire_vertex_buffer(mb->vb);
            disp_wire_index_buffer(mb->ib, mb->index_bits == 32 ? 4 : 2);
        }
        upload += Clock::now() - t1;
        total += Clock::now() - t0;
        st.PauseTiming();
        const int32_t meshes = res_mesh_count() - mark.used[RES_MESH];
        res_release_to_mark(mark);
        st.ResumeTiming();
        if (r >= RESLOAD_FATAL || meshes != RES_PUMP_GROUPS * RES_PUMP_MESHES_PER_GROUP) {
            st.SkipWithError("a group did not load");
            break;
        }
    }
    res_env_set(g_inner);
    txt_settings_term();
    const double all = secs(total), n = double(st.iterations());
    if (all <= 0) return;
    st.counters["MB_per_s"] = double(bytes) * n / 1e6 / all;
    st.counters["meshes_per_s"] = double(RES_PUMP_GROUPS * RES_PUMP_MESHES_PER_GROUP) * n / all;
    st.counters["file_MB"] = double(bytes) / 1e6;
    st.counters["read_share"] = secs(g_read) / all;
    st.counters["texture_share"] = secs(g_tex) / all;
    st.counters["buffer_share"] = secs(upload) / all;
    st.counters["decode_share"] = 1.0 - secs(g_read + g_tex + upload) / all;
}
BENCHMARK(BM_PumpModelGroups)->Unit(benchmark::kMillisecond)->MinTime(2.0);

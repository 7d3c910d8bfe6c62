// Loading many model group files from one folder as the patch tool does:
// the folder is listed, every group is queued behind its "_NRM" companion
// check, and the loader opens and reads each file. The time per group must
// stay flat as the folder grows (linear in the number of groups): the
// companion checks are case-insensitive look-ups, which must not list the
// folder again for every name. Each group holds one crop chunk; one group in
// ten has an "_NRM" companion. Runs without a window on the default services.
#include <benchmark/benchmark.h>

#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"
#include "tool/mdl_load.h"
#include "tools/qv_samples.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

struct GroupFolder {
    fs::path dir;
    explicit GroupFolder(int groups)
    {
        dir = fs::temp_directory_path() /
              ("quorvel-res-groups-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
        for (int g = 0; g < groups; g++) {
            const std::string name = "group" + std::to_string(g);
            qvw::Bytes f;
            qvw::file_add_chunk(f, qvw::MAGIC_CROP,
                                qvw::crop_chunk({{"c" + std::to_string(g), "t.png", 0, 0, 1, 1}}));
            write(name + ".bin", f);
            if (g % 10 == 0) write(name + "_NRM.bin", {});
        }
        // Look-ups trust a folder's listing only once it has settled.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    ~GroupFolder() { fs::remove_all(dir); }
    void write(const std::string& name, const qvw::Bytes& bytes) const
    {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
};

void boot_for(int groups)
{
    res_env_set(res_env_defaults());
    res_env_test_clear_settings();
    const std::string room = std::to_string(groups * 2 + 100);
    const std::string bytes = std::to_string(groups * 40 + 4000);
    res_env_test_set_setting("MAX_NR_CAT", room.c_str());
    res_env_test_set_setting("SZ_BUFF_CATNAME", bytes.c_str());
    res_env_test_set_setting("MAX_NR_TEX_CROP", room.c_str());
    res_env_test_set_setting("SZ_BUFF_TEX_CROPNAME", bytes.c_str());
    res_boot();
    resload_boot();
}

void BM_LoadGroupFolder(benchmark::State& st)
{
    const int groups = int(st.range(0));
    GroupFolder folder(groups);
    boot_for(groups);
    const std::string path = folder.dir.string() + "/";
    for (int i = 0; i < 3; i++) resload_set_model_folder(i, path.c_str());
    for (auto _ : st) {
        ResMark mark;
        res_mark(mark);
        mdl_queue_begin(path.c_str());
        int waiting = 0, r = RESLOAD_IDLE;
        do {
            waiting = mdl_queue_feed();
            r = resload_pump(100.0f);
        } while (waiting > 0 || r == RESLOAD_CONTINUE);
        if (res_crop_count() != groups) {
            st.SkipWithError("not every group loaded");
            break;
        }
        res_release_to_mark(mark);
    }
    st.SetComplexityN(groups);
    st.SetItemsProcessed(int64_t(st.iterations()) * groups);
    resload_shutdown();
    res_shutdown();
}
BENCHMARK(BM_LoadGroupFolder)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

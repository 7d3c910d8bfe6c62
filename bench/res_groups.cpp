// A folder of group files loaded as the patch tool does (listing, an "_NRM" companion check per
// group, reading each file): the time per group (the fitted N coefficient) must stay flat.
#include <thread>

#include "bench/bench_util.h"
#include "res/res_env.h"
#include "res/resload.h"
#include "tool/mdl_load_local.h"
#include "tools/qv_samples.h"

void BM_LoadGroupFolder(benchmark::State& st)
{
    const int groups = int(st.range(0));
    const bench::TempDir dir("groups" + std::to_string(groups));
    const std::string folder = dir.path.string() + "/", room = std::to_string(groups * 40);
    qvw::Bytes f;
    qvw::file_add_chunk(f, qvw::MAGIC_CROP, qvw::crop_chunk({{"c", "t.png", 0, 0, 1, 1}}));
    for (int g = 0; g < groups; g++) {
        const std::string name = folder + "group" + std::to_string(g);
        std::ofstream(name + ".bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(f.data()), long(f.size()));
        if (g % 10 == 0) std::ofstream(name + "_NRM.bin");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // let the folder settle
    for (const char* key :
         {"MAX_NR_CAT", "MAX_NR_TEX_CROP", "SZ_BUFF_CATNAME", "SZ_BUFF_TEX_CROPNAME"})
        res_env_test_set_setting(key, room.c_str());
    res_boot();
    resload_boot();
    for (int i = 0; i < 3; i++) resload_set_model_folder(i, folder.c_str());
    for (auto _ : st) {
        ResMark mark;
        res_mark(mark);
        grp_queue_begin(folder.c_str());
        for (int busy = 1; busy;) {
            busy = grp_queue_feed();
            busy += resload_pump(100.0f);
        }
        if (res_crop_count() != groups) st.SkipWithError("not every group loaded");
        res_release_to_mark(mark);
    }
    st.SetComplexityN(groups);
    resload_shutdown();
    res_shutdown();
}
BENCHMARK(BM_LoadGroupFolder)->ArgsProduct({{250, 500, 1000, 2000}})->Complexity(benchmark::oN);

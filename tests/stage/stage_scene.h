// The stage data folder and its settings (read before the display boots), loader and hit checks.
#pragma once

#include "svc/txt_settings.h"
#include "hit/hit.h"
#include "res/resload.h"
#include "stage/stage.h"
#include "tools/qv_samples.h"

inline void stage_files_write(const std::string& dir)
{
    qvw::sample_stage_write(dir), txt_settings_load((dir + "/QUORVEL.TXT").c_str());
}

inline void stage_loader_boot(const std::string& dir)
{
    resload_boot();
    for (int i = 0; i < 3; i++) resload_set_model_folder(i, (dir + "/").c_str());
    hit_init();
}

inline void stage_loader_shutdown()
{
    stage_release(), resload_shutdown(), hit_term(), txt_settings_term();
}

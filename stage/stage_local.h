// stage/stage_local: what stage.cpp shares with its white-box tests only:
// the loader's state record.
#pragma once

#include <cstdint>

#include "res/res.h"
#include "stage/stage.h"

struct StageState {
    int step;  // 0 queue, 1 pump, 2 done
    int index;
    int caller;
    ResGroupId group;
    ResMark mark;
    char dummy[STAGE_NAME_MAX + 1];  // data name + "_dummy"
    int live;                        // set by stage_init, cleared by stage_release
};

const StageState& stage_state();

// fps_ctrl_local: the frame pacing's state record as its tests read it.
#pragma once

#include "util/fps_ctrl.h"

const FpsCtrl* fps_ctrl_state();

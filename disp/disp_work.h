// disp/disp_work: the display work block, shared by the display's own
// modules (start-up and frame, parameters, cameras and fog, lighting, fades)
// and by their white-box tests. Other subsystems use the modules' functions.
//
// Layout: the head of display-wide parameters, then the per-screen blocks.
// The display start clears the whole block (disp_work_clear) before it fills
// the head and applies the scene defaults. Main thread only.
#pragma once

#include <cassert>
#include <cstdint>

#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/disp_param.h"

inline constexpr int DISP_SCREENS = 2;
inline constexpr int DISP_SUB_VIEWS_PER_SCREEN = 2;

struct DispWork {
    DispHead head;
    XformSet xform[CAM_XFORM_SETS];
    int32_t selected_set;             // the set the shader constants read
    PrevMatrices prev[DISP_SCREENS];  // previous-frame matrices per screen
    CamBlock cam[DISP_SCREENS];
    EnvBlock env[DISP_SCREENS];
    LightSetEntry lset[DISP_SCREENS];
    SubView subview[DISP_SCREENS * DISP_SUB_VIEWS_PER_SCREEN];  // screen s: 2s + j
    MirrorPlane mirror[DISP_SCREENS];
    int32_t view_flag[DISP_SCREENS];      // never stored; reads 0
    int32_t subview_count[DISP_SCREENS];  // enabled sub-views, recounted each frame
};

DispWork& disp_work();
void disp_work_clear();

// Screen index 0 or 1. Another value is a caller's fault: caught in debug
// builds, taken as screen 0 otherwise so that no block past the pair is
// touched.
inline int disp_screen_index(int s)
{
    assert((s == 0 || s == 1) && "screen index must be 0 or 1");
    return s == 1 ? 1 : 0;
}

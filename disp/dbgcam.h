// disp/dbgcam: a keyboard-driven free camera for screen 0. The caller keeps
// the state record and runs dbgcam_update once a frame: "0" toggles it, the
// arrows, Z/C and W/A/S/D move and turn, Ctrl slows and left Shift speeds up.
// Main thread only.
#pragma once

#include <cstdint>

#include "math/vm_types.h"

struct DbgCam {
    float move_step;
    float turn_step;  // radians
    Vec3 angles;      // radians
    Vec3 pos;
    uint32_t enable;
};

void dbgcam_update(DbgCam* cam);
// The angle wrapped into [0, 2 pi); 0 for an infinite or NaN angle.
float dbgcam_wrap_angle(float angle);

// One frame of the program as its main loop runs it for the tool, without
// the message loop and the frame pacing: the frame mark, the input update,
// tool_frame and the display frame. Shared by the scene tests and the
// benchmark.
#pragma once

#include "app/key.h"
#include "app/mouse.h"
#include "disp/disp_main.h"
#include "tool/tool.h"
#include "util/perf.h"

inline void tool_test_frame()
{
    perf_timer_mark();
    key_update();
    mouse_update();
    tool_frame();
    disp_update(nullptr);
}

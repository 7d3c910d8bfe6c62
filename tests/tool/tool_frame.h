// Shared by the tool's tests and its benchmark: one frame of the program as
// its main loop runs it for the tool, without the message loop and the frame
// pacing (the frame mark, the input update, tool_frame and the display
// frame), and the build folder that holds the program and its data set.
#pragma once

#include "app/key.h"
#include "app/mouse.h"
#include "disp/disp_main.h"
#include "tool/tool.h"
#include "util/perf.h"

#include <cstdlib>
#include <filesystem>

inline void tool_test_frame()
{
    perf_timer_mark();
    key_update();
    mouse_update();
    tool_frame();
    disp_update(nullptr);
}

inline std::filesystem::path tool_test_built_dir()
{
    const char* bin = std::getenv("QUORVEL_TEST_BINARY_DIR");
    return bin ? bin : ".";
}

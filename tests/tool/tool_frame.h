// For the tool's tests and benchmark: one frame as the main loop runs it, without the message
// loop and pacing, and the build folder holding the program and its data set.
#pragma once

#include "svc/key.h"
#include "svc/mouse.h"
#include "app/disp_main.h"
#include "tool/tool.h"
#include "util/perf.h"

#include <cstdlib>
#include <filesystem>
#include <string>

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

// The test programs that read the program or its data set are built after
// them, so one missing is a broken build: the tests fail on it, never skip.
inline std::string tool_test_not_built(const std::filesystem::path& p)
{
    return "no " + p.string() + ": the test build makes the program and its data set first";
}

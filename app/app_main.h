// The program's entry and spine, on the main thread: the single-instance
// check, the work-folder, region and screen-size choices, the start-up order,
// the message and frame loop at 30 frames per second with the scene switcher
// stepped once per frame, and the shut-down order after the quit message.
// What only app_main.cpp and its tests share is app_main_local.h.
#pragma once
#include "plat/window.h"

#include <cstdint>

// Region 0 to 3 from the first letter of "REGION": E, U, J, A.
using RegionIndex = uint32_t;

// The entry function; answers the process exit code (0). The arguments are
// not read.
int app_main(int argc, char** argv);

// Start-up pieces.
int app_single_instance(void);  // 1 first instance, 0 another runs
void app_release_mutex(void);
void app_set_work_dir(void);  // from the program's own folder
const char* app_get_work_dir(void);
int app_restore_work_dir(void);

// Window procedure of window 0.
intptr_t app_wndproc(PlatWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// Queries and commands.
int32_t app_get_screen_width(void);
int32_t app_get_screen_height(void);
PlatMsg* app_get_msg(void);
void app_request_quit(void);
uint32_t app_quit_requested(void);
void app_set_region(RegionIndex region);
RegionIndex app_get_region(void);
int app_messagebox_enabled(void);
// Shows "<text>[<source>:<line>]" in an OK box captioned "quorvel".
void app_error_box(const char* text, const char* source, int line);

// Input, started after the joystick.
void app_input_init(void);
void app_input_update(void);
void app_input_term(void);

// The application record and the scene switcher.
void app_start(void);
void app_stop(void);
void app_update(void);
void app_scene_step(void);
// Hook points of the switcher and the loop, empty in this program (app_main.cpp says what each
// is for): 1 "ready", nothing to prepare, no redraw-only frames, nothing before the lock goes.
int app_scene_ready(void);
void app_scene_prepare(void);
int app_render_only_frame(void);
void app_term_hook(void);

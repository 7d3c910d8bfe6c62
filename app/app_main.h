// The program's entry and spine, on the main thread: the single-instance
// check, the work-folder, region and screen-size choices, the start-up order,
// the message and frame loop at 30 frames per second with the scene switcher
// stepped once per frame, and the shut-down order after the quit message.
#pragma once
#include "disp/disp_param.h"
#include "plat/window.h"

#include <cstdint>
#include <string>
#include <string_view>

constexpr const char* APP_MUTEX_NAME = "zmtq07";
constexpr const char* APP_SETTINGS_FILE = "QUORVEL.TXT";
constexpr const char* APP_DATA_DIR = "data";
constexpr const char* APP_ERROR_BOX_CAPTION = "quorvel";
constexpr const char* APP_DISPLAY_FAIL_TEXT = "The display could not be started.";
constexpr int32_t APP_FPS = 30;
constexpr int APP_SCENE_ROWS = 2;
constexpr int32_t APP_RENDER_FLAG_COUNT = 6;  // render flags 0..5

// The application state; cleared as the very first action.
struct AppState {
    PlatMsg msg;           // the current message (the error screen shares it)
    int mutex;             // single-instance lock handle, 0 when none
    int32_t screen_width;  // client size chosen at start-up
    int32_t screen_height;
    uint32_t quit;         // non-zero ends the main loop at the next pass
    std::string work_dir;  // the current folder after the folder choice
};

// Region 0 to 3 from the first letter of "REGION": E, U, J, A.
using RegionIndex = uint32_t;

// Handed to the display start: RenderSizes (disp/disp_param.h).

// One scene: enter and leave take nothing; update answers non-zero when the
// scene is over.
struct SceneEntry {
    void (*enter)(void);
    int (*update)(void);
    void (*leave)(void);
};

// state: 0 start, 1 preparing, 2 entering, 3 running; index: the table row.
struct SceneRunner {
    uint32_t state;
    uint32_t index;
};

// The entry function; answers the process exit code (0). The arguments are
// not read.
int app_main(int argc, char** argv);

// Start-up pieces.
int app_single_instance(void);  // 1 first instance, 0 another runs
void app_release_mutex(void);
void app_set_work_dir(void);  // from the program's own folder
// The folder rule: program_dir becomes current (an empty one changes
// nothing), then its parent unless it holds a "data" directory. 1 when the
// current folder could be read afterwards.
int app_choose_work_dir(std::string_view program_dir);
const char* app_get_work_dir(void);
int app_restore_work_dir(void);
// The largest of 1600x1200, 1280x1024, 1024x768, 800x600 strictly smaller
// than the desktop in both directions, else 640x480.
void app_screen_size_for_desktop(int32_t desktop_w, int32_t desktop_h, int32_t* w, int32_t* h);
// The screen size of this desktop into the application state.
void app_choose_screen_size(void);
// Starts the display on window 0; on failure tells the user, undoes the
// start-up so far and answers 0 (the program then exits with code 1).
int app_start_display(const RenderSizes& sizes);
RegionIndex app_region_from_text(const char* region);
// Render sizes from the settings text; a size of 0 or less is the screen
// size, a flag outside 0..5 is 0.
RenderSizes app_render_sizes(int32_t screen_w, int32_t screen_h);

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
int app_scene_ready(void);
void app_scene_prepare(void);
int app_render_only_frame(void);
void app_term_hook(void);

// Test hooks: replace a row of the scene table; read the runner.
void app_scene_set_row(int row, const SceneEntry& entry);
const SceneRunner* app_scene_runner(void);

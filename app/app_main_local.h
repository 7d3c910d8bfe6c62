// app/app_main_local: what app_main.cpp shares with its white-box tests
// only: the program's fixed names and rates, the application record, the
// scene table's rows and runner, and the start-up choices (work folder,
// screen size, region, render sizes, the display's start).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/app_main.h"
#include "disp/disp_param.h"
#include "plat/window.h"

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

// One scene: enter and leave take nothing; update answers non-zero when the
// scene is over.
struct SceneEntry {
    void (*enter)(void);
    int (*update)(void);
    void (*leave)(void);
};

// The runner's states, in the order a scene goes through them: a new run starts, waits until
// the scene is ready (then prepares it), enters the scene, and runs it once a frame until it
// ends, when the other row is entered.
constexpr uint32_t APP_SCENE_START = 0;
constexpr uint32_t APP_SCENE_PREPARING = 1;
constexpr uint32_t APP_SCENE_ENTERING = 2;
constexpr uint32_t APP_SCENE_RUNNING = 3;

// state: one of APP_SCENE_*; index: the table row.
struct SceneRunner {
    uint32_t state;
    uint32_t index;
};

// ---- start-up choices ---------------------------------------------------------------
// The folder rule: program_dir becomes current (an empty one changes
// nothing), then its parent unless it holds a "data" directory. 1 when the
// current folder could be read afterwards.
int app_choose_work_dir(std::string_view program_dir);
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

// ---- test hooks ---------------------------------------------------------------------
// Replace a row of the scene table; read the runner.
void app_scene_set_row(int row, const SceneEntry& entry);
const SceneRunner* app_scene_runner(void);

// The program's entry and spine (see app_main.h): start-up pieces, the window procedure, the
// scene switcher, the frame loop, and app_main with the start-up and shut-down orders. The
// display's driver is in disp_main.cpp, its links in app_wire.cpp.
#include "app/app_main.h"
#include "app/app_main_local.h"

#include "app/err_screen.h"
#include "svc/joy.h"
#include "svc/key.h"
#include "svc/mouse.h"
#include "svc/txt_settings.h"
#include "svc/window.h"
#include "app/disp_main.h"
#include "plat/alloc.h"
#include "plat/dialogs.h"
#include "tool/tool.h"
#include "plat/files.h"
#include "plat/input.h"
#include "plat/ipc.h"
#include "plat/log_text.h"
#include "plat/time.h"
#include "res/res.h"
#include "sound/snd_mgr.h"
#include "util/crt_rand.h"
#include "util/fps_ctrl.h"
#include "util/perf.h"

#include <array>
#include <cstring>

// Sections: state | start-up pieces | window procedure | scene switcher |
// frame | app_main (start-up order, loop, shut-down order)

namespace {

struct ScreenRow {
    int32_t width, height;
};

// Largest first; the desktop must exceed a row in both directions.
constexpr ScreenRow APP_SCREEN_ROWS[] = {{1600, 1200}, {1280, 1024}, {1024, 768}, {800, 600}};
constexpr ScreenRow APP_SCREEN_FALLBACK = {640, 480};

AppState g_app;
RegionIndex g_region;

struct SceneSwitcher {
    SceneRunner runner;
    // Row 0 is the patch tool, the one scene; row 1 stays empty.
    std::array<SceneEntry, APP_SCENE_ROWS> table;
};

SceneSwitcher g_scene = {{}, {{{tool_init, tool_frame, tool_term}, {}}}};
ResMark g_scene_mark;  // what the scenes load is released at the stop

}  // namespace

// ---- start-up pieces -------------------------------------------------------

int app_single_instance(void)
{
    if (g_app.mutex != 0) return 0;
    const int lock = plat_instance_lock(APP_MUTEX_NAME);
    if (lock == 0) return 0;  // held by a live instance
    // A lock that cannot be made at all lets the program run, as an
    // unchecked mutex creation did.
    g_app.mutex = lock > 0 ? lock : 0;
    return 1;
}

void app_release_mutex(void)
{
    if (g_app.mutex == 0) return;
    plat_instance_unlock(g_app.mutex);
    g_app.mutex = 0;
}

int app_choose_work_dir(std::string_view program_dir)
{
    if (!program_dir.empty()) plat_set_current_dir(program_dir);
    if (!plat_is_dir(APP_DATA_DIR)) plat_set_current_dir("..\\");
    g_app.work_dir = plat_current_dir();
    return g_app.work_dir.empty() ? 0 : 1;
}

void app_set_work_dir(void) { app_choose_work_dir(plat_exe_dir()); }

const char* app_get_work_dir(void) { return g_app.work_dir.c_str(); }

int app_restore_work_dir(void) { return plat_set_current_dir(g_app.work_dir); }

void app_screen_size_for_desktop(int32_t desktop_w, int32_t desktop_h, int32_t* w, int32_t* h)
{
    ScreenRow pick = APP_SCREEN_FALLBACK;
    for (const ScreenRow& row : APP_SCREEN_ROWS) {
        if (desktop_w > row.width && desktop_h > row.height) {
            pick = row;
            break;
        }
    }
    *w = pick.width;
    *h = pick.height;
}

RegionIndex app_region_from_text(const char* region)
{
    if (!region) return 0;
    switch (region[0]) {
    case 'E': return 0;
    case 'U': return 1;
    case 'J': return 2;
    case 'A': return 3;
    default: return 0;
    }
}

RenderSizes app_render_sizes(int32_t screen_w, int32_t screen_h)
{
    auto size_or = [](const char* key, int32_t screen) {
        const int32_t v = txt_settings_get_int_or(key, screen);
        return v > 0 ? v : screen;
    };
    RenderSizes s{};
    s.render3d_w = size_or("RENDER_WIDTH3D", screen_w);
    s.render3d_h = size_or("RENDER_HEIGHT3D", screen_h);
    s.render_w = size_or("RENDER_WIDTH", screen_w);
    s.render_h = size_or("RENDER_HEIGHT", screen_h);
    s.flag = txt_settings_get_int_or("RENDER_FLAG", 0);
    if (s.flag < 0 || s.flag >= APP_RENDER_FLAG_COUNT) s.flag = 0;
    return s;
}

int32_t app_get_screen_width(void) { return g_app.screen_width; }
int32_t app_get_screen_height(void) { return g_app.screen_height; }
PlatMsg* app_get_msg(void) { return &g_app.msg; }
void app_request_quit(void) { g_app.quit = 1; }
uint32_t app_quit_requested(void) { return g_app.quit; }
void app_set_region(RegionIndex region) { g_region = region; }
RegionIndex app_get_region(void) { return g_region; }

int app_messagebox_enabled(void) { return txt_settings_get_int_or("MESSAGEBOX", 0) != 0; }

void app_error_box(const char* text, const char* source, int line)
{
    const std::string message = std::string(text ? text : "") + "[" + (source ? source : "") + ":" +
                                std::to_string(line) + "]";
    plat_message_box(message.c_str(), APP_ERROR_BOX_CAPTION, PLAT_MB_OK);
}

void app_input_init(void)
{
    key_init();
    mouse_init();
}

void app_input_update(void)
{
    key_update();
    mouse_update();
}

void app_input_term(void)
{
    plat_cursor_clip(nullptr, 0);
    key_term();
}

// ---- window procedure ------------------------------------------------------

intptr_t app_wndproc(PlatWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    switch (message) {
    case PLAT_WM_MOUSEWHEEL: mouse_on_wheel(wparam, lparam); break;
    case PLAT_WM_MOUSEMOVE: {
        PlatRect r{};
        if (const WindowRec* w = window_get(0)) plat_window_get_rect(w->handle, &r);
        mouse_on_move(lparam, r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2);
        break;
    }
    case PLAT_WM_DESTROY:
    case PLAT_WM_ENDSESSION: plat_post_quit_message(0); break;
    default: break;
    }
    return plat_def_window_proc(window, message, wparam, lparam);
}

// ---- scene switcher --------------------------------------------------------

void app_start(void)
{
    g_scene.runner = SceneRunner{};
    g_scene_mark = ResMark{};
    res_mark(g_scene_mark);
}

void app_stop(void) { res_release_to_mark(g_scene_mark); }

// Where a program with more to do hooks into the switcher and the loop: app_scene_ready holds a
// new run until what it waits for is there (a load, a fade), app_scene_prepare readies the scene
// before it is entered, app_render_only_frame makes a pass only redraw (a pause), and
// app_term_hook is the shut-down's last step before the single-instance lock is let go. This
// program needs none of them: the run goes on at once and nothing more is done.
int app_scene_ready(void) { return 1; }
void app_scene_prepare(void) {}
int app_render_only_frame(void) { return 0; }
void app_term_hook(void) {}

void app_scene_step(void)
{
    SceneRunner& r = g_scene.runner;
    const SceneEntry& row = g_scene.table[r.index & 1];
    switch (r.state) {
    case APP_SCENE_START:
        r.state = APP_SCENE_PREPARING;  // and on at once
        [[fallthrough]];
    case APP_SCENE_PREPARING:
        if (app_scene_ready() == 1) {
            app_scene_prepare();
            r.state = APP_SCENE_ENTERING;
        }
        return;
    case APP_SCENE_ENTERING:
        if (row.enter) row.enter();
        r.state = APP_SCENE_RUNNING;
        return;
    default:  // APP_SCENE_RUNNING
        if (row.update && row.update() != 0) {
            if (row.leave) row.leave();
            r.index ^= 1;
            r.state = APP_SCENE_ENTERING;
        }
        return;
    }
}

void app_scene_set_row(int row, const SceneEntry& entry)
{
    if (row >= 0 && row < APP_SCENE_ROWS) g_scene.table[static_cast<size_t>(row)] = entry;
}

const SceneRunner* app_scene_runner(void) { return &g_scene.runner; }

void app_update(void)
{
    app_scene_step();
    constexpr uint16_t APP_SOUND_ERROR = 3;  // "SOUND ERROR"
    if (const uint32_t status = snd_get_error())
        err_screen_run(APP_SOUND_ERROR, uint16_t(status), 0, nullptr);
}

// ---- frame -----------------------------------------------------------------

namespace {

void app_frame(void)
{
    perf_timer_mark();
    joy_poll();
    app_input_update();
    app_update();
    snd_frame();
    disp_update(nullptr);
    fps_ctrl_wait();
    crt_rand();  // the random sequence advances once per frame
}

void app_run_loop(void)
{
    while (!g_app.quit) {
        if (plat_peek_message(&g_app.msg)) {
            if (g_app.msg.message == PLAT_WM_QUIT) break;
            plat_dispatch_message(&g_app.msg);
        } else if (app_render_only_frame()) {
            disp_update(nullptr);
        } else {
            app_frame();
        }
        window_enable(0);
    }
}

}  // namespace

void app_choose_screen_size(void)
{
    int32_t dw = 0, dh = 0;
    plat_desktop_size(&dw, &dh);
    app_screen_size_for_desktop(dw, dh, &g_app.screen_width, &g_app.screen_height);
    window_set_screen_size(g_app.screen_width, g_app.screen_height);
}

// A device that cannot start leaves nothing to draw with: the user is told
// and the program ends with code 1 before anything else runs.
int app_start_display(const RenderSizes& sizes)
{
    int32_t w = g_app.screen_width, h = g_app.screen_height;
    if (const WindowRec* win = window_get(0)) plat_window_client_size(win->handle, &w, &h);
    if (disp_boot(plat_window_sdl(), 0, w, h, 32, &sizes)) return 1;
    disp_shutdown();
    plat_message_box(APP_DISPLAY_FAIL_TEXT, APP_ERROR_BOX_CAPTION, PLAT_MB_OK);
    plat_video_end();
    fps_ctrl_term();
    perf_timer_term();
    txt_settings_term();
    app_release_mutex();
    return 0;
}

// ---- app_main --------------------------------------------------------------

int app_main(int, char**)
{
    plat_alloc_setup();  // before any thread or the device allocates
    g_app = AppState{};
    plat_install_term_handler();
    if (!app_single_instance()) {
        // Said, so that a start that seems to do nothing is not taken for a fault.
        plat_log_line("quorvel: already running for this user and session; this start ends");
        return 0;
    }
    err_info_clear();
    app_set_work_dir();
    txt_settings_load(APP_SETTINGS_FILE);
    app_set_region(app_region_from_text(txt_settings_get_string("REGION")));
    app_choose_screen_size();
    window_create(app_wndproc);
    perf_timer_init(APP_FPS);
    fps_ctrl_init(APP_FPS);
    const RenderSizes sizes = app_render_sizes(g_app.screen_width, g_app.screen_height);
    if (!app_start_display(sizes)) return 1;
    snd_boot();  // a sound failure shows through snd_get_error, never stops the start
    joy_init(window_get(0)->handle);
    app_input_init();
    app_start();
    plat_time_begin_period(1);

    app_run_loop();

    plat_time_end_period(1);
    app_stop();
    app_input_term();
    joy_term();
    snd_shutdown();  // the sound thread ends
    disp_shutdown();
    plat_video_end();  // the window outlives the device that draws into it
    fps_ctrl_term();
    perf_timer_term();
    txt_settings_term();
    app_term_hook();
    app_release_mutex();
    return 0;
}

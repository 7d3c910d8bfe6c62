// app/disp_main: the display's driver. One start that brings up the drawing
// device and every graphics module in a fixed order, the matching stop in
// reverse, the reset and scene-clear steps, and the per-frame display step
// the main loop calls once per frame: fades, update callbacks, the render in
// priority bands around each screen's 3D passes, present, and the end-of-frame
// releases.
//
// Drawing order of one frame (ranges inclusive): clear; 85-93; per enabled
// screen 72-83 in its first 3D pass; the pending screenshot; 31-71; a
// depth-only clear; per enabled screen 26-30 in its second 3D pass; 5-25; the
// caller's callback; the bitmap-font text list; the system-font text list.
// Priorities 0-4 and 84 are never drawn. Main thread only.
//
// The calls the engine's interface fixes keep the display's disp_ names (kept
// in cmake/prefixes.txt); what the driver adds of its own begins with app_disp_.
#pragma once

#include <cstdint>

#include "disp/disp_param.h"

inline constexpr uint32_t APP_DISP_SYS_TEXT_LIST_BYTES = 16384;  // replayed with the system fonts
inline constexpr uint32_t APP_DISP_TEXT_LIST_BYTES = 65536;      // replayed with the bitmap fonts

using DispCallback = void (*)();

// ---- start and stop -------------------------------------------------------------------
// Fills the display head, creates the two text lists, starts the device and
// every module. 1 when the device started; 0 when it did not (the modules
// are started all the same, and every device call then fails cleanly).
int disp_boot(void* window, int32_t reserved, int32_t screen_w, int32_t screen_h,
              int32_t color_depth, const RenderSizes* sizes);
void disp_shutdown();
int app_disp_booted();
void disp_reset();
void disp_reset_scene();
void disp_scene_clear();

// ---- per frame ------------------------------------------------------------------------
void disp_update(DispCallback callback);
void disp_frame_render(void* window, DispCallback callback);
void disp_frame_wait(void* window, DispCallback callback);
void disp_render(void* window, DispCallback callback);
void disp_draw_scene();
uint32_t app_disp_frame_count();  // render steps since start

// ---- display resource mark ---------------------------------------------------------------
int disp_res_mark();
void disp_res_release();

// ---- threaded-frame handshake (no render thread exists; never enabled) ---------------------
void disp_set_threaded(int on);
void disp_render_thread_step(void* window);

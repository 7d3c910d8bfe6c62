// The display's drawing device: start-up, present with recovery from a lost
// device, clear, viewport, scissor, colour write, clip plane, stencil and the
// vertex declarations of the 52 vertex formats.
//
// Main thread. disp_boot calls d3d9_boot before any other graphics module and
// d3d9_shutdown after all of them; disp_render calls disp_present once per
// frame. A failed start leaves the "no device" state: every call then fails
// cleanly (results 0 or GFX_E_NODEVICE) and nothing is touched.
#pragma once

#include <cstdint>

#include "disp/rstate.h"
#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_shader.h"
#include "plat/gfx_tex.h"

struct TexRecord;
struct SurfRecord;
struct MSem;

// --- value types -------------------------------------------------------------------

// Values of the start-up settings text that shape the device. disp_boot fills
// them from "FORCE_LOCK_BACKBUFFER", "NR_ANTIALIAS_SAMPLES" and
// "ENABLE_VSYNC"; the defaults below are the settings' defaults.
struct D3d9Settings {
    int force_lock_backbuffer = 0;
    int antialias_samples = 0;  // clamped to 0..4
    int vsync = 1;
};

using D3d9Callback = void (*)();

// The start record that disp_boot fills.
struct D3d9BootDesc {
    void* window = nullptr;     // the platform window
    int width = 0, height = 0;  // back-buffer size (absolute values taken)
    int color_depth = 32;
    int reserved = 0;
    int fullscreen = 0;
    int render_flag = 0;
    D3d9Callback lost = nullptr;              // null: the default lost step
    D3d9Callback reset = nullptr;             // null: the default reset step
    int render_width = 0, render_height = 0;  // 0: the back-buffer size
    D3d9Settings settings;
};

// Present parameters as the device is asked for them.
enum : int { DISP_SWAP_DISCARD = 1, DISP_SWAP_FLIP = 2, DISP_SWAP_COPY = 3 };
struct D3d9PresentParams {
    int windowed;
    int refresh_hz;           // 60 in full screen, 0 windowed
    int interval_one;         // 1: wait for vertical sync; 0 immediate
    int swap_effect;          // DISP_SWAP_*
    int bb_width, bb_height;  // 0 x 0 windowed: the window's size
    int bb_count;
    int samples;             // multisample type 0..4
    int quality;             // reported levels - 1, or 0
    GfxFormat depth_format;  // D24S8 when the device takes it, else D16
    int lockable;
};

// Links to modules built elsewhere that the display calls. Each starts
// unset (or with the stand-in named) and is installed by its module's start
// or by disp_boot.
struct DispLinks {
    // Resource manager texture lookup by 1-based handle (res_tex_get).
    TexRecord* (*tex_lookup)(uint32_t handle) = nullptr;
    // Resource manager start/stop (res_boot / res_shutdown) and the display's
    // resource mark (disp_res_mark / disp_res_release).
    void (*res_boot)() = nullptr;
    void (*res_shutdown)() = nullptr;
    void (*res_mark)() = nullptr;
    void (*res_release)() = nullptr;
    // Default lost and reset steps: system fonts (font_release_d3dx /
    // font_create_d3dx), shader library (shader_shutdown / shader_boot) and
    // the resource manager's lost and reset steps. Until the resource manager
    // is linked its steps are the texture module's surface steps.
    void (*font_lost)() = nullptr;
    void (*font_reset)() = nullptr;
    void (*shader_lost)() = nullptr;
    void (*shader_reset)() = nullptr;
    void (*res_lost)() = nullptr;
    void (*res_reset)() = nullptr;
    // Restores the window's style and placement after a reset
    // (window_reset_pos_and_size).
    void (*window_reset)() = nullptr;
    // The shader library's mesh set-up (shader_setup_mesh); nonzero = changed.
    int (*mesh_setup)(const RstateMeshArgs& args) = nullptr;
    // View rectangle of a screen 0 or 1 (the display's view module); 0 when
    // the screen has none.
    int (*screen_rect)(int screen, GfxRect* out) = nullptr;
    // Modal message box with no owner window and an OK button (plat dialogs).
    void (*message_box)(const char* caption, const char* text) = nullptr;
    // Sleep in milliseconds (plat time); null: the standard library's.
    void (*sleep_ms)(int ms) = nullptr;
};
void disp_set_links(const DispLinks& links);
const DispLinks& disp_links();
// Texture record of a handle through the resource manager; null when none.
TexRecord* disp_tex_lookup(uint32_t handle);

// --- start and stop ----------------------------------------------------------------
int d3d9_boot(const D3d9BootDesc* desc);
void d3d9_shutdown();
int d3d9_booted();
// The "disp" named semaphore (count 1, maximum 1) of the threaded-frame
// handshake; null without a started device.
MSem* disp_get_sem();

// --- present -----------------------------------------------------------------------
// Builds the present parameters for a size and mode (0 windowed).
void disp_make_present_params(D3d9PresentParams* out, int width, int height, int mode,
                              const D3d9Settings& settings);
// Present, and recovery from a lost device (see d3d9.cpp).
void disp_present();
// Ignored while the device-lost flag is set; else the next present applies it.
void disp_request_mode_change(int width, int height, int mode);
// Locks and unlocks the 1x1 rectangle at (0, 0) of the record's surface.
void disp_force_lock(SurfRecord* rec);

// --- commands ----------------------------------------------------------------------
// Clear modes: 0 target, 1 z, 2 stencil, 3 z + stencil, 4 target + z,
// 5 target + z + stencil, 6 z, 7 target. Without a depth surface only the
// target bit of the mode is kept (a depth-only clear clears nothing); the
// stencil bit is dropped when the depth surface has no stencil.
GfxHr disp_clear(int mode, uint32_t color);
void disp_set_viewport(int x, int y, int width, int height);
void disp_set_viewport_screen(int screen);  // -1: the whole colour target
void disp_set_viewport_tex(uint32_t handle);
void disp_set_viewport_tex_frac(uint32_t handle, float fx, float fy, float fw, float fh);
void disp_set_scissor(int x, int y, int width, int height);  // clamped to the target
void disp_set_scissor_screen(int screen);
void disp_set_scissor_tex(uint32_t handle);
void disp_set_scissor_tex_frac(uint32_t handle, float fx, float fy, float fw, float fh);
void disp_get_scissor(int* x, int* y, int* width, int* height);
void disp_set_color_write(int red, int green, int blue, int alpha);
void disp_set_clip_plane(int index, const float* plane, int enable);
void disp_set_stencil_enable(int enable);
// cmp is a compare function (GFX_CMP_*); the operations are indices of the
// stencil-operation table.
void disp_set_stencil_func(uint32_t ref, uint32_t mask, uint32_t write_mask, uint32_t cmp);
void disp_set_stencil_ops(int fail, int zfail, int pass);

// --- vertex declarations -------------------------------------------------------------
// Element list of an FVF code in this system's reading, ended by the end
// marker; the vertex size in bytes, 0 for a code that has none.
int disp_fvf_to_decl(GfxVertexElement out[GFX_MAX_VERTEX_ELEMENTS], uint32_t fvf);
void disp_decl_element(GfxVertexElement* e, int stream, int offset, int type, int method, int usage,
                       int usage_index);
// The declaration of a vertex-format row; null when none was made.
GfxVertexDecl* d3d9_get_decl(int index);

// --- queries -----------------------------------------------------------------------
int disp_device_ok();  // 1 while booted with a device
int disp_get_mode();
int disp_get_vs_ok();
int disp_get_ps_ok();
int disp_get_nr_render_targets();
int disp_get_device_lost();
// The device handle every drawing module works through (null without a
// device). The raw form skips nothing more: both name the same device.
GfxDevice* disp_get_device();
GfxDevice* disp_get_device_raw();

// Releases the device object in the slot and clears the slot; an empty slot
// is left alone.
void com_release_ptr(GfxTexture** slot);
void com_release_ptr(GfxSurface** slot);
void com_release_ptr(GfxVertexBuffer** slot);
void com_release_ptr(GfxIndexBuffer** slot);
void com_release_ptr(GfxVertexDecl** slot);
void com_release_ptr(GfxShader** slot);
int disp_get_device_kind();
int disp_get_force_lock();  // FORCE_LOCK_BACKBUFFER was set
void disp_get_render_size(int* width, int* height);
const D3d9PresentParams* disp_get_present_params();
GfxViewport disp_get_viewport();

// disp/disp_param: the display-wide parameters at the head of the display
// work block (screen and render sizes, orientation, text lists, frame flags,
// clear colour, screen being drawn), the conversion of window pixels (the
// mouse cursor) into render pixels and normalised render coordinates.
//
// The display start fills the head once (disp_param_init); the getters are
// read by every drawing module. Main thread only.
#pragma once

#include <cstdint>

inline constexpr int DISP_ORIENTATIONS = 6;  // "RENDER_FLAG" 0..5

// Head of the display work block, in its order. Words kept 32-bit; the window
// handle is a pointer.
struct DispHead {
    void* window;
    int32_t start_arg;               // second start argument, kept unused (0)
    int32_t screen_w, screen_h;      // client size = back-buffer size, pixels
    int32_t color_depth;             // 32
    int32_t render3d_w, render3d_h;  // "RENDER_WIDTH3D", "RENDER_HEIGHT3D"
    int32_t render_w, render_h;      // "RENDER_WIDTH", "RENDER_HEIGHT": 2D and viewport space
    int32_t orientation;             // "RENDER_FLAG" 0..5
    int32_t d3dx_text_list;          // slot of the 16 KB list (system fonts)
    int32_t text_list;               // slot of the 64 KB list (bitmap fonts)
    int32_t render_enable;           // 0: frames skip rendering
    int32_t scene_pass_enable;
    int32_t keep_prev_matrices;  // copy camera matrices at every frame end
    int32_t init_prev_once;      // copy them once before the next render
    uint32_t clear_color;        // 0x00RRGGBB; alpha replaced when used
    int32_t cur_screen;          // screen being drawn
    int32_t user_word;           // kept for callers, read by nothing else
};

// The five render-size settings as the application passes them.
struct RenderSizes {
    int32_t render3d_w, render3d_h, render_w, render_h, flag;
};

// Clears the head and fills it: a size of 0 (or no record) is the screen
// size; the orientation is the record's flag (0 without a record), and a
// flag outside 0..5 is taken as 0.
void disp_param_init(void* window, int32_t start_arg, int32_t screen_w, int32_t screen_h,
                     int32_t color_depth, const RenderSizes* sizes);

// ---- queries and plain fields -------------------------------------------------------
int32_t disp_get_render_w();
int32_t disp_get_render_h();
int32_t disp_get_render3d_w();
int32_t disp_get_render3d_h();
int32_t disp_get_screen_w();
int32_t disp_get_screen_h();
int32_t disp_get_text_drawlist();       // 64 KB bitmap-font list
int32_t disp_get_d3dx_text_drawlist();  // 16 KB system-font list
void disp_set_clear_color(uint32_t rgb);
uint32_t disp_get_clear_color();
void disp_set_user_word(int32_t value);
int32_t disp_get_user_word();

// ---- display mode (forwarded to the device layer) ---------------------------------------
// Width and height are taken when above 0, the mode (0 windowed, 1 full
// screen) when 0 or more; applied at the next present, dropped while the
// device is lost.
void disp_request_mode(int width, int height, int mode);
int disp_query_mode();

// ---- window to render conversion ------------------------------------------------------
// Render pixel of a window pixel: centre offsets turned by the orientation,
// scaled when the render area overflows the window. Outputs may be null.
void disp_window_to_render(int32_t* out_x, int32_t* out_y, int32_t window_x, int32_t window_y);
// Normalised render coordinates, y up: (-1, -1) is the lower left corner.
void disp_window_to_normalized(float* out_x, float* out_y, int32_t window_x, int32_t window_y);

// ---- flags -----------------------------------------------------------------------------
void disp_set_render_enable(int on);
int disp_get_render_enable();
void disp_set_scene_pass_enable(int on);
int disp_get_scene_pass_enable();
void disp_set_keep_prev_matrices(int on);
int disp_get_keep_prev_matrices();
void disp_request_prev_matrices();

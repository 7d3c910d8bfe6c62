// tool/tool_local: what the patch tool's own files share, and nobody else
// includes but their white-box tests and benchmarks: the scene's constants
// and state record, the background's fit, small helpers and queries of
// tool.cpp, and the pure geometry of the patches (tool_patch.cpp) and of the
// saved rectangle (tool_save.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "math/vm_types.h"
#include "res/res.h"
#include "tool/tool.h"
#include "tool/tool_patch_local.h"

struct DrawObj;

constexpr int TOOL_PATCH_SLOTS = 512;
constexpr float TOOL_MIN_SCALE = 0.01f;
constexpr float TOOL_NEAR = 0.1f;
constexpr float TOOL_FAR = 10000.0f;
constexpr int TOOL_BACKGROUND_PRIO = 89;
constexpr const char* TOOL_BACKGROUND_GROUP = "cgdata";
constexpr const char* TOOL_BACKGROUND_NAME = "x";

enum ToolStep : uint32_t {
    TOOL_STEP_LIST = 0,
    TOOL_STEP_LOAD = 1,
    TOOL_STEP_BACKGROUND = 2,
    TOOL_STEP_RUN = 3,
};

// The background's placement: the picture's centre in render pixels and
// screen pixels per picture pixel.
struct ToolFit {
    float offset_x, offset_y;
    float scale;
};

// ---- background ----------------------------------------------------------------------
void tool_fit_background(void);
void tool_load_background(void);
// The fit of a pw x ph picture into a w x h render area: shrunk to fit with
// its top-left corner at the area's, never enlarged; a smaller picture is
// centred in the square the unclamped ratio would cover. Zero-sized
// pictures give offset (0, 0) and scale 1.
ToolFit tool_fit_values(int32_t w, int32_t h, int32_t pw, int32_t ph);
// The background scale after a vertical drag of dy pixels (down positive)
// from `start`: start - dy / ph, at least TOOL_MIN_SCALE (also for NaN).
float tool_drag_scale(float start, float dy, int32_t ph);

// ---- small helpers -----------------------------------------------------------------
void tool_set_env_colors(uint32_t colour);
void tool_sound_post(uint32_t command);
int32_t tool_tex_width(uint32_t tex);  // allocated size; 0 for no texture
int32_t tool_tex_height(uint32_t tex);
int32_t tool_pic_width(uint32_t tex);  // the picture's own size
int32_t tool_pic_height(uint32_t tex);
int32_t tool_clamp(int32_t value, int32_t low, int32_t high);
void tool_deselect_all(struct DrawObj* keep);

// ---- queries ----------------------------------------------------------------------------
uint32_t tool_step(void);
uint32_t tool_background_tex(void);
uint32_t tool_frame_counter(void);
int tool_palette_open(void);
uint32_t tool_palette_page(void);
void tool_get_bg_offset(float* x, float* y);
float tool_get_bg_scale(void);
uint32_t tool_get_lighting(void);

struct ToolState {
    uint32_t step;           // ToolStep
    uint32_t buttons_shown;  // set on every running frame
    uint32_t palette_open;
    ResMark start_mark;           // taken on entering
    ResMark models_mark;          // taken once every model group is in
    uint32_t sprite_group;        // ResGroupId of every 2D object of the tool
    uint32_t model_group;         // ResGroupId of the patches and palette previews
    uint32_t frame_counter;       // +1 at the end of every tool_frame
    ResHandle background_tex;     // 0 until built
    uint32_t palette_page;        // from 0
    uint32_t palette_took_press;  // this frame's press made a patch or turned a page
    float offset_x, offset_y;     // render pixels: the picture's centre
    float drag_offset_x, drag_offset_y;
    float rotation;  // radians; the fit sets 0
    float drag_rotation;
    float scale;  // screen pixels per picture pixel, >= TOOL_MIN_SCALE
    float drag_scale;
    int32_t drag_mouse_x, drag_mouse_y;
    std::array<DrawObj*, TOOL_PATCH_SLOTS> patches;  // null = free
    uint32_t lighting;                               // copied into every patch's lighting bit
};

ToolState& tool_state(void);
// Render size, as the display reports it.
int32_t tool_render_w(void);
int32_t tool_render_h(void);

// ---- patch geometry (tool_patch.cpp) ---------------------------------------------------
struct PatchBox {
    float x, y, w, h;
};
// The hit box of a handle of a frame centred at (cx, cy) with extent
// factors (fx, fy).
PatchBox tool_patch_box(int handle, float cx, float cy, float fx, float fy);
// (px, py) within [x, x + w] and [y, y + h], edges included, every bound
// truncated toward zero.
int tool_point_in_rect_at(int32_t px, int32_t py, float x, float y, float w, float h);
// The largest |x| and |y| of the eight corners of a box (min x, y, z then
// max x, y, z) turned through m without translation.
Vec2 tool_box_extent(const float box[6], const Mat44* m);

// ---- the saved picture (tool_save.cpp) -----------------------------------------------------
struct ToolRect {
    int32_t x, y, width, height;
};
// The chosen name with ".bmp" appended unless its last four characters
// already are ".bmp" in any case, or it names a folder ("t/", ".."), which
// the request then refuses. Nothing is cut, whatever the length.
std::string tool_save_path(std::string_view chosen);
// The rectangle of a pw x ph picture centred at (ox, oy) at scale s, held
// inside a limit_w x limit_h target (each bound truncated toward zero):
// always at least one pixel, at the nearest edge when the picture lies
// wholly outside.
ToolRect tool_save_rect(int32_t pw, int32_t ph, float ox, float oy, float s, int32_t limit_w,
                        int32_t limit_h);

// The patch tool: the application's only scene (row 0 of the scene table).
// Over its first frames it lists and loads every model group of the model
// directory within 90 percent of each frame's time, then builds the
// background picture from the image built into the program; from then on it
// runs the side buttons and icon palette (tool_palette.h), the background's
// move and scale, the help text and the keys H and L once per frame. The
// patches are draw objects with their own update callback (tool_patch.h);
// saving is tool_save.h.
// Main thread only: tool_frame runs in the application update, before the
// display frame whose update pass runs the patches.
#pragma once
#include <cstdint>

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

// ---- scene -----------------------------------------------------------------------
void tool_init(void);
int tool_frame(void);  // always 0: the scene never ends by itself
void tool_term(void);

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

// ---- queries (tests and the other tool files) ------------------------------------------
uint32_t tool_step(void);
uint32_t tool_background_tex(void);
uint32_t tool_frame_counter(void);
int tool_palette_open(void);
uint32_t tool_palette_page(void);
void tool_get_bg_offset(float* x, float* y);
float tool_get_bg_scale(void);
uint32_t tool_get_lighting(void);

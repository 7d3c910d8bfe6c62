// The patch tool's state record, shared by the tool's own files and their
// white-box tests only.
#pragma once
#include "res/res.h"
#include "tool/tool.h"

#include <array>

struct DrawObj;

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

// tool/tool_palette_local: a module of the patch tool's own (other folders see tool/tool.h).
// The side buttons (save, dust bin, the patch button that opens the icon
// palette) along the right edge of the render area, and the palette: the
// loaded models sixteen to a page as turning 3D previews on grey squares,
// with page arrows and a page counter; a click on a preview creates a patch.
// tool_buttons runs once per running frame from tool_frame, before the draw
// objects' update pass; every sprite and preview it makes lives one frame.
// Main thread only.
#pragma once
#include <cstdint>

constexpr int TOOL_BUTTON_ROWS = 3;  // rows 1..3
constexpr int TOOL_BUTTON_PRIO = 50;
constexpr int TOOL_PREVIEW_PRIO = 28;
constexpr int TOOL_PALETTE_CELLS = 16;  // 4 x 4 a page
constexpr float TOOL_PREVIEW_Z = 2500.0f;
constexpr const char* TOOL_ICON_GROUP = "icon";

enum ToolButtonRow : int { TOOL_BUTTON_SAVE = 1, TOOL_BUTTON_DUST = 2, TOOL_BUTTON_PATCH = 3 };

void tool_buttons(void);
int32_t tool_button_x(int row);  // W - 40
int32_t tool_button_y(int row);  // 16 + 40 * row
int tool_button_hit(int row);
int tool_button_lit_idle(void);  // left button up and the palette closed
int tool_button_lit_dust(void);  // left button held and an active patch exists
// One frame of the palette whose top-right cell column sits left of (x, y);
// 1 to close it, 0 to stay.
int tool_palette(int32_t x, int32_t y, uint32_t frame);

#include "tool/tool.h"

#include "disp/disp_param.h"
#include "tool/tool_local.h"

#include <algorithm>
#include <cmath>

// Sections: state | background | helpers | scene

namespace {

ToolState g_tool;

}  // namespace

ToolState& tool_state(void) { return g_tool; }
int32_t tool_render_w(void) { return disp_get_render_w(); }
int32_t tool_render_h(void) { return disp_get_render_h(); }

uint32_t tool_step(void) { return g_tool.step; }
uint32_t tool_background_tex(void) { return g_tool.background_tex; }
uint32_t tool_frame_counter(void) { return g_tool.frame_counter; }
int tool_palette_open(void) { return g_tool.palette_open ? 1 : 0; }
uint32_t tool_palette_page(void) { return g_tool.palette_page; }

void tool_get_bg_offset(float* x, float* y)
{
    if (x) *x = g_tool.offset_x;
    if (y) *y = g_tool.offset_y;
}

float tool_get_bg_scale(void) { return g_tool.scale; }
uint32_t tool_get_lighting(void) { return g_tool.lighting; }

// ---- background --------------------------------------------------------------------

ToolFit tool_fit_values(int32_t w, int32_t h, int32_t pw, int32_t ph)
{
    if (pw <= 0 || ph <= 0) return ToolFit{0.0f, 0.0f, 1.0f};
    const float rw = float(w) / float(pw), rh = float(h) / float(ph);
    const float r = std::min(rw, rh);
    // The offset follows r, not the clamped scale: a small picture sits in
    // the middle of the square r would cover.
    return ToolFit{float(pw) * r * 0.5f, float(ph) * r * 0.5f, std::min(r, 1.0f)};
}

float tool_drag_scale(float start, float dy, int32_t ph)
{
    const float s = start - dy / float(ph);
    return std::isnan(s) || s < TOOL_MIN_SCALE ? TOOL_MIN_SCALE : s;
}

void tool_fit_background(void)
{
    g_tool.rotation = 0.0f;
    const ToolFit f = g_tool.background_tex
                          ? tool_fit_values(tool_render_w(), tool_render_h(),
                                            tool_pic_width(g_tool.background_tex),
                                            tool_pic_height(g_tool.background_tex))
                          : ToolFit{0.0f, 0.0f, 1.0f};
    g_tool.offset_x = f.offset_x;
    g_tool.offset_y = f.offset_y;
    g_tool.scale = f.scale;
}

// ---- helpers -----------------------------------------------------------------------

// The resource pool keeps one size per texture, that of the image as loaded;
// the allocated and the picture size are both that size.
int32_t tool_tex_width(uint32_t tex)
{
    const ResTexInfo* t = res_tex_get(tex);
    return t ? int32_t(t->width) : 0;
}

int32_t tool_tex_height(uint32_t tex)
{
    const ResTexInfo* t = res_tex_get(tex);
    return t ? int32_t(t->height) : 0;
}

int32_t tool_pic_width(uint32_t tex) { return tool_tex_width(tex); }
int32_t tool_pic_height(uint32_t tex) { return tool_tex_height(tex); }

int32_t tool_clamp(int32_t value, int32_t low, int32_t high)
{
    return value < low ? low : std::min(value, high);
}

// The patch tool's scene (see tool.h): its state record, the background picture's fit, drag and
// scale, helpers the tool's files share, and the scene's start, frame and stop. The buttons and
// palette are in tool_palette.cpp, the patches in tool_patch.cpp, saving in tool_save.cpp.
#include "tool/tool.h"

#include "svc/key.h"
#include "svc/mouse.h"
#include "svc/textlist.h"
#include "svc/window.h"
#include "disp/cam.h"
#include "disp/disp_env.h"
#include "disp/disp_param.h"
#include "disp/disp_param.h"
#include "disp/fog.h"
#include "math/vm_mat.h"
#include "disp/obj.h"
#include "obj2d/spr.h"
#include "res/resload.h"
#include "sound/snd_mgr.h"
#include "sound/snd_ring.h"
#include "tool/mdl_load_local.h"
#include "tool/tool_local.h"
#include "tool/tool_palette_local.h"
#include "tool/tool_patch_local.h"
#include "plat/embedded.h"

#include <algorithm>
#include <cmath>
#include <span>

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

void tool_set_env_colors(uint32_t colour)
{
    env_set_color0(0, colour);
    env_set_color1(0, colour);
}

void tool_sound_post(uint32_t command) { snd_post(command, 0); }

void tool_deselect_all(DrawObj* keep)
{
    for (DrawObj* p : g_tool.patches)
        if (p && p != keep) tool_patch_deselect(p);
}

void tool_load_background(void)
{
    const std::span<const unsigned char> png = embedded_background_png();
    g_tool.background_tex = res_tex_load_mem(TOOL_BACKGROUND_GROUP, TOOL_BACKGROUND_NAME,
                                             png.data(), uint32_t(png.size()), false);
    tool_fit_background();
}

// ---- scene ---------------------------------------------------------------------------

namespace {

constexpr float TOOL_FOV = 1.2217306f;  // 70 degrees
constexpr uint32_t TOOL_ENV_COLOUR = 0xFFE0E0E0u;
constexpr uint32_t TOOL_HELP_COLOUR = 0xFF00FF00u;

constexpr const char* TOOL_HELP_LINES[] = {
    "                    H KEY: RESET MOVE&SCALE",
    "SPACE & MOUSE RIGHT CLICK: SCALE BACK CG   ",
    "SPACE & MOUSE LEFT  CLICK: MOVE  BACK CG   ",
};

void cursor_free_and_shown(void)
{
    if (WindowRec* w = window_get(0)) {
        mouse_clip_cursor(w->handle, 0);
        mouse_set_clip_flag(w->handle, 0);
    }
    mouse_set_cursor_mode(MOUSE_CURSOR_SHOWN);
}

// View space of screen 0 is screen space with its origin at the centre of
// the render area, x to the right and y downwards.
void set_flat_projection(void)
{
    const float w = float(tool_render_w()), h = float(tool_render_h());
    Mat44 proj;
    vm_mat_ortho_offcenter(&proj, -w / 2, w / 2, h / 2, -h / 2, TOOL_NEAR, TOOL_FAR);
    cam_set_proj_custom(0, 1);
    cam_set_proj_matrix(0, &proj);
}

void background_drag(void)
{
    ToolState& t = g_tool;
    uint32_t mx = 0, my = 0;
    mouse_get_pos(&mx, &my);
    // The drag starts where the button went down, as the patch drags do: a pointer that
    // jumped to the press (a touchscreen, a tablet, a remote desktop) must not move the picture
    // by the jump.
    if (key_is_pressed(PLAT_VK_LBUTTON) || key_is_pressed(PLAT_VK_RBUTTON)) {
        t.drag_mouse_x = int32_t(mx);
        t.drag_mouse_y = int32_t(my);
        t.drag_offset_x = t.offset_x;
        t.drag_offset_y = t.offset_y;
        t.drag_rotation = t.rotation;
        t.drag_scale = t.scale;
    }
    const int left = key_is_down(PLAT_VK_LBUTTON), right = key_is_down(PLAT_VK_RBUTTON);
    const int space = key_is_down(PLAT_VK_SPACE);
    if ((key_is_down('T') || space) && left) {
        t.offset_x = t.drag_offset_x + float(int32_t(mx) - t.drag_mouse_x);
        t.offset_y = t.drag_offset_y + float(int32_t(my) - t.drag_mouse_y);
        tool_deselect_all(nullptr);
    }
    if ((key_is_down('S') && left) || (space && right)) {
        t.scale = tool_drag_scale(t.drag_scale, float(int32_t(my) - t.drag_mouse_y),
                                  tool_pic_height(t.background_tex));
        tool_deselect_all(nullptr);
    }
}

void background_sprite(void)
{
    const ToolState& t = g_tool;
    const ResHandle tex = t.background_tex;
    const float pivot_x = float(tool_pic_width(tex)) / 2 / float(tool_tex_width(tex));
    const float pivot_y = float(tool_pic_height(tex)) / 2 / float(tool_tex_height(tex));
    if (DrawObj* bg = spr_create_tex_1f(t.sprite_group, tex, 0xFFFFFFFFu, t.offset_x, t.offset_y,
                                        pivot_x, pivot_y, t.scale, t.scale, TOOL_BACKGROUND_PRIO))
        spr_set_rot(bg, t.rotation);
}

void tool_run(void)
{
    g_tool.buttons_shown = 1;
    tool_buttons();
    if (g_tool.background_tex) {
        background_drag();
        background_sprite();
        if (key_is_pressed('H')) tool_fit_background();
    }
    if (key_is_pressed('L')) g_tool.lighting ^= 1u;
}

void help_text(void)
{
    const int32_t w = tool_render_w(), h = tool_render_h();
    for (int i = 0; i < 3; ++i)
        textlist_printf(disp_get_text_drawlist(), TEXTLIST_ALIGN_RIGHT | TEXTLIST_ALIGN_BOTTOM, 4,
                        11, w - 2, h - 2 - 12 * i, TOOL_HELP_COLOUR, "%s", TOOL_HELP_LINES[i]);
}

}  // namespace

void tool_init(void)
{
    g_tool = ToolState{};
    tool_fit_background();
    res_mark(g_tool.start_mark);
    g_tool.sprite_group = group_alloc();
    g_tool.model_group = group_alloc();
    tool_sound_post(SND_CMD_BGM_STOP);

    // Screen 0 for flat work.
    env_set_light_enable(0, 1);
    const Vec3 light_dir{0.0f, 1.0f, 1.0f};
    env_set_light_dir(0, &light_dir);
    env_set_color2(0, 0xFFFFFFFFu);
    tool_set_env_colors(TOOL_ENV_COLOUR);
    cam_set_mode(0, 0);
    const Vec3 zero{0.0f, 0.0f, 0.0f};
    cam_set_pos_rot(0, &zero, &zero);
    fog_set_enable(0, 0);
    fog_set_color(0, 0xFFFF0000u);
    disp_set_clear_color(0xFF000000u);
    // The cull distance reaches as far as the view, so that the palette's
    // previews at z = 2500 stay inside it.
    cam_set_near_far(0, TOOL_NEAR, TOOL_FAR, TOOL_FAR);
    cam_set_fov(0, TOOL_FOV);
    disp_set_render_enable(1);

    cursor_free_and_shown();
    g_tool.lighting = 1;
}

int tool_frame(void)
{
    disp_set_render_enable(1);
    set_flat_projection();
    switch (g_tool.step) {
    case TOOL_STEP_LIST:
        grp_queue_begin(GRP_MODEL_DIR);
        g_tool.step = TOOL_STEP_LOAD;
        [[fallthrough]];
    case TOOL_STEP_LOAD: {
        // Groups beyond the loader's ring wait here until it has room.
        const int waiting = grp_queue_feed();
        if (resload_pump(90.0f) == RESLOAD_IDLE && waiting == 0) g_tool.step = TOOL_STEP_BACKGROUND;
        break;
    }
    case TOOL_STEP_BACKGROUND:
        res_mark(g_tool.models_mark);
        tool_load_background();
        g_tool.step = TOOL_STEP_RUN;
        [[fallthrough]];
    default: tool_run(); break;
    }
    help_text();
    ++g_tool.frame_counter;
    return 0;
}

void tool_term(void)
{
    group_release(g_tool.sprite_group);
    group_free(g_tool.sprite_group);
    group_release(g_tool.model_group);
    group_free(g_tool.model_group);
    grp_queue_clear();
    res_release_to_mark(g_tool.models_mark);
    res_release_to_mark(g_tool.start_mark);
    tool_sound_post(SND_CMD_BGM_STOP);
    snd_stop_all();  // directly on the sound manager, not through the ring
    disp_set_render_enable(1);
    cursor_free_and_shown();
}

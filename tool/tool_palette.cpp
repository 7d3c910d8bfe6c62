// The patch tool's side buttons and icon palette (see tool_palette_local.h).
#include "tool/tool_palette_local.h"

#include "svc/key.h"
#include "svc/textlist.h"
#include "disp/disp_param.h"
#include "math/vm_const.h"
#include "math/vm_mat.h"
#include "math/vm_table.h"
#include "obj2d/spr.h"
#include "obj3d/mdlobj.h"
#include "tool/tool_local.h"
#include "tool/tool_patch_local.h"
#include "tool/tool_save_local.h"

// Sections: buttons | palette

namespace {

struct ToolButton {
    const char* crop;
    int (*lit)(void);
};

// Rows 1..3.
constexpr ToolButton TOOL_BUTTONS[TOOL_BUTTON_ROWS] = {
    {"disk", tool_button_lit_idle},
    {"dust", tool_button_lit_dust},
    {"quorvel", tool_button_lit_idle},
};

constexpr uint32_t TOOL_LIT = 0xFFFF8000u;
constexpr uint32_t TOOL_UNLIT = 0xFFC0C0C0u;
constexpr uint32_t TOOL_HOVER = 0xFF00FF00u;
constexpr uint32_t TOOL_GREY_ARROW = 0xFF404040u;
constexpr uint32_t TOOL_PAGE_TEXT = 0xFFFFF000u;
constexpr float TOOL_ARROW_SCALE = 1.8f;
constexpr float TOOL_PREVIEW_SCALE = 30.0f;
constexpr float TOOL_PREVIEW_TILT = 0.34906587f;  // 20 degrees
constexpr float TOOL_PREVIEW_SWING = 1.0471976f;  // 60 degrees
constexpr float TOOL_PREVIEW_SWING_STEP = 5.0f;   // degrees a frame

int left_pressed(void) { return key_is_pressed(PLAT_VK_LBUTTON); }

void button_action(int row)
{
    ToolState& t = tool_state();
    switch (row) {
    case TOOL_BUTTON_SAVE:
        if (left_pressed() && tool_button_hit(row)) tool_save_bmp();
        break;
    case TOOL_BUTTON_DUST:
        // A patch dropped into the bin while it follows the cursor or is
        // dragged by its body; a handle drag never deletes.
        if (!key_is_down(PLAT_VK_LBUTTON) && tool_button_hit(row) && tool_moving_patch_index() >= 0)
            tool_mark_delete_slot(tool_active_patch_index());
        break;
    default:
        if (left_pressed() && tool_button_hit(row)) {
            t.palette_open = 1;
            tool_deselect_all(nullptr);
        }
        break;
    }
}

// An arrow sprite and whether the cursor is over it.
int palette_arrow(const char* crop, float cx, float cy, int grey)
{
    const int hovered =
        tool_point_in_rect(float(int32_t(cx) - 32), float(int32_t(cy) - 32), 64, 64);
    const uint32_t colour = grey ? TOOL_GREY_ARROW : hovered ? TOOL_HOVER : TOOL_UNLIT;
    spr_create_1f(tool_state().sprite_group, res_crop_find(TOOL_ICON_GROUP, crop), colour, cx, cy,
                  0.5f, 0.5f, TOOL_ARROW_SCALE, TOOL_ARROW_SCALE, TOOL_BUTTON_PRIO);
    return hovered;
}

// The preview's matrix: built step by step, each step acting in the
// matrix's own frame, so the model turns about its own centre.
Mat44 preview_matrix(int32_t x, int32_t y, int r, int c, int hovered, uint32_t frame)
{
    const int32_t half_w = tool_render_w() / 2, half_h = tool_render_h() / 2;
    Mat44 m;
    vm_mat_identity(&m);
    const Vec3 t{float(x - half_w - 256 + 64 * c), float(y - half_h + 64 * r), TOOL_PREVIEW_Z};
    vm_mat_translate(&m, &m, &t);
    const Vec3 s{TOOL_PREVIEW_SCALE, TOOL_PREVIEW_SCALE, TOOL_PREVIEW_SCALE};
    vm_mat_scale(&m, &m, &s);
    float yaw = -TOOL_PREVIEW_TILT;
    if (hovered)
        yaw += vm_math_sin_deg(float(frame) * TOOL_PREVIEW_SWING_STEP) * TOOL_PREVIEW_SWING;
    vm_mat_rotate_y(&m, &m, yaw);
    vm_mat_rotate_x(&m, &m, TOOL_PREVIEW_TILT);
    vm_mat_rotate_z(&m, &m, VM_PI);
    return m;
}

}  // namespace

// ---- buttons ---------------------------------------------------------------------------

int32_t tool_button_x(int) { return tool_render_w() - 40; }
int32_t tool_button_y(int row) { return 16 + 40 * row; }

int tool_button_hit(int row)
{
    return tool_point_in_rect(float(tool_button_x(row)), float(tool_button_y(row)), 32, 32);
}

int tool_button_lit_idle(void)
{
    return !key_is_down(PLAT_VK_LBUTTON) && !tool_state().palette_open ? 1 : 0;
}

int tool_button_lit_dust(void)
{
    return key_is_down(PLAT_VK_LBUTTON) && tool_active_patch_index() >= 0 ? 1 : 0;
}

void tool_buttons(void)
{
    ToolState& t = tool_state();
    t.palette_took_press = 0;
    for (int row = 1; row <= TOOL_BUTTON_ROWS; ++row) {
        const ToolButton& b = TOOL_BUTTONS[row - 1];
        const int lit = b.lit() && tool_button_hit(row);
        if (t.buttons_shown)
            spr_create_1f(t.sprite_group, res_crop_find(TOOL_ICON_GROUP, b.crop),
                          lit ? TOOL_LIT : TOOL_UNLIT, float(tool_button_x(row)),
                          float(tool_button_y(row)), 0.0f, 0.0f, 1.0f, 1.0f, TOOL_BUTTON_PRIO);
        // The palette state as this row finds it: the press that opens the
        // palette does not also reach it in the same frame.
        if (!t.palette_open) {
            button_action(row);
        } else if (row == TOOL_BUTTON_PATCH) {
            if (tool_palette(tool_button_x(row), tool_button_y(row) + 32, t.frame_counter))
                t.palette_open = 0;
        }
    }
}

// ---- palette ----------------------------------------------------------------------------

// The last page for a mesh count: (count - 1) / 16, 0 for none.
static int32_t tool_palette_last_page(int32_t count)
{
    return count > 0 ? (count - 1) / TOOL_PALETTE_CELLS : 0;
}

int tool_palette(int32_t x, int32_t y, uint32_t frame)
{
    ToolState& t = tool_state();
    const int32_t count = res_mesh_count();
    const int32_t last = tool_palette_last_page(count);
    int32_t page = int32_t(t.palette_page);
    int arrow_pressed = 0;

    const float ay = float(y + 256);
    const int left = palette_arrow("left", float(x - 256), ay, page == 0);
    const int right = palette_arrow("right", float(x - 64), ay, page == last);
    textlist_printf(disp_get_text_drawlist(), TEXTLIST_ALIGN_CENTRE_X, 0, 16, x - 160, y + 240,
                    TOOL_PAGE_TEXT, "PAGE %d/%d", page + 1, last + 1);
    if (left_pressed() && left) {
        --page;
        arrow_pressed = 1;
    }
    if (left_pressed() && right) {
        ++page;
        arrow_pressed = 1;
    }
    page = tool_clamp(page, 0, last);
    t.palette_page = uint32_t(page);
    t.palette_took_press = uint32_t(arrow_pressed);

    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const int32_t index = page * TOOL_PALETTE_CELLS + 4 * r + c;
            if (index >= count) break;
            const float cx = float(x - 256 + 64 * c + 1), cy = float(y + 64 * r + 1);
            const int hovered =
                tool_point_in_rect(float(int32_t(cx) - 31), float(int32_t(cy) - 31), 62, 62);
            spr_create_plain_1f(t.sprite_group, hovered ? TOOL_HOVER : TOOL_UNLIT, cx, cy, 62, 62,
                                0.5f, 0.5f, 1.0f, 1.0f, TOOL_BUTTON_PRIO);
            const ResHandle mesh = res_index_to_handle(index);
            const Mat44 m = preview_matrix(x, y, r, c, hovered, frame);
            if (DrawObj* p = mdlobj_create_1f(t.model_group, &m, mesh, TOOL_PREVIEW_PRIO)) {
                mdlobj_set_cull(p, 1);
                mdlobj_set_lighting(p, 0);
                tool_apply_name_options(p, mesh, TOOL_PREVIEW_PRIO);
            }
            if (left_pressed() && hovered) {
                t.palette_took_press = 1;
                tool_patch_create(t.model_group, mesh);
                return 1;
            }
        }
    }
    // A click anywhere but on an arrow closes the palette.
    return !arrow_pressed && left_pressed() ? 1 : 0;
}

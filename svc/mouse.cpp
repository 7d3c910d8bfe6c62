// Mouse position and wheel per frame, the cursor hidden by mode, and the cursor clip (see
// mouse.h).
#include "svc/mouse.h"

#include "plat/input.h"

namespace {

MouseState g_mouse;

void update_cursor(void)
{
    MouseState& m = g_mouse;
    switch (m.mode) {
    case MOUSE_CURSOR_AUTO_HIDE:
        if (m.activity)
            m.idle_frames = 0;
        else if (m.idle_frames < MOUSE_IDLE_FRAMES)
            ++m.idle_frames;
        m.visible = m.idle_frames < MOUSE_IDLE_FRAMES;
        // A visible cursor needs nothing: the next move brings it back.
        if (!m.visible) plat_cursor_hide_until_move();
        break;
    case MOUSE_CURSOR_SHOWN:
        m.visible = 1;
        plat_cursor_show(1);
        break;
    default:
        m.visible = 0;
        plat_cursor_hide_until_move();
        break;
    }
}

}  // namespace

void mouse_init(void)
{
    g_mouse = MouseState{};
    g_mouse.idle_frames = MOUSE_IDLE_FRAMES;
    g_mouse.mode = MOUSE_CURSOR_HIDDEN;
}

void mouse_on_wheel(uintptr_t wparam, intptr_t)
{
    g_mouse.wheel_pending = 1;
    g_mouse.wheel_latest = static_cast<int16_t>((wparam >> 16) & 0xFFFF);
    g_mouse.activity = 1;
}

void mouse_on_move(intptr_t lparam, int32_t, int32_t)
{
    const uint32_t packed = static_cast<uint32_t>(lparam);
    g_mouse.prev_x = g_mouse.x;
    g_mouse.prev_y = g_mouse.y;
    g_mouse.x = packed & 0xFFFF;
    g_mouse.y = packed >> 16;
    g_mouse.activity = 1;
}

void mouse_update(void)
{
    if (g_mouse.wheel_pending) {
        g_mouse.wheel_frame = g_mouse.wheel_latest;
        g_mouse.wheel_pending = 0;
    } else {
        g_mouse.wheel_frame = 0;
    }
    update_cursor();
    g_mouse.activity = 0;
}

void mouse_hook(void) {}

void mouse_set_cursor_mode(uint32_t mode) { g_mouse.mode = mode; }

int mouse_cursor_hidden(void) { return g_mouse.visible == 0; }

void mouse_clip_cursor(PlatWindow* window, uint32_t flag)
{
    g_mouse.clip = flag;
    plat_cursor_clip(window, flag != 0);
}

void mouse_set_clip_flag(PlatWindow*, uint32_t flag) { g_mouse.clip2 = flag; }

void mouse_get_pos(uint32_t* x, uint32_t* y)
{
    if (x) *x = g_mouse.x;
    if (y) *y = g_mouse.y;
}

void mouse_get_prev_pos(uint32_t* x, uint32_t* y)
{
    if (x) *x = g_mouse.prev_x;
    if (y) *y = g_mouse.prev_y;
}

int16_t mouse_get_wheel(void) { return g_mouse.wheel_frame; }

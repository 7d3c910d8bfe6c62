// Mouse: position and wheel from the window messages of the past frame,
// cursor visibility by mode, and the cursor clip. The buttons are not kept
// here: they are the virtual keys 1 and 2 of the keyboard snapshot (key.h).
// The window procedure feeds mouse_on_move and mouse_on_wheel between frames;
// mouse_update runs once per frame. Main thread only.
#pragma once
#include <cstdint>

struct PlatWindow;

constexpr uint32_t MOUSE_IDLE_FRAMES = 150;  // auto-hide after this many quiet frames

enum CursorMode : uint32_t {
    MOUSE_CURSOR_AUTO_HIDE = 0,  // hidden after MOUSE_IDLE_FRAMES frames without mouse activity
    MOUSE_CURSOR_SHOWN = 1,
    MOUSE_CURSOR_HIDDEN = 2,
};

struct MouseState {
    int16_t wheel_latest;  // delta of the latest wheel message (multiples of 120)
    int16_t wheel_frame;   // delta of this frame, 0 without a wheel message
    uint16_t wheel_pending;
    uint32_t x, y;            // client pixels, unsigned 16-bit from the message
    uint32_t prev_x, prev_y;  // position before the latest move
    uint8_t visible;
    uint32_t mode;  // CursorMode
    uint32_t idle_frames;
    uint8_t activity;  // a mouse message since the last update
    uint32_t clip;
    uint32_t clip2;
};

void mouse_init(void);
// Message handlers: wParam's high word is the signed wheel delta; lParam
// packs the client x (low word) and y (high word). The centre is not used.
void mouse_on_wheel(uintptr_t wparam, intptr_t lparam);
void mouse_on_move(intptr_t lparam, int32_t centre_x, int32_t centre_y);
void mouse_update(void);
void mouse_hook(void);

void mouse_set_cursor_mode(uint32_t mode);
int mouse_cursor_hidden(void);
// Confines the cursor to the window's client area (flag non-zero) or frees it.
void mouse_clip_cursor(PlatWindow* window, uint32_t flag);
void mouse_set_clip_flag(PlatWindow* window, uint32_t flag);

void mouse_get_pos(uint32_t* x, uint32_t* y);
void mouse_get_prev_pos(uint32_t* x, uint32_t* y);
int16_t mouse_get_wheel(void);

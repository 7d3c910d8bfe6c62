// Keyboard snapshot and cursor, on SDL2.
//
// Provides:
// - a 256-entry table in Windows virtual-key codes (bit 7 = down), updated as
//   each key or mouse-button message is dispatched (plat/window.h); it holds
//   the mouse buttons (codes 1, 2, 4) and both the generic (0x10..0x12) and
//   the left/right codes (0xA0..0xA5) of Shift, Control and Alt;
// - the asynchronous state of one key, read from the devices now;
// - cursor show and hide, the hide that lasts until the next mouse move (as
//   a window whose class cursor comes back with WM_SETCURSOR), and the
//   cursor clip to the window's client area.
// Callers rely on: letters and digits following the keyboard layout (the key
// that types 'A' is 'A'), and on the table reflecting only the messages
// already dispatched. Main thread only.
#pragma once
#include <cstdint>

struct PlatWindow;

// Virtual-key codes the engine names.
constexpr int PLAT_VK_LBUTTON = 0x01;
constexpr int PLAT_VK_RBUTTON = 0x02;
constexpr int PLAT_VK_MBUTTON = 0x04;
constexpr int PLAT_VK_BACK = 0x08;
constexpr int PLAT_VK_TAB = 0x09;
constexpr int PLAT_VK_RETURN = 0x0D;
constexpr int PLAT_VK_SHIFT = 0x10;
constexpr int PLAT_VK_CONTROL = 0x11;
constexpr int PLAT_VK_MENU = 0x12;  // Alt
constexpr int PLAT_VK_ESCAPE = 0x1B;
constexpr int PLAT_VK_SPACE = 0x20;
constexpr int PLAT_VK_LEFT = 0x25;
constexpr int PLAT_VK_UP = 0x26;
constexpr int PLAT_VK_RIGHT = 0x27;
constexpr int PLAT_VK_DOWN = 0x28;
constexpr int PLAT_VK_DELETE = 0x2E;
constexpr int PLAT_VK_F1 = 0x70;
constexpr int PLAT_VK_F9 = 0x78;
constexpr int PLAT_VK_LSHIFT = 0xA0;
constexpr int PLAT_VK_RSHIFT = 0xA1;
constexpr int PLAT_VK_LCONTROL = 0xA2;
constexpr int PLAT_VK_RCONTROL = 0xA3;
constexpr int PLAT_VK_LMENU = 0xA4;
constexpr int PLAT_VK_RMENU = 0xA5;

constexpr int PLAT_KEY_COUNT = 256;
constexpr uint8_t PLAT_KEY_DOWN = 0x80;

// GetKeyboardState: copies the table.
void plat_key_snapshot(uint8_t out[PLAT_KEY_COUNT]);
// The table as one frame sees it, taken once a frame: like the plain copy,
// except that a key pressed and released (or released and pressed) since the
// previous frame snapshot reads changed for this frame and as it is now in
// the next, so that no press or release shorter than a frame is lost.
void plat_key_frame_snapshot(uint8_t out[PLAT_KEY_COUNT]);
// Reads the pointer device's buttons wherever the pointer is and lets go of
// every button the table holds down that the device has released: a release
// away from the window never arrives as a message (the mouse is not
// captured, so positions outside the window stay unknown). Nothing where the
// driver has no pointer device of its own.
void plat_key_release_lost_buttons(void);
// GetAsyncKeyState(vk) < 0: the device state now; 0 outside 0..255.
int plat_key_async_down(int vk);
// Clears the table (a new run, or a test).
void plat_key_clear(void);

// Cursor visibility; 1 when shown.
void plat_cursor_show(int show);
int plat_cursor_visible(void);
// SetCursor(no cursor): hidden until the next mouse move.
void plat_cursor_hide_until_move(void);
// ClipCursor: non-zero confines the pointer to the window's client area,
// zero releases any clip. 1 or 0.
int plat_cursor_clip(PlatWindow* window, int on);
int plat_cursor_clipped(void);

// The main window (window 0): created at start-up with a client area of
// exactly the chosen screen size. The display draws into it and puts it back
// in place after a device reset; sound and input take its handle.
// Main thread only.
#pragma once
#include "plat/window.h"

#include <cstdint>

constexpr int WINDOW_COUNT = 1;
constexpr uint32_t WINDOW_STYLE_CREATE = 0x100A0000;  // visible, system menu, minimise box
constexpr uint32_t WINDOW_STYLE_RESET = 0x10CA0000;   // visible, caption, system menu, minimise box

struct WindowRec {
    PlatWindow* handle;  // null before creation
    const char* class_name;
    PlatWndProc proc;
    uint32_t style;
    uint32_t windowed;  // 1
    int32_t client_width, client_height;
    int32_t outer_width, outer_height;  // client plus the window manager's frame
    PlatRect rect;                      // filled only by window_read_rect
};

// The client size window 0 is created with: the screen size the program
// chose at start-up (0 x 0 until it chose one). The display's system-font
// boxes are measured against it too.
void window_set_screen_size(int32_t width, int32_t height);
void window_get_screen_size(int32_t* width, int32_t* height);

// Clears the window block and creates window 0 with the chosen screen size;
// 1 when a window exists.
int window_create(PlatWndProc proc);

// Window n's record; null for any n but 0.
WindowRec* window_get(int n);
// Forgets window n's handle and returns the record; null for n != 0.
WindowRec* window_forget(int n);
void window_enable(int n);
void window_disable(int n);
void window_read_rect(int n);
// Puts window n back at its stored rectangle's corner with the windowed
// style and shows it (after a device reset).
void window_reset_pos_and_size(int n);

// The main window and the Win32-style message queue, on SDL2.
//
// Provides:
// - one top-level window (OpenGL-capable, not resizable, client size exact,
//   no high-DPI scaling: client pixels = drawable pixels = mouse pixels);
// - a message queue in the shape the engine's main loop expects: SDL events
//   become window messages with Windows numbers and packing (mouse move with
//   the client position in the low and high 16 bits, wheel in multiples of
//   120, key and button down/up, close, destroy, quit);
// - a window procedure per window, a default procedure, dispatch, and the
//   posted quit message.
// Callers rely on:
// - plat_peek_message takes at most one message per call; it answers 0 only
//   when nothing is queued, so a caller runs a frame only on an empty queue;
// - consecutive mouse moves are merged into one carrying the latest position,
//   as Windows does;
// - a window close, SDL_QUIT and SIGTERM, SIGINT or SIGHUP all end in the
//   quit message: close sends WM_CLOSE, whose default handling destroys the
//   window (WM_DESTROY); a signal arrives as WM_ENDSESSION (wParam 1), also
//   one that came before the first peek; the window procedure posts the
//   quit, which is taken only after the messages queued before it;
// - the keyboard snapshot (plat/input.h) changes as each key or button
//   message is dispatched;
// - a destroyed window is hidden, not freed: the drawing device may still use
//   its surface until it stops; plat_video_end frees it.
// Main thread only, except plat_term_requested's flag, which a signal sets.
#pragma once
#include <cstdint>

struct PlatWindow;  // opaque window handle
struct SDL_Window;

// Message numbers (the Windows values the engine's window procedure handles).
constexpr uint32_t PLAT_WM_NULL = 0x0000;
constexpr uint32_t PLAT_WM_DESTROY = 0x0002;
constexpr uint32_t PLAT_WM_CLOSE = 0x0010;
constexpr uint32_t PLAT_WM_QUIT = 0x0012;
constexpr uint32_t PLAT_WM_ENDSESSION = 0x0016;
constexpr uint32_t PLAT_WM_KEYDOWN = 0x0100;
constexpr uint32_t PLAT_WM_KEYUP = 0x0101;
constexpr uint32_t PLAT_WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t PLAT_WM_SYSKEYUP = 0x0105;
constexpr uint32_t PLAT_WM_MOUSEMOVE = 0x0200;
constexpr uint32_t PLAT_WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t PLAT_WM_LBUTTONUP = 0x0202;
constexpr uint32_t PLAT_WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t PLAT_WM_RBUTTONUP = 0x0205;
constexpr uint32_t PLAT_WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t PLAT_WM_MBUTTONUP = 0x0208;
constexpr uint32_t PLAT_WM_MOUSEWHEEL = 0x020A;

// Button and modifier flags in wParam of mouse messages.
constexpr uint32_t PLAT_MK_LBUTTON = 0x01;
constexpr uint32_t PLAT_MK_RBUTTON = 0x02;
constexpr uint32_t PLAT_MK_SHIFT = 0x04;
constexpr uint32_t PLAT_MK_CONTROL = 0x08;
constexpr uint32_t PLAT_MK_MBUTTON = 0x10;

constexpr int32_t PLAT_WHEEL_DELTA = 120;  // one notch
constexpr int PLAT_MSG_QUEUE_SIZE = 256;   // messages held between passes

using PlatWndProc = intptr_t (*)(PlatWindow* window, uint32_t message, uintptr_t wparam,
                                 intptr_t lparam);

struct PlatMsg {
    PlatWindow* window;  // null for the quit message
    uint32_t message;    // PLAT_WM_*
    uintptr_t wparam;
    intptr_t lparam;
    uint32_t key;  // key messages: the side-specific virtual key of a
                   // modifier (0xA0..0xA5), else the key's own code
};

struct PlatRect {
    int32_t left, top, right, bottom;
};

// Packs a client position as Windows does: x in the low, y in the high word.
constexpr intptr_t plat_pack_pos(int32_t x, int32_t y)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(x) & 0xFFFFu) |
                                 ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

// Desktop size of the primary display; 1 on success, else 0 and both 0.
int plat_desktop_size(int32_t* width, int32_t* height);

// Creates the window: title, exact client size, its window procedure.
// Sets the OpenGL 4.5 core attributes first (no depth or stencil on the
// window: the device draws into its own off-screen target). Null on failure
// or when a window already exists.
PlatWindow* plat_window_create(const char* title, int32_t client_width, int32_t client_height,
                               PlatWndProc proc);
// DestroyWindow: hides the window and sends WM_DESTROY to its procedure.
void plat_window_destroy(PlatWindow* window);
int plat_window_is_alive(const PlatWindow* window);
// Outer rectangle in desktop coordinates (client plus the window manager's
// borders where SDL knows them). 1 or 0.
int plat_window_get_rect(const PlatWindow* window, PlatRect* out);
// Client rectangle size; 1 or 0.
int plat_window_client_size(const PlatWindow* window, int32_t* width, int32_t* height);
// Border sizes the window manager added (0 where unknown).
void plat_window_borders(const PlatWindow* window, int32_t* left, int32_t* top, int32_t* right,
                         int32_t* bottom);
// Moves the outer top-left corner; shows the window.
void plat_window_set_pos(PlatWindow* window, int32_t x, int32_t y);
void plat_window_show(PlatWindow* window);
// EnableWindow: SDL has no disabled windows; the flag is kept and reported.
void plat_window_set_enabled(PlatWindow* window, int enabled);
int plat_window_enabled(const PlatWindow* window);

// The message queue.
int plat_peek_message(PlatMsg* out);
intptr_t plat_dispatch_message(const PlatMsg* msg);
intptr_t plat_def_window_proc(PlatWindow* window, uint32_t message, uintptr_t wparam,
                              intptr_t lparam);
void plat_post_quit_message(int32_t exit_code);
// Queues a message behind the others; 0 when the queue is full.
int plat_post_message(PlatWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam);

// SIGTERM, SIGINT and SIGHUP set a flag (nothing else happens in the
// handler); the next plat_peek_message turns it into WM_ENDSESSION for the
// window, and a dialog open meanwhile closes as Cancel (plat/dialogs.h).
// SIGINT and SIGHUP stay ignored when they were at the start. SIGPIPE is
// ignored from then on: a write to a pipe nobody reads fails.
void plat_install_term_handler(void);

// Frees the window (call after the drawing device stopped). SDL video and
// the GL library stay loaded until the process ends.
void plat_video_end(void);

// The SDL window of the main window (null before creation),
// for the drawing device's context and the cursor clip.
SDL_Window* plat_window_sdl(void);

// The main window's record: creation at the screen size, enabling, and its rectangle read and
// put back in place (see window.h).
#include "svc/window.h"

namespace {

constexpr const char* WINDOW_CLASS_NAME = "quorvel";
constexpr const char* WINDOW_TITLE = "quorvel";

struct WindowBlock {
    uint32_t count;
    WindowRec rec[WINDOW_COUNT];
};

WindowBlock g_window;
int32_t g_screen_width, g_screen_height;  // outside the block: creation clears it

WindowRec* rec_of(int n) { return n >= 0 && n < WINDOW_COUNT ? &g_window.rec[n] : nullptr; }

}  // namespace

void window_set_screen_size(int32_t width, int32_t height)
{
    g_screen_width = width;
    g_screen_height = height;
}

void window_get_screen_size(int32_t* width, int32_t* height)
{
    if (width) *width = g_screen_width;
    if (height) *height = g_screen_height;
}

int window_create(PlatWndProc proc)
{
    g_window = WindowBlock{};
    WindowRec& w = g_window.rec[0];
    w.windowed = 1;
    w.client_width = g_screen_width;
    w.client_height = g_screen_height;
    w.class_name = WINDOW_CLASS_NAME;
    w.proc = proc;
    w.style = WINDOW_STYLE_CREATE;
    w.handle = plat_window_create(WINDOW_TITLE, w.client_width, w.client_height, proc);
    if (!w.handle) return 0;
    g_window.count = 1;
    int32_t l = 0, t = 0, r = 0, b = 0;
    plat_window_borders(w.handle, &l, &t, &r, &b);
    w.outer_width = w.client_width + l + r;
    w.outer_height = w.client_height + t + b;
    return 1;
}

WindowRec* window_get(int n) { return rec_of(n); }

WindowRec* window_forget(int n)
{
    WindowRec* w = rec_of(n);
    if (w) w->handle = nullptr;
    return w;
}

void window_enable(int n)
{
    if (WindowRec* w = rec_of(n)) plat_window_set_enabled(w->handle, 1);
}

void window_disable(int n)
{
    if (WindowRec* w = rec_of(n)) plat_window_set_enabled(w->handle, 0);
}

void window_read_rect(int n)
{
    if (WindowRec* w = rec_of(n)) plat_window_get_rect(w->handle, &w->rect);
}

void window_reset_pos_and_size(int n)
{
    WindowRec* w = rec_of(n);
    if (!w || !w->handle) return;
    plat_window_set_pos(w->handle, w->rect.left, w->rect.top);
    w->style = WINDOW_STYLE_RESET;
    plat_window_show(w->handle);
}

// The main window and the message queue on SDL2: SDL events turned into window messages,
// dispatch to window procedures, and the end signals (see window.h). The key table the
// messages feed is in input.cpp.
#include "plat/window.h"
#include "plat/window_local.h"

#include "plat/input.h"
#include "plat/input_local.h"
#include "plat/input_script_local.h"

#include <SDL2/SDL.h>

#include <array>
#include <csignal>

// Sections: state | queue | SDL event translation | video start | window |
// peek and dispatch | end signals

struct PlatWindow {
    SDL_Window* sdl;  // kept until plat_video_end, even when destroyed
    PlatWndProc proc;
    uint32_t sdl_id;
    int alive;  // 0 once WM_DESTROY was sent
    int enabled;
};

namespace {

struct MsgQueue {
    std::array<PlatMsg, PLAT_MSG_QUEUE_SIZE> ring;
    int head;  // next to take
    int count;
};

struct WindowState {
    int video_started;
    PlatWindow main;  // the one window; main.sdl null before creation
    int main_created;
    MsgQueue queue;
    int quit_posted;
    int32_t quit_code;
    int32_t last_x, last_y;  // latest client position, for wheel messages
    int term_delivered;
    int exposed;  // the window was exposed since plat_window_pump_exposed last asked
};

// The signals that end the program as a closed session does: kill's default,
// Ctrl+C in a terminal, and the terminal going away.
constexpr std::array<int, 3> PLAT_END_SIGNALS = {SIGTERM, SIGINT, SIGHUP};

WindowState g_win;
volatile std::sig_atomic_t g_term_flag = 0;

// ---- queue -----------------------------------------------------------------

int queue_push(const PlatMsg& m)
{
    MsgQueue& q = g_win.queue;
    if (q.count >= PLAT_MSG_QUEUE_SIZE) return 0;
    q.ring[(q.head + q.count) % PLAT_MSG_QUEUE_SIZE] = m;
    ++q.count;
    return 1;
}

PlatMsg* queue_last(void)
{
    MsgQueue& q = g_win.queue;
    if (q.count == 0) return nullptr;
    return &q.ring[(q.head + q.count - 1) % PLAT_MSG_QUEUE_SIZE];
}

int queue_pop(PlatMsg* out)
{
    MsgQueue& q = g_win.queue;
    if (q.count == 0) return 0;
    *out = q.ring[q.head];
    q.head = (q.head + 1) % PLAT_MSG_QUEUE_SIZE;
    --q.count;
    return 1;
}

bool queue_holds(const PlatWindow* w, uint32_t message)
{
    const MsgQueue& q = g_win.queue;
    for (int i = 0; i < q.count; ++i) {
        const PlatMsg& m = q.ring[(q.head + i) % PLAT_MSG_QUEUE_SIZE];
        if (m.window == w && m.message == message) return true;
    }
    return false;
}

PlatWindow* window_of_sdl_id(uint32_t id)
{
    if (g_win.main_created && g_win.main.sdl_id == id) return &g_win.main;
    return nullptr;
}

// ---- SDL event translation -------------------------------------------------

uint32_t mouse_key_flags(void)
{
    uint32_t flags = 0;
    const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    if (buttons & SDL_BUTTON_LMASK) flags |= PLAT_MK_LBUTTON;
    if (buttons & SDL_BUTTON_RMASK) flags |= PLAT_MK_RBUTTON;
    if (buttons & SDL_BUTTON_MMASK) flags |= PLAT_MK_MBUTTON;
    const SDL_Keymod mods = SDL_GetModState();
    if (mods & KMOD_SHIFT) flags |= PLAT_MK_SHIFT;
    if (mods & KMOD_CTRL) flags |= PLAT_MK_CONTROL;
    return flags;
}

// A motion right behind another motion replaces it, as Windows keeps at most
// one pending mouse move carrying the latest position.
int queue_mouse_move(PlatWindow* w, int32_t x, int32_t y)
{
    g_win.last_x = x;
    g_win.last_y = y;
    const PlatMsg m{w, PLAT_WM_MOUSEMOVE, mouse_key_flags(), plat_pack_pos(x, y), 0};
    PlatMsg* last = queue_last();
    if (last && last->message == PLAT_WM_MOUSEMOVE && last->window == w) {
        *last = m;
        return 1;
    }
    return queue_push(m);
}

int queue_button(PlatWindow* w, const SDL_MouseButtonEvent& b)
{
    const int down = b.type == SDL_MOUSEBUTTONDOWN;
    uint32_t message;
    switch (b.button) {
    case SDL_BUTTON_LEFT: message = down ? PLAT_WM_LBUTTONDOWN : PLAT_WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: message = down ? PLAT_WM_RBUTTONDOWN : PLAT_WM_RBUTTONUP; break;
    case SDL_BUTTON_MIDDLE: message = down ? PLAT_WM_MBUTTONDOWN : PLAT_WM_MBUTTONUP; break;
    default: return 1;  // extra buttons have no message here
    }
    g_win.last_x = b.x;
    g_win.last_y = b.y;
    return queue_push({w, message, mouse_key_flags(), plat_pack_pos(b.x, b.y), 0});
}

int queue_wheel(PlatWindow* w, const SDL_MouseWheelEvent& e)
{
    int32_t notches = e.y;
    if (e.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
    if (notches == 0) return 1;  // horizontal only
    const int32_t delta = notches * PLAT_WHEEL_DELTA;
    const uintptr_t wparam =
        (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) | mouse_key_flags();
    return queue_push(
        {w, PLAT_WM_MOUSEWHEEL, wparam, plat_pack_pos(g_win.last_x, g_win.last_y), 0});
}

int queue_key(PlatWindow* w, const SDL_KeyboardEvent& k)
{
    const int vk = plat_vk_from_sdl_key(k.keysym.sym);
    if (vk == 0) return 1;
    const int side = plat_vk_side_from_sdl_key(k.keysym.sym);
    const int down = k.type == SDL_KEYDOWN;
    const int alt = (k.keysym.mod & KMOD_ALT) != 0 || vk == PLAT_VK_MENU;
    uint32_t message = down ? PLAT_WM_KEYDOWN : PLAT_WM_KEYUP;
    if (alt) message = down ? PLAT_WM_SYSKEYDOWN : PLAT_WM_SYSKEYUP;
    // lParam as Windows: repeat count 1, scan code, previous state (bit 30),
    // transition state (bit 31).
    uint32_t lparam = 1u | ((static_cast<uint32_t>(k.keysym.scancode) & 0xFFu) << 16);
    if (!down || k.repeat) lparam |= 1u << 30;
    if (!down) lparam |= 1u << 31;
    return queue_push({w, message, static_cast<uintptr_t>(vk), static_cast<intptr_t>(lparam),
                       static_cast<uint32_t>(side ? side : vk)});
}

// A close request, from the window or from SDL_QUIT, reaches the window as
// one WM_CLOSE; without a live window there is nothing to close and the quit
// is posted directly.
int queue_close(PlatWindow* w)
{
    if (!w && g_win.main_created) w = &g_win.main;
    if (w && (!w->alive || queue_holds(w, PLAT_WM_CLOSE))) return 1;
    if (!w) {
        plat_post_quit_message(0);
        return 1;
    }
    return queue_push({w, PLAT_WM_CLOSE, 0, 0, 0});
}

// 1 when the event was taken (queued or ignored), 0 when the queue is full.
int translate_event(const SDL_Event& e)
{
    switch (e.type) {
    case SDL_QUIT: return queue_close(nullptr);
    case SDL_WINDOWEVENT:
        if (e.window.event != SDL_WINDOWEVENT_CLOSE) return 1;
        if (PlatWindow* w = window_of_sdl_id(e.window.windowID)) return queue_close(w);
        return 1;
    case SDL_MOUSEMOTION: {
        PlatWindow* w = window_of_sdl_id(e.motion.windowID);
        return w ? queue_mouse_move(w, e.motion.x, e.motion.y) : 1;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        PlatWindow* w = window_of_sdl_id(e.button.windowID);
        return w ? queue_button(w, e.button) : 1;
    }
    case SDL_MOUSEWHEEL: {
        PlatWindow* w = window_of_sdl_id(e.wheel.windowID);
        return w ? queue_wheel(w, e.wheel) : 1;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        // Keys go to the focused window; with one window that is window 0.
        PlatWindow* w = window_of_sdl_id(e.key.windowID);
        if (!w && g_win.main_created) w = &g_win.main;
        return w ? queue_key(w, e.key) : 1;
    }
    default: return 1;
    }
}

// Moves SDL's pending events into the queue while it has room; an event that
// does not fit is put back for the next pass.
void drain_sdl_events(void)
{
    if (!g_win.video_started) return;
    SDL_Event e;
    while (g_win.queue.count < PLAT_MSG_QUEUE_SIZE && SDL_PollEvent(&e)) {
        if (!translate_event(e)) {
            SDL_PushEvent(&e);
            break;
        }
    }
}

void deliver_term_request(void)
{
    if (!g_term_flag || g_win.term_delivered) return;
    if (g_win.main_created && g_win.main.alive) {
        if (!queue_push({&g_win.main, PLAT_WM_ENDSESSION, 1, 0, 0})) return;  // next pass
    } else {
        plat_post_quit_message(0);
    }
    g_win.term_delivered = 1;
}

void on_end_signal(int) { g_term_flag = 1; }

// Sees every event as it enters SDL's queue, also while nothing takes them.
int watch_exposed(void*, SDL_Event* e)
{
    if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_EXPOSED &&
        g_win.main_created && e->window.windowID == g_win.main.sdl_id)
        g_win.exposed = 1;
    return 1;
}

}  // namespace

// ---- video start -----------------------------------------------------------

int plat_video_start(void)
{
    if (g_win.video_started) return 1;
    // The engine handles its end signals itself; SDL's handler would do
    // more than set a flag.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Windows delivers no mouse positions outside the client area unless the
    // program captures the mouse, which this one never does.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_HIGHDPI_DISABLED, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return 0;
    // The GL library stays loaded until the process ends: unloading it also
    // unloads the driver, whose memory kept until exit would then be
    // reported by the leak checker as coming from an unknown module.
    SDL_GL_LoadLibrary(nullptr);
    // Keys arrive as key messages only; no text input or input method.
    SDL_StopTextInput();
    g_win.video_started = 1;
    return 1;
}

void plat_video_end(void)
{
    if (g_win.main_created) SDL_DelEventWatch(watch_exposed, nullptr);
    if (g_win.main_created && g_win.main.sdl) SDL_DestroyWindow(g_win.main.sdl);
    const int started = g_win.video_started;
    g_win = WindowState{};
    g_win.video_started = started;  // SDL video itself ends with the process
}

int plat_desktop_size(int32_t* width, int32_t* height)
{
    *width = 0;
    *height = 0;
    if (!plat_video_start()) return 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
    *width = mode.w;
    *height = mode.h;
    return 1;
}

// ---- window ----------------------------------------------------------------

PlatWindow* plat_window_create(const char* title, int32_t client_width, int32_t client_height,
                               PlatWndProc proc)
{
    if (g_win.main_created || !proc || client_width <= 0 || client_height <= 0) return nullptr;
    if (!plat_video_start()) return nullptr;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_Window* sdl =
        SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         client_width, client_height, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
    if (!sdl) return nullptr;
    g_win.main = PlatWindow{sdl, proc, SDL_GetWindowID(sdl), 1, 1};
    g_win.main_created = 1;
    SDL_AddEventWatch(watch_exposed, nullptr);
    return &g_win.main;
}

void plat_window_destroy(PlatWindow* window)
{
    if (!window || !window->alive) return;
    SDL_HideWindow(window->sdl);
    window->alive = 0;
    window->proc(window, PLAT_WM_DESTROY, 0, 0);
}

int plat_window_is_alive(const PlatWindow* window) { return window && window->alive; }

void plat_window_borders(const PlatWindow* window, int32_t* left, int32_t* top, int32_t* right,
                         int32_t* bottom)
{
    int t = 0, l = 0, b = 0, r = 0;
    if (window && window->sdl && SDL_GetWindowBordersSize(window->sdl, &t, &l, &b, &r) != 0)
        t = l = b = r = 0;
    *left = l;
    *top = t;
    *right = r;
    *bottom = b;
}

int plat_window_client_size(const PlatWindow* window, int32_t* width, int32_t* height)
{
    *width = 0;
    *height = 0;
    if (!window || !window->sdl) return 0;
    int w = 0, h = 0;
    SDL_GetWindowSize(window->sdl, &w, &h);
    *width = w;
    *height = h;
    return 1;
}

int plat_window_get_rect(const PlatWindow* window, PlatRect* out)
{
    *out = PlatRect{0, 0, 0, 0};
    if (!window || !window->sdl) return 0;
    int x = 0, y = 0;
    int32_t w = 0, h = 0, l = 0, t = 0, r = 0, b = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    plat_window_client_size(window, &w, &h);
    plat_window_borders(window, &l, &t, &r, &b);
    *out = PlatRect{x - l, y - t, x + w + r, y + h + b};
    return 1;
}

void plat_window_set_pos(PlatWindow* window, int32_t x, int32_t y)
{
    if (!window || !window->sdl) return;
    int32_t l = 0, t = 0, r = 0, b = 0;
    plat_window_borders(window, &l, &t, &r, &b);
    SDL_SetWindowPosition(window->sdl, x + l, y + t);
}

void plat_window_show(PlatWindow* window)
{
    if (window && window->alive) SDL_ShowWindow(window->sdl);
}

void plat_window_set_enabled(PlatWindow* window, int enabled)
{
    if (window) window->enabled = enabled ? 1 : 0;
}

int plat_window_enabled(const PlatWindow* window) { return window && window->enabled; }

PlatWindow* plat_window_main(void) { return g_win.main_created ? &g_win.main : nullptr; }

SDL_Window* plat_window_sdl(void) { return g_win.main_created ? g_win.main.sdl : nullptr; }

int plat_window_pump_exposed(void)
{
    if (!g_win.video_started || !g_win.main_created) return 0;
    SDL_PumpEvents();
    const int exposed = g_win.exposed;
    g_win.exposed = 0;
    return exposed;
}

// ---- queue and dispatch ----------------------------------------------------

int plat_peek_message(PlatMsg* out)
{
    deliver_term_request();
    if (queue_pop(out)) return 1;
    // The quit message comes after everything posted before it.
    if (g_win.quit_posted) {
        g_win.quit_posted = 0;
        *out = PlatMsg{nullptr, PLAT_WM_QUIT, static_cast<uintptr_t>(g_win.quit_code), 0, 0};
        return 1;
    }
    if (g_win.video_started && g_win.main_created) plat_input_script_feed(g_win.main.sdl_id);
    drain_sdl_events();
    if (queue_pop(out)) return 1;
    plat_input_script_frame_passed();  // the caller runs a frame now
    return 0;
}

int plat_post_message(PlatWindow* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return queue_push({window, message, wparam, lparam, 0});
}

intptr_t plat_dispatch_message(const PlatMsg* msg)
{
    if (!msg) return 0;
    plat_input_on_message(msg);
    PlatWindow* w = msg->window;
    if (!w || !w->alive) return 0;
    return w->proc(w, msg->message, msg->wparam, msg->lparam);
}

intptr_t plat_def_window_proc(PlatWindow* window, uint32_t message, uintptr_t, intptr_t)
{
    if (message == PLAT_WM_CLOSE) plat_window_destroy(window);
    return 0;
}

void plat_post_quit_message(int32_t exit_code)
{
    g_win.quit_posted = 1;
    g_win.quit_code = exit_code;
}

// ---- end signals -----------------------------------------------------------

void plat_install_term_handler(void)
{
    // A reader that goes away makes a write to its pipe fail (EPIPE), as any failed save,
    // instead of ending the program without its shut-down.
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = on_end_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : PLAT_END_SIGNALS) {
        // A hang-up or interrupt that whoever started the program chose to
        // ignore (nohup, a background job of a script) stays ignored.
        struct sigaction old {};
        if (sig != SIGTERM && sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
}

int plat_term_requested(void) { return g_term_flag != 0; }

// The key table in virtual-key codes, fed by the window's messages, the asynchronous key state
// and the cursor, on SDL2 (see input.h). The messages themselves come from window.cpp.
#include "plat/input.h"
#include "plat/input_local.h"

#include "plat/input_script_local.h"
#include "plat/window.h"
#include "plat/window_local.h"

#include <SDL2/SDL.h>

#include <array>
#include <cstring>

namespace {

struct InputState {
    std::array<uint8_t, PLAT_KEY_COUNT> keys;     // bit 7 = down, as the messages say now
    std::array<uint8_t, PLAT_KEY_COUNT> framed;   // as the latest frame snapshot gave it
    std::array<uint8_t, PLAT_KEY_COUNT> changed;  // 1: went down or up since that snapshot
    int cursor_hidden;                            // by plat_cursor_show(0)
    int cursor_hidden_to_move;                    // by plat_cursor_hide_until_move
    int clipped;
};

InputState g_in;

struct KeyPair {
    int32_t sdl;
    int vk;
};

// Keys whose virtual key is not their character. Letters and digits are
// mapped from the layout-aware keycode in plat_vk_from_sdl_key.
constexpr KeyPair PLAT_KEY_TABLE[] = {
    {SDLK_BACKSPACE, 0x08},    {SDLK_TAB, 0x09},          {SDLK_RETURN, 0x0D},
    {SDLK_KP_ENTER, 0x0D},     {SDLK_LSHIFT, 0x10},       {SDLK_RSHIFT, 0x10},
    {SDLK_LCTRL, 0x11},        {SDLK_RCTRL, 0x11},        {SDLK_LALT, 0x12},
    {SDLK_RALT, 0x12},         {SDLK_PAUSE, 0x13},        {SDLK_CAPSLOCK, 0x14},
    {SDLK_ESCAPE, 0x1B},       {SDLK_SPACE, 0x20},        {SDLK_PAGEUP, 0x21},
    {SDLK_PAGEDOWN, 0x22},     {SDLK_END, 0x23},          {SDLK_HOME, 0x24},
    {SDLK_LEFT, 0x25},         {SDLK_UP, 0x26},           {SDLK_RIGHT, 0x27},
    {SDLK_DOWN, 0x28},         {SDLK_PRINTSCREEN, 0x2C},  {SDLK_INSERT, 0x2D},
    {SDLK_DELETE, 0x2E},       {SDLK_LGUI, 0x5B},         {SDLK_RGUI, 0x5C},
    {SDLK_APPLICATION, 0x5D},  {SDLK_KP_0, 0x60},         {SDLK_KP_1, 0x61},
    {SDLK_KP_2, 0x62},         {SDLK_KP_3, 0x63},         {SDLK_KP_4, 0x64},
    {SDLK_KP_5, 0x65},         {SDLK_KP_6, 0x66},         {SDLK_KP_7, 0x67},
    {SDLK_KP_8, 0x68},         {SDLK_KP_9, 0x69},         {SDLK_KP_MULTIPLY, 0x6A},
    {SDLK_KP_PLUS, 0x6B},      {SDLK_KP_MINUS, 0x6D},     {SDLK_KP_PERIOD, 0x6E},
    {SDLK_KP_DIVIDE, 0x6F},    {SDLK_F1, 0x70},           {SDLK_F2, 0x71},
    {SDLK_F3, 0x72},           {SDLK_F4, 0x73},           {SDLK_F5, 0x74},
    {SDLK_F6, 0x75},           {SDLK_F7, 0x76},           {SDLK_F8, 0x77},
    {SDLK_F9, 0x78},           {SDLK_F10, 0x79},          {SDLK_F11, 0x7A},
    {SDLK_F12, 0x7B},          {SDLK_NUMLOCKCLEAR, 0x90}, {SDLK_SCROLLLOCK, 0x91},
    {SDLK_SEMICOLON, 0xBA},    {SDLK_EQUALS, 0xBB},       {SDLK_COMMA, 0xBC},
    {SDLK_MINUS, 0xBD},        {SDLK_PERIOD, 0xBE},       {SDLK_SLASH, 0xBF},
    {SDLK_BACKQUOTE, 0xC0},    {SDLK_LEFTBRACKET, 0xDB},  {SDLK_BACKSLASH, 0xDC},
    {SDLK_RIGHTBRACKET, 0xDD}, {SDLK_QUOTE, 0xDE},
};

constexpr KeyPair PLAT_SIDE_TABLE[] = {
    {SDLK_LSHIFT, PLAT_VK_LSHIFT},  {SDLK_RSHIFT, PLAT_VK_RSHIFT}, {SDLK_LCTRL, PLAT_VK_LCONTROL},
    {SDLK_RCTRL, PLAT_VK_RCONTROL}, {SDLK_LALT, PLAT_VK_LMENU},    {SDLK_RALT, PLAT_VK_RMENU},
};

void set_key(int vk, int down)
{
    if (vk <= 0 || vk >= PLAT_KEY_COUNT) return;
    const uint8_t now = down ? PLAT_KEY_DOWN : 0;
    if (g_in.keys[vk] != now) g_in.changed[vk] = 1;
    g_in.keys[vk] = now;
}

// The generic modifier code is down while either side is.
void update_generic(int generic, int left, int right)
{
    set_key(generic, (g_in.keys[left] | g_in.keys[right]) & PLAT_KEY_DOWN);
}

// A key that went down and up again (or up and down) since the last frame
// snapshot reads as the opposite of that snapshot for one frame, so a click
// shorter than a frame still reaches the frame, and its release the next.
uint8_t framed_state(int vk)
{
    const uint8_t before = g_in.framed[vk];
    if (g_in.keys[vk] != before) return g_in.keys[vk];
    return g_in.changed[vk] ? uint8_t(before ^ PLAT_KEY_DOWN) : before;
}

struct ButtonBit {
    int vk;
    uint32_t sdl_mask;
};

constexpr ButtonBit PLAT_BUTTONS[] = {
    {PLAT_VK_LBUTTON, SDL_BUTTON_LMASK},
    {PLAT_VK_RBUTTON, SDL_BUTTON_RMASK},
    {PLAT_VK_MBUTTON, SDL_BUTTON_MMASK},
};

// The buttons as the pointer device holds them now, wherever the pointer is;
// false where the video driver has no pointer of its own (offscreen, dummy:
// there only the queued messages move the buttons).
bool device_buttons(uint32_t* mask)
{
    if (plat_input_script_buttons(mask)) return true;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)
        return false;
    SDL_PumpEvents();
    *mask = SDL_GetGlobalMouseState(nullptr, nullptr);
    return true;
}

void on_key_message(const PlatMsg& m, int down)
{
    set_key(static_cast<int>(m.wparam), down);
    const int side = static_cast<int>(m.key);
    if (side >= PLAT_VK_LSHIFT && side <= PLAT_VK_RMENU) {
        set_key(side, down);
        update_generic(PLAT_VK_SHIFT, PLAT_VK_LSHIFT, PLAT_VK_RSHIFT);
        update_generic(PLAT_VK_CONTROL, PLAT_VK_LCONTROL, PLAT_VK_RCONTROL);
        update_generic(PLAT_VK_MENU, PLAT_VK_LMENU, PLAT_VK_RMENU);
    }
}

void apply_cursor(void)
{
    const int hidden = g_in.cursor_hidden || g_in.cursor_hidden_to_move;
    SDL_ShowCursor(hidden ? SDL_DISABLE : SDL_ENABLE);
}

int32_t sdl_key_of_vk(int vk)
{
    if ((vk >= 'A' && vk <= 'Z')) return SDLK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return SDLK_0 + (vk - '0');
    for (const KeyPair& p : PLAT_SIDE_TABLE)
        if (p.vk == vk) return p.sdl;
    for (const KeyPair& p : PLAT_KEY_TABLE)
        if (p.vk == vk) return p.sdl;
    return SDLK_UNKNOWN;
}

int async_modifier_down(const uint8_t* state, SDL_Scancode left, SDL_Scancode right)
{
    return state[left] || state[right];
}

}  // namespace

int plat_vk_from_sdl_key(int32_t key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    for (const KeyPair& p : PLAT_KEY_TABLE)
        if (p.sdl == key) return p.vk;
    return 0;
}

int plat_vk_side_from_sdl_key(int32_t key)
{
    for (const KeyPair& p : PLAT_SIDE_TABLE)
        if (p.sdl == key) return p.vk;
    return 0;
}

void plat_input_on_message(const PlatMsg* msg)
{
    switch (msg->message) {
    case PLAT_WM_KEYDOWN:
    case PLAT_WM_SYSKEYDOWN: on_key_message(*msg, 1); break;
    case PLAT_WM_KEYUP:
    case PLAT_WM_SYSKEYUP: on_key_message(*msg, 0); break;
    case PLAT_WM_LBUTTONDOWN: set_key(PLAT_VK_LBUTTON, 1); break;
    case PLAT_WM_LBUTTONUP: set_key(PLAT_VK_LBUTTON, 0); break;
    case PLAT_WM_RBUTTONDOWN: set_key(PLAT_VK_RBUTTON, 1); break;
    case PLAT_WM_RBUTTONUP: set_key(PLAT_VK_RBUTTON, 0); break;
    case PLAT_WM_MBUTTONDOWN: set_key(PLAT_VK_MBUTTON, 1); break;
    case PLAT_WM_MBUTTONUP: set_key(PLAT_VK_MBUTTON, 0); break;
    case PLAT_WM_MOUSEMOVE:
        // The class cursor comes back with the move (WM_SETCURSOR).
        if (g_in.cursor_hidden_to_move) {
            g_in.cursor_hidden_to_move = 0;
            apply_cursor();
        }
        break;
    default: break;
    }
}

void plat_key_snapshot(uint8_t out[PLAT_KEY_COUNT])
{
    std::memcpy(out, g_in.keys.data(), PLAT_KEY_COUNT);
}

void plat_key_frame_snapshot(uint8_t out[PLAT_KEY_COUNT])
{
    for (int vk = 0; vk < PLAT_KEY_COUNT; ++vk) out[vk] = framed_state(vk);
    std::memcpy(g_in.framed.data(), out, PLAT_KEY_COUNT);
    g_in.changed.fill(0);
}

void plat_key_release_lost_buttons(void)
{
    uint32_t mask = 0;
    if (!device_buttons(&mask)) return;
    for (const ButtonBit& b : PLAT_BUTTONS)
        if (!(mask & b.sdl_mask)) set_key(b.vk, 0);
}

void plat_key_clear(void)
{
    g_in.keys.fill(0);
    g_in.framed.fill(0);
    g_in.changed.fill(0);
}

int plat_key_async_down(int vk)
{
    if (vk < 0 || vk >= PLAT_KEY_COUNT || !SDL_WasInit(SDL_INIT_VIDEO)) return 0;
    SDL_PumpEvents();
    const uint32_t buttons = SDL_GetMouseState(nullptr, nullptr);
    switch (vk) {
    case PLAT_VK_LBUTTON: return (buttons & SDL_BUTTON_LMASK) != 0;
    case PLAT_VK_RBUTTON: return (buttons & SDL_BUTTON_RMASK) != 0;
    case PLAT_VK_MBUTTON: return (buttons & SDL_BUTTON_MMASK) != 0;
    default: break;
    }
    const uint8_t* state = SDL_GetKeyboardState(nullptr);
    switch (vk) {
    case PLAT_VK_SHIFT: return async_modifier_down(state, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT);
    case PLAT_VK_CONTROL: return async_modifier_down(state, SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL);
    case PLAT_VK_MENU: return async_modifier_down(state, SDL_SCANCODE_LALT, SDL_SCANCODE_RALT);
    default: break;
    }
    const int32_t key = sdl_key_of_vk(vk);
    if (key == SDLK_UNKNOWN) return 0;
    const SDL_Scancode sc = SDL_GetScancodeFromKey(key);
    return sc != SDL_SCANCODE_UNKNOWN && state[sc] != 0;
}

void plat_cursor_show(int show)
{
    g_in.cursor_hidden = show ? 0 : 1;
    if (show) g_in.cursor_hidden_to_move = 0;
    if (SDL_WasInit(SDL_INIT_VIDEO)) apply_cursor();
}

int plat_cursor_visible(void) { return !(g_in.cursor_hidden || g_in.cursor_hidden_to_move); }

void plat_cursor_hide_until_move(void)
{
    g_in.cursor_hidden_to_move = 1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) apply_cursor();
}

int plat_cursor_clip(PlatWindow* window, int on)
{
    SDL_Window* sdl = plat_window_sdl();
    if (!on) {
        g_in.clipped = 0;
        if (sdl) SDL_SetWindowMouseRect(sdl, nullptr);
        return 1;
    }
    if (!sdl || window != plat_window_main()) return 0;
    int32_t w = 0, h = 0;
    plat_window_client_size(window, &w, &h);
    const SDL_Rect r{0, 0, w, h};
    if (SDL_SetWindowMouseRect(sdl, &r) != 0) return 0;
    g_in.clipped = 1;
    return 1;
}

int plat_cursor_clipped(void) { return g_in.clipped; }

// The keyboard snapshot taken once per frame and the "pressed" test against the previous
// frame's (see key.h).
#include "svc/key.h"

#include <cstring>

namespace {

KeyboardState g_key;

bool vk_ok(int vk) { return vk >= 0 && vk < KEY_COUNT; }

}  // namespace

void key_init(void)
{
    g_key = KeyboardState{};
    g_key.cur = g_key.current;
    g_key.prev = g_key.previous;
    plat_key_frame_snapshot(g_key.cur);
}

void key_update(void)
{
    if (!g_key.cur) return;
    std::memcpy(g_key.prev, g_key.cur, KEY_COUNT);
    plat_key_release_lost_buttons();
    plat_key_frame_snapshot(g_key.cur);
}

void key_term(void) {}

int key_is_down(int vk)
{
    return vk_ok(vk) && g_key.cur && (g_key.cur[vk] & PLAT_KEY_DOWN) ? 1 : 0;
}

int key_is_pressed(int vk)
{
    if (!vk_ok(vk) || !g_key.cur) return 0;
    return (g_key.cur[vk] & PLAT_KEY_DOWN) && !(g_key.prev[vk] & PLAT_KEY_DOWN) ? 1 : 0;
}

int key_async_down(int vk) { return vk_ok(vk) ? plat_key_async_down(vk) : 0; }

// input_local: what the window module and the input module of plat/ share
// beyond input.h: the key translation and the input module's part of
// dispatching a window message (tests feed messages through it too).
#pragma once

#include <cstdint>

struct PlatMsg;

// The virtual key of an SDL keycode (0 when none), and the
// side-specific code of a modifier's keycode (0 when not a modifier).
int plat_vk_from_sdl_key(int32_t sdl_keycode);
int plat_vk_side_from_sdl_key(int32_t sdl_keycode);
// The table's and the cursor's part of dispatching a message.
void plat_input_on_message(const PlatMsg* msg);

// Keyboard snapshot per frame: the key table of the messages dispatched so
// far (plat/input.h) copied once per frame, with the previous frame's copy
// beside it, so that a key is "pressed" in the first frame it is down only.
// A press and release that both fall between two frames still read as down
// (and pressed) for one frame and up in the next. The mouse buttons are the
// virtual keys 1 (left) and 2 (right); a button released away from the
// window reads up from the next frame on.
// Main thread only.
#pragma once
#include "plat/input.h"

#include <cstdint>

constexpr int KEY_COUNT = PLAT_KEY_COUNT;

struct KeyboardState {
    uint8_t current[KEY_COUNT];  // bit 7 = down
    uint8_t previous[KEY_COUNT];
    uint8_t* cur;   // -> current
    uint8_t* prev;  // -> previous
};

void key_init(void);
// previous := current, then a fresh snapshot (buttons checked against the
// pointer device first).
void key_update(void);
void key_term(void);

// Queries; 0 for a virtual key outside 0..255.
int key_is_down(int vk);
int key_is_pressed(int vk);
int key_async_down(int vk);

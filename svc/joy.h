// Joystick: the first attached device, polled once per frame. No device is a
// normal state: every query then reads the cleared state, which holds the
// stick at rest and the hat centred, so no direction or button is reported.
// Main thread only.
#pragma once
#include "plat/joystick.h"

#include <cstdint>

struct PlatWindow;

constexpr int JOY_BUTTON_COUNT = PLAT_JOY_BUTTONS;
constexpr int32_t JOY_DIRECTION_THRESHOLD = 900;  // 90 percent of the stick range

struct JoyState {
    PlatJoyState current;
    PlatJoyState previous;
    uint32_t acquired;
};

// Opens the first attached joystick; 1 (no joystick is not an error).
int joy_init(PlatWindow* window);
void joy_term(void);
// While acquired: previous := current, current := the device's state.
void joy_poll(void);

float joy_get_x(void);  // -1.0 .. 1.0
float joy_get_y(void);
int joy_right(void);
int joy_left(void);
int joy_down(void);
int joy_up(void);
// Button tests; 0 for a button outside 0..31. The pad is not used.
int joy_button_down(int pad, int button);
int joy_button_pressed(int pad, int button);
int joy_button_count(void);

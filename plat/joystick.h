// Joystick, on SDL2.
//
// Provides: the first attached joystick, read as a DirectInput-style state:
// two axes scaled to -1000..1000, the first hat as an angle in hundredths of
// a degree clockwise from north (0xFFFFFFFF when centred, also when the
// device has no hat), and 32 buttons as 0x80 (down) or 0.
// Callers rely on: no device being a normal state (plat_joy_open answers 0
// and every read fails without touching the output), and on the state only
// changing in plat_joy_read. Main thread only.
#pragma once
#include <cstdint>

constexpr int PLAT_JOY_BUTTONS = 32;
constexpr int32_t PLAT_JOY_AXIS_MAX = 1000;
constexpr uint32_t PLAT_JOY_POV_CENTRED = 0xFFFFFFFFu;

struct PlatJoyState {
    int32_t x, y;                       // -1000..1000
    uint32_t pov;                       // hundredths of a degree, or centred
    uint8_t buttons[PLAT_JOY_BUTTONS];  // 0x80 = down
};

// Opens the first attached joystick; 1 when one was opened, 0 when none.
int plat_joy_open(void);
// Reads the current state; 1 on success, 0 (output untouched) otherwise.
int plat_joy_read(PlatJoyState* out);
void plat_joy_close(void);
int plat_joy_is_open(void);

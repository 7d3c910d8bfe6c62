// joystick_local: the joystick module's scaling rules, shared with its tests.
#pragma once

#include <cstdint>

// An SDL axis reading scaled to -PLAT_JOY_AXIS_MAX..PLAT_JOY_AXIS_MAX, and an
// SDL hat as a POV angle in hundredths of a degree (PLAT_JOY_POV_CENTRED when centred).
int32_t plat_joy_scale_axis(int16_t raw);
uint32_t plat_joy_pov_from_hat(uint8_t sdl_hat);

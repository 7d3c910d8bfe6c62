// joy_local: the joystick service's test hook.
#pragma once

struct PlatJoyState;

// Takes a state as if the device had delivered it.
void joy_feed_state(const PlatJoyState* state);

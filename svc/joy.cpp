// Joystick polling over plat/joystick.h and the direction and button queries (see joy.h).
#include "svc/joy.h"
#include "svc/joy_local.h"

namespace {

constexpr PlatJoyState rest_state(void)
{
    PlatJoyState s{};
    s.pov = PLAT_JOY_POV_CENTRED;
    return s;
}

JoyState g_joy = {rest_state(), rest_state(), 0};

bool pov_is(uint32_t a, uint32_t b, uint32_t c)
{
    const uint32_t pov = g_joy.current.pov;
    return pov == a || pov == b || pov == c;
}

bool button_ok(int button) { return button >= 0 && button < JOY_BUTTON_COUNT; }

}  // namespace

int joy_init(PlatWindow*)
{
    g_joy = JoyState{};
    g_joy.current = rest_state();
    g_joy.previous = rest_state();
    if (!plat_joy_open()) return 1;  // no joystick is not an error
    g_joy.acquired = 1;
    return 1;
}

void joy_term(void)
{
    plat_joy_close();
    g_joy.acquired = 0;
}

void joy_poll(void)
{
    if (!g_joy.acquired) return;
    PlatJoyState s;
    if (plat_joy_read(&s)) joy_feed_state(&s);
}

void joy_feed_state(const PlatJoyState* state)
{
    g_joy.previous = g_joy.current;
    g_joy.current = *state;
}

float joy_get_x(void) { return static_cast<float>(g_joy.current.x) / 1000.0f; }
float joy_get_y(void) { return static_cast<float>(g_joy.current.y) / 1000.0f; }

int joy_right(void)
{
    return pov_is(4500, 9000, 13500) || g_joy.current.x >= JOY_DIRECTION_THRESHOLD;
}
int joy_left(void)
{
    return pov_is(22500, 27000, 31500) || g_joy.current.x <= -JOY_DIRECTION_THRESHOLD;
}
int joy_down(void)
{
    return pov_is(13500, 18000, 22500) || g_joy.current.y >= JOY_DIRECTION_THRESHOLD;
}
int joy_up(void) { return pov_is(31500, 0, 4500) || g_joy.current.y <= -JOY_DIRECTION_THRESHOLD; }

int joy_button_down(int, int button)
{
    return button_ok(button) && g_joy.current.buttons[button] != 0;
}

int joy_button_pressed(int, int button)
{
    return button_ok(button) && g_joy.current.buttons[button] != 0 &&
           g_joy.previous.buttons[button] == 0;
}

int joy_button_count(void) { return JOY_BUTTON_COUNT; }

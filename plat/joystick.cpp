// The first joystick through SDL2, read as a DirectInput-style state (see joystick.h).
#include "plat/joystick.h"
#include "plat/joystick_local.h"

#include <SDL2/SDL.h>

namespace {

struct JoyDevice {
    SDL_Joystick* joy;
    int subsystem_started;
};

JoyDevice g_joy;

}  // namespace

int32_t plat_joy_scale_axis(int16_t raw)
{
    // -32768 would give -1000.03: held to the range.
    const int32_t v = static_cast<int32_t>(raw) * PLAT_JOY_AXIS_MAX / 32767;
    return v < -PLAT_JOY_AXIS_MAX ? -PLAT_JOY_AXIS_MAX : v;
}

uint32_t plat_joy_pov_from_hat(uint8_t hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return PLAT_JOY_POV_CENTRED;
    }
}

int plat_joy_open(void)
{
    plat_joy_close();
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 0;
    g_joy.subsystem_started = 1;
    // The state is polled each frame; no joystick events in the queue.
    SDL_JoystickEventState(SDL_IGNORE);
    const int n = SDL_NumJoysticks();
    for (int i = 0; i < n && !g_joy.joy; ++i) g_joy.joy = SDL_JoystickOpen(i);
    return g_joy.joy ? 1 : 0;
}

int plat_joy_is_open(void) { return g_joy.joy != nullptr; }

int plat_joy_read(PlatJoyState* out)
{
    if (!g_joy.joy || !SDL_JoystickGetAttached(g_joy.joy)) return 0;
    SDL_JoystickUpdate();
    PlatJoyState s{};
    s.x = SDL_JoystickNumAxes(g_joy.joy) > 0
              ? plat_joy_scale_axis(SDL_JoystickGetAxis(g_joy.joy, 0))
              : 0;
    s.y = SDL_JoystickNumAxes(g_joy.joy) > 1
              ? plat_joy_scale_axis(SDL_JoystickGetAxis(g_joy.joy, 1))
              : 0;
    s.pov = SDL_JoystickNumHats(g_joy.joy) > 0
                ? plat_joy_pov_from_hat(SDL_JoystickGetHat(g_joy.joy, 0))
                : PLAT_JOY_POV_CENTRED;
    const int buttons = SDL_JoystickNumButtons(g_joy.joy);
    for (int b = 0; b < PLAT_JOY_BUTTONS && b < buttons; ++b)
        s.buttons[b] = SDL_JoystickGetButton(g_joy.joy, b) ? 0x80 : 0;
    *out = s;
    return 1;
}

void plat_joy_close(void)
{
    if (g_joy.joy) SDL_JoystickClose(g_joy.joy);
    if (g_joy.subsystem_started) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    g_joy = JoyDevice{};
}

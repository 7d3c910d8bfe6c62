// Joystick scaling rules and the normal no-device state.
#include "plat/joystick.h"
#include "plat/joystick_local.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(PlatJoystick, AxesScaleToPlusMinus1000AndHatsToHundredthsOfADegree)
{
    for (auto [raw, scaled] :
         {std::pair{0, 0}, {32767, 1000}, {-32767, -1000}, {-32768, -1000}, {29491, 900}})
        EXPECT_EQ(plat_joy_scale_axis(raw), scaled) << raw;
    for (auto [hat, pov] : {std::pair{SDL_HAT_CENTERED, PLAT_JOY_POV_CENTRED},
                            {SDL_HAT_UP, 0u},
                            {SDL_HAT_LEFTUP, 31500u}})
        EXPECT_EQ(plat_joy_pov_from_hat(hat), pov) << hat;
}

TEST(PlatJoystick, NoDeviceIsANormalState)
{
    if (plat_joy_open()) GTEST_SKIP() << "a joystick is attached";
    PlatJoyState s{};
    s.x = 123;
    EXPECT_FALSE(plat_joy_read(&s));
    EXPECT_EQ(s.x, 123);  // untouched
    EXPECT_FALSE(plat_joy_is_open());
    plat_joy_close();
}

}  // namespace

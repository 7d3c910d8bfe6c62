// Joystick scaling rules and the normal no-device state.
#include "plat/joystick.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

namespace {

TEST(PlatJoystick, AxesScaleToPlusMinus1000)
{
    EXPECT_EQ(plat_joy_scale_axis(0), 0);
    EXPECT_EQ(plat_joy_scale_axis(32767), 1000);
    EXPECT_EQ(plat_joy_scale_axis(-32767), -1000);
    EXPECT_EQ(plat_joy_scale_axis(-32768), -1000);
    EXPECT_EQ(plat_joy_scale_axis(29491), 900);
}

TEST(PlatJoystick, HatBecomesHundredthsOfADegree)
{
    EXPECT_EQ(plat_joy_pov_from_hat(SDL_HAT_CENTERED), PLAT_JOY_POV_CENTRED);
    EXPECT_EQ(plat_joy_pov_from_hat(SDL_HAT_UP), 0u);
    EXPECT_EQ(plat_joy_pov_from_hat(SDL_HAT_RIGHT), 9000u);
    EXPECT_EQ(plat_joy_pov_from_hat(SDL_HAT_LEFTUP), 31500u);
    EXPECT_EQ(plat_joy_pov_from_hat(SDL_HAT_LEFTDOWN), 22500u);
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

// Keyboard snapshot per frame, mouse position, wheel and cursor, joystick directions and buttons.
#include "svc/joy.h"
#include "svc/joy_local.h"
#include "svc/key.h"
#include "svc/mouse.h"
#include "plat/input.h"
#include "plat/window.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <vector>

namespace {

void key_message(int vk, bool down)
{
    const PlatMsg m{nullptr, down ? PLAT_WM_KEYDOWN : PLAT_WM_KEYUP, static_cast<uintptr_t>(vk), 0,
                    static_cast<uint32_t>(vk)};
    plat_dispatch_message(&m);
}

// Messages between frames ('d' down, 'u' up), then what the frame reads: 'P'
// pressed, 'D' down, '-' up. A held key is pressed in its first frame only;
// nothing shorter than a frame is lost.
TEST(KeyTest, PressesAndReleasesWithinOneFrameStillReachAFrame)
{
    for (const char* script :
         {"d:P :D u:-", "du:P :-", "d:P ud:- :P :D", "dud:P :D u:-", "d:P dd:D udu:-"}) {
        plat_key_clear();
        key_init();
        std::istringstream frames(script);
        for (std::string f; frames >> f;) {
            for (char m : f.substr(0, f.size() - 2)) key_message('Q', m == 'd');
            key_update();
            EXPECT_EQ(key_is_pressed('Q') ? 'P' : key_is_down('Q') ? 'D' : '-', f.back()) << script;
        }
    }
    // The mouse buttons are keys 1 and 2; keys outside the table (257: wraps to 1) answer nothing.
    const PlatMsg down{nullptr, PLAT_WM_LBUTTONDOWN, 0, 0, 0};
    plat_dispatch_message(&down);
    key_update();
    EXPECT_TRUE(key_is_pressed(PLAT_VK_LBUTTON));
    EXPECT_FALSE(key_is_down(PLAT_VK_RBUTTON));
    for (int vk : {-1, 257, 100000})
        EXPECT_FALSE(key_is_down(vk) || key_is_pressed(vk) || key_async_down(vk)) << vk;
}

TEST(Mouse, Unsigned16BitPositionsTheLatestWheelOfAFrameAndAutoHideAfter150QuietFrames)
{
    mouse_init();
    mouse_on_move(plat_pack_pos(10, 20), 0, 0);
    mouse_on_move(plat_pack_pos(-1, -2), 0, 0);
    uint32_t x = 0, y = 0, px = 0, py = 0;
    mouse_get_pos(&x, &y);
    mouse_get_prev_pos(&px, &py);
    EXPECT_EQ(std::tuple(x, y, px, py), std::tuple(65535u, 65534u, 10u, 20u));
    mouse_init();  // a start forgets the last position
    mouse_get_pos(&x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(0u, 0u));
    mouse_on_wheel(static_cast<uintptr_t>(120) << 16, 0);
    mouse_on_wheel(static_cast<uintptr_t>(uint16_t(-240)) << 16, 0);
    mouse_update();
    EXPECT_EQ(mouse_get_wheel(), -240);
    mouse_update();
    EXPECT_EQ(mouse_get_wheel(), 0);
    mouse_init();
    mouse_set_cursor_mode(MOUSE_CURSOR_AUTO_HIDE);
    plat_cursor_show(1);
    // Starts idle: hidden until the mouse moves.
    mouse_update();
    EXPECT_TRUE(mouse_cursor_hidden());
    mouse_on_move(plat_pack_pos(1, 1), 0, 0);
    const PlatMsg move{nullptr, PLAT_WM_MOUSEMOVE, 0, plat_pack_pos(1, 1), 0};
    plat_dispatch_message(&move);
    EXPECT_TRUE(plat_cursor_visible());
    mouse_update();  // while shown, the cursor is left alone
    EXPECT_EQ(std::pair(mouse_cursor_hidden(), plat_cursor_visible()), std::pair(0, 1));
    for (uint32_t i = 1; i < MOUSE_IDLE_FRAMES; ++i) mouse_update();
    EXPECT_EQ(std::pair(mouse_cursor_hidden(), plat_cursor_visible()), std::pair(0, 1));
    mouse_update();
    EXPECT_TRUE(mouse_cursor_hidden());
    EXPECT_FALSE(plat_cursor_visible());
    plat_dispatch_message(&move);
    EXPECT_TRUE(plat_cursor_visible());
}

TEST(Joy, NoDeviceThenHatAnglesStickThresholdsAndButtonsPressedOnce)
{
    ASSERT_EQ(joy_init(nullptr), 1);
    joy_poll();
    EXPECT_FALSE(joy_up() || joy_down() || joy_left() || joy_right());
    EXPECT_EQ(std::tuple(joy_get_x(), joy_button_count()), std::tuple(0.0f, 32));
    joy_term();
    joy_init(nullptr);
    struct Case {
        PlatJoyState s;
        int up, down, left, right;
    };
    const Case cases[] = {
        {{0, 0, 0, {}}, 1, 0, 0, 0},
        {{0, 0, 4500, {}}, 1, 0, 0, 1},
        {{0, 0, 13500, {}}, 0, 1, 0, 1},
        {{0, 0, 22500, {}}, 0, 1, 1, 0},
        {{0, 0, 31500, {}}, 1, 0, 1, 0},
        {{900, 0, PLAT_JOY_POV_CENTRED, {}}, 0, 0, 0, 1},
        {{899, -899, PLAT_JOY_POV_CENTRED, {}}, 0, 0, 0, 0},
        {{-900, 900, PLAT_JOY_POV_CENTRED, {}}, 0, 1, 1, 0},
        {{0, -1000, PLAT_JOY_POV_CENTRED, {}}, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        joy_feed_state(&c.s);
        EXPECT_EQ((std::vector<int>{joy_up(), joy_down(), joy_left(), joy_right()}),
                  (std::vector<int>{c.up, c.down, c.left, c.right}))
            << c.s.x << "," << c.s.y << "," << c.s.pov;
    }
    PlatJoyState s{-1000, 500, PLAT_JOY_POV_CENTRED, {}};
    joy_feed_state(&s);
    EXPECT_EQ(std::pair(joy_get_x(), joy_get_y()), std::pair(-1.0f, 0.5f));
    // A button is pressed in its first poll only; buttons outside the 32 answer nothing.
    s = {0, 0, PLAT_JOY_POV_CENTRED, {}};
    s.buttons[31] = 0x80;
    joy_feed_state(&s);
    const auto b31 = [] {
        return std::pair<bool, bool>(joy_button_down(0, 31), joy_button_pressed(0, 31));
    };
    EXPECT_EQ(b31(), std::pair(true, true));
    joy_feed_state(&s);
    EXPECT_EQ(b31(), std::pair(true, false));
    for (int b : {-1, 32, 1000})
        EXPECT_FALSE(joy_button_down(0, b) || joy_button_pressed(0, b)) << b;
}

}  // namespace

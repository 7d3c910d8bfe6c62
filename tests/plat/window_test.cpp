// Messages from synthetic SDL events, dispatch, the key table, quit and the end signals.
#include "plat/dialogs.h"
#include "plat/dialogs_local.h"
#include "plat/gfx.h"
#include "plat/input.h"
#include "plat/input_local.h"
#include "plat/window.h"

#include <epoxy/gl.h>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <vector>

namespace {

using Kinds = std::vector<uint32_t>;
Kinds g_seen;  // the messages the window procedure was given

intptr_t record_proc(PlatWindow* w, uint32_t m, uintptr_t wp, intptr_t lp)
{
    g_seen.push_back(m);
    if (m == PLAT_WM_DESTROY || m == PLAT_WM_ENDSESSION) plat_post_quit_message(0);
    return plat_def_window_proc(w, m, wp, lp);
}

Kinds kinds(const std::vector<PlatMsg>& msgs)
{
    Kinds out;
    for (const PlatMsg& m : msgs) out.push_back(m.message);
    return out;
}

class PlatWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_seen.clear();
        plat_key_clear();
        win_ = plat_window_create("quorvel", 800, 600, record_proc);
        ASSERT_NE(win_, nullptr);
        drain();
    }
    void TearDown() override { plat_video_end(); }
    // Takes every queued message, dispatching each; answers them in order.
    std::vector<PlatMsg> drain()
    {
        std::vector<PlatMsg> out;
        PlatMsg m;
        while (plat_peek_message(&m)) {
            out.push_back(m);
            if (m.message != PLAT_WM_QUIT) plat_dispatch_message(&m);
        }
        return out;
    }
    // Every event kind pushed here keeps its window id where a window event does.
    static void push(SDL_Event e)
    {
        e.window.windowID = SDL_GetWindowID(plat_window_sdl());
        SDL_PushEvent(&e);
    }
    static void push_motion(int x, int y)
    {
        push({.motion = {SDL_MOUSEMOTION, 0, 0, 0, 0, x, y, 0, 0}});
    }
    static void push_button(uint8_t button, bool down, int x, int y)
    {
        const uint32_t type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        push({.button = {type, 0, 0, 0, button, down, 1, 0, x, y}});
    }
    static void push_key(SDL_Keycode key, bool down)
    {
        const uint32_t type = down ? SDL_KEYDOWN : SDL_KEYUP;
        push({.key = {type, 0, 0, down, 0, 0, 0, {SDL_GetScancodeFromKey(key), key, 0, 0}}});
    }
    static void push_window(uint8_t event)
    {
        push({.window = {SDL_WINDOWEVENT, 0, 0, event, 0, 0, 0, 0, 0}});
    }
    static uint8_t key(int vk)
    {
        uint8_t t[PLAT_KEY_COUNT];
        plat_key_snapshot(t);
        return t[vk];
    }
    PlatWindow* win_ = nullptr;
};

TEST_F(PlatWindowTest, MovesMergeButNotAcrossAClickAndWheelStepsAre120)
{
    push_motion(1, 2);
    push_motion(3, 4);
    push_motion(300, 200);
    const auto msgs = drain();
    ASSERT_EQ(kinds(msgs), Kinds{PLAT_WM_MOUSEMOVE});
    EXPECT_EQ(msgs[0].lparam, plat_pack_pos(300, 200));
    // Around a click they stay apart, one message per pass; the key table
    // sees the button only when it is dispatched.
    push_motion(10, 10);
    push_button(SDL_BUTTON_LEFT, true, 11, 12);
    push_motion(20, 20);
    PlatMsg m;
    for (uint32_t want : {PLAT_WM_MOUSEMOVE, PLAT_WM_LBUTTONDOWN}) {
        ASSERT_TRUE(plat_peek_message(&m));
        EXPECT_EQ(m.message, want);
    }
    EXPECT_EQ(m.lparam, plat_pack_pos(11, 12));
    EXPECT_EQ(key(PLAT_VK_LBUTTON), 0);
    plat_dispatch_message(&m);
    EXPECT_EQ(key(PLAT_VK_LBUTTON), PLAT_KEY_DOWN);
    ASSERT_TRUE(plat_peek_message(&m));
    EXPECT_EQ(m.message, PLAT_WM_MOUSEMOVE);
    EXPECT_FALSE(plat_peek_message(&m));
    // The wheel carries multiples of 120 in the high word.
    for (int notches : {1, -2}) {
        SDL_Event e{SDL_MOUSEWHEEL};
        e.wheel.y = notches;
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        push(e);
        const auto msgs = drain();
        ASSERT_EQ(kinds(msgs), Kinds{PLAT_WM_MOUSEWHEEL});
        EXPECT_EQ(static_cast<int16_t>(msgs[0].wparam >> 16), notches * 120);
    }
}

// The right button as the left one: in the table once dispatched, out once let go (keys reach it
// in the modifier case below, the letters through the program in tests/tool).
TEST_F(PlatWindowTest, TheRightButtonReachesTheTableAtDispatch)
{
    for (bool down : {true, false}) {
        push_button(SDL_BUTTON_RIGHT, down, 0, 0);
        EXPECT_EQ(key(PLAT_VK_RBUTTON), down ? 0 : PLAT_KEY_DOWN);
        drain();
        EXPECT_EQ(key(PLAT_VK_RBUTTON), down ? PLAT_KEY_DOWN : 0);
    }
}

TEST_F(PlatWindowTest, ModifiersSetGenericAndSideCodes)
{
    // Per step: the keys pressed (+) or released (-), then SHIFT, LSHIFT, RSHIFT,
    // CONTROL and RCONTROL down or not; SHIFT stays while the right one is held.
    struct Step {
        std::vector<std::pair<SDL_Keycode, bool>> keys;
        std::array<bool, 5> down;
    } steps[] = {
        {{{SDLK_LSHIFT, true}}, {1, 1, 0, 0, 0}},
        {{{SDLK_RSHIFT, true}, {SDLK_LSHIFT, false}}, {1, 0, 1, 0, 0}},
        {{{SDLK_RSHIFT, false}, {SDLK_RCTRL, true}}, {0, 0, 0, 1, 1}},
    };
    for (const Step& s : steps) {
        for (auto [k, down] : s.keys) push_key(k, down);
        drain();
        const int vk[5] = {PLAT_VK_SHIFT, PLAT_VK_LSHIFT, PLAT_VK_RSHIFT, PLAT_VK_CONTROL,
                           PLAT_VK_RCONTROL};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(key(vk[i]), s.down[i] ? PLAT_KEY_DOWN : 0) << vk[i];
    }
}

TEST_F(PlatWindowTest, CloseDestroysTheWindowAndEndsInQuit)
{
    push_window(SDL_WINDOWEVENT_CLOSE);
    push({SDL_QUIT});
    EXPECT_EQ(kinds(drain()), (Kinds{PLAT_WM_CLOSE, PLAT_WM_QUIT}));  // SDL_QUIT adds nothing
    EXPECT_EQ(g_seen, (Kinds{PLAT_WM_CLOSE, PLAT_WM_DESTROY}));
    EXPECT_FALSE(plat_window_is_alive(win_));
    EXPECT_NE(plat_window_sdl(), nullptr);  // kept for the device until video ends
}

// An interrupt arrives as the end of the session; a hang-up ignored before the handlers were put
// in place stays ignored (as under nohup).
TEST_F(PlatWindowTest, InterruptArrivesAsEndSessionThenQuitAnIgnoredHangUpStaysIgnored)
{
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    plat_install_term_handler();
    struct sigaction hup {};
    sigaction(SIGHUP, nullptr, &hup);
    std::signal(SIGHUP, SIG_DFL);
    EXPECT_EQ(hup.sa_handler, SIG_IGN);
    std::raise(SIGINT);
    const auto msgs = drain();
    ASSERT_EQ(kinds(msgs), (Kinds{PLAT_WM_ENDSESSION, PLAT_WM_QUIT}));
    EXPECT_EQ(msgs[0].wparam, 1u);
}

// A cursor hidden until the next move comes back with it in the mouse tests (tests/svc).
TEST_F(PlatWindowTest, AnExplicitHideOutlastsAMoveAndClipFollowsTheWindow)
{
    plat_cursor_show(0);
    push_motion(6, 6);
    drain();
    EXPECT_FALSE(plat_cursor_visible());
    plat_cursor_show(1);
    EXPECT_TRUE(plat_cursor_clip(win_, 1));
    EXPECT_TRUE(plat_cursor_clipped());
    EXPECT_TRUE(plat_cursor_clip(nullptr, 0));
    EXPECT_FALSE(plat_cursor_clipped());
}

// Also when a second dialog opens with the next frame half drawn; unexposed, nothing is drawn.
// The exposure a closed dialog leaves is answered when the next one opens.
TEST_F(PlatWindowTest, ExposedWindowShowsTheLastFrameWhileADialogRuns)
{
    GfxPresentParams pp{800, 600, GFX_FMT_UNKNOWN, 0, 0, 0};
    ASSERT_EQ(gfx_device_create(plat_window_sdl(), &pp), 1);
    gfx_clear(GFX_CLEAR_TARGET, 0xFFFF0000u, 1, 0);
    ASSERT_EQ(gfx_present(), GFX_OK);
    plat_dialog_hold_frame();
    gfx_clear(GFX_CLEAR_TARGET, 0xFF00FF00u, 1, 0);
    EXPECT_EQ(plat_dialog_hold_frame(), 0);
    EXPECT_EQ(plat_dialog_redraw_if_exposed(), 0);
    push_window(SDL_WINDOWEVENT_EXPOSED);
    EXPECT_EQ(plat_dialog_hold_frame(), 1);
    EXPECT_EQ(plat_dialog_redraw_if_exposed(), 0);
    push_window(SDL_WINDOWEVENT_EXPOSED);
    EXPECT_EQ(plat_dialog_redraw_if_exposed(), 1);
    uint8_t px[4] = {};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_FRONT);
    glReadPixels(400, 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0] * 256 + px[1], 255 * 256);
    gfx_device_destroy();
}

TEST(PlatKeyMap, LayoutKeysAndSides)
{
    for (auto [sdl, vk] : {std::pair{SDLK_a, int('A')},
                           {SDLK_z, 'Z'},
                           {SDLK_0, '0'},
                           {SDLK_SPACE, PLAT_VK_SPACE},
                           {SDLK_RALT, PLAT_VK_MENU},
                           {SDLK_UNKNOWN, 0}})
        EXPECT_EQ(plat_vk_from_sdl_key(sdl), vk) << sdl;
    EXPECT_EQ(plat_vk_side_from_sdl_key(SDLK_RALT), PLAT_VK_RMENU);
    EXPECT_EQ(plat_vk_side_from_sdl_key(SDLK_a), 0);
    EXPECT_EQ(std::pair(plat_key_async_down(-1), plat_key_async_down(256)), std::pair(0, 0));
}

}  // namespace

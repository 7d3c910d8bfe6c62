// Window 0 over the offscreen driver: client size, title, records.
#include "app/app_main.h"
#include "app/app_main_local.h"
#include "svc/window.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <tuple>

namespace {

intptr_t quiet_proc(PlatWindow* w, uint32_t m, uintptr_t wp, intptr_t lp)
{
    return plat_def_window_proc(w, m, wp, lp);
}

class AppWindow : public ::testing::Test {
protected:
    void TearDown() override { plat_video_end(); }
};

TEST_F(AppWindow, ClientAreaIsTheChosenSizeAResetGoesToTheStoredCornerOnlyWindowZeroExists)
{
    app_choose_screen_size();
    // The offscreen driver's 1024 x 768 desktop.
    EXPECT_EQ(std::pair(app_get_screen_width(), app_get_screen_height()), std::pair(800, 600));
    ASSERT_EQ(window_create(quiet_proc), 1);
    WindowRec* r = window_get(0);
    ASSERT_NE(r->handle, nullptr);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(plat_window_client_size(r->handle, &w, &h));
    EXPECT_EQ(std::pair(w, h), std::pair(800, 600));
    EXPECT_EQ(std::tuple(r->client_width, r->style, r->windowed, r->rect.left, r->rect.top),
              std::tuple(800, WINDOW_STYLE_CREATE, 1u, 0, 0));
    EXPECT_GE(r->outer_width, 800);
    EXPECT_STREQ(SDL_GetWindowTitle(plat_window_sdl()), "quorvel");
    EXPECT_FALSE(SDL_GetWindowFlags(plat_window_sdl()) & SDL_WINDOW_RESIZABLE);
    // Only window 0 exists: calls naming another leave it as it is.
    window_disable(0);
    r->rect = {40, 30, 0, 0};
    window_enable(1);
    window_read_rect(7);
    window_reset_pos_and_size(-3);
    EXPECT_EQ(std::tuple(plat_window_enabled(r->handle), r->style, r->rect.left, r->rect.right),
              std::tuple(0, WINDOW_STYLE_CREATE, 40, 0));
    EXPECT_TRUE(!window_get(1) && !window_get(-1) && !window_forget(1));
    // A reset puts the window at its stored corner, where reading its rectangle finds it.
    window_reset_pos_and_size(0);
    window_read_rect(0);
    EXPECT_EQ(std::tuple(r->style, r->rect.left, r->rect.top, r->rect.right - r->outer_width),
              std::tuple(WINDOW_STYLE_RESET, 40, 30, 40));
    window_enable(0);
    EXPECT_TRUE(plat_window_enabled(r->handle));
    EXPECT_EQ(window_forget(0)->handle, nullptr);
}

}  // namespace

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

TEST_F(AppWindow, ClientAreaIsTheChosenSizeAResetUsesTheClearedRectOnlyWindowZeroExists)
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
    window_reset_pos_and_size(0);
    EXPECT_EQ(r->style, WINDOW_STYLE_RESET);
    window_disable(0);
    EXPECT_FALSE(plat_window_enabled(r->handle));
    window_enable(0);
    EXPECT_TRUE(plat_window_enabled(r->handle));
    EXPECT_EQ(window_forget(0)->handle, nullptr);
    EXPECT_TRUE(!window_get(1) && !window_get(-1) && !window_forget(1));  // only window 0
    window_enable(1);                                                     // no effect, no crash
    window_read_rect(7);
    window_reset_pos_and_size(-3);
}

}  // namespace

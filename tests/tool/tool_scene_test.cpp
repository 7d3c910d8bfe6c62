// The tool scene on the offscreen display at 800 x 600 with the built data
// set. Each test runs the display in a forked child (the test process itself
// never starts it); the child's failures are printed there and its exit
// status carries them back.
#include "child_proc.h"
#include "tool/tool_frame.h"
#include "app/app_main.h"
#include "app/key.h"
#include "app/mouse.h"
#include "disp/disp_main.h"
#include "plat/gfx.h"
#include "plat/input.h"
#include "plat/window.h"
#include "res/res.h"
#include "tool/tool.h"
#include "tool/tool_local.h"
#include "tool/tool_palette.h"
#include "util/perf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int k_w = 800, k_h = 600;

class ToolScene : public ::testing::Test {
protected:
    void* window = nullptr;

    // Runs the scene set-up, the body and the tear-down in a child process.
    template <class Body>
    void run(const Body& body)
    {
        const fs::path bin = tool_test_built_dir();
        if (!fs::exists(bin / "data" / "grp" / "apple.bin")) GTEST_SKIP() << "no built data";
        const pid_t pid = fork_child([&] {
            fs::current_path(bin);  // the tool reads ./data
            start();
            if (!HasFailure()) body();
            stop();
            std::fflush(stdout);
            return HasFailure() ? 1 : 0;
        });
        EXPECT_EQ(finish_child(pid, std::chrono::minutes(5)), 0)
            << "see the child's failures above";
    }
    void start()
    {
        window = gfx_test_window_create(k_w, k_h);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(disp_boot(window, 0, k_w, k_h, 32, nullptr), 1);
        perf_timer_init(30);
        plat_key_clear();
        key_init();
        mouse_init();
        tool_init();
        for (int i = 0; i < 5000 && tool_step() != TOOL_STEP_RUN; ++i) frame();
        ASSERT_EQ(tool_step(), uint32_t(TOOL_STEP_RUN));
        frame();
    }
    void stop()
    {
        if (!window) return;
        tool_term();
        disp_shutdown();
        gfx_test_window_destroy(window);
        perf_timer_term();
    }
    void frame() { tool_test_frame(); }
    void move(int x, int y) { mouse_on_move(plat_pack_pos(x, y), 0, 0); }
    void message(uint32_t msg, uintptr_t wparam = 0)
    {
        const PlatMsg m{nullptr, msg, wparam, 0, wparam < 256 ? uint32_t(wparam) : 0};
        plat_input_on_message(&m);
    }
    void click(int x, int y)
    {
        move(x, y);
        frame();
        message(PLAT_WM_LBUTTONDOWN);
        frame();
        message(PLAT_WM_LBUTTONUP);
        frame();
    }
    void key(int vk)
    {
        message(PLAT_WM_KEYDOWN, uintptr_t(vk));
        frame();
        message(PLAT_WM_KEYUP, uintptr_t(vk));
        frame();
    }

    // Pixels of a rectangle as 0xRRGGBB (rows from the top).
    static std::vector<uint32_t> pixels(int x, int y, int w, int h)
    {
        std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
        gfx_read_pixels(x, y, w, h, px.data(), w * 4);
        std::vector<uint32_t> out(size_t(w) * size_t(h));
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = uint32_t(px[i * 4 + 2]) << 16 | uint32_t(px[i * 4 + 1]) << 8 | px[i * 4];
        return out;
    }
};

}  // namespace

// The help text (green, lower right) and the buttons are on screen.
TEST_F(ToolScene, HelpTextAndButtonsShow)
{
    run([&] {
        int green = 0;
        for (uint32_t p : pixels(500, 560, 298, 38))
            if ((p & 0xFF00FF) < 0x300030 && (p & 0xFF00) > 0xA000) ++green;
        EXPECT_GT(green, 50);
        // The right edge outside the picture is black except for the buttons.
        int lit = 0;
        for (uint32_t p : pixels(760, 56, 32, 112))
            if (p != 0) ++lit;
        EXPECT_GT(lit, 200);
    });
}

// The palette's previews are drawn inside their cells (the cull distance
// reaches z = 2500), page arrows turn pages, a click elsewhere closes it.
TEST_F(ToolScene, PaletteShowsTurningPreviews)
{
    run([&] {
        click(776, 152);
        ASSERT_EQ(tool_palette_open(), 1);
        move(700, 500);  // away from every cell: all squares grey
        frame();
        int model = 0;
        for (uint32_t p : pixels(474, 138, 62, 62))
            if (p != 0xC0C0C0) ++model;
        EXPECT_GT(model, 200);
        click(696, 424);
        EXPECT_EQ(tool_palette_page(), 1u);
        click(696, 424);  // the last page: stays
        EXPECT_EQ(tool_palette_page(), 1u);
        EXPECT_EQ(tool_palette_open(), 1);
        click(504, 424);
        EXPECT_EQ(tool_palette_page(), 0u);
        click(100, 100);
        EXPECT_EQ(tool_palette_open(), 0);
        click(776, 152);  // the page survives closing
        EXPECT_EQ(tool_palette_page(), 0u);
    });
}

// Loading fits the background; T drags it, H fits it again, L toggles the lighting.
TEST_F(ToolScene, KeysHAndLAndTheBackgroundDrag)
{
    run([&] {
        EXPECT_GE(res_mesh_count(), 17);  // two palette pages
        EXPECT_EQ(tool_pic_width(tool_background_tex()), 1024);
        EXPECT_NE(res_crop_find("icon", "disk"), 0u);
        float ox = 0, oy = 0;
        tool_get_bg_offset(&ox, &oy);
        EXPECT_FLOAT_EQ(tool_get_bg_scale(), 0.5859375f);
        EXPECT_FLOAT_EQ(ox, 300);
        EXPECT_FLOAT_EQ(oy, 300);
        // The drag starts from the position before the latest move: two moves
        // to the same point make that point.
        move(100, 500);
        move(100, 500);
        frame();
        message(PLAT_WM_KEYDOWN, 'T');
        message(PLAT_WM_LBUTTONDOWN);
        frame();
        move(150, 530);
        frame();
        tool_get_bg_offset(&ox, &oy);
        EXPECT_FLOAT_EQ(ox, 350);
        EXPECT_FLOAT_EQ(oy, 330);
        message(PLAT_WM_KEYUP, 'T');  // letting go of T stops the move at once
        move(200, 560);
        frame();
        tool_get_bg_offset(&ox, &oy);
        EXPECT_FLOAT_EQ(ox, 350);
        message(PLAT_WM_LBUTTONUP);
        frame();
        key('H');
        tool_get_bg_offset(&ox, &oy);
        EXPECT_FLOAT_EQ(ox, 300);
        EXPECT_FLOAT_EQ(tool_get_bg_scale(), 0.5859375f);
        EXPECT_EQ(tool_get_lighting(), 1u);
        key('L');
        EXPECT_EQ(tool_get_lighting(), 0u);
        key('L');
        EXPECT_EQ(tool_get_lighting(), 1u);
    });
}

// The tool scene on the offscreen display with the built data set, each test in a forked child
// whose exit status carries its failures back (the test process never starts the display).
#include "child_proc.h"
#include "plat/gfx.h"
#include "plat/input.h"
#include "plat/input_local.h"
#include "plat/window.h"
#include "tool/tool_frame.h"
#include "tool/tool_local.h"

#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr int TOOL_SCENE_W = 800, TOOL_SCENE_H = 600;

class ToolScene : public ::testing::Test {
protected:
    void* window = nullptr;

    template <class Body>
    void run(const Body& body)
    {
        const fs::path bin = tool_test_built_dir();
        const fs::path apple = bin / "data" / "grp" / "apple.bin";
        ASSERT_TRUE(fs::exists(apple)) << tool_test_not_built(apple);
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
        window = gfx_test_window_create(TOOL_SCENE_W, TOOL_SCENE_H);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(disp_boot(window, 0, TOOL_SCENE_W, TOOL_SCENE_H, 32, nullptr), 1);
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

    static std::tuple<float, float, float> bg()
    {
        float ox = 0, oy = 0;
        tool_get_bg_offset(&ox, &oy);
        return {ox, oy, tool_get_bg_scale()};
    }
    // With key `vk` held, the pointer jumps to (ax, ay), the left button goes down there and the
    // pointer moves to (bx, by): the background on the press frame and after the move.
    std::pair<std::tuple<float, float, float>, std::tuple<float, float, float>>
    jump_and_drag(int vk, int ax, int ay, int bx, int by, uint32_t press = PLAT_WM_LBUTTONDOWN)
    {
        move(ax, ay);
        message(PLAT_WM_KEYDOWN, uintptr_t(vk));
        message(press);
        frame();
        const auto pressed = bg();
        move(bx, by);
        frame();
        return {pressed, bg()};
    }
    // Pixels (0xRRGGBB) of a rectangle for which pred holds.
    template <class Pred>
    static int count_pixels(int x, int y, int w, int h, Pred pred)
    {
        std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
        gfx_read_pixels(x, y, w, h, px.data(), w * 4);
        int n = 0;
        for (size_t i = 0; i < px.size(); i += 4)
            n += pred(uint32_t(px[i + 2]) << 16 | uint32_t(px[i + 1]) << 8 | px[i]) ? 1 : 0;
        return n;
    }
};

}  // namespace

// Once loaded, the help text (green, lower right) and the buttons show and the background is
// fitted. The palette's previews show in their cells (culling reaches z = 2500), its arrows turn
// pages and a click elsewhere closes it. T and S with the left button, or SPACE with the left or
// the right one, drag the background from where the button went down, H fits it again, L toggles
// the lighting.
TEST_F(ToolScene, HelpButtonsPaletteKeysAndTheBackgroundDrag)
{
    run([&] {
        const auto green = [](uint32_t p) {
            return (p & 0xFF00FF) < 0x300030 && (p & 0xFF00) > 0xA000;
        };
        EXPECT_GT(count_pixels(500, 560, 298, 38, green), 50);
        // The right edge outside the picture is black except for the buttons.
        EXPECT_GT(count_pixels(760, 56, 32, 112, [](uint32_t p) { return p != 0; }), 200);
        click(776, 152);
        ASSERT_EQ(tool_palette_open(), 1);
        move(700, 500);  // away from every cell: all squares grey
        frame();
        EXPECT_GT(count_pixels(474, 138, 62, 62, [](uint32_t p) { return p != 0xC0C0C0; }), 200);
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
        click(100, 100);
        const auto fitted = std::tuple(300.0f, 300.0f, 0.5859375f);
        EXPECT_EQ(bg(), fitted);
        // The pointer jumps to the press: the drag starts there, not where the pointer was.
        const auto moved = std::tuple(350.0f, 330.0f, 0.5859375f);
        EXPECT_EQ(jump_and_drag('T', 100, 500, 150, 530), std::pair(fitted, moved));
        message(PLAT_WM_KEYUP, 'T');  // letting go of T stops the move at once
        move(200, 560);
        frame();
        EXPECT_EQ(bg(), moved);
        message(PLAT_WM_LBUTTONUP);
        frame();
        // S with a press right after a jump: 64 pixels up from the press add 64 / 1024.
        EXPECT_EQ(jump_and_drag('S', 400, 100, 400, 36),
                  std::pair(moved, std::tuple(350.0f, 330.0f, 0.6484375f)));
        message(PLAT_WM_LBUTTONUP);
        message(PLAT_WM_KEYUP, 'S');
        frame();
        key('H');
        EXPECT_EQ(bg(), fitted);
        EXPECT_EQ(tool_get_lighting(), 1u);
        key('L');
        EXPECT_EQ(tool_get_lighting(), 0u);
        key('L');
        EXPECT_EQ(tool_get_lighting(), 1u);
        // SPACE moves the picture with the left button and scales it with the right one.
        EXPECT_EQ(jump_and_drag(PLAT_VK_SPACE, 100, 500, 150, 530).second, moved);
        message(PLAT_WM_LBUTTONUP);
        frame();
        EXPECT_EQ(jump_and_drag(PLAT_VK_SPACE, 400, 100, 400, 36, PLAT_WM_RBUTTONDOWN).second,
                  std::tuple(350.0f, 330.0f, 0.6484375f));
    });
}

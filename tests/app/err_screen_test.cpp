// The fatal error screen: 30 seconds on the manual clock then exit code 1, quit messages, the
// stored text's bounds, both regions' rows as queued and as drawn.
#include <gmock/gmock.h>

#include <cstring>

#include "app/app_main.h"
#include "app/app_main_local.h"
#include "app/err_screen.h"
#include "app/err_screen_local.h"
#include "svc/textlist.h"
#include "child_proc.h"
#include "app/disp_main.h"
#include "plat/gfx.h"
#include "plat/time.h"
#include "plat/window.h"
#include "util/fps_ctrl.h"

namespace {

using namespace std::chrono_literals;

struct Line {
    uint32_t font, align, size;
    int32_t x, y;
    std::string text;
    bool operator==(const Line&) const = default;
};
void PrintTo(const Line& l, std::ostream* os)
{
    *os << l.font << " " << l.align << " " << l.size << " " << l.x << "," << l.y << " " << l.text;
}

std::vector<Line> drawn_lines()
{
    textlist_reset(disp_get_d3dx_text_drawlist());
    err_screen_draw();
    std::vector<Line> out;
    for (const uint8_t* p = textlist_get(disp_get_d3dx_text_drawlist()); p && p[0] == 'H';) {
        uint32_t f[10];  // mark, font, colour, align, size, size, x, y, length, field
        std::memcpy(f, p, sizeof f);
        out.push_back({f[1], f[3], f[4], int32_t(f[6]), int32_t(f[7]),
                       std::string(reinterpret_cast<const char*>(p + 40), f[8])});
        p += 40 + f[9];
    }
    return out;
}

int g_exit_code;
uint32_t g_exit_ms;
void record_exit(int code)
{
    g_exit_code = code;
    g_exit_ms = plat_time_ms();
}

class ErrScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        app_choose_screen_size();
        window_ = gfx_test_window_create(w(), h());
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(disp_boot(window_, 0, w(), h(), 32, nullptr), 1);
        err_info_clear();
        err_screen_set_exit_hook(record_exit);
        g_exit_code = -1;
        plat_time_set_manual(1);
        // Rendering 1,875 frames per screen is slow: on only where frames or pixels are read.
        disp_set_render_enable(0);
    }
    void TearDown() override
    {
        plat_time_set_manual(0);
        plat_time_set_sleep_observer(nullptr, nullptr);
        err_screen_set_exit_hook(nullptr);
        app_set_region(0);
        err_info_clear();
        disp_shutdown();
        gfx_test_window_destroy(window_);
    }
    int w() const { return app_get_screen_width(); }
    int h() const { return app_get_screen_height(); }
    void* window_ = nullptr;
};

int g_sleeps;
void quit_after_100_sleeps(uint32_t, void*)
{
    if (++g_sleeps == 100) plat_post_quit_message(0);
}

}  // namespace

TEST_F(ErrScreen, ShowsForThirtySecondsThenExitsWithOne)
{
    disp_set_render_enable(1);
    const uint32_t t0 = mmtimer_now();
    const uint32_t frames = app_disp_frame_count();
    err_screen_run(3, 256, 7, "bgm01.wav");
    EXPECT_EQ(g_exit_code, 1);
    EXPECT_GT(g_exit_ms - t0, ERR_SCREEN_MS);
    EXPECT_LE(g_exit_ms - t0, ERR_SCREEN_MS + 2 * ERR_SCREEN_SLEEP_MS);
    // One frame per 16 ms sleep, every one presented.
    EXPECT_NEAR(double(app_disp_frame_count() - frames), 30000.0 / 16.0, 2.0);
    EXPECT_EQ(app_quit_requested(), 0u);
}

TEST_F(ErrScreen, StoredTextIsCutToSixtyThreeBytesOnACharacterBoundary)
{
    err_screen_run(1, 0, 0, std::string(100, 'x').c_str());
    EXPECT_EQ(std::strlen(err_info_get()->text), 63u);
    std::string jp;
    for (int i = 0; i < 30; ++i) jp += "あ";  // 3 bytes each
    err_screen_run(1, 0, 0, ("ab" + jp).c_str());
    EXPECT_EQ(std::strlen(err_info_get()->text), 62u);  // "ab" + 20 whole characters
    err_screen_run(1, 0, 0, nullptr);
    EXPECT_STREQ(err_info_get()->text, "");
}

// Code zero shows nothing; the first code past the table only the title and the text.
TEST_F(ErrScreen, EnglishRowsQueuedCentredForCodesZeroInAndPastTheTable)
{
    err_screen_run(0, 0, 0, nullptr);
    EXPECT_EQ(g_exit_code, 1);
    EXPECT_TRUE(drawn_lines().empty());
    err_screen_run(7, 0, 0, "100%s%n%%");
    const int32_t c = w() / 2, m = h() / 2;
    const uint32_t cx = TEXTLIST_ALIGN_CENTRE_X;
    EXPECT_EQ(drawn_lines(),
              (std::vector<Line>{{1, cx, 32, c, m - 100, "ERROR"},
                                 {0, cx, 16, c, m - 26, "COIN ERROR"},
                                 {0, cx, 16, c, m - 2, "Check if yany coin jam at coin entry."},
                                 {0, cx, 16, c, m + 22, "100%s%n%%"}}));
    err_screen_run(12, 0, 0, "file");
    EXPECT_EQ(drawn_lines(), (std::vector<Line>{{1, cx, 32, c, m - 100, "ERROR"},
                                                {0, cx, 16, c, m + 22, "file"}}));
}

// The queued lines are drawn as any system-font text is (the font case reads their pixels).
TEST_F(ErrScreen, RegionTwoQueuesTheJapaneseRowsAndRegionThreeTheEnglish)
{
    app_set_region(2);
    err_screen_run(4, 0, 0, "io");
    const std::vector<Line> lines = drawn_lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(std::pair(lines[0].text, lines[1].text),
              std::pair(std::string("お店の人を呼んで下さい。"), std::string("入出力装置エラー")));
    EXPECT_STREQ(err_screen_row(3, 4)->title, "I/O ERROR");
}

// In a child (the quit flag cannot be taken back), with no display (the parent's GL context).
TEST(ErrScreenQuit, AQuitMessageEndsItEarlyAndOneTakenBeforeKeepsItShut)
{
    const pid_t pid = fork_child([] {
        plat_time_set_manual(1);
        err_screen_set_exit_hook(record_exit);
        g_exit_code = -1;
        g_sleeps = 0;
        plat_time_set_sleep_observer(quit_after_100_sleeps, nullptr);
        const uint32_t t0 = plat_time_ms();
        err_screen_run(1, 0, 2, "grp");
        if (g_exit_code != -1 || !app_quit_requested()) return 10;
        if (plat_time_ms() - t0 != 100 * ERR_SCREEN_SLEEP_MS) return 11;
        // The quit was taken: a later error cannot see it, so it returns at once.
        const uint32_t t1 = plat_time_ms();
        err_screen_run(3, 258, 0, nullptr);
        if (plat_time_ms() != t1 || g_exit_code != -1) return 12;
        return 0;
    });
    EXPECT_EQ(finish_child(pid, 60s), 0);
}

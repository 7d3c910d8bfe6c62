// Display parameters: the head, window-to-render conversion, mode forwarding.
#include "view_fixture.h"

namespace {

class DispParamTest : public ViewTest {
protected:
    void screen(int32_t sw, int32_t sh, int32_t rw, int32_t rh, int32_t flag)
    {
        const RenderSizes sizes = {0, 0, rw, rh, flag};
        disp_param_init(nullptr, 0, sw, sh, 32, &sizes);
    }
    std::pair<int32_t, int32_t> to_render(int32_t x, int32_t y)
    {
        int32_t rx = -999, ry = -999;
        disp_window_to_render(&rx, &ry, x, y);
        return {rx, ry};
    }
    std::pair<float, float> normalized(int32_t x, int32_t y)
    {
        float nx = 9, ny = 9;
        disp_window_to_normalized(&nx, &ny, x, y);
        return {nx, ny};
    }
};

using XY = std::pair<int32_t, int32_t>;

TEST_F(DispParamTest, HeadTakesScreenSizeForMissingOrZeroSizes)
{
    const RenderSizes sizes = {0, 480, 1024, 0, 2};
    const auto head = [] {
        return std::array{disp_get_render3d_w(), disp_get_render3d_h(),
                          disp_get_render_w(),   disp_get_render_h(),
                          disp_get_screen_w(),   disp_work().head.orientation};
    };
    disp_param_init(nullptr, 0, 800, 600, 32, &sizes);
    EXPECT_EQ(head(), (std::array{800, 480, 1024, 600, 800, 2}));
    disp_param_init(nullptr, 0, 640, 480, 32, nullptr);
    EXPECT_EQ(head(), (std::array{640, 480, 640, 480, 640, 0}));
}

// The flag comes from the settings text unchecked; outside the table it is 0.
TEST_F(DispParamTest, UnknownOrientationIsTakenAsZero)
{
    for (int32_t flag : {6, -1, 1000}) {
        screen(800, 600, 800, 600, flag);
        EXPECT_EQ(disp_work().head.orientation, 0) << flag;
        EXPECT_EQ(to_render(410, 290), XY(410, 290)) << flag;
    }
}

TEST_F(DispParamTest, SameSizeCentreAndCornersAndEmptySizesGiveFiniteResults)
{
    screen(800, 600, 800, 600, 0);
    EXPECT_EQ(to_render(400, 300), XY(400, 300));
    EXPECT_EQ(normalized(400, 300), std::pair(0.0f, 0.0f));
    EXPECT_EQ(normalized(0, 0), std::pair(-1.0f, 1.0f));
    EXPECT_EQ(normalized(0, 600).second, -1.0f);
    float ny = 9;
    // Null outputs are skipped.
    disp_window_to_render(nullptr, nullptr, 1, 1);
    disp_window_to_normalized(nullptr, &ny, 400, 150);
    EXPECT_FLOAT_EQ(ny, 0.5f);
    // An empty window or render area must not divide by zero.
    screen(0, 0, 640, 480, 0);
    EXPECT_EQ(to_render(10, 10), XY(330, 250));
    disp_param_init(nullptr, 0, 0, 0, 32, nullptr);
    EXPECT_EQ(normalized(5, 5), std::pair(0.0f, 0.0f));
}

// A larger render area scales by the axis that overflows more; a smaller one
// keeps pixels about the centre; a swapped orientation uses the turned window.
TEST_F(DispParamTest, WindowToRenderScalesAndTurns)
{
    const struct {
        int32_t sw, sh, rw, rh, flag;
        XY in, out;
    } cases[] = {
        {800, 600, 1600, 1200, 0, {500, 300}, {1000, 600}},  // dx -800 not above dy -600: width 2
        {800, 600, 1000, 1200, 0, {500, 300}, {700, 600}},   // dx -200 above dy -600: height 2
        {800, 600, 800, 900, 0, {403, 301}, {404, 451}},     // 1.5: 4.5 and 1.5 truncated
        {800, 600, 800, 900, 0, {397, 299}, {396, 449}},     // toward zero on both sides
        {1024, 768, 640, 480, 0, {512, 384}, {320, 240}},
        {1024, 768, 640, 480, 0, {0, 0}, {-192, -144}},
        {600, 800, 800, 600, 3, {300, 100}, {700, 300}},
        {600, 800, 800, 600, 5, {300, 100}, {100, 300}},
    };
    for (const auto& c : cases) {
        screen(c.sw, c.sh, c.rw, c.rh, c.flag);
        EXPECT_EQ(to_render(c.in.first, c.in.second), c.out)
            << c.rw << "x" << c.rh << " " << c.flag;
    }
}

TEST_F(DispParamTest, ModeRequestsGoToTheDevice)
{
    disp_request_mode(0, 720, 1);
    EXPECT_EQ(dev().mode_requests, (std::vector<std::array<int, 3>>{{0, 720, 1}}));
    dev().mode = 1;
    EXPECT_EQ(disp_query_mode(), 1);
    disp_dev_seam_reset();
    EXPECT_EQ(disp_query_mode(), 0);
    disp_request_mode(1, 1, 0);  // the default does nothing
    EXPECT_EQ(dev().mode_requests.size(), 1u);
}

}  // namespace

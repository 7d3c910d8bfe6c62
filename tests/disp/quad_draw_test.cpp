// Screen-quad drawers, drawn headless and read back pixel by pixel.
#include <functional>

#include "disp/disp_work.h"
#include "disp/quad_draw.h"
#include "disp_fixture.h"

namespace {

using PixelFn = std::function<uint32_t(int, int)>;
constexpr uint32_t QUAD_DRAW_BACK = 0xFF102030;
std::array<TexRecord, 2> g_tex;  // handles 1 and 2

TexRecord* lookup(uint32_t h) { return (h == 1 || h == 2) ? &g_tex[h - 1] : nullptr; }

uint32_t pattern(int x, int y)
{  // a distinct opaque colour per texel
    return 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t((x ^ y) * 3);
}

PixelFn box(int x0, int y0, int x1, int y1, const PixelFn& inside)
{
    return [=](int x, int y) {
        return (x >= x0 && x < x1 && y >= y0 && y < y1) ? inside(x, y) : QUAD_DRAW_BACK;
    };
}
PixelFn box(int x0, int y0, int x1, int y1, uint32_t c)
{
    return box(x0, y0, x1, y1, [c](int, int) { return c; });
}

}  // namespace

class QuadDrawTest : public DispDevice {
protected:
    void SetUp() override
    {
        DispDevice::SetUp();
        DispLinks links = disp_links();
        links.tex_lookup = lookup;
        disp_set_links(links);
        disp_work_clear();
        gfx_begin_scene();
        // Stage 0 texture x diffuse and alpha test "greater or equal", as the scene pass leaves the
        // device for the overlays drawn after it.
        gfx_set_render_state(GFX_RS_ALPHAFUNC, GFX_CMP_GREATEREQUAL);
        gfx_set_texture_stage_state(0, GFX_TSS_ALPHAOP, GFX_TOP_MODULATE);
        gfx_set_texture_stage_state(0, GFX_TSS_ALPHAARG2, GFX_TA_DIFFUSE);
        disp_clear(5, QUAD_DRAW_BACK);
    }
    void TearDown() override
    {
        gfx_end_scene();
        for (TexRecord& t : g_tex) tex_release(&t);
        disp_work_clear();
        DispDevice::TearDown();
    }

    void MakeTex(uint32_t h, int w, int ht, const PixelFn& texel)
    {
        std::vector<uint32_t> px;
        for (int y = 0; y < ht; ++y)
            for (int x = 0; x < w; ++x) px.push_back(texel(x, y));
        const std::span bytes(reinterpret_cast<const uint8_t*>(px.data()), px.size() * 4);
        ASSERT_EQ(tex_create(&g_tex[h - 1], GFX_FMT_A8R8G8B8, w, ht, 1), 1);
        ASSERT_EQ(tex_fill_rect(&g_tex[h - 1], 0, 0, w, ht, bytes), 1);
    }

    // Pixels of the target whose colour is not `expect(x, y)`; clears after.
    static int Mismatches(const PixelFn& expect)
    {
        std::vector<uint32_t> f(size_t(DISP_FIXTURE_TEST_WIDTH) * DISP_FIXTURE_TEST_HEIGHT);
        gfx_read_pixels(0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT,
                        reinterpret_cast<uint8_t*>(f.data()), DISP_FIXTURE_TEST_WIDTH * 4);
        int bad = 0;
        for (int y = 0; y < DISP_FIXTURE_TEST_HEIGHT; ++y)
            for (int x = 0; x < DISP_FIXTURE_TEST_WIDTH; ++x) {
                const uint32_t got = f[size_t(y) * DISP_FIXTURE_TEST_WIDTH + size_t(x)] & 0xFFFFFF;
                if (!Near(got, expect(x, y) & 0xFFFFFF, 1) && bad++ < 3)
                    ADD_FAILURE() << x << "," << y << ": " << std::hex << got;
            }
        disp_clear(5, QUAD_DRAW_BACK);
        return bad;
    }
};

TEST_F(QuadDrawTest, FullTargetQuadsMapTexelsToPixels)
{
    MakeTex(1, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT, pattern);
    const float skewed[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 0, 5, 6, 0, 1};
    gfx_set_transform(GFX_TS_VIEW, skewed);
    ASSERT_EQ(disp_draw_tex_full(1, 0xFFFFFFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches(pattern), 0);
    float back[16];
    gfx_get_transform(GFX_TS_VIEW, back);
    EXPECT_EQ(std::memcmp(back, skewed, sizeof back), 0);
    EXPECT_EQ(gfx_get_texture(0), tex_get_white()->texture);  // stages unbound again
    // Half the target's size: texels cover 2 x 2 pixels, the last column does not wrap round to the
    // first texel.
    MakeTex(2, DISP_FIXTURE_TEST_WIDTH / 2, DISP_FIXTURE_TEST_HEIGHT / 2, pattern);
    ASSERT_EQ(disp_draw_tex_full(2, 0xFFFFFFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches([](int x, int y) { return pattern(x / 2, y / 2); }), 0);
    const QuadUv mirror = {{{1, 0}, {0, 0}, {1, 1}, {0, 1}}};
    ASSERT_EQ(disp_draw_tex_full_b(1, mirror, 0xFFFFFFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches([](int x, int y) { return pattern(DISP_FIXTURE_TEST_WIDTH - 1 - x, y); }),
              0);
}

TEST_F(QuadDrawTest, OutlinesHaveTheirThicknessAndRectanglesCoverExactlyTheirPixelsMovedByTheShake)
{
    ASSERT_EQ(disp_draw_frame_px(10, 8, 20, 14, 3, 0xFFFFFF00), 1);
    const PixelFn ring = box(10, 8, 30, 22, [](int x, int y) {
        return (x >= 13 && x < 27 && y >= 11 && y < 19) ? QUAD_DRAW_BACK : 0xFFFFFF00;
    });
    EXPECT_EQ(Mismatches(ring), 0);
    // Translucent: every outline pixel blended once, corners included.
    disp_clear(5, 0xFF000000);
    ASSERT_EQ(disp_draw_frame_px(4, 4, 10, 10, 2, 0x80FFFFFF), 1);
    for (uint32_t px : {Pixel(4, 4), Pixel(8, 4), Pixel(5, 8), Pixel(13, 13)})
        EXPECT_TRUE(Near(px & 0xFFFFFF, 0x808080, 2)) << std::hex << px;
    disp_clear(5, QUAD_DRAW_BACK);
    ASSERT_EQ(disp_draw_frame_px(20, 20, 6, 4, 9, 0xFFFF00FF), 1);  // thick: filled
    EXPECT_EQ(Mismatches(box(20, 20, 26, 24, 0xFFFF00FF)), 0);
    EXPECT_EQ(disp_draw_frame_px(20, 20, 6, 4, 0, 0xFFFF00FF), 0);
    ASSERT_EQ(disp_draw_rect2(10, 7, 13, 9, 0, 0, 0xFF00FF00, QuadState{}), 1);
    EXPECT_EQ(Mismatches(box(10, 7, 23, 16, 0xFF00FF00)), 0);
    MakeTex(1, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT, pattern);  // laid over the target
    ASSERT_EQ(disp_draw_rect2(5, 6, 20, 10, 1, 0, 0xFFFFFFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches(box(5, 6, 25, 16, pattern)), 0);
    disp_set_viewport(8, 4, 16, 12);
    ASSERT_EQ(disp_draw_rect_corners_vp(0, 0, QuadCornerData{}, 0xFF0000FF, 0, 0), 1);
    disp_set_viewport(0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT);
    EXPECT_EQ(Mismatches(box(8, 4, 24, 16, 0xFF0000FF)), 0);
    EXPECT_EQ(disp_draw_rect2(10, 10, 5, -1, 0, 0, 0xFFFFFFFF, QuadState{}), 0);
    cam_set_cur_screen(1);
    disp_work().cam[1].shake_offset_x = 5.0f;
    disp_work().cam[1].shake_offset_y = 3.0f;
    ASSERT_EQ(disp_draw_tex_quad(0, 10, 8, 1, 0xFF00FFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches(box(5, 3, 15, 11, 0xFF00FFFF)), 0);
    ASSERT_EQ(disp_draw_tex_quad(0, 10, 8, 0, 0xFF00FFFF, QuadState{}), 1);
    EXPECT_EQ(Mismatches(box(0, 0, 10, 8, 0xFF00FFFF)), 0);
}

TEST_F(QuadDrawTest, AlphaTestFollowsTheAlphaReferenceIndex)
{
    static constexpr uint32_t QUAD_DRAW_ALPHA[6] = {0, 48, 128, 129, 200, 255};
    const PixelFn texel = [](int x, int) { return QUAD_DRAW_ALPHA[x % 6] << 24 | 0xC0C0C0u; };
    MakeTex(1, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT, texel);
    for (auto [ref, min] : {std::pair(2, 129u), {1, 48u}, {DISP_ALPHA_REF_OFF, 0u}}) {
        QuadState st;
        st.alpha_ref = ref;
        ASSERT_EQ(disp_draw_rect2(0, 0, DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT, 1, 0,
                                  0xFFFFFFFF, st),
                  1);
        EXPECT_EQ(Mismatches([&, min = min](int x, int y) {
                      return QUAD_DRAW_ALPHA[x % 6] >= min ? texel(x, y) : QUAD_DRAW_BACK;
                  }),
                  0)
            << "index " << ref;
    }
}

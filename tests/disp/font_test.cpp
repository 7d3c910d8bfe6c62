// Fonts: "DFONT" images, bitmap-text quads, glyph limits, rendered glyphs, system fonts.
#include <array>

#include "disp/d3d9.h"
#include "disp/font.h"
#include "disp/font_local.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "frame_fixture.h"
#include "plat/sysfont.h"
#include "res/res.h"

namespace {

class FontTest : public DispFrame {
protected:
    int32_t list() const { return disp_get_text_drawlist(); }
    // Queues one record into the bitmap list and lays it out.
    int quads(uint32_t font, uint32_t size, int x, int y, uint32_t align, const std::string& text,
              bool* stop = nullptr)
    {
        textlist_reset(list());
        textlist_printf(list(), align, font, size, x, y, 0xFFFFFFFFu, "%s", text.c_str());
        bool s = false;
        const int n = font_bitmap_quads(textlist_get(list()), v_.data(), &s);
        if (stop) *stop = s;
        return n;
    }
    std::vector<TexVertexA> v_ = std::vector<TexVertexA>(4 * 1200);
};

}  // namespace

TEST_F(
    FontTest,
    TheSixFontsFindTheirImagesGlyphQuadsSitAtTheirCellsPairsMapPastAsciiAndAlignmentsMoveTheStart)
{
    for (int f = 0; f < FONT_COUNT; ++f) {
        const FontState& s = font_state(f);
        EXPECT_TRUE(s.handle && disp_tex_lookup(s.handle)) << f;
        EXPECT_FLOAT_EQ(s.inv_tex_w, f == 5 ? 1 / 256.f : 1 / 128.f) << f;
    }
    EXPECT_EQ(font_state(0).handle, res_find(RES_TEX, "DFONT", "font1"));
    EXPECT_EQ(font_state(4).handle, res_find(RES_TEX, "DFONT", "font6x11"));
    EXPECT_EQ(font_state(5).handle, res_find(RES_TEX, "DFONT", "f1632"));
    EXPECT_EQ(font_get_path(), ".\\data\\font\\");
    ASSERT_EQ(quads(0, 16, 100, 50, 0, "A"), 1);
    // 'A' is glyph 33: column 1, row 2 of 8 x 16 cells in a 128 x 128 image.
    const float x0 = 99.5f, y0 = 49.5f, x1 = 107.5f, y1 = 65.5f;
    const float u0 = 8 / 128.f, u1 = 16 / 128.f, v0 = 32 / 128.f, v1 = 48 / 128.f;
    const std::array<float, 4> want[4] = {
        {x0, y0, u0, v0}, {x1, y0, u1, v0}, {x0, y1, u0, v1}, {x1, y1, u1, v1}};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ((std::array{v_[i].x, v_[i].y, v_[i].u0, v_[i].v0}), want[i]);
    // The next glyph starts where the last ended.
    ASSERT_EQ(quads(0, 16, 100, 50, 0, "AB"), 2);
    EXPECT_EQ(std::pair(v_[4].x, v_[4].u0), std::pair(x1, 16 / 128.f));
    ASSERT_EQ(quads(0, 16, 0, 0, 0, "\x82\xA0"), 1);
    EXPECT_EQ(std::pair(v_[0].u0, v_[0].v0), std::pair(16 / 128.f, 96 / 128.f));  // glyph 98
    // A lead byte with nothing after it ends the text there.
    EXPECT_EQ(quads(0, 16, 0, 0, 0, "ab\x82"), 2);
    EXPECT_EQ(quads(0, 16, 0, 0, 0, "\xFF"), 0);
    ASSERT_EQ(quads(0, 16, 200, 40, TEXTLIST_ALIGN_CENTRE_X, "abcd"), 4);
    EXPECT_FLOAT_EQ(v_[0].x, 200 - 0.5f - 16.0f);
    ASSERT_EQ(quads(0, 16, 200, 40, TEXTLIST_ALIGN_BOTTOM, "a"), 1);
    EXPECT_FLOAT_EQ(v_[0].y, 40 - 0.5f - 16.0f);
    ASSERT_EQ(quads(0, 16, 200, 40, TEXTLIST_ALIGN_CENTRE_Y, "a"), 1);
    EXPECT_FLOAT_EQ(v_[0].y, 40 - 0.5f - 8.0f);
    // Size comes from the record: font 3's nominal 64 is not used.
    ASSERT_EQ(quads(3, 20, 0, 0, 0, "a"), 1);
    EXPECT_EQ(std::pair(v_[1].x - v_[0].x, v_[2].y - v_[0].y), std::pair(10.0f, 20.0f));
}

TEST_F(FontTest, UnknownFontsAreSkippedAndALongRecordStopsTheRestOfTheList)
{
    textlist_reset(list());
    textlist_printf(list(), 0, 6, 16, 0, 0, 0xFFFFFFFFu, "%s", "bad");
    EXPECT_EQ(font_bitmap_quads(textlist_get(list()), v_.data(), nullptr), -1);
    textlist_printf(list(), 0, 0xFFFFFFFFu, 16, 0, 0, 0xFFFFFFFFu, "%s", "bad");
    textlist_printf(list(), 0, 0, 16, 10, 10, 0xFFFFFFFFu, "%s", "good");
    textlist_printf(disp_get_d3dx_text_drawlist(), 0, 99, 16, 0, 0, 0xFFFFFFFFu, "%s", "bad");
    disp_update(nullptr);
    EXPECT_GT(lit_pixels(8, 8, 40, 20), 0);
    EXPECT_EQ(textlist_get(list())[0], TEXTLIST_END_MARK);
    EXPECT_EQ(textlist_get(disp_get_d3dx_text_drawlist())[0], TEXTLIST_END_MARK);
    bool stop = false;
    EXPECT_EQ(quads(0, 16, 0, 0, 0, std::string(1200, 'x'), &stop), FONT_MAX_GLYPHS_PER_RECORD);
    EXPECT_TRUE(stop);
    EXPECT_EQ(quads(0, 16, 0, 0, 0, std::string(1000, 'x'), &stop), FONT_MAX_GLYPHS_PER_RECORD);
    EXPECT_FALSE(stop);
    // The record after a too long one is not drawn; the list is rewound.
    textlist_reset(list());
    textlist_printf(list(), 0, 0, 16, 0, 100, 0xFFFFFFFFu, "%s", std::string(1200, '.').c_str());
    textlist_printf(list(), 0, 0, 16, 10, 10, 0xFFFFFFFFu, "%s", "HIDDEN");
    disp_update(nullptr);
    EXPECT_EQ(lit_pixels(8, 8, 60, 20), 0);
    EXPECT_EQ(textlist_get(list())[0], TEXTLIST_END_MARK);
    // Draw flag 0 only rewinds.
    textlist_printf(list(), 0, 0, 16, 10, 10, 0xFFFFFFFFu, "%s", "x");
    font_draw_bitmap_text(0, list());
    EXPECT_EQ(textlist_get(list())[0], TEXTLIST_END_MARK);
}

TEST_F(FontTest, RenderedGlyphMatchesItsCellAndSystemFontTextComesBackAroundADeviceReset)
{
    textlist_printf(list(), 0, 0, 16, 100, 50, 0xFFFFFFFFu, "%s", "A");
    disp_update(nullptr);
    TexRecord* t = disp_tex_lookup(font_state(0).handle);
    ASSERT_NE(t, nullptr);
    std::vector<uint32_t> cell(8 * 16);
    ASSERT_TRUE(tex_read_rect_argb(t, 8, 32, 8, 16, cell));
    std::vector<uint8_t> px(8 * 16 * 4);
    ASSERT_EQ(gfx_read_pixels(100, 50, 8, 16, px.data(), 8 * 4), GFX_OK);
    int lit = 0;
    for (int i = 0; i < 8 * 16; ++i) {
        // White text over black: the luminance times the alpha of the texel.
        const uint32_t texel = cell[size_t(i)];
        const int want = int(((texel >> 16) & 0xFF) * (texel >> 24) / 255);
        EXPECT_NEAR(int(px[size_t(4 * i + 2)]), want, 2) << i;
        lit += want > 0;
    }
    EXPECT_GT(lit, 8);
    EXPECT_EQ(lit_pixels(90, 40, 10, 30), 0);  // nothing left of the cell
    ASSERT_TRUE(font_d3dx_ready(0));
    const int32_t sys = disp_get_d3dx_text_drawlist();
    textlist_printf(sys, 0, 0, 16, 20, 30, 0xFFFFFFFFu, "%s", "Hello あいう");
    disp_update(nullptr);
    EXPECT_GT(lit_pixels(19, 29, 150, 20), 50);
    EXPECT_EQ(lit_pixels(0, 0, FRAME_FIXTURE_W, 28) +
                  lit_pixels(0, 50, FRAME_FIXTURE_W, FRAME_FIXTURE_H - 50),
              0);
    EXPECT_EQ(textlist_get(sys)[0], TEXTLIST_END_MARK);
    font_release_d3dx();
    EXPECT_FALSE(font_d3dx_ready(0));
    font_create_d3dx();
    for (int f = 0; f < FONT_COUNT; ++f) EXPECT_TRUE(font_d3dx_ready(f));
    gfx_simulate_device_loss();
    disp_update(nullptr);  // lost: the lost step runs and the device is reset
    disp_update(nullptr);
    for (int f = 0; f < FONT_COUNT; ++f) EXPECT_TRUE(font_d3dx_ready(f));
    textlist_printf(sys, 0, 0, 16, 20, 30, 0xFFFFFFFFu, "%s", "back");
    disp_update(nullptr);
    EXPECT_GT(lit_pixels(19, 29, 100, 20), 10);
}

TEST(SysFont, FindsAFaceAndMeasuresLines)
{
    SysFont* f = sysfont_create(16, 8);
    ASSERT_NE(f, nullptr);
    EXPECT_STRNE(sysfont_face_file(f), "");
    int w1, h1, w2, h2;
    sysfont_measure(f, "ab", 0, &w1, &h1);
    sysfont_measure(f, "ab\nab", 0, &w2, &h2);
    EXPECT_GT(w1, 0);
    EXPECT_EQ(std::pair(w2, h2), std::pair(w1, 2 * h1));
    sysfont_measure(f, "ab\nab", SYSFONT_SINGLELINE, &w2, &h2);
    EXPECT_EQ(h2, h1);
    // Broken UTF-8 measures like its replacement characters, never past the text.
    sysfont_measure(f, "\xE3\x81", 0, &w2, &h2);
    EXPECT_GT(w2, 0);
    EXPECT_EQ(sysfont_draw(f, "x", GfxRect{0, 0, 10, 10}, 0, 0xFFFFFFFF), 0);  // no device
    sysfont_release(f);
    EXPECT_EQ(sysfont_create(0, 0), nullptr);
}

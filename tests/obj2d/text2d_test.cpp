// Bitmap-font text objects: font lookup, layout, shadow and bounded texts.
#include <array>
#include <string>

#include "obj2d/text2d.h"
#include "obj2d/text2d_local.h"
#include "obj2d_fixture.h"

#include <gmock/gmock.h>

namespace {

using testing::FloatNear, testing::Pointwise;

constexpr int TEXT2D_GLYPHS = 8;  // glyphs "fnt_0000" to "fnt_0007" for '0' to '7'

class Text2d : public Obj2dDevice {
protected:
    void SetUp() override
    {
        Obj2dDevice::SetUp();
        if (HasFatalFailure()) return;
        font_tex_ =
            MakeTex("font", 8 * TEXT2D_GLYPHS, 8, std::vector<uint32_t>(64 * 8, 0xFFFFFFFFu));
        for (int g = 0; g < TEXT2D_GLYPHS; ++g) {
            const std::string name = "fnt_000" + std::to_string(g);
            ASSERT_NE(res_crop_register_px("fonts", name.c_str(), float(8 * g), 0, 8, 8, font_tex_),
                      0u);
        }
        // A crop of another name right after the font.
        ASSERT_NE(res_crop_register_px("fonts", "zzz", 0, 0, 8, 8, font_tex_), 0u);
    }
    DrawObj* Make(const char* text, int align = 0)
    {
        DrawObj* o = text2d_create(1, "fonts", "fnt", '0', 0xFFFFFFFFu, 20, 10, 1, 1, align, 40);
        text2d_set_text(o, text);
        return o;
    }
    ResHandle font_tex_ = 0;
};

std::array<float, 2> xy(const TexVertexA& v) { return {v.x, v.y}; }

TEST_F(Text2d, FontSetsGlyphRangeAndHeightAndZeroHeightGlyphsAreSkipped)
{
    DrawObj* o = Make("0");
    const Text2dWork* t = obj_work<Text2dWork>(o);
    EXPECT_NE(t->first, 0u);
    EXPECT_EQ(t->end, t->first + TEXT2D_GLYPHS - 1);  // the foreign crop is not a glyph
    EXPECT_EQ(text2d_get_glyph_height(o), 8);
    DrawObj* missing = text2d_create_simple(1, "fonts", "nofont", 32, 0, 0, 0, 40);
    EXPECT_EQ(obj_work<Text2dWork>(missing)->first, 0u);
    ASSERT_NE(res_crop_register_px("fonts", "flat_0000", 0, 0, 8, 0, font_tex_), 0u);
    DrawObj* flat = text2d_create_simple(1, "fonts", "flat", '0', 0, 0, 0, 40);
    text2d_set_text(flat, "0");
    TexVertexA v[4];
    EXPECT_EQ(text2d_layout(flat, false, v, nullptr, nullptr), 0);
}

TEST_F(Text2d, MeasureAdvancesOverValidGlyphsOnlyTextsAreBoundedAndNullClears)
{
    DrawObj* o = Make("0123");
    float w = 0, h = 0;
    text2d_measure(o, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(32.0f, 8.0f));
    // Below the base, one past the last glyph (the foreign crop) and high
    // bytes are skipped without advancing.
    text2d_set_text(o, "0 8\xE9"
                       "1");
    text2d_measure(o, &w, &h);
    EXPECT_FLOAT_EQ(w, 16);
    // Scale x also sets the row height; a fixed advance of 1 is the row height.
    text2d_set_scale(o, 2, 1);
    text2d_set_advance(o, 1);
    text2d_set_height(o, 4);
    text2d_measure(o, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(16.0f, 8.0f));
    o = Make("012");
    text2d_set_text(o, std::string(129, '1').c_str());  // too long: unchanged
    EXPECT_EQ(obj_work<Text2dWork>(o)->length, 3);
    text2d_set_text(o, nullptr);
    w = -1;
    text2d_measure(o, &w, nullptr);
    EXPECT_EQ(std::tuple(w, obj_work<Text2dWork>(o)->length), std::tuple(0.0f, 0));
    const std::string long_text(300, '2');
    text2d_printf(o, "%s", long_text.c_str());
    EXPECT_EQ(obj_work<Text2dWork>(o)->length, 128);
    DrawObj* one = text2d_printf_1f(1, "fonts", "fnt", '0', 0xFFFFFFFFu, 0, 0, 1, 1, 0, 40, "%d%s",
                                    7, long_text.c_str());
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(obj_work<Text2dWork>(one)->length, 128);
    EXPECT_EQ(obj_work<Text2dWork>(one)->text[0], '7');
    DrawFrame();
    EXPECT_FALSE(obj_is_live(one));
}

void turn_second(DrawObj*, int index, Text2dGlyph* g, void*)
{
    if (index == 1) {
        g->rot = 3.14159265f;
        g->colour = 0xFF00FF00u;
    }
}

TEST_F(Text2d, AlignmentAnchorsTheLineAndRotationTurnsItAboutThePositionOrOneGlyphAboutItsCentre)
{
    DrawObj* o = Make("01", 2 | 8);  // centred both ways
    TexVertexA v[8];
    ASSERT_EQ(text2d_layout(o, false, v, nullptr, nullptr), 2);
    EXPECT_EQ(xy(v[0]), (std::array{20 - 8 - 0.5f, 10 - 4 - 0.5f}));
    EXPECT_EQ(xy(v[7]), (std::array{20 + 8 - 0.5f, 10 + 4 - 0.5f}));
    text2d_set_align(o, 1 | 4);  // position at the right and bottom
    text2d_layout(o, false, v, nullptr, nullptr);
    EXPECT_EQ(xy(v[7]), (std::array{20 - 0.5f, 10 - 0.5f}));
    // UVs of the second glyph are its crop rectangle.
    EXPECT_EQ(std::pair(v[4].u0, v[7].u0), std::pair(1.0f / 8, 2.0f / 8));
    text2d_set_align(o, 0);
    text2d_set_glyph_callback(o, turn_second, nullptr);
    text2d_layout(o, false, v, nullptr, nullptr);
    // A half turn swaps the second glyph's corners about its centre.
    EXPECT_THAT(xy(v[4]), Pointwise(FloatNear(1e-3f), {20 + 16 - 0.5f, 10 + 8 - 0.5f}));
    EXPECT_EQ(std::pair(v[4].color, v[0].color), std::pair(0xFF00FF00u, 0xFFFFFFFFu));
    text2d_set_glyph_callback(o, nullptr, nullptr);
    text2d_set_rot(o, 3.14159265f / 2);
    text2d_layout(o, false, v, nullptr, nullptr);
    // Offset (7.5, -0.5) of the top-right corner turns to (-0.5, -7.5).
    EXPECT_THAT(xy(v[1]), Pointwise(FloatNear(1e-3f), {20 - 0.5f, 10 - 7.5f}));
}

TEST_F(Text2d, ShadowPassIsOffsetAndColouredAndDrawnFirst)
{
    DrawObj* o = Make("0");
    text2d_set_pos(o, 10, 10);
    text2d_set_shadow(o, 2, 2, 0xFFFF0000u);
    TexVertexA v[4];
    text2d_layout(o, true, v, nullptr, nullptr);
    EXPECT_FLOAT_EQ(v[0].x, 10 + 2 - 0.5f);
    EXPECT_EQ(v[0].color, 0xFFFF0000u);
    EXPECT_EQ(FrameCalls(), 2u);
    EXPECT_TRUE(Near(Pixel(11, 11), 0xFFFFFFFFu));  // text over its shadow
    EXPECT_TRUE(Near(Pixel(18, 18), 0xFFFF0000u));  // shadow alone
    EXPECT_EQ(Pixel(20, 20), 0xFF000000u);
}

}  // namespace

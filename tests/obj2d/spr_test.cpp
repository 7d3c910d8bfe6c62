// Sprites and twin sprites on the offscreen device, and the shared pure 2D helpers.
#include <array>
#include <tuple>

#include "obj2d/fla.h"
#include "obj2d/spr2.h"
#include "obj2d_fixture.h"

#include <gmock/gmock.h>

namespace {

using testing::FloatEq, testing::Pointwise;

constexpr float SPR_PI = 3.14159265f;

std::vector<uint32_t> Pattern4()
{
    std::vector<uint32_t> p;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            p.push_back(0xFF000000u | uint32_t(x * 60 + 20) << 16 | uint32_t(y * 60 + 20) << 8 |
                        0x40u);
    return p;
}

class Sprite : public Obj2dDevice {};

TEST_F(Sprite, PointFilteredTextureThePivotTheColourAndUvRotationInPixels)
{
    const auto pat = Pattern4();
    ResHandle t = MakeTex("pat", 4, 4, pat);
    ResHandle white = MakeTex("white", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    spr_create_tex_1f(1, t, 0xFFFFFFFFu, 10, 12, 0, 0, 1, 1, 50);
    spr_create_plain_1f(1, 0xFFFF0000u, 20, 20, 8, 6, 0.5f, 0.5f, 1, 1, 50);
    spr_create_tex_1f(1, white, 0xFF806040u, 0, 0, 0, 0, 1, 1, 50);
    spr_set_uv_orient(spr_create_tex_1f(1, t, 0xFFFFFFFFu, 40, 0, 0, 0, 1, 1, 50), 1, 0);
    DrawFrame();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_TRUE(Near(Pixel(10 + x, 12 + y), pat[size_t(y * 4 + x)], 1)) << x << "," << y;
    ExpectPixels(0xFF000000u, {{9, 12}, {14, 12}});
    ExpectPixels(0xFFFF0000u, {{16, 17}, {23, 22}}, 3);  // centred on its position
    ExpectPixels(0xFF000000u, {{15, 20}, {24, 20}, {20, 16}, {20, 23}});
    EXPECT_TRUE(Near(Pixel(1, 1), 0xFF806040u, 2));
    EXPECT_TRUE(Near(Pixel(40, 0), pat[3], 1));  // the top-right texel top left
    EXPECT_EQ(obj_live_count(), 0);              // one-frame sprites freed at the end of the frame
}

TEST_F(Sprite, RotationTurnsAboutThePivotAndScaleAndCropSizeTheQuad)
{
    const auto pat = Pattern4();
    ResHandle t = MakeTex("pat", 4, 4, pat);
    // Right half of the texture: 2 x 4 texels, drawn at scale 3 (linear).
    DrawObj* s = spr_create(1, res_crop_register_px("t", "half", 2, 0, 2, 4, t), 0xFFFFFFFFu, 4, 4,
                            0, 0, 3, 3, 50);
    EXPECT_EQ(std::pair(spr_get_w(s), spr_get_h(s)), std::pair(2.0f, 4.0f));
    // 16 x 2 bar turned a quarter about its centre becomes 2 x 16.
    DrawObj* o = spr_create_plain(1, 0xFF00FF00u, 32, 24, 16, 2, 0.5f, 0.5f, 1, 1, 50);
    spr_set_rot(o, SPR_PI / 2);
    DrawFrame();
    // Middle of the first scaled texel is texel (2, 0) exactly.
    EXPECT_TRUE(Near(Pixel(5, 5), pat[2], 6));
    EXPECT_TRUE(Near(Pixel(8, 14), pat[3 + 12], 6));
    ExpectPixels(0xFF000000u, {{10, 5}, {5, 16}, {26, 24}, {38, 24}});
    ExpectPixels(0xFF00FF00u, {{31, 17}, {32, 30}}, 8);
    // Pivot (0, 0): a positive quarter turn stands the bar up from the position.
    spr_set_pivot(o, 0, 0);
    DrawFrame();
    EXPECT_TRUE(Near(Pixel(32, 15), 0xFF00FF00u, 8));
    ExpectPixels(0xFF000000u, {{32, 28}, {40, 24}});
}

TEST_F(Sprite, BatchesHold4096QuadsAndStateChangesOpenNewOnes)
{
    ResHandle a = MakeTex("a", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    ResHandle b = MakeTex("b", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    for (int i = 0; i < 4097; ++i)
        spr_create_tex_1f(1, a, 0xFFFFFFFFu, float(i % 60), 0, 0, 0, 1, 1, 50);
    EXPECT_EQ(FrameCalls(), 2u);
    for (int i = 0; i < 10; ++i)
        spr_create_tex_1f(1, i % 2 ? a : b, 0xFFFFFFFFu, 0, 0, 0, 0, 1, 1, 50);
    EXPECT_EQ(FrameCalls(), 10u);
    // Scale 1 draws with point filtering, any other scale with linear: a new batch.
    spr_create_tex_1f(1, a, 0xFFFFFFFFu, 0, 0, 0, 0, 1, 1, 50);
    spr_create_tex_1f(1, a, 0xFFFFFFFFu, 0, 0, 0, 0, 2, 2, 50);
    EXPECT_EQ(FrameCalls(), 2u);
    // A sprite with a shader set always draws in a batch of its own.
    for (int i = 0; i < 3; ++i)
        spr_set_shader(spr_create_tex_1f(1, a, 0xFFFFFFFFu, 0, 0, 0, 0, 1, 1, 50), 1);
    EXPECT_EQ(FrameCalls(), 3u);
}

TEST_F(Sprite, ScissoredSpriteDrawsAloneAndIsClipped)
{
    // Three sprites that would share a batch; the middle one has a scissor
    // rectangle and must not join the batch of the first.
    spr_create_plain_1f(1, 0xFF0000FFu, 40, 0, 8, 8, 0, 0, 1, 1, 50);
    DrawObj* clipped = spr_create_plain_1f(1, 0xFFFF0000u, 0, 0, 20, 20, 0, 0, 1, 1, 50);
    spr_set_scissor(clipped, 2, 2, 5, 5);
    spr_create_plain_1f(1, 0xFF00FF00u, 30, 30, 8, 8, 0, 0, 1, 1, 50);
    EXPECT_EQ(FrameCalls(), 3u);
    EXPECT_TRUE(Near(Pixel(3, 3), 0xFFFF0000u));
    EXPECT_EQ(Pixel(10, 10), 0xFF000000u);          // outside the rectangle
    EXPECT_TRUE(Near(Pixel(33, 33), 0xFF00FF00u));  // the rectangle was restored
    EXPECT_TRUE(Near(Pixel(43, 3), 0xFF0000FFu));
    int x, y, w, h;
    disp_get_scissor(&x, &y, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT));
}

TEST_F(Sprite, DrawLeavesTheCachesTellingTheTruthAndShaderParametersNeedAKnownSetAndName)
{
    ResHandle t = MakeTex("a", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    DrawObj* o = spr_create_tex_1f(1, t, 0xFFFFFFFFu, 0, 0, 0, 0, 1, 1, 50);
    spr_set_blend(o, 2);
    const float v[4] = {1, 2, 3, 4};
    EXPECT_EQ(spr_set_param_float4(o, "nosuchparam", v, 1), 0);
    DrawFrame();
    ExpectBlendCacheTrue();
    EXPECT_EQ(gfx_get_sampler_state(1, GFX_SAMP_MINFILTER), uint32_t(GFX_TEXF_LINEAR));
    o = spr_create_plain(1, 0xFFFFFFFFu, 0, 0, 1, 1, 0, 0, 1, 1, 50);
    spr_set_shader(o, 9);
    EXPECT_EQ(spr_set_param_float4(o, "nosuchparam", v, 1), 0);
    EXPECT_EQ(spr_set_param_float4(o, "x", nullptr, 1), 0);
    EXPECT_EQ(spr_set_param_float4(o, "x", v, 0), 0);
}

std::vector<int> g_calls;
int pre_fn(DrawObj*, void* arg)
{
    g_calls.push_back(*static_cast<int*>(arg));
    return *static_cast<int*>(arg) * 10;
}
void post_fn(DrawObj*, void*, int value) { g_calls.push_back(value); }

TEST_F(Sprite, TwinSpritesDrawOneCallEachBetweenTheirCallbacks)
{
    g_calls.clear();
    ResHandle t = MakeTex("a", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    int one = 1, two = 2;
    DrawObj* a = spr2_create_tex_1f(1, t, 0xFFFF0000u, 0, 0, 0, 0, 1, 1, 50);
    DrawObj* b = spr2_create_tex_1f(1, t, 0xFFFF0000u, 10, 0, 0, 0, 1, 1, 50);
    ASSERT_EQ(a->type, spr2_type());
    spr2_set_callbacks(a, pre_fn, post_fn, &one);
    spr2_set_callbacks(b, pre_fn, post_fn, &two);
    EXPECT_EQ(FrameCalls(), 2u);
    EXPECT_EQ(g_calls, (std::vector<int>{2, 20, 1, 10}));  // newest first
    EXPECT_TRUE(Near(Pixel(11, 1), 0xFFFF0000u));
}

TEST_F(Sprite, HitTestsOnCorners)
{
    DrawObj* o = spr_create_plain(1, 0xFFFFFFFFu, 10, 10, 10, 4, 0, 0, 1, 1, 50);
    EXPECT_TRUE(spr_hit_point(o, 1, 1, 10, 10));
    EXPECT_FALSE(spr_hit_point(o, 1, 1, 20, 10));  // right edge excluded
    EXPECT_TRUE(spr_hit_point(o, 2, 1, 25, 12));   // k doubles the width
    EXPECT_TRUE(spr_hit_circle(o, 1, 1, 8, 12, 2.5f));
    const Vec2 a = {0, 0}, b = {30, 30};
    EXPECT_TRUE(spr_hit_segment(o, 1, 1, &a, &b));
    spr_set_pivot(o, 0.5f, 0.5f);
    spr_set_rot(o, SPR_PI / 2);
    Vec2 c[4];
    EXPECT_EQ(spr_get_corners(c, o, 1, 1), 1);
    EXPECT_TRUE(spr_hit_point(o, 1, 1, 10, 14));
    EXPECT_FALSE(spr_hit_point(o, 1, 1, 14, 10));
    DrawObj* other = spr_create_plain(1, 0xFFFFFFFFu, 10, 15, 2, 2, 0, 0, 1, 1, 50);
    EXPECT_TRUE(spr_hit_sprite(o, 1, 1, other, 1, 1));
    spr_set_pos(other, 30, 30);
    EXPECT_FALSE(spr_hit_sprite(o, 1, 1, other, 1, 1));
}

TEST_F(Sprite, SampleReadsTheTexelCopyAndRefusesZeroSizes)
{
    std::vector<uint32_t> px(16, 0x00000000u);
    px[5] = 0xC8000000u;  // texel (1, 1)
    ResHandle t = MakeTex("alpha", 4, 4, px);
    ASSERT_EQ(res_tex_set_image(t, 0, 0, 4, 4, px.data()), 1);
    ASSERT_EQ(res_tex_make_texel_copy(t, nullptr), 1);
    DrawObj* o = spr_create_tex(1, t, 0xFFFFFFFFu, 10, 10, 0, 0, 2, 2, 50);
    EXPECT_EQ(std::tuple(spr_sample(o, 13, 13), spr_sample(o, 10.5f, 10.5f)), std::tuple(0xC8, 0));
    EXPECT_EQ(spr_sample(o, 30, 30), 0);
    spr_set_uv_rect(o, 0.375f, 0, 0.375f, 1);  // no width in the texture: (13, 13) is no texel
    EXPECT_EQ(spr_sample(o, 13, 13), 0);
}

TEST_F(Sprite, UvFromScreenCornersAndFactor)
{
    ResHandle t = MakeTex("w", 64, 48, std::vector<uint32_t>(64 * 48, 0xFFFFFFFFu));
    DrawObj* o = spr_create_plain(1, 0xFFFFFFFFu, 16.5f, 12.5f, 32, 24, 0, 0, 1, 1, 50);
    spr_set_tex_handle(o, t);
    spr_set_uv_screen(o, 0, 0, 1);
    float r[4];  // left, top, right, bottom
    spr_get_uv_rect(o, &r[0], &r[1], &r[2], &r[3]);
    EXPECT_THAT(r, Pointwise(FloatEq(), {0.25f, 0.75f, 0.75f, 0.25f}));
    spr_set_uv_screen(o, 0, 0, 2);  // twice as wide about the centre
    spr_get_uv_rect(o, &r[0], &r[1], &r[2], &r[3]);
    EXPECT_THAT(r, Pointwise(FloatEq(), {0.0f, 1.0f, 1.0f, 0.0f}));
}

TEST(Obj2dHelpers, ColourProductClampsAtZeroAndUvSelectionRotatesFlipsAndMasks)
{
    EXPECT_EQ(obj2d_colour_mul(0xFF80FF00u, 0xFFFFFF00u), 0xFF80FF00u);
    EXPECT_EQ(obj2d_colour_mul(0x80FFFFFFu, 0xFF123456u) >> 24, 0x80u);
    // (0 + 1)(200 + 1) >> 8 is 0; minus one must not wrap to 255.
    EXPECT_EQ(obj2d_colour_mul(0x00000000u, 0xC8C8C8C8u), 0u);
    EXPECT_EQ(obj2d_colour_mul(0x00000000u, 0x80808080u), 0u);
    EXPECT_EQ(obj2d_colour_mul(0x0F0F0F0Fu, 0x0F0F0F0Fu), 0u);
    // Vector animations tint with the same product.
    EXPECT_EQ(fla_colour_mul(0xFFFFFFFFu, 0x80FFFFFFu), 0x80FFFFFFu);
    const float c[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    using Uv = std::array<float, 4>;
    // A quarter turn puts the top-right corner first, rotation 5 is masked to 1, flip 4 is
    // horizontal and 8 vertical, and after an odd rotation flip 4 swaps v.
    for (auto [rot, flip, u, v] : {std::tuple{1, 0, Uv{1, 1, 0, 0}, Uv{0, 1, 0, 1}},
                                   {5, 0, Uv{1, 1, 0, 0}, Uv{0, 1, 0, 1}},
                                   {0, 4, Uv{1, 0, 1, 0}, Uv{0, 0, 1, 1}},
                                   {0, 8, Uv{0, 1, 0, 1}, Uv{1, 1, 0, 0}},
                                   {1, 4, Uv{1, 1, 0, 0}, Uv{1, 0, 1, 0}}}) {
        Uv got_u, got_v;
        obj2d_uv_select(c, rot, flip, got_u.data(), got_v.data());
        EXPECT_EQ(std::pair(got_u, got_v), std::pair(u, v)) << rot << " " << flip;
    }
}

}  // namespace

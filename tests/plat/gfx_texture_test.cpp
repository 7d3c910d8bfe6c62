// Textures: formats, texel-exact placement, locks, render targets, stage ranges.
#include "gfx_fixture.h"

namespace {

// Draws `tex` on stage 0 over pixels [x, x + w) x [y, y + h), point filtered.
void draw_textured(GfxTexture* tex, float x, float y, float w, float h)
{
    gfx_set_texture(0, tex);
    gfx_set_sampler_state(0, GFX_SAMP_MAGFILTER, GFX_TEXF_POINT);
    gfx_set_sampler_state(0, GFX_SAMP_MINFILTER, GFX_TEXF_POINT);
    quad(x, y, x + w, y + h, GFX_FIXTURE_WHITE);
    gfx_set_texture(0, nullptr);
}

// 1.0 and 0.5 as half floats.
constexpr uint16_t GFX_TEXTURE_HALF_1 = 0x3C00, GFX_TEXTURE_HALF_05 = 0x3800;

template <typename T>
std::vector<uint8_t> bytes_of(std::initializer_list<T> v)
{
    std::vector<uint8_t> out(v.size() * sizeof(T));
    std::memcpy(out.data(), std::data(v), out.size());
    return out;
}

struct FormatCase {
    GfxFormat fmt;
    std::vector<uint8_t> texel;  // one texel (or one 4x4 block)
    uint32_t expect;             // drawn colour 0xAARRGGBB
};

std::vector<FormatCase> format_cases()
{
    std::vector<uint8_t> dxt1 = bytes_of<uint16_t>({0xF800, 0x001F, 0, 0});
    std::vector<uint8_t> dxt3(8, 0xFF), dxt5 = {255, 0, 0, 0, 0, 0, 0, 0};
    dxt3.insert(dxt3.end(), dxt1.begin(), dxt1.end());
    dxt5.insert(dxt5.end(), dxt1.begin(), dxt1.end());
    return {
        {GFX_FMT_A8R8G8B8, {0x10, 0x20, 0x30, 0x40}, 0x40302010u},
        {GFX_FMT_X8R8G8B8, {0x10, 0x20, 0x30, 0x00}, 0xFF302010u},
        {GFX_FMT_A1R5G5B5, bytes_of<uint16_t>({0x8000 | (31 << 10) | 16}), 0xFFFF0084u},
        {GFX_FMT_X1R5G5B5, bytes_of<uint16_t>({(31 << 10) | 16}), 0xFFFF0084u},
        {GFX_FMT_R5G6B5, bytes_of<uint16_t>({(31 << 11) | (32 << 5)}), 0xFFFF8200u},
        {GFX_FMT_R8G8B8, {0x10, 0x20, 0x30}, 0xFF302010u},
        {GFX_FMT_A4R4G4B4, bytes_of<uint16_t>({0xF842}), 0xFF884422u},
        {GFX_FMT_A16B16G16R16, bytes_of<uint16_t>({0xFFFF, 0x8000, 0, 0xFFFF}), 0xFFFF8000u},
        {GFX_FMT_A2R10G10B10, bytes_of<uint32_t>({(3u << 30) | (1023u << 20) | (512u << 10)}),
         0xFFFF8000u},
        {GFX_FMT_A2B10G10R10, bytes_of<uint32_t>({(3u << 30) | (512u << 20) | 1023u}), 0xFFFF0080u},
        {GFX_FMT_A8, {0x80}, 0x80FFFFFFu},
        {GFX_FMT_L8, {0x40}, 0xFF404040u},
        {GFX_FMT_A8L8, {0x40, 0x80}, 0x80404040u},
        {GFX_FMT_DXT1, dxt1, GFX_FIXTURE_RED},
        {GFX_FMT_DXT2, dxt3, GFX_FIXTURE_RED},
        {GFX_FMT_DXT3, dxt3, GFX_FIXTURE_RED},
        {GFX_FMT_DXT4, dxt5, GFX_FIXTURE_RED},
        {GFX_FMT_DXT5, dxt5, GFX_FIXTURE_RED},
        {GFX_FMT_R16F, bytes_of<uint16_t>({GFX_TEXTURE_HALF_05}), 0xFF80FFFFu},
        {GFX_FMT_R32F, bytes_of<float>({0.25f}), 0xFF40FFFFu},
        {GFX_FMT_G16R16F, bytes_of<uint16_t>({GFX_TEXTURE_HALF_05, GFX_TEXTURE_HALF_1}),
         0xFF80FFFFu},
        {GFX_FMT_A16B16G16R16F,
         bytes_of<uint16_t>({GFX_TEXTURE_HALF_1, GFX_TEXTURE_HALF_05, 0, GFX_TEXTURE_HALF_1}),
         0xFFFF8000u},
        {GFX_FMT_G32R32F, bytes_of<float>({0.25f, 0.75f}), 0xFF40BFFFu},
        {GFX_FMT_A32B32G32R32F, bytes_of<float>({0.0f, 0.25f, 0.5f, 1.0f}), 0xFF004080u},
    };
}

}  // namespace

TEST_F(GfxTest, EveryTextureFormatUploadsAndDrawsItsColour)
{
    for (const auto& c : format_cases()) {
        SCOPED_TRACE(testing::Message() << "format " << c.fmt);
        GfxTexture* t = gfx_tex_create(4, 4, 1, 0, c.fmt, GFX_POOL_MANAGED);
        ASSERT_NE(t, nullptr);
        GfxLockedRect lr{};
        ASSERT_EQ(gfx_tex_lock(t, 0, nullptr, &lr, 0), GFX_OK);
        const int n = gfx_format_block_bytes(c.fmt) != 0 ? 1 : 4;  // texels per row and rows
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                std::memcpy(static_cast<uint8_t*>(lr.bits) + y * lr.pitch + x * c.texel.size(),
                            c.texel.data(), c.texel.size());
        ASSERT_EQ(gfx_tex_unlock(t, 0), GFX_OK);
        gfx_clear(GFX_CLEAR_TARGET, 0x00000000u, 1, 0);
        draw_textured(t, 0, 0, 4, 4);
        EXPECT_TRUE(near(pixel(1, 1), c.expect, 3))
            << std::hex << pixel(1, 1) << " want " << c.expect;
        // The lock copy gives back exactly what was written.
        ASSERT_EQ(gfx_tex_lock(t, 0, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
        EXPECT_EQ(std::memcmp(lr.bits, c.texel.data(), c.texel.size()), 0);
        gfx_tex_unlock(t, 0);
        gfx_tex_release(t);
    }
}

// Transformed vertices keep Direct3D's pixel centres (Direct3D code shifts by half a pixel); the
// pre-transformed ones are held to them by every drawn case here and in tests/disp.
TEST_F(GfxTest, AShiftedClipSpaceQuadMapsTexelsOneToOne)
{
    auto colour = [](int x, int y) {
        return 0xFF000000u | (x * 4) << 16 | (y * 5) << 8 | (x ^ y) * 3;
    };
    GfxTexture* t = pattern_texture(GFX_FIXTURE_W, GFX_FIXTURE_H, colour);
    ASSERT_NE(t, nullptr);
    set_states({{GFX_RS_LIGHTING, 0}, {GFX_RS_ZENABLE, 0}});
    gfx_set_texture(0, t);
    clip_quad(GFX_FIXTURE_WHITE, true, -1.0f / GFX_FIXTURE_W, 1.0f / GFX_FIXTURE_H);
    int bad = 0;
    for (int y = 0; y < GFX_FIXTURE_H - 1; ++y)
        for (int x = 0; x < GFX_FIXTURE_W - 1; ++x) bad += !near(pixel(x, y), colour(x, y), 1);
    EXPECT_EQ(bad, 0);
    gfx_set_texture(0, nullptr);
    gfx_tex_release(t);
}

TEST_F(GfxTest, RenderTargetIsDrawnIntoAndReadBack)
{
    GfxTexture* rt =
        gfx_tex_create(16, 16, 1, GFX_USAGE_RENDERTARGET, GFX_FMT_A8R8G8B8, GFX_POOL_DEFAULT);
    ASSERT_NE(rt, nullptr);
    GfxSurface* back = gfx_get_render_target(0);
    GfxSurface* rts = gfx_tex_get_surface(rt, 0);
    ASSERT_EQ(gfx_set_render_target(0, rts), GFX_OK);
    GfxViewport vp{};
    gfx_get_viewport(&vp);
    EXPECT_EQ(vp.width, 16);  // setting target 0 resets the viewport
    ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLUE, 1, 0), GFX_OK);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);  // the main depth surface is larger: fine
    quad(4, 4, 8, 8, GFX_FIXTURE_RED);
    expect_at({{5, 5, GFX_FIXTURE_RED}});
    // Lock reads the target back in Direct3D layout.
    GfxLockedRect lr{};
    ASSERT_EQ(gfx_tex_lock(rt, 0, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(std::pair(texel32(lr, 5, 5), texel32(lr, 15, 0)),
              std::pair(GFX_FIXTURE_RED, GFX_FIXTURE_BLUE));
    gfx_tex_unlock(rt, 0);
    ASSERT_EQ(gfx_set_render_target(0, back), GFX_OK);
    gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
    draw_textured(rt, 20, 20, 16, 16);
    expect_at({{25, 25, GFX_FIXTURE_RED}, {20, 20, GFX_FIXTURE_BLUE}});
    EXPECT_EQ(gfx_set_render_target(0, nullptr), GFX_E_INVALIDCALL);
    gfx_surface_release(rts);
    gfx_surface_release(back);
    gfx_tex_release(rt);
}

TEST_F(GfxTest, StagesOutsideZeroToSevenAreRefused)
{
    GfxTexture* w = gfx_white_texture();
    ASSERT_NE(w, nullptr);
    for (int stage : {-1, 8, 15, 1000}) {
        EXPECT_EQ(gfx_set_texture(stage, w), GFX_E_INVALIDCALL);
        EXPECT_EQ(gfx_set_sampler_state(stage, GFX_SAMP_MINFILTER, GFX_TEXF_LINEAR),
                  GFX_E_INVALIDCALL);
        EXPECT_EQ(gfx_set_texture_stage_state(stage, GFX_TSS_COLOROP, GFX_TOP_MODULATE),
                  GFX_E_INVALIDCALL);
    }
    EXPECT_EQ(gfx_set_texture(7, w), GFX_OK);
    EXPECT_EQ(gfx_get_texture(7), w);
    gfx_set_texture(7, nullptr);
}

TEST_F(GfxTest, LockRectanglesAreCheckedAndUploadOnlyTheirRows)
{
    GfxTexture* t = gfx_tex_create(8, 8, 0, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    GfxTexture* d = gfx_tex_create(8, 8, 1, 0, GFX_FMT_DXT1, GFX_POOL_MANAGED);
    ASSERT_TRUE(t && d);
    GfxLockedRect lr{};
    // Outside, empty, past the last level; on DXT, anything but whole blocks.
    for (auto [tex, rect, level] : {std::tuple{t, GfxRect{6, 6, 9, 8}, 0},
                                    {t, GfxRect{3, 3, 3, 5}, 0},
                                    {t, GfxRect{0, 0, 1, 1}, 4},
                                    {d, GfxRect{2, 0, 4, 4}, 0}})
        EXPECT_EQ(gfx_tex_lock(tex, level, &rect, &lr, 0), GFX_E_INVALIDCALL);
    GfxRect r{2, 3, 4, 4};
    ASSERT_EQ(gfx_tex_lock(t, 0, &r, &lr, 0), GFX_OK);
    EXPECT_EQ(gfx_tex_lock(t, 0, &r, &lr, 0), GFX_E_INVALIDCALL);  // already locked
    const uint32_t c[2] = {GFX_FIXTURE_RED, GFX_FIXTURE_GREEN};
    std::memcpy(lr.bits, c, 8);
    ASSERT_EQ(gfx_tex_unlock(t, 0), GFX_OK);
    EXPECT_EQ(gfx_tex_unlock(t, 0), GFX_E_INVALIDCALL);
    draw_textured(t, 0, 0, 8, 8);
    expect_at({{2, 3, GFX_FIXTURE_RED}, {3, 3, GFX_FIXTURE_GREEN}, {4, 3, 0x00000000u}});
    GfxRect blk{4, 4, 8, 8};
    ASSERT_EQ(gfx_tex_lock(d, 0, &blk, &lr, 0), GFX_OK);
    EXPECT_EQ(lr.pitch, 16);
    gfx_tex_unlock(d, 0);
    gfx_tex_release(d);
    gfx_tex_release(t);
    EXPECT_EQ(gfx_tex_create(0, 4, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED), nullptr);
    EXPECT_EQ(gfx_tex_create(4, 4, 1, 0, GFX_FMT_D24S8, GFX_POOL_MANAGED), nullptr);
    EXPECT_EQ(gfx_tex_create(4, 4, 1, GFX_USAGE_RENDERTARGET, GFX_FMT_L8, GFX_POOL_DEFAULT),
              nullptr);
}

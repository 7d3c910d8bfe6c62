// Texture records: create, fill, read back, stage cache, targets, reset; row and DXT decoders.
#include <algorithm>
#include <tuple>

#include "disp/rstate.h"
#include "disp/tex_convert_local.h"
#include "disp_fixture.h"
#include "plat/byte_order.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t o, uint32_t v) { plat_le_put32(&b[o], v); }

// An uncompressed 32-bit DDS, no mip levels; pixel (x, y) = 0xFF000000 | x << 8 | y.
std::vector<uint8_t> make_dds(uint32_t w, uint32_t h)
{
    std::vector<uint8_t> b(128 + size_t(w) * h * 4, 0);
    std::memcpy(b.data(), "DDS ", 4);
    const std::pair<size_t, uint32_t> fields[] = {{4, 124},    {8, 0x100F}, {12, h},      {16, w},
                                                  {20, w * 4}, {76, 32},    {108, 0x1000}};
    for (auto [at, v] : fields) put32(b, at, v);
    const uint32_t format[] = {0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    for (size_t i = 0; i < std::size(format); ++i) put32(b, 80 + 4 * i, format[i]);  // ARGB
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) put32(b, 128 + (y * w + x) * 4, 0xFF000000u | x << 8 | y);
    return b;
}

// A DXT1 block: end colours c0, c1, then one index byte per row.
std::vector<uint8_t> dxt1_block(uint16_t c0, uint16_t c1, uint8_t r0, uint8_t r1 = 0)
{
    return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), r0, r1, 0, 0};
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using Px = std::vector<uint32_t>;

template <class T, size_t N>
std::span<const uint8_t> bytes(const T (&a)[N])
{
    return {reinterpret_cast<const uint8_t*>(a), sizeof a};
}

std::vector<uint32_t> decode(int fmt, const std::vector<uint8_t>& src, int x, int y, int w, int h,
                             int pitch, int* result = nullptr)
{
    std::vector<uint32_t> out(size_t(w) * size_t(h), 0xDEADBEEF);
    int r = tex_row_convert(fmt, out, src, x, y, w, h, pitch);
    if (result) *result = r;
    return out;
}

// A refusal must also leave the whole output zeroed, so a caller never shows stale pixels.
bool refused(int fmt, const std::vector<uint8_t>& src, int x, int y, int w, int h, int pitch)
{
    int r = -1;
    const Px px = decode(fmt, src, x, y, w, h, pitch, &r);
    return r == 0 && std::all_of(px.begin(), px.end(), [](uint32_t p) { return p == 0; });
}

// Each case's texture `t_` is released after it, even when an assertion stops the case early.
class TexTest : public DispDevice {
protected:
    void TearDown() override
    {
        tex_release(&t_);
        DispDevice::TearDown();
    }
    TexRecord t_{};
};

TEST_F(TexTest, OnlyStageZeroFallsBackToWhiteAndTheStageCacheSetsOnlyWhatChanged)
{
    TexRecord empty;
    EXPECT_EQ(tex_create(&empty, GFX_FMT_A8R8G8B8, 0, 16, 0), 1);
    EXPECT_TRUE(empty.texture == nullptr && empty.real_w == 0);
    GfxTexture* white = tex_get_white()->texture;
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(tex_read_pixel(const_cast<TexRecord*>(tex_get_white()), 0, 0), 0xFFFFFFFFu);
    ASSERT_EQ(tex_create(&t_, GFX_FMT_A8R8G8B8, 2, 2, 1), 1);
    const auto bound = [](int stage, const TexRecord* r) {
        tex_set_stage(stage, r, 0);
        return gfx_get_texture(stage);
    };
    EXPECT_EQ((std::array{bound(0, &empty), bound(0, &t_), bound(0, nullptr), bound(1, &t_),
                          bound(1, &empty)}),
              (std::array<GfxTexture*, 5>{white, t_.texture, white, t_.texture, nullptr}));
    tex_set_stage(0, &t_, 0), tex_set_stage(3, &t_, 0);
    disp_unbind_stages_from(0);
    EXPECT_EQ(std::pair(gfx_get_texture(0), gfx_get_texture(3)), std::pair(white, (GfxTexture*)0));
    TexRecord& a = t_;
    TexRecord b;
    ASSERT_EQ(tex_create(&b, GFX_FMT_A8R8G8B8, 2, 2, 1), 1);
    b.flags |= TEX_FLAG_MIP | (TEX_ADDR_CLAMP << TEX_ADDR_U_SHIFT);
    const auto sampler = [](GfxSamp st) { return gfx_get_sampler_state(2, st); };
    tex_set_stage(2, &a, 1);
    EXPECT_EQ(std::pair(sampler(GFX_SAMP_MAGFILTER), sampler(GFX_SAMP_MIPFILTER)),
              std::pair(uint32_t(GFX_TEXF_LINEAR), uint32_t(GFX_TEXF_NONE)));
    uint64_t n = tex_stage_set_count();
    tex_set_stage(2, &a, 1);
    EXPECT_EQ(tex_stage_set_count(), n);
    tex_set_stage(2, &b, 1);  // address U, mip bit and texture differ
    EXPECT_EQ(tex_stage_set_count(), n + 3);
    EXPECT_EQ(std::pair(sampler(GFX_SAMP_ADDRESSU), sampler(GFX_SAMP_MIPFILTER)),
              std::pair(uint32_t(GFX_TADDRESS_CLAMP), uint32_t(GFX_TEXF_LINEAR)));
    tex_set_stage(2, &b, 0);  // filter only: the mip filter stays
    EXPECT_EQ(tex_stage_set_count(), n + 5);
    EXPECT_EQ(std::pair(sampler(GFX_SAMP_MINFILTER), sampler(GFX_SAMP_MIPFILTER)),
              std::pair(uint32_t(GFX_TEXF_POINT), uint32_t(GFX_TEXF_LINEAR)));
    n = tex_stage_set_count();
    tex_set_stage(8, &a, 0), tex_set_stage(-1, &a, 0), tex_set_stage(16, nullptr, 0);
    EXPECT_EQ(tex_stage_set_count(), n);  // stages that do not exist
    tex_release(&b);
}

TEST_F(TexTest, CreateFillAndReadBackInEachFormatButRefuseBadRectanglesAndBuffers)
{
    ASSERT_EQ(tex_create(&t_, GFX_FMT_A8R8G8B8, 4, 3, 0), 1);
    EXPECT_EQ(std::tuple(t_.bpp, t_.fmt_index, t_.flags), std::tuple(32, DISP_SF_A8R8G8B8, 0));
    const uint32_t px[4] = {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00};
    ASSERT_EQ(tex_fill_rect(&t_, 2, 1, 2, 2, bytes(px)), 1);           // the bottom right corner
    ASSERT_EQ(tex_fill_rect(&t_, 0, 0, 1, 1, bytes(px).first(4)), 1);  // and the top left
    uint32_t back[4] = {};
    ASSERT_EQ(tex_read_rect_argb(&t_, 2, 1, 2, 2, back), 1);
    EXPECT_EQ(Px(back, back + 4), Px(px, px + 4));
    // A point outside is read at the nearest edge, each axis on its own.
    EXPECT_EQ(
        (Px{tex_read_pixel(&t_, 100, 100), tex_read_pixel(&t_, -5, -5), tex_read_pixel(&t_, 9, 1)}),
        (Px{0xDDEEFF00u, 0x11223344u, 0x55667788u}));
    uint8_t out[16];
    ASSERT_EQ(tex_copy_rect_out(&t_, 2, 1, 2, 2, out), 1);
    EXPECT_EQ(std::memcmp(out, px, 16), 0);
    tex_release(&t_);
    EXPECT_EQ(t_.texture, nullptr);
    ASSERT_EQ(tex_create(&t_, GFX_FMT_R5G6B5, 2, 1, 1), 1);
    EXPECT_EQ(t_.flags, TEX_FLAG_MANAGED);
    const uint16_t rgb565[2] = {0xF800, 0x07E0};
    ASSERT_EQ(tex_fill_rect(&t_, 0, 0, 2, 1, bytes(rgb565)), 1);
    EXPECT_EQ(std::pair(tex_read_pixel(&t_, 0, 0), tex_read_pixel(&t_, 1, 0)),
              std::pair(0xFFFF0000u, 0xFF00FF00u));
    tex_release(&t_);
    ASSERT_EQ(tex_create(&t_, GFX_FMT_A8L8, 1, 1, 1), 1);
    const uint8_t al[2] = {0x40, 0x80};
    ASSERT_EQ(tex_fill_rect(&t_, 0, 0, 1, 1, al), 1);
    EXPECT_EQ(tex_read_pixel(&t_, 0, 0), 0x80404040u);
    // Rectangles outside a 4 x 4 texture, and buffers too short for them, are refused.
    tex_release(&t_);
    ASSERT_EQ(tex_create(&t_, GFX_FMT_A8R8G8B8, 4, 4, 0), 1);
    std::vector<uint8_t> buf(64, 0);
    EXPECT_EQ(tex_fill_rect(&t_, 3, 0, 2, 1, buf), 0);
    EXPECT_EQ(tex_fill_rect(&t_, -1, 0, 1, 1, buf), 0);
    EXPECT_EQ(tex_fill_rect(&t_, 0, 0, 0, 1, buf), 0);
    EXPECT_EQ(tex_fill_rect(&t_, 0, 0, 4, 4, std::span(buf).first(60)), 0);  // short source
    EXPECT_EQ(tex_copy_rect_out(&t_, 0, 0, 4, 4, std::span(buf).first(63)), 0);
    uint32_t small[3];
    EXPECT_EQ(tex_read_rect_argb(&t_, 0, 0, 2, 2, small), 0);
    EXPECT_EQ(tex_fill_rect(nullptr, 0, 0, 1, 1, buf), 0);
    TexRecord empty{};
    EXPECT_EQ(tex_read_pixel(&empty, 0, 0), 0u);
    EXPECT_EQ(tex_create(&empty, GFX_FMT_A8R8G8B8, TEX_MAX_SIDE + 1, 4, 0), 0);
}

TEST_F(TexTest, FillRgbStepsFourBytesAndChecksTheRectangle)
{
    ASSERT_EQ(tex_create(&t_, GFX_FMT_X8R8G8B8, 3, 2, 0), 1);  // narrow: 12-byte rows
    const uint8_t bgr[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(tex_fill_rect_rgb(&t_, 0, 1, 3, 1, bgr, 3), 1);
    EXPECT_EQ(std::pair(tex_read_pixel(&t_, 0, 1), tex_read_pixel(&t_, 2, 1)),
              std::pair(0xFF030201u, 0xFF090807u));
    EXPECT_EQ(tex_fill_rect_rgb(&t_, 2, 0, 2, 1, bgr, 3), 0);  // past the right edge
    EXPECT_EQ(tex_fill_rect_rgb(&t_, 0, 0, 1, 1, bgr, 2), 0);
    tex_release(&t_);
    ASSERT_EQ(tex_create(&t_, GFX_FMT_A1R5G5B5, 2, 2, 0), 1);
    EXPECT_EQ(tex_fill_rect_rgb(&t_, 0, 0, 1, 1, bgr, 3), 0);
}

TexRecord g_rt;
TexRecord* lookup_rt(uint32_t h) { return h == 7 ? &g_rt : nullptr; }

TEST_F(TexTest, TargetsDepthSurfacesFillStretchAndSurviveAReset)
{
    DispLinks links = disp_links();
    links.tex_lookup = lookup_rt;
    disp_set_links(links);
    ASSERT_EQ(tex_create_render_target(&g_rt, GFX_FMT_A8R8G8B8, 16, 8), 1);
    tex_set_render_target(0, 7);
    EXPECT_EQ(std::pair(tex_get_target_width(), disp_get_viewport().height), std::pair(16, 8));
    tex_set_render_target(1, 7);
    tex_set_render_target(1, 0);  // removes the second target
    EXPECT_EQ(gfx_get_render_target(1), nullptr);
    tex_color_fill(7, 0xFF00FF00);
    EXPECT_TRUE(Near(Pixel(3, 3), 0xFF00FF00));
    tex_set_render_target(0, tex_default_rt_handle());
    EXPECT_EQ(tex_get_target_width(), DISP_FIXTURE_TEST_WIDTH);
    tex_stretch(0, 7, 0);
    EXPECT_TRUE(Near(Pixel(40, 30), 0xFF00FF00));
    SurfRecord depth;
    ASSERT_EQ(tex_surface_create(&depth, GFX_FMT_D16, 16, 8), 1);
    EXPECT_EQ(std::pair(int(depth.kind), int(depth.bpp)), std::pair(int(DISP_SURF_KIND_DEPTH), 16));
    tex_set_targets(7, 0, &depth);
    EXPECT_EQ(tex_get_depth_target(), &depth);
    gfx_begin_scene();
    EXPECT_EQ(disp_clear(3, 0), GFX_OK);  // z only: no stencil in D16
    gfx_end_scene();
    tex_set_targets(0, 0, tex_get_depth_record());
    tex_surface_reset(&depth);
    EXPECT_NE(depth.surface, nullptr);
    tex_surface_release(&depth);
    EXPECT_EQ(depth.width, 0);
    tex_release(&g_rt);
    // A render target survives a reset with its sizes and flags; a managed texture is kept.
    TexRecord& rt = t_;
    ASSERT_EQ(tex_create_render_target(&rt, GFX_FMT_A8R8G8B8, 16, 8), 1);
    EXPECT_NE(rt.surface, nullptr);
    const int flags = TEX_FLAG_RENDER_TARGET | (TEX_ADDR_CLAMP << TEX_ADDR_U_SHIFT) |
                      (TEX_ADDR_CLAMP << TEX_ADDR_V_SHIFT);
    EXPECT_EQ(rt.flags, flags);
    rt.req_w = 13;  // as a resource would ask
    tex_on_lost(&rt);
    EXPECT_TRUE(rt.texture == nullptr && rt.real_w == 16);
    tex_on_reset(&rt);
    EXPECT_TRUE(rt.texture && rt.surface);
    EXPECT_EQ(std::tuple(rt.real_w, rt.req_w, int(rt.flags)), std::tuple(16, 13, flags));
    TexRecord managed;
    ASSERT_EQ(tex_create(&managed, GFX_FMT_A8R8G8B8, 2, 2, 1), 1);
    GfxTexture* kept = managed.texture;
    tex_on_lost(&managed);
    tex_on_reset(&managed);
    EXPECT_EQ(managed.texture, kept);
    tex_release(&managed);
}

TEST_F(TexTest, DdsInMemoryKeepsItsSizeRefusesBadHeadersAndReadsItsRowsBack)
{
    auto dds = make_dds(6, 10);
    ASSERT_EQ(tex_create_from_file_mem(&t_, dds, 0, 0), 1);
    EXPECT_EQ(std::tuple(t_.real_w, t_.real_h, t_.req_w, int(t_.flags)),
              std::tuple(6, 10, 6, int(TEX_FLAG_MANAGED)));
    EXPECT_EQ(tex_read_pixel(&t_, 5, 9), 0xFF000509u);
    tex_release(&t_);
    // Truncated header, truncated pixels, a header size that lies, a width past any texture.
    EXPECT_TRUE(tex_create_from_file_mem(&t_, std::span(dds).first(60), 0, 0) == 0 && !t_.texture);
    EXPECT_EQ(tex_create_from_file_mem(&t_, std::span(dds).first(200), 0, 0), 0);
    for (auto [at, v] : {std::pair{4u, 1000u}, {16u, 0x7FFFFFFFu}}) {
        auto bad = dds;
        put32(bad, at, v);
        EXPECT_EQ(tex_create_from_file_mem(&t_, bad, 0, 0), 0) << at;
    }
    EXPECT_EQ(tex_create_from_file_mem(&t_, {}, 0, 0), 0);
    EXPECT_EQ(tex_create_from_file(&t_, "/nonexistent-quorvel/a.png", 0, 0), 0);
    // Loaded textures keep their pixels on the device alone: a read locks only the
    // rectangle's rows (whole rows of blocks), and the bytes the load holds are
    // known from the header.
    uint64_t held = 0;
    EXPECT_EQ(tex_file_mem_bytes(dds, 0, &held), 1);
    EXPECT_EQ(held, 6u * 10 * 4);  // a mip-less DDS keeps its size
    EXPECT_EQ(tex_file_mem_bytes(dds, 1, &held), 1);
    EXPECT_EQ(held, (8u * 16 + 4 * 8 + 2 * 4 + 1 * 2 + 1) * 4);  // rounded up, with its chain
    EXPECT_EQ(tex_file_mem_bytes(std::span(dds).first(60), 0, &held), 0);
    EXPECT_EQ(held, 0u);
    ASSERT_EQ(tex_create_from_file_mem(&t_, dds, 0, 0), 1);
    uint32_t px[3 * 4];
    ASSERT_EQ(tex_read_rect_argb(&t_, 2, 5, 3, 4, px), 1);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 3; ++x)
            EXPECT_EQ(px[y * 3 + x], 0xFF000000u | (x + 2) << 8 | (y + 5)) << x << "," << y;
    tex_release(&t_);
    // 8 x 8 DXT1: a red row of blocks over a blue one; rows 3 to 5 cross both.
    std::vector<uint8_t> dxt(128, 0);
    std::memcpy(dxt.data(), "DDS ", 4);
    const std::pair<size_t, uint32_t> header[] = {{4, 124},         {8, 0x1007},  {12, 8},
                                                  {16, 8},          {76, 32},     {80, 4},
                                                  {84, 0x31545844}, {108, 0x1000}};
    for (auto [at, v] : header) put32(dxt, at, v);
    const auto red = dxt1_block(0xF800, 0xF800, 0), blue = dxt1_block(0x001F, 0x001F, 0);
    dxt = dxt + red + red + blue + blue;
    ASSERT_EQ(tex_create_from_file_mem(&t_, dxt, 0, 0), 1);
    uint32_t cross[2 * 3];
    ASSERT_EQ(tex_read_rect_argb(&t_, 5, 3, 2, 3, cross), 1);
    EXPECT_EQ(Px(cross, cross + 6),
              (Px{0xFFF80000u, 0xFFF80000u, 0xFF0000F8u, 0xFF0000F8u, 0xFF0000F8u, 0xFF0000F8u}));
    tex_release(&t_);
}

TEST(DxtBlock, ColoursInThirdsIndexThreeTransparentAndAlphaExplicitOrInterpolated)
{
    // Red, blue; row 0 indices 0, 1, 2, 3; row 1 all index 0.
    auto px = decode(DISP_SF_DXT1, dxt1_block(0xF800, 0x001F, 0xE4), 0, 0, 4, 4, 8);
    // (2 * 248 + 0 + 1) / 3 = 165, (0 + 248 + 1) / 3 = 83
    EXPECT_EQ(Px(px.begin(), px.begin() + 5),
              Px({0xFFF80000, 0xFF0000F8, 0xFFA50053, 0xFF5300A5, 0xFFF80000}));
    // Green 0x07E0 expands to 252 without low-bit replication.
    const auto b = dxt1_block(0x07E0, 0x07E0, 0xFF, 0x00);
    px = decode(DISP_SF_DXT1, b, 0, 0, 4, 2, 8);
    EXPECT_EQ(std::pair(px[0], px[4]), std::pair(0x0000FC00u, 0xFF00FC00u));
    // DXT3 with full explicit alpha: index 3 still loses its alpha.
    px = decode(DISP_SF_DXT3, std::vector<uint8_t>(8, 0xFF) + b, 0, 0, 4, 2, 16);
    EXPECT_EQ(std::pair(px[0], px[4]), std::pair(0x0000FC00u, 0xFF00FC00u));
    // Explicit four-bit alpha times seventeen, and interpolated alpha in both modes.
    // Row 0 alpha word 0xF0A5 over white, index 0.
    const auto src = std::vector<uint8_t>{0xA5, 0xF0, 0, 0, 0, 0, 0, 0} + dxt1_block(0xFFFF, 0, 0);
    for (int fmt : {DISP_SF_DXT2, DISP_SF_DXT3}) {
        auto px = decode(fmt, src, 0, 0, 4, 2, 16);
        EXPECT_EQ(Px(px.begin(), px.begin() + 5),
                  Px({0x55F8FCF8, 0xAAF8FCF8, 0x00F8FCF8, 0xFFF8FCF8, 0x00F8FCF8}));
    }
    // Codes 0..7 in the first eight pixels: 3 bits each from the lowest.
    uint64_t codes = 0;
    for (int i = 0; i < 8; ++i) codes |= uint64_t(i) << (3 * i);
    auto block = [&](uint8_t a0, uint8_t a1) {
        std::vector<uint8_t> s = {a0, a1};
        for (int i = 0; i < 6; ++i) s.push_back(uint8_t(codes >> (8 * i)));
        return s + dxt1_block(0xFFFF, 0, 0);
    };
    px = decode(DISP_SF_DXT5, block(0, 255), 0, 0, 4, 2, 16);
    const uint32_t five[8] = {0, 255, 51, 102, 153, 204, 0, 255};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, five[i]) << i;
    px = decode(DISP_SF_DXT4, block(255, 0), 0, 0, 4, 2, 16);
    const uint32_t seven[8] = {255, 0, 218, 182, 145, 109, 72, 36};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(px[i] >> 24, seven[i]) << i;
}

TEST(DxtRect, SmallTexturesAndMisalignedRectanglesDecodeTheirOwnWindowAndHostileSizesAreRefused)
{
    const auto src = dxt1_block(0xF800, 0x001F, 0x04);  // row 0: indices 0, 1
    std::vector<uint32_t> out(4 + 1, 0x12345678);
    ASSERT_EQ(dxt_decode_rect(std::span(out).first(4), src, 0, 0, 2, 2, 8, DISP_SF_DXT1), 1);
    // Nothing is written past the rectangle.
    EXPECT_EQ(out, Px({0xFFF80000, 0xFF0000F8, 0xFFF80000, 0xFFF80000, 0x12345678}));
    // An 8 x 8 DXT1 texture of four solid blocks: red, green / blue, white.
    const auto four = dxt1_block(0xF800, 0, 0) + dxt1_block(0x07E0, 0, 0) +
                      dxt1_block(0x001F, 0, 0) + dxt1_block(0xFFFF, 0, 0);
    auto px = decode(DISP_SF_DXT1, four, 2, 2, 4, 4, 16);
    EXPECT_EQ(Px(px.begin(), px.begin() + 4), Px({0xFFF80000, 0xFFF80000, 0xFF00FC00, 0xFF00FC00}));
    EXPECT_EQ(std::pair(px[2 * 4 + 0], px[3 * 4 + 3]), std::pair(0xFF0000F8u, 0xFFF8FCF8u));
    // Sizes the source cannot hold.
    EXPECT_TRUE(refused(DISP_SF_DXT1, src, 0, 0, 8, 4, 8));   // needs two blocks
    EXPECT_TRUE(refused(DISP_SF_DXT5, src, 0, 0, 4, 4, 16));  // truncated 16-byte block
    EXPECT_TRUE(refused(DISP_SF_DXT1, src, 0, 4, 4, 4, 8));   // second block row absent
    EXPECT_TRUE(refused(DISP_SF_DXT1, src, -1, 0, 4, 4, 8));
    std::vector<uint32_t> small(3);
    EXPECT_EQ(dxt_decode_rect(small, src, 0, 0, 2, 2, 8, DISP_SF_DXT1), 0);
    EXPECT_EQ(dxt_decode_rect(small, src, 0, 0, 1, 1, 8, DISP_SF_A8R8G8B8), 0);
}

TEST(RowConvert, FormatsDecodeRowsAdvanceByPitchAndBadOrHostileInputIsRefusedInBounds)
{
    auto one = [](int fmt, std::vector<uint8_t> src) {
        return decode(fmt, src, 0, 0, 1, 1, int(src.size()))[0];
    };
    uint16_t v = 0x8000 | (31 << 10) | (16 << 5) | 1;
    EXPECT_EQ(one(DISP_SF_A1R5G5B5, {uint8_t(v), uint8_t(v >> 8)}), 0xFFFF8009u);
    EXPECT_EQ(one(DISP_SF_X1R5G5B5, {uint8_t(v), uint8_t((v >> 8) & 0x7F)}), 0x00FF8009u);
    v = (63 << 5) | 2;
    EXPECT_EQ(one(DISP_SF_R5G6B5, {uint8_t(v), uint8_t(v >> 8)}), 0xFF00FF12u);
    EXPECT_EQ(one(DISP_SF_A4R4G4B4, {0x34, 0x12}), 0x11223344u);
    EXPECT_EQ(one(DISP_SF_R8G8B8, {1, 2, 3}), 0xFF030201u);
    EXPECT_EQ(one(DISP_SF_A8, {0x40}), 0x40FFFFFFu);
    EXPECT_EQ(one(DISP_SF_L8, {0x40}), 0xFF404040u);
    EXPECT_EQ(one(DISP_SF_A8L8, {0x40, 0x80}), 0x80404040u);
    EXPECT_EQ(one(DISP_SF_X8R8G8B8, {4, 3, 2, 1}), 0x01020304u);
    // 3 x 3 L8 picture with a pitch of 5 bytes; read the 2 x 2 at (1, 1).
    std::vector<uint8_t> src = {0, 1, 2, 9, 9, 10, 11, 12, 9, 9, 20, 21, 22};
    EXPECT_EQ(decode(DISP_SF_L8, src, 1, 1, 2, 2, 5),
              Px({0xFF0B0B0B, 0xFF0C0C0C, 0xFF151515, 0xFF161616}));
    const std::vector<uint8_t> ff(64, 0xFF);
    for (int fmt :
         {int(DISP_SF_A16B16G16R16), int(DISP_SF_R32F), int(DISP_SF_A32B32G32R32F), 99, -1})
        EXPECT_TRUE(refused(fmt, ff, 0, 0, 2, 2, 16)) << fmt;
    EXPECT_TRUE(refused(DISP_SF_A8R8G8B8, ff, 0, 0, 4, 5, 16));  // 5 rows of 16 bytes > 64
    EXPECT_TRUE(refused(DISP_SF_A8R8G8B8, ff, 2, 0, 4, 1, 16));  // row runs past the pitch
    // Random rectangles, pitches and source sizes for every format: the converters either decode or
    // refuse, and never read or write out of bounds (the sanitizer build checks).
    uint32_t s = 7;
    auto next = [&](uint32_t mod) {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % mod);
    };
    for (int iter = 0; iter < 4000; ++iter) {
        const int fmt = next(26) - 1;
        std::vector<uint8_t> src(size_t(next(300)), 0xA5);
        const int w = next(12) - 1, h = next(12) - 1;
        std::vector<uint32_t> dst(size_t(next(150)));
        int r = tex_row_convert(fmt, dst, src, next(20) - 2, next(20) - 2, w, h, next(80) - 4);
        if (r) {
            ASSERT_GT(w, 0);
            ASSERT_LE(size_t(w) * size_t(h), dst.size());
        }
    }
}

}  // namespace

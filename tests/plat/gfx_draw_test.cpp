// Vertex formats and declarations, buffers, draw calls and their refused ranges.
#include "gfx_fixture.h"

#include <algorithm>
#include <array>

// Each position kind with normals, colours and mixed size codes; codes it cannot describe (no
// position, five weights, nine texture sets) are 0 and refused. Every model format's declaration
// is made in the display's start-up test; the spot checks pin the layout rules.
TEST_F(GfxTest, VertexFormatsGiveTheirElementsAndDeclarations)
{
    GfxVertexElement e[GFX_MAX_VERTEX_ELEMENTS];
    const std::pair<uint32_t, int> sizes[] = {{0x144, 28},    {0x252, 44}, {0x101356, 64},
                                              {0x50145C, 88}, {0x040, 0},  {0x00E, 0},
                                              {0x902, 0}};
    for (auto [fvf, size] : sizes) {
        ASSERT_EQ(gfx_fvf_to_elements(fvf, e), size) << std::hex << fvf;
        EXPECT_EQ(gfx_set_fvf(fvf), size ? GFX_OK : GFX_E_INVALIDCALL) << std::hex << fvf;
        if (!size) continue;
        EXPECT_EQ(gfx_elements_size(e), size);
        GfxVertexDecl* d = gfx_decl_create(e);
        EXPECT_NE(d, nullptr) << std::hex << fvf;
        gfx_decl_release(d);
    }
    // XYZB1 with the UBYTE4 flag: one weight, then the index word.
    ASSERT_EQ(gfx_fvf_to_elements(0x1116, e), 40);
    EXPECT_EQ(std::tuple(e[1].usage, e[1].type, e[2].usage, e[2].type, e[2].offset),
              std::tuple(GFX_DECLUSAGE_BLENDWEIGHT, GFX_DECLTYPE_FLOAT1, GFX_DECLUSAGE_BLENDINDICES,
                         GFX_DECLTYPE_UBYTE4, 16));
    // Bit 0x80: tangent and binormal after the texture sets.
    ASSERT_EQ(gfx_fvf_to_elements(0x1D2, e), 60);
    EXPECT_EQ(std::tuple(e[4].usage, e[4].offset, e[5].usage, e[6].stream),
              std::tuple(GFX_DECLUSAGE_TANGENT, 36, GFX_DECLUSAGE_BINORMAL, 0xFF));
    // Texture size codes: set 1 of 0x40212 has three floats.
    ASSERT_EQ(gfx_fvf_to_elements(0x40212, e), 12 + 12 + 8 + 12);
    EXPECT_EQ(e[3].type, GFX_DECLTYPE_FLOAT3);
    for (auto& x : e) x = {0, 0, GFX_DECLTYPE_FLOAT1, 0, GFX_DECLUSAGE_TEXCOORD, 0};
    EXPECT_EQ(gfx_elements_size(e), 0);  // no end marker
}

TEST_F(GfxTest, IndexedDrawsUseTheirVertexWindowAndRefuseBadRanges)
{
    gfx_set_render_state(GFX_RS_LIGHTING, 0);
    GfxVertexBuffer* vb = gfx_vb_create(4 * sizeof(Vc), 0, GFX_FIXTURE_VC_FVF, GFX_POOL_MANAGED);
    GfxIndexBuffer* ib = gfx_ib_create(6 * 2, 0, GFX_FMT_INDEX16, GFX_POOL_MANAGED);
    ASSERT_TRUE(vb && ib);
    void* p = nullptr;
    ASSERT_EQ(gfx_vb_lock(vb, 0, 0, &p, 0), GFX_OK);
    const Vc v[4] = {{-1, 1, 0.5f, GFX_FIXTURE_RED},
                     {0, 1, 0.5f, GFX_FIXTURE_RED},
                     {-1, 0, 0.5f, GFX_FIXTURE_RED},
                     {0, 0, 0.5f, GFX_FIXTURE_RED}};
    std::memcpy(p, v, sizeof v);
    ASSERT_EQ(gfx_vb_unlock(vb), GFX_OK);
    ASSERT_EQ(gfx_ib_lock(ib, 0, 0, &p, 0), GFX_OK);
    const uint16_t idx[6] = {0, 1, 2, 3, 2, 1};
    std::memcpy(p, idx, sizeof idx);
    ASSERT_EQ(gfx_ib_unlock(ib), GFX_OK);
    ASSERT_EQ(gfx_set_fvf(GFX_FIXTURE_VC_FVF), GFX_OK);
    ASSERT_EQ(gfx_set_stream_source(0, vb, 0, sizeof(Vc)), GFX_OK);
    ASSERT_EQ(gfx_set_indices(ib), GFX_OK);
    ASSERT_EQ(gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 0, 0, 4, 0, 2), GFX_OK);
    expect_at({{GFX_FIXTURE_W / 4, GFX_FIXTURE_H / 4, GFX_FIXTURE_RED},
               {3 * GFX_FIXTURE_W / 4, GFX_FIXTURE_H / 4, GFX_FIXTURE_BLACK}});
    // Ranges past the buffers are refused, not drawn.
    uint64_t draws = gfx_get_counters()->draw_calls;
    EXPECT_EQ(gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 0, 0, 4, 3, 2), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 1, 0, 4, 0, 2), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_draw_primitive(GFX_PT_TRIANGLELIST, 2, 1), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_draw_primitive(GFX_PT_TRIANGLESTRIP, 0, 2), GFX_OK);
    EXPECT_EQ(gfx_get_counters()->draw_calls, draws + 1);
    // An index naming a vertex that was not handed over is refused.
    ASSERT_EQ(gfx_ib_lock(ib, 10, 2, &p, 0), GFX_OK);
    const uint16_t wild = 60000;
    std::memcpy(p, &wild, 2);
    gfx_ib_unlock(ib);
    EXPECT_EQ(gfx_draw_indexed_primitive(GFX_PT_TRIANGLELIST, 0, 0, 4, 0, 2), GFX_E_INVALIDCALL);
    const uint16_t up_idx[3] = {0, 1, 9};
    for (GfxFormat f : {GFX_FMT_INDEX16, GFX_FMT_D16})
        EXPECT_EQ(
            gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, 4, 1, up_idx, f, v, sizeof(Vc)),
            GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_vb_lock(vb, 8, 100, &p, 0), GFX_E_INVALIDCALL);
    // Sizes whose product would overflow are refused before any copy.
    EXPECT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLELIST, 1, v, 0x80000000u), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 0, 1u << 20, 1, idx,
                                            GFX_FMT_INDEX16, v, 1u << 14),
              GFX_E_INVALIDCALL);
    gfx_set_stream_source(0, nullptr, 0, 0);
    gfx_set_indices(nullptr);
    gfx_vb_release(vb);
    gfx_ib_release(ib);
    // From user memory, indices count from the start of the array, vertices
    // below the window are never read.
    gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
    TlVertex tl[8] = {};
    for (int i = 0; i < 4; ++i) tl[i] = {0, 0, 0, 1, GFX_FIXTURE_RED, 0, 0};
    for (int i = 0; i < 4; ++i)
        tl[4 + i] = {9.5f + 10 * (i & 1), 9.5f + 10 * (i >> 1), 0, 1, GFX_FIXTURE_GREEN, 0, 0};
    const uint16_t tl_idx[6] = {4, 5, 6, 7, 6, 5};
    ASSERT_EQ(gfx_set_fvf(GFX_FIXTURE_TL_FVF), GFX_OK);
    ASSERT_EQ(gfx_draw_indexed_primitive_up(GFX_PT_TRIANGLELIST, 4, 4, 2, tl_idx, GFX_FMT_INDEX16,
                                            tl, sizeof(TlVertex)),
              GFX_OK);
    expect_at({{12, 12, GFX_FIXTURE_GREEN}, {5, 5, GFX_FIXTURE_BLACK}});
}

TEST_F(GfxTest, WireframeFillLeavesTheInsideEmpty)
{
    gfx_set_render_state(GFX_RS_FILLMODE, GFX_FILL_WIREFRAME);
    quad(10, 10, 30, 30, GFX_FIXTURE_WHITE);
    expect_at({{20, 14, GFX_FIXTURE_BLACK}});
    int lit = 0;
    for (int x = 8; x < 32; ++x)
        lit += near(pixel(x, 10), GFX_FIXTURE_WHITE) || near(pixel(x, 9), GFX_FIXTURE_WHITE);
    EXPECT_GT(lit, 10);
    gfx_set_render_state(GFX_RS_FILLMODE, GFX_FILL_SOLID);
    quad(10, 10, 30, 30, GFX_FIXTURE_WHITE);
    expect_at({{20, 14, GFX_FIXTURE_WHITE}});
}

TEST_F(GfxTest, ClipPlanesCutFixedFunctionDrawsInWorldSpace)
{
    gfx_set_render_state(GFX_RS_LIGHTING, 0);
    const float keep_left[4] = {-1, 0, 0, 0};  // x <= 0 kept
    ASSERT_EQ(gfx_set_clip_plane(0, keep_left), GFX_OK);
    gfx_set_render_state(GFX_RS_CLIPPLANEENABLE, 1);
    clip_quad(GFX_FIXTURE_WHITE);
    expect_at({{GFX_FIXTURE_W / 4, GFX_FIXTURE_H / 2, GFX_FIXTURE_WHITE},
               {3 * GFX_FIXTURE_W / 4, GFX_FIXTURE_H / 2, GFX_FIXTURE_BLACK}});
    quad(40, 2, 60, 10, GFX_FIXTURE_GREEN);  // pre-transformed vertices are not clipped
    expect_at({{50, 5, GFX_FIXTURE_GREEN}});
    gfx_set_render_state(GFX_RS_CLIPPLANEENABLE, 0);
    clip_quad(GFX_FIXTURE_WHITE);
    expect_at({{3 * GFX_FIXTURE_W / 4, GFX_FIXTURE_H / 2, GFX_FIXTURE_WHITE}});
}

// The display's own formats are taken in its tests; these are refused or vary with the context.
TEST_F(GfxTest, FormatChecksAnswerFromTheContext)
{
    struct Case {
        GfxFormat fmt;
        uint32_t usage;
        GfxResourceType type;
        int ok;
    } cases[] = {
        {GFX_FMT_L8, GFX_USAGE_RENDERTARGET, GFX_RTYPE_TEXTURE, 0},
        {GFX_FMT_DXT5, 0, GFX_RTYPE_TEXTURE, gfx_get_caps()->s3tc},
        {GFX_FMT_DXT1, GFX_USAGE_AUTOGENMIPMAP, GFX_RTYPE_TEXTURE, 0},
        {GFX_FMT_D32, GFX_USAGE_DEPTHSTENCIL, GFX_RTYPE_SURFACE, 0},
        {GFX_FMT_P8, 0, GFX_RTYPE_TEXTURE, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(gfx_check_format(c.fmt, c.usage, c.type), c.ok) << c.fmt;
    EXPECT_EQ(gfx_check_multisample(16, nullptr), 0);
}

TEST_F(GfxTest, BackBufferLocksForReadingAndDepthSurfacesSwap)
{
    gfx_clear(GFX_CLEAR_TARGET, 0xFF123456u, 1, 0);
    GfxSurface* back = gfx_get_render_target(0);
    ASSERT_NE(back, nullptr);
    GfxSurfaceDesc d{};
    gfx_surface_get_desc(back, &d);
    EXPECT_EQ(d.format, GFX_FMT_X8R8G8B8);
    GfxRect one{0, 0, 1, 1};
    GfxLockedRect lr{};
    ASSERT_EQ(gfx_surface_lock(back, &one, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(texel32(lr, 0, 0) & 0xFFFFFFu, 0x123456u);
    ASSERT_EQ(gfx_surface_unlock(back), GFX_OK);
    // A depth surface without stencil: stencil clears are refused, z clears fine.
    GfxSurface* z16 = gfx_surface_create_depth(GFX_FIXTURE_W, GFX_FIXTURE_H, GFX_FMT_D16, 0);
    ASSERT_NE(z16, nullptr);
    GfxSurface* main_depth = gfx_get_depth_stencil_surface();
    ASSERT_EQ(gfx_set_depth_stencil_surface(z16), GFX_OK);
    EXPECT_EQ(gfx_clear(GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0, 1, 0), GFX_E_INVALIDCALL);
    EXPECT_EQ(gfx_clear(GFX_CLEAR_ZBUFFER, 0, 1, 0), GFX_OK);
    ASSERT_EQ(gfx_set_depth_stencil_surface(nullptr), GFX_OK);
    EXPECT_EQ(gfx_clear(GFX_CLEAR_ZBUFFER, 0, 1, 0), GFX_E_INVALIDCALL);
    gfx_set_depth_stencil_surface(main_depth);
    gfx_surface_release(main_depth);
    gfx_surface_release(z16);
    gfx_surface_release(back);
}

// Edges through pixel centres take those pixels in on the left and top only, whichever path
// the vertices take: [10, 11) is column or row 10 alone.
TEST_F(GfxTest, EdgesThroughPixelCentresFollowOneFillRuleOnBothPaths)
{
    using Box = std::array<int, 4>;  // x0, y0, x1, y1: the pixels [x0, x1) x [y0, y1)
    set_states({{GFX_RS_LIGHTING, 0}, {GFX_RS_ZENABLE, 0}});
    std::vector<uint8_t> bgra(size_t(GFX_FIXTURE_W) * GFX_FIXTURE_H * 4);
    for (bool pretransformed : {true, false})
        for (const Box& b :
             {Box{10, 0, 11, GFX_FIXTURE_H}, Box{0, 10, GFX_FIXTURE_W, 11}, Box{10, 20, 13, 22}}) {
            gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
            TlVertex tl[4];
            Vc clip[4];
            for (int k = 0; k < 4; ++k) {
                const float x = float(b[(k & 1) * 2]), y = float(b[1 + (k >> 1) * 2]);
                tl[k] = {x, y, 0, 1, GFX_FIXTURE_WHITE, 0, 0};
                clip[k] = {x * 2 / GFX_FIXTURE_W - 1, 1 - y * 2 / GFX_FIXTURE_H, 0.5f,
                           GFX_FIXTURE_WHITE};
            }
            if (pretransformed)
                draw_up(GFX_FIXTURE_TL_FVF, GFX_PT_TRIANGLESTRIP, 2, tl);
            else
                draw_up(GFX_FIXTURE_VC_FVF, GFX_PT_TRIANGLESTRIP, 2, clip);
            ASSERT_EQ(
                gfx_read_pixels(0, 0, GFX_FIXTURE_W, GFX_FIXTURE_H, bgra.data(), GFX_FIXTURE_W * 4),
                GFX_OK);
            Box lit{GFX_FIXTURE_W, GFX_FIXTURE_H, 0, 0};
            int count = 0;
            for (int y = 0; y < GFX_FIXTURE_H; ++y)
                for (int x = 0; x < GFX_FIXTURE_W; ++x)
                    if (bgra[(size_t(y) * GFX_FIXTURE_W + size_t(x)) * 4 + 1] > 128) {
                        ++count;
                        lit = {std::min(lit[0], x), std::min(lit[1], y), std::max(lit[2], x + 1),
                               std::max(lit[3], y + 1)};
                    }
            EXPECT_EQ(lit, b) << (pretransformed ? "pre-transformed" : "transformed");
            EXPECT_EQ(count, (b[2] - b[0]) * (b[3] - b[1]));
        }
}

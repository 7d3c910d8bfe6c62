// Render-state key packing, value and format tables, and the state cache.
#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "disp/rstate.h"
#include "disp_fixture.h"

TEST(RstateKey, PacksEveryFieldMaskedToItsWidth)
{
    EXPECT_EQ(rstate_key_make(0, 0, 0, 0, 0, 0, 0, 0, 0), 1u);
    RenderStateKey k = rstate_key_make(1, 1, 1, 31, 7, 7, 7, 3, 3);
    EXPECT_EQ(k, 0x3FF0FF35u);
    EXPECT_EQ(k & kRsCacheReset, 0u);
    k = rstate_key_make(3, 2, 5, 33, 9, 13, 8, 4, 6);  // all beyond their widths
    EXPECT_EQ((std::array{rstate_field(k, kRsBlendShift, kRsBlendBits),
                          rstate_field(k, kRsCullShift, kRsCullBits),
                          rstate_field(k, kRsAlphaRefShift, kRsAlphaRefBits),
                          rstate_field(k, kRsZFuncShift, kRsZFuncBits),
                          rstate_field(k, kRsFillShift, kRsFillBits),
                          rstate_field(k, kRsFilterShift, kRsFilterBits)}),
              (std::array<uint32_t, 6>{1, 1, 5, 0, 0, 2}));
    EXPECT_EQ(k & (kRsLighting | kRsZWrite | kRsFog), kRsLighting | kRsFog);
}

TEST(RstateTables, OutOfRangeIndicesFollowTheirRules)
{
    uint32_t s, d, o;
    disp_blend_mode_get(20, &s, &d, &o);
    EXPECT_EQ(std::pair(s, d), std::pair(uint32_t(GFX_BLEND_ONE), uint32_t(GFX_BLEND_ONE)));
    disp_blend_mode_get(15, &s, &d, &o);
    EXPECT_EQ(o, GFX_BLENDOP_REVSUBTRACT);
    disp_blend_mode_get(1, nullptr, &d, nullptr);
    EXPECT_EQ(d, GFX_BLEND_INVSRCALPHA);
    EXPECT_EQ((std::array{disp_cull_get(2), disp_cull_get(5), disp_fill_get(3), disp_fill_get(1),
                          disp_filter_get(0), disp_filter_get(3)}),
              (std::array<uint32_t, 6>{GFX_CULL_NONE, GFX_CULL_CCW, GFX_FILL_SOLID,
                                       GFX_FILL_WIREFRAME, GFX_TEXF_POINT, GFX_TEXF_LINEAR}));
    EXPECT_EQ((std::array{disp_alpha_ref_get(2), disp_alpha_ref_get(5), disp_alpha_ref_get(7),
                          disp_zfunc_get(7), disp_zfunc_get(8), disp_zfunc_get(-1),
                          disp_stencil_op_get(3), disp_stencil_op_get(8)}),
              (std::array<uint32_t, 8>{129, 0, 1, GFX_CMP_ALWAYS, GFX_CMP_LESS, GFX_CMP_LESS,
                                       GFX_STENCILOP_INCRSAT, GFX_STENCILOP_KEEP}));
    EXPECT_EQ(std::pair(disp_depth_index_to_fmt(1), disp_depth_index_to_fmt(2)),
              std::pair(GFX_FMT_D24S8, GFX_FMT_D16));
}

TEST(RstateTables, VertexAndSurfaceFormats)
{
    // Row 11 of the vertex formats repeats row 5.
    EXPECT_EQ((std::array{disp_lvf_to_fvf(0), disp_lvf_to_fvf(51), disp_lvf_to_fvf(52)}),
              (std::array<uint32_t, 3>{0x244, 0x50145C, 0}));
    EXPECT_EQ(
        (std::array{disp_fvf_to_lvf(0x112), disp_fvf_to_lvf(0x101358), disp_fvf_to_lvf(0x999)}),
        (std::array{5, 45, 0}));
    for (int i = 0; i < kSurfFormatCount; ++i)
        EXPECT_EQ(disp_fmt_to_index(disp_index_to_fmt(i)), i);
    EXPECT_EQ(disp_index_to_fmt(24), GFX_FMT_L8);
    EXPECT_EQ(disp_fmt_to_index(GFX_FMT_D16), kSfL8);
    EXPECT_STREQ(disp_index_to_fmt_name(1), "X8R8G8B");
    EXPECT_EQ(disp_index_to_fmt_name(24), nullptr);
    EXPECT_EQ((std::array{disp_fmt_bpp(GFX_FMT_DXT1), disp_fmt_bpp(GFX_FMT_R8G8B8),
                          disp_fmt_bpp(GFX_FMT_A32B32G32R32F), disp_fmt_bpp(GFX_FMT_A4L4),
                          disp_fmt_bpp(GFX_FMT_UNKNOWN)}),
              (std::array{4, 24, 128, 16, 32}));
    EXPECT_EQ((std::array{disp_fmt_kind(GFX_FMT_D24S8), disp_fmt_kind(GFX_FMT_D16),
                          disp_fmt_kind(GFX_FMT_A8R8G8B8)}),
              (std::array<uint8_t, 3>{kSurfKindDepth | kSurfKindStencil, kSurfKindDepth,
                                      kSurfKindColor}));
    EXPECT_EQ(std::pair(disp_fmt_is_depth(GFX_FMT_D32), disp_fmt_is_depth(GFX_FMT_D24X8)),
              std::pair(1, 0));
}

namespace {
int g_mesh_calls, g_mesh_result;
int fake_mesh_setup(const RstateMeshArgs&)
{
    ++g_mesh_calls;
    return g_mesh_result;
}
}  // namespace

class RstateCacheTest : public DispDevice {};

TEST_F(RstateCacheTest, AppliesTheKeyAndSkipsWhatIsCachedButNeverAnInvalidKey)
{
    RenderStateKey k = rstate_key_make(1, 0, 1, 2, 2, 1, 7, 1, 1);
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 1);
    EXPECT_EQ(
        RenderStates({GFX_RS_LIGHTING, GFX_RS_ZWRITEENABLE, GFX_RS_FOGENABLE, GFX_RS_SRCBLEND,
                      GFX_RS_DESTBLEND, GFX_RS_ALPHABLENDENABLE, GFX_RS_CULLMODE, GFX_RS_ALPHAREF,
                      GFX_RS_ALPHATESTENABLE, GFX_RS_ZFUNC, GFX_RS_FILLMODE}),
        (std::vector<uint32_t>{1, 0, 1, GFX_BLEND_SRCALPHA, GFX_BLEND_ONE, 1, GFX_CULL_NONE, 48, 1,
                               GFX_CMP_ALWAYS, GFX_FILL_WIREFRAME}));

    uint64_t sets = disp_rstate_set_count();
    const uint64_t gl_changes = gfx_get_counters()->state_changes;
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets);
    EXPECT_EQ(gfx_get_counters()->state_changes, gl_changes);

    // Only z write differs: one state call, and it does not count as a change.
    EXPECT_EQ(disp_set_rstate_block(k | kRsZWrite, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets + 1);

    // An invalid key applies nothing, even with the reset bit.
    disp_set_rstate_block(rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0), nullptr);
    sets = disp_rstate_set_count();
    EXPECT_EQ(disp_set_rstate_block(kRsCacheReset | kRsLighting, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets);
    EXPECT_EQ(disp_rstate_lighting(), 0u);
    // A valid key with the reset bit sets everything again.
    k = rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0);
    EXPECT_EQ(disp_set_rstate_block(k | kRsCacheReset, nullptr), 1);
    EXPECT_GT(disp_rstate_set_count(), sets + 8);
}

TEST_F(RstateCacheTest, HighBlendIndexUsesRowZeroSeparateAlphaBlendAndFormatChecks)
{
    disp_set_rstate_block(rstate_key_make(0, 0, 0, 20, 0, 5, 0, 0, 0), nullptr);
    EXPECT_EQ(RenderStates({GFX_RS_SRCBLEND, GFX_RS_ALPHABLENDENABLE, GFX_RS_ALPHATESTENABLE}),
              (std::vector<uint32_t>{GFX_BLEND_ONE, 1, 0}));
    EXPECT_EQ(disp_rstate_blend(), 20u);
    // Separate alpha blending, and the format checks.
    disp_set_alpha_blend_sep(1, 13);
    EXPECT_EQ(RenderStates({GFX_RS_SEPARATEALPHABLENDENABLE, GFX_RS_BLENDOPALPHA}),
              (std::vector<uint32_t>{1, GFX_BLENDOP_MIN}));
    disp_set_alpha_blend_sep(0, 13);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SEPARATEALPHABLENDENABLE), 0u);
    EXPECT_EQ((std::array{disp_check_fmt(GFX_FMT_A8R8G8B8, kFmtUseRenderTarget),
                          disp_check_fmt(GFX_FMT_D24S8, kFmtUseDepthStencil),
                          disp_check_fmt(GFX_FMT_A8R8G8B8, kFmtUseDepthStencil),
                          disp_check_fmt(GFX_FMT_A8R8G8B8, 9), disp_check_tex_fmt(1)}),
              (std::array{1, 1, 0, 0, 0}));  // the last: no such texture
}

TEST_F(RstateCacheTest, ShaderSetForcesLightingOffAndMeshSetupCounts)
{
    DispLinks links = disp_links();
    links.mesh_setup = fake_mesh_setup;
    disp_set_links(links);
    g_mesh_calls = g_mesh_result = 0;
    RenderStateKey k = rstate_key_make(1, 1, 0, 0, 0, 5, 3, 0, 0);
    RstateMeshArgs mesh = {};
    mesh.shader_set = 3;
    disp_set_rstate_block(k, &mesh);
    EXPECT_EQ((std::array{gfx_get_render_state(GFX_RS_LIGHTING), disp_rstate_raw_lighting(),
                          disp_rstate_lighting(), uint32_t(g_mesh_calls)}),
              (std::array<uint32_t, 4>{0, 1, 0, 1}));
    g_mesh_result = 1;
    EXPECT_EQ(disp_set_rstate_block(k, &mesh), 1);  // nothing cached changed
    EXPECT_EQ(disp_set_rstate_key_fvf(k, 0x244), 1);
    EXPECT_EQ(g_mesh_calls, 3);
}

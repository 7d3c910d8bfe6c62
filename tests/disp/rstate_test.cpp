// Render-state key packing, value and format tables, and the state cache.
#include <gtest/gtest.h>

#include <cstring>

#include "disp/rstate.h"
#include "disp_fixture.h"

TEST(RstateKey, PacksEveryFieldMaskedToItsWidth)
{
    EXPECT_EQ(rstate_key_make(0, 0, 0, 0, 0, 0, 0, 0, 0), 1u);
    RenderStateKey k = rstate_key_make(1, 1, 1, 31, 7, 7, 7, 3, 3);
    EXPECT_EQ(k, 0x3FF0FF35u);
    EXPECT_EQ(k & kRsCacheReset, 0u);
    k = rstate_key_make(3, 2, 5, 33, 9, 13, 8, 4, 6);  // all beyond their widths
    EXPECT_EQ(rstate_field(k, kRsBlendShift, kRsBlendBits), 1u);
    EXPECT_EQ(rstate_field(k, kRsCullShift, kRsCullBits), 1u);
    EXPECT_EQ(rstate_field(k, kRsAlphaRefShift, kRsAlphaRefBits), 5u);
    EXPECT_EQ(rstate_field(k, kRsZFuncShift, kRsZFuncBits), 0u);
    EXPECT_EQ(rstate_field(k, kRsFillShift, kRsFillBits), 0u);
    EXPECT_EQ(rstate_field(k, kRsFilterShift, kRsFilterBits), 2u);
    EXPECT_EQ(k & (kRsLighting | kRsZWrite | kRsFog), kRsLighting | kRsFog);
}

TEST(RstateTables, OutOfRangeIndicesFollowTheirRules)
{
    uint32_t s, d, o;
    disp_blend_mode_get(20, &s, &d, &o);
    EXPECT_EQ(s, GFX_BLEND_ONE);
    EXPECT_EQ(d, GFX_BLEND_ONE);
    disp_blend_mode_get(15, &s, &d, &o);
    EXPECT_EQ(o, GFX_BLENDOP_REVSUBTRACT);
    disp_blend_mode_get(1, nullptr, &d, nullptr);
    EXPECT_EQ(d, GFX_BLEND_INVSRCALPHA);
    EXPECT_EQ(disp_cull_get(2), GFX_CULL_NONE);
    EXPECT_EQ(disp_cull_get(5), GFX_CULL_CCW);
    EXPECT_EQ(disp_fill_get(3), GFX_FILL_SOLID);
    EXPECT_EQ(disp_fill_get(1), GFX_FILL_WIREFRAME);
    EXPECT_EQ(disp_filter_get(0), GFX_TEXF_POINT);
    EXPECT_EQ(disp_filter_get(3), GFX_TEXF_LINEAR);
    EXPECT_EQ(disp_alpha_ref_get(2), 129u);
    EXPECT_EQ(disp_alpha_ref_get(5), 0u);
    EXPECT_EQ(disp_alpha_ref_get(7), 1u);
    EXPECT_EQ(disp_zfunc_get(7), GFX_CMP_ALWAYS);
    EXPECT_EQ(disp_zfunc_get(8), GFX_CMP_LESS);
    EXPECT_EQ(disp_zfunc_get(-1), GFX_CMP_LESS);
    EXPECT_EQ(disp_stencil_op_get(3), GFX_STENCILOP_INCRSAT);
    EXPECT_EQ(disp_stencil_op_get(8), GFX_STENCILOP_KEEP);
    EXPECT_EQ(disp_depth_index_to_fmt(1), GFX_FMT_D24S8);
    EXPECT_EQ(disp_depth_index_to_fmt(2), GFX_FMT_D16);
}

TEST(RstateTables, VertexAndSurfaceFormats)
{
    EXPECT_EQ(disp_lvf_to_fvf(0), 0x244u);
    EXPECT_EQ(disp_lvf_to_fvf(51), 0x50145Cu);
    EXPECT_EQ(disp_lvf_to_fvf(52), 0u);
    EXPECT_EQ(disp_fvf_to_lvf(0x112), 5);  // row 11 repeats row 5
    EXPECT_EQ(disp_fvf_to_lvf(0x101358), 45);
    EXPECT_EQ(disp_fvf_to_lvf(0x999), 0);
    for (int i = 0; i < kSurfFormatCount; ++i)
        EXPECT_EQ(disp_fmt_to_index(disp_index_to_fmt(i)), i);
    EXPECT_EQ(disp_index_to_fmt(24), GFX_FMT_L8);
    EXPECT_EQ(disp_fmt_to_index(GFX_FMT_D16), kSfL8);
    EXPECT_STREQ(disp_index_to_fmt_name(1), "X8R8G8B");
    EXPECT_EQ(disp_index_to_fmt_name(24), nullptr);
    EXPECT_EQ(disp_fmt_bpp(GFX_FMT_DXT1), 4);
    EXPECT_EQ(disp_fmt_bpp(GFX_FMT_R8G8B8), 24);
    EXPECT_EQ(disp_fmt_bpp(GFX_FMT_A32B32G32R32F), 128);
    EXPECT_EQ(disp_fmt_bpp(GFX_FMT_A4L4), 16);
    EXPECT_EQ(disp_fmt_bpp(GFX_FMT_UNKNOWN), 32);
    EXPECT_EQ(disp_fmt_kind(GFX_FMT_D24S8), kSurfKindDepth | kSurfKindStencil);
    EXPECT_EQ(disp_fmt_kind(GFX_FMT_D16), kSurfKindDepth);
    EXPECT_EQ(disp_fmt_kind(GFX_FMT_A8R8G8B8), kSurfKindColor);
    EXPECT_EQ(disp_fmt_is_depth(GFX_FMT_D32), 1);
    EXPECT_EQ(disp_fmt_is_depth(GFX_FMT_D24X8), 0);
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

TEST_F(RstateCacheTest, AppliesTheKeyAndSkipsWhatIsCached)
{
    RenderStateKey k = rstate_key_make(1, 0, 1, 2, 2, 1, 7, 1, 1);
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 1);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_LIGHTING), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ZWRITEENABLE), 0u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_FOGENABLE), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SRCBLEND), uint32_t(GFX_BLEND_SRCALPHA));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_DESTBLEND), uint32_t(GFX_BLEND_ONE));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_CULLMODE), uint32_t(GFX_CULL_NONE));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHAREF), 48u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ZFUNC), uint32_t(GFX_CMP_ALWAYS));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_FILLMODE), uint32_t(GFX_FILL_WIREFRAME));

    const uint64_t sets = disp_rstate_set_count();
    const uint64_t gl_changes = gfx_get_counters()->state_changes;
    EXPECT_EQ(disp_set_rstate_block(k, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets);
    EXPECT_EQ(gfx_get_counters()->state_changes, gl_changes);

    // Only z write differs: one state call, and it does not count as a change.
    EXPECT_EQ(disp_set_rstate_block(k | kRsZWrite, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets + 1);
}

TEST_F(RstateCacheTest, InvalidKeyAppliesNothingEvenWithReset)
{
    disp_set_rstate_block(rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0), nullptr);
    const uint64_t sets = disp_rstate_set_count();
    EXPECT_EQ(disp_set_rstate_block(kRsCacheReset | kRsLighting, nullptr), 0);
    EXPECT_EQ(disp_rstate_set_count(), sets);
    EXPECT_EQ(disp_rstate_lighting(), 0u);
    // A valid key with the reset bit sets everything again.
    RenderStateKey k = rstate_key_make(0, 1, 0, 0, 0, 5, 3, 0, 0);
    EXPECT_EQ(disp_set_rstate_block(k | kRsCacheReset, nullptr), 1);
    EXPECT_GT(disp_rstate_set_count(), sets + 8);
}

TEST_F(RstateCacheTest, HighBlendIndexUsesRowZeroWithBlendingOn)
{
    disp_set_rstate_block(rstate_key_make(0, 0, 0, 20, 0, 5, 0, 0, 0), nullptr);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SRCBLEND), uint32_t(GFX_BLEND_ONE));
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(disp_rstate_blend(), 20u);
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
    EXPECT_EQ(gfx_get_render_state(GFX_RS_LIGHTING), 0u);
    EXPECT_EQ(disp_rstate_raw_lighting(), 1u);
    EXPECT_EQ(disp_rstate_lighting(), 0u);
    EXPECT_EQ(g_mesh_calls, 1);
    g_mesh_result = 1;
    EXPECT_EQ(disp_set_rstate_block(k, &mesh), 1);  // nothing cached changed
    EXPECT_EQ(disp_set_rstate_key_fvf(k, 0x244), 1);
    EXPECT_EQ(g_mesh_calls, 3);
}

TEST_F(RstateCacheTest, SeparateAlphaBlendAndFormatChecks)
{
    disp_set_alpha_blend_sep(1, 13);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SEPARATEALPHABLENDENABLE), 1u);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_BLENDOPALPHA), uint32_t(GFX_BLENDOP_MIN));
    disp_set_alpha_blend_sep(0, 13);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_SEPARATEALPHABLENDENABLE), 0u);
    EXPECT_EQ(disp_check_fmt(GFX_FMT_A8R8G8B8, kFmtUseRenderTarget), 1);
    EXPECT_EQ(disp_check_fmt(GFX_FMT_D24S8, kFmtUseDepthStencil), 1);
    EXPECT_EQ(disp_check_fmt(GFX_FMT_A8R8G8B8, kFmtUseDepthStencil), 0);
    EXPECT_EQ(disp_check_fmt(GFX_FMT_A8R8G8B8, 9), 0);
    EXPECT_EQ(disp_check_tex_fmt(1), 0);  // no such texture
}

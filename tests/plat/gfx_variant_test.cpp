// Stage variants chosen by the states draw byte for byte what the general stages draw.
#include "gfx_fixture.h"
#include "plat/gfx_local.h"

namespace {
const char* GFX_VARIANT_USER_VS = R"(float4x4 mWVP;
void VsMain() {
  gl_Position = mul(vec4(iPosition.xyz, 1.0), mWVP);
  vD0 = iColor0;
})";
const char* GFX_VARIANT_USER_PS = R"(float4 vTint;
void PsMain() { oC0 = vD0 * vTint; })";

struct States {
    const char* name;
    bool alpha, fog, clip;
};
const States GFX_VARIANT_CASES[] = {
    {"plain", false, false, false},   {"alpha", true, false, false}, {"fog", false, true, false},
    {"alpha+fog", true, true, false}, {"clip", false, false, true},  {"all", true, true, true},
};

void apply(const States& s)
{
    set_states({{GFX_RS_LIGHTING, 0},
                {GFX_RS_ALPHATESTENABLE, s.alpha},
                {GFX_RS_ALPHAFUNC, GFX_CMP_GREATER},
                {GFX_RS_ALPHAREF, 0x70},
                {GFX_RS_FOGENABLE, s.fog},
                {GFX_RS_FOGTABLEMODE, GFX_FOG_LINEAR},
                {GFX_RS_FOGCOLOR, 0xFF2040C0u},
                {GFX_RS_CLIPPLANEENABLE, s.clip}});
    gfx_set_render_state_f(GFX_RS_FOGSTART, 0.5f);
    gfx_set_render_state_f(GFX_RS_FOGEND, 3.5f);
    const float plane[4] = {1, 0.5f, 0, 0.1f};
    gfx_set_clip_plane(0, plane);
}

// A pre-transformed quad with alpha and depth running across it, and a clip-space triangle.
void draw_generated()
{
    const TlVertex v[4] = {{0, 0, 0.2f, 1.0f, 0x00FF8040u, 0, 0},
                           {GFX_FIXTURE_W, 0, 0.2f, 0.25f, 0xFF40FF80u, 1, 0},
                           {0, GFX_FIXTURE_H, 0.2f, 1.0f, 0x80FF8040u, 0, 1},
                           {GFX_FIXTURE_W, GFX_FIXTURE_H, 0.2f, 0.25f, 0xC08040FFu, 1, 1}};
    draw_up(GFX_FIXTURE_TL_FVF, GFX_PT_TRIANGLESTRIP, 2, v);
    const Vc q[3] = {
        {-1, -1, 0.5f, 0xFFFFFF00u}, {0.2f, 1, 0.5f, 0x10FF00FFu}, {1, -0.6f, 0.5f, 0xA000FFFFu}};
    draw_up(GFX_FIXTURE_VC_FVF, GFX_PT_TRIANGLELIST, 1, q);
}

std::vector<uint8_t> frame()
{
    std::vector<uint8_t> px(size_t(GFX_FIXTURE_W) * GFX_FIXTURE_H * 4);
    EXPECT_EQ(gfx_read_pixels(0, 0, GFX_FIXTURE_W, GFX_FIXTURE_H, px.data(), GFX_FIXTURE_W * 4),
              GFX_OK);
    return px;
}
}  // namespace

class GfxVariantTest : public GfxStagesTest {
protected:
    void SetUp() override
    {
        GfxTest::SetUp();
        compile_stages(GFX_VARIANT_USER_VS, GFX_VARIANT_USER_PS, "vs_2_0");
    }
    void TearDown() override
    {
        gfx_dev.general_stages = gfx_dev.separate_stages = 0;
        GfxStagesTest::TearDown();
    }
    // The scene drawn through the general stages bound separately or through
    // the variants linked in pairs; `green` tints the user pair.
    std::vector<uint8_t> draw(const States& s, int general, float green = 0.5f)
    {
        gfx_dev.general_stages = gfx_dev.separate_stages = general;
        gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER, GFX_FIXTURE_BLACK, 1.0f, 0);
        apply(s);
        draw_generated();
        // A user pair whose constants were set before any variant existed.
        const float wvp[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0.2f, -0.1f, 0, 2.5f};
        const float tint[4] = {1, green, 1, 1};
        gfx_const_set_matrix(vs_, gfx_const_by_name(vs_, "mWVP"), wvp);
        gfx_const_set_vector(ps_, gfx_const_by_name(ps_, "vTint"), tint);
        gfx_set_vertex_shader(vs_);
        gfx_set_pixel_shader(ps_);
        draw_generated();
        gfx_set_vertex_shader(nullptr);
        gfx_set_pixel_shader(nullptr);
        return frame();
    }
};

TEST_F(GfxVariantTest, TheStatesChooseAVariantThatDrawsWhatTheGeneralStagesDraw)
{
    for (const States& s : GFX_VARIANT_CASES) {
        SCOPED_TRACE(s.name);
        // A constant set after the pair was linked reaches it.
        const float green = 0.25f + 0.1f * float(&s - GFX_VARIANT_CASES);
        const std::vector<uint8_t> general = draw(s, 1, green);
        EXPECT_EQ(draw(s, 0, green), general);
        // Pre-transformed draws carry no clip tail.
        EXPECT_EQ(gfx_shader_variant_key(GFX_SHADER_PIXEL, 0),
                  (s.alpha ? GFX_VAR_ALPHA : 0) | (s.fog ? GFX_VAR_FOG : 0));
        EXPECT_EQ(gfx_shader_variant_key(GFX_SHADER_VERTEX, 0), s.clip ? GFX_VAR_CLIP : 0);
        EXPECT_EQ(gfx_shader_variant_key(GFX_SHADER_VERTEX, 1), 0);
        // Variants cover something: the states change the picture.
        if (s.alpha || s.fog || s.clip) {
            EXPECT_NE(general, draw(GFX_VARIANT_CASES[0], 0));
        }
    }
    int linked = 0;
    for (const auto& kv : gfx_dev.pairs) linked += kv.second->prog.program != 0;
    EXPECT_GT(linked, 0);
    // An alpha test that passes everything is no alpha test.
    set_states({{GFX_RS_ALPHATESTENABLE, 1}, {GFX_RS_ALPHAFUNC, GFX_CMP_ALWAYS}});
    EXPECT_EQ(gfx_shader_variant_key(GFX_SHADER_PIXEL, 0) & GFX_VAR_ALPHA, 0);
}

// Pre-transformed vertices carry no specular colour: the specular sum adds
// black, whether the stages are linked or bound apart.
TEST_F(GfxTest, SpecularSumAddsNothingToPretransformedVertices)
{
    gfx_set_render_state(GFX_RS_SPECULARENABLE, 1);
    for (int separate : {1, 0}) {
        gfx_dev.separate_stages = separate;
        quad(0, 0, GFX_FIXTURE_W, GFX_FIXTURE_H, 0xFF405060u);
        EXPECT_TRUE(near(centre(), 0xFF405060u)) << std::hex << centre() << " " << separate;
    }
    gfx_dev.separate_stages = 0;
    gfx_set_render_state(GFX_RS_SPECULARENABLE, 0);
}

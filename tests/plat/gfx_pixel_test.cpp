// Per-pixel units: blending, alpha test, lighting and texture stages.
#include <algorithm>
#include <cmath>

#include "gfx_fixture.h"

namespace {
uint32_t pack(const float c[4])  // r, g, b, a
{
    auto b = [](float v) { return uint32_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return (b(c[3]) << 24) | (b(c[0]) << 16) | (b(c[1]) << 8) | b(c[2]);
}
uint32_t grey(float v, float a = 1)
{
    const float c[4] = {v, v, v, a};
    return pack(c);
}
// Direct3D's blend of one colour over another, channel by channel.
uint32_t blend(uint32_t src, uint32_t dst, uint32_t sf, uint32_t df, uint32_t op)
{
    float s[4], d[4], out[4];
    for (int ch = 0; ch < 4; ++ch) {
        const int shift = ch == 3 ? 24 : 16 - 8 * ch;
        s[ch] = ((src >> shift) & 0xFF) / 255.0f;
        d[ch] = ((dst >> shift) & 0xFF) / 255.0f;
    }
    auto factor = [&](uint32_t f, int ch) {
        switch (f) {
        case GFX_BLEND_ZERO: return 0.0f;
        case GFX_BLEND_SRCCOLOR: return s[ch];
        case GFX_BLEND_INVSRCCOLOR: return 1 - s[ch];
        case GFX_BLEND_SRCALPHA: return s[3];
        case GFX_BLEND_INVSRCALPHA: return 1 - s[3];
        case GFX_BLEND_DESTALPHA: return d[3];
        case GFX_BLEND_INVDESTALPHA: return 1 - d[3];
        case GFX_BLEND_DESTCOLOR: return d[ch];
        case GFX_BLEND_INVDESTCOLOR: return 1 - d[ch];
        default: return 1.0f;
        }
    };
    for (int ch = 0; ch < 4; ++ch) {
        const float a = s[ch] * factor(sf, ch), b = d[ch] * factor(df, ch);
        out[ch] = op == GFX_BLENDOP_ADD           ? a + b
                  : op == GFX_BLENDOP_SUBTRACT    ? a - b
                  : op == GFX_BLENDOP_REVSUBTRACT ? b - a
                  : op == GFX_BLENDOP_MIN         ? std::min(s[ch], d[ch])
                                                  : std::max(s[ch], d[ch]);
    }
    return pack(out);
}
constexpr uint32_t GFX_PIXEL_DST = 0x80406080u, GFX_PIXEL_SRC = 0x40C02060u;
}  // namespace

TEST_F(GfxTest, BlendFactorsAndOperationsMatchDirect3D)
{
    const uint32_t factors[] = {
        GFX_BLEND_ZERO,      GFX_BLEND_ONE,         GFX_BLEND_SRCCOLOR,  GFX_BLEND_INVSRCCOLOR,
        GFX_BLEND_SRCALPHA,  GFX_BLEND_INVSRCALPHA, GFX_BLEND_DESTALPHA, GFX_BLEND_INVDESTALPHA,
        GFX_BLEND_DESTCOLOR, GFX_BLEND_INVDESTCOLOR};
    const uint32_t ops[] = {GFX_BLENDOP_ADD, GFX_BLENDOP_SUBTRACT, GFX_BLENDOP_REVSUBTRACT,
                            GFX_BLENDOP_MIN, GFX_BLENDOP_MAX};
    // Each combination on a pixel of its own: all drawn first, then all read.
    auto each = [&](auto&& fn) {
        int n = 0;
        for (uint32_t op : ops)
            for (uint32_t sf : factors)
                for (uint32_t df : factors)
                    fn(n % GFX_FIXTURE_W, n / GFX_FIXTURE_W, op, sf, df), ++n;
    };
    each([&](int x, int y, uint32_t op, uint32_t sf, uint32_t df) {
        set_states({{GFX_RS_SRCBLEND, sf}, {GFX_RS_DESTBLEND, df}, {GFX_RS_BLENDOP, op}});
        gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 0);
        quad(x, y, x + 1, y + 1, GFX_PIXEL_DST);
        gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
        quad(x, y, x + 1, y + 1, GFX_PIXEL_SRC);
    });
    each([&](int x, int y, uint32_t op, uint32_t sf, uint32_t df) {
        EXPECT_TRUE(near(pixel(x, y), blend(GFX_PIXEL_SRC, GFX_PIXEL_DST, sf, df, op)))
            << "op " << op << " src " << sf << " dst " << df << std::hex << " got " << pixel(x, y);
    });
    // Separate alpha factors (ZERO, ONE) keep the destination alpha; off again,
    // alpha follows the colour factors.
    const uint32_t colour = blend(GFX_PIXEL_SRC, GFX_PIXEL_DST, GFX_BLEND_SRCALPHA,
                                  GFX_BLEND_INVSRCALPHA, GFX_BLENDOP_ADD);
    for (uint32_t separate : {1u, 0u}) {
        set_states({{GFX_RS_ALPHABLENDENABLE, 0}, {GFX_RS_BLENDOP, GFX_BLENDOP_ADD}});
        quad(0, 0, 4, 4, GFX_PIXEL_DST);
        set_states({{GFX_RS_ALPHABLENDENABLE, 1},
                    {GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA},
                    {GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA},
                    {GFX_RS_SEPARATEALPHABLENDENABLE, separate},
                    {GFX_RS_SRCBLENDALPHA, GFX_BLEND_ZERO},
                    {GFX_RS_DESTBLENDALPHA, GFX_BLEND_ONE}});
        quad(0, 0, 4, 4, GFX_PIXEL_SRC);
        EXPECT_TRUE(near(pixel(1, 1), separate ? (colour & 0xFFFFFFu) | 0x80000000u : colour));
    }
}

TEST_F(GfxTest, AlphaTestComparesTheEightBitAlphaWithTheReference)
{
    gfx_set_render_state(GFX_RS_ALPHATESTENABLE, 1);
    struct Case {
        uint32_t func, ref, alpha;
        bool pass;
    } cases[] = {
        {GFX_CMP_GREATEREQUAL, 1, 0, false},     {GFX_CMP_GREATEREQUAL, 1, 1, true},
        {GFX_CMP_GREATEREQUAL, 192, 191, false}, {GFX_CMP_GREATEREQUAL, 254, 255, true},
        {GFX_CMP_GREATER, 128, 128, false},      {GFX_CMP_LESS, 128, 127, true},
        {GFX_CMP_EQUAL, 77, 77, true},           {GFX_CMP_NOTEQUAL, 77, 77, false},
        {GFX_CMP_NEVER, 0, 255, false},          {GFX_CMP_ALWAYS, 255, 0, true},
    };
    for (const auto& c : cases) {
        gfx_clear(GFX_CLEAR_TARGET, GFX_FIXTURE_BLACK, 1, 0);
        set_states({{GFX_RS_ALPHAFUNC, c.func}, {GFX_RS_ALPHAREF, c.ref}});
        quad(0, 0, 4, 4, (c.alpha << 24) | 0x00FFFFFFu);
        EXPECT_EQ(near(pixel(1, 1) | 0xFF000000u, GFX_FIXTURE_WHITE), c.pass)
            << "func " << c.func << " ref " << c.ref << " alpha " << c.alpha;
    }
    // Disabled: everything passes.
    set_states({{GFX_RS_ALPHATESTENABLE, 0}, {GFX_RS_ALPHAFUNC, GFX_CMP_NEVER}});
    quad(0, 0, 4, 4, 0x00FF0000u);
    EXPECT_TRUE(near(pixel(1, 1) | 0xFF000000u, GFX_FIXTURE_RED));
}

TEST_F(GfxTest, DirectionalLightAndMaterialLightAVertex)
{
    // A left-handed perspective projection with w = view z.
    const float zn = 1, zf = 100, q = zf / (zf - zn);
    const float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0};
    gfx_set_transform(GFX_TS_PROJECTION, proj);
    gfx_set_transform(GFX_TS_VIEW, VM_MAT_IDENTITY.m);
    gfx_set_transform(GFX_TS_WORLD, VM_MAT_IDENTITY.m);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);
    GfxLight l{};
    l.type = GFX_LIGHT_DIRECTIONAL;
    l.diffuse = {1, 1, 1, 1};
    l.direction[2] = 1;  // travelling away from the viewer: lights faces whose normal is -z
    gfx_set_light(0, &l);
    gfx_light_enable(0, 1);
    GfxMaterial m{};
    m.diffuse = {0.5f, 1.0f, 0.25f, 1};
    m.ambient = {1, 1, 1, 1};
    gfx_set_material(&m);
    gfx_set_render_state(GFX_RS_AMBIENT, 0xFF202020u);
    struct VN {
        float x, y, z, nx, ny, nz;
    } v[4] = {{-20, 20, 10, 0, 0, -1},
              {20, 20, 10, 0, 0, -1},
              {-20, -20, 10, 0, 0, -1},
              {20, -20, 10, 0, 0, -1}};
    draw_up(GFX_FVF_XYZ | GFX_FVF_NORMAL, GFX_PT_TRIANGLESTRIP, 2, v);
    const float amb = 0x20 / 255.0f, lit[4] = {amb + 0.5f, 1.0f, amb + 0.25f, 1};
    EXPECT_TRUE(near(centre(), pack(lit))) << std::hex << centre();
    // Turned away: only the ambient part is left.
    for (auto& p : v) p.nz = 1;
    draw_up(GFX_FVF_XYZ | GFX_FVF_NORMAL, GFX_PT_TRIANGLESTRIP, 2, v);
    EXPECT_TRUE(near(centre(), grey(amb)));
    // Facing it again with a specular part: only the specular sum turns it on.
    for (auto& p : v) p.nz = -1;
    l.specular = {1, 1, 1, 1};
    gfx_set_light(0, &l);
    m.specular = {1, 1, 1, 1};
    gfx_set_material(&m);
    for (uint32_t on : {0u, 1u}) {
        gfx_set_render_state(GFX_RS_SPECULARENABLE, on);
        draw_up(GFX_FVF_XYZ | GFX_FVF_NORMAL, GFX_PT_TRIANGLESTRIP, 2, v);
        EXPECT_TRUE(near(centre(), on ? GFX_FIXTURE_WHITE : pack(lit)))
            << std::hex << centre() << " " << on;
    }
    gfx_light_enable(0, 0);
}

TEST_F(GfxTest, TextureStageOperationsCombineStages)
{
    // Stage 0 passes the diffuse colour; stage 1 doubles its product with the
    // complement of the texture factor.
    gfx_set_render_state(GFX_RS_TEXTUREFACTOR, 0xFF202020u);
    const std::pair<GfxTss, uint32_t> stage1[] = {
        {GFX_TSS_COLOROP, GFX_TOP_MODULATE2X},
        {GFX_TSS_COLORARG1, GFX_TA_CURRENT},
        {GFX_TSS_COLORARG2, GFX_TA_TFACTOR | GFX_TA_COMPLEMENT},
        {GFX_TSS_ALPHAOP, GFX_TOP_SELECTARG1},
        {GFX_TSS_ALPHAARG1, GFX_TA_CURRENT}};
    gfx_set_texture_stage_state(0, GFX_TSS_COLOROP, GFX_TOP_SELECTARG2);
    gfx_set_texture_stage_state(0, GFX_TSS_COLORARG2, GFX_TA_DIFFUSE);
    for (auto [tss, value] : stage1) gfx_set_texture_stage_state(1, tss, value);
    quad(0, 0, 4, 4, 0xFF404040u);
    EXPECT_TRUE(near(pixel(1, 1), grey(0x40 / 255.0f * (1 - 0x20 / 255.0f) * 2)))
        << std::hex << pixel(1, 1);
    // A stage whose colour operation is off ends the chain, its alpha operation too.
    gfx_set_texture_stage_state(1, GFX_TSS_COLOROP, GFX_TOP_DISABLE);
    gfx_set_texture_stage_state(1, GFX_TSS_ALPHAARG1, GFX_TA_TFACTOR);
    quad(0, 0, 4, 4, 0x40404040u);
    EXPECT_TRUE(near(pixel(1, 1), 0x40404040u)) << std::hex << pixel(1, 1);
}

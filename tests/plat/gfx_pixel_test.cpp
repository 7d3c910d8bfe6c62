// Per-pixel units: blend factors and operations, alpha test references,
// linear table fog, the fixed-function light and texture-stage operations.
#include <algorithm>
#include <cmath>

#include "gfx_fixture.h"

namespace {
struct Rgba {
    float r, g, b, a;
};
Rgba unpack(uint32_t c)
{
    return {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
            (c >> 24) / 255.0f};
}
uint32_t pack(Rgba c)
{
    auto b = [](float v) {
        return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    return (b(c.a) << 24) | (b(c.r) << 16) | (b(c.g) << 8) | b(c.b);
}
float channel(Rgba c, int ch) { return ch == 0 ? c.r : ch == 1 ? c.g : ch == 2 ? c.b : c.a; }
// Direct3D's factor for one channel.
float factor(uint32_t f, Rgba s, Rgba d, int ch)
{
    switch (f) {
    case GFX_BLEND_ZERO: return 0;
    case GFX_BLEND_ONE: return 1;
    case GFX_BLEND_SRCCOLOR: return channel(s, ch);
    case GFX_BLEND_INVSRCCOLOR: return 1 - channel(s, ch);
    case GFX_BLEND_SRCALPHA: return s.a;
    case GFX_BLEND_INVSRCALPHA: return 1 - s.a;
    case GFX_BLEND_DESTALPHA: return d.a;
    case GFX_BLEND_INVDESTALPHA: return 1 - d.a;
    case GFX_BLEND_DESTCOLOR: return channel(d, ch);
    case GFX_BLEND_INVDESTCOLOR: return 1 - channel(d, ch);
    default: return 1;
    }
}
uint32_t blend(uint32_t src, uint32_t dst, uint32_t sf, uint32_t df, uint32_t op)
{
    Rgba s = unpack(src), d = unpack(dst);
    float out[4];
    for (int ch = 0; ch < 4; ++ch) {
        float sc = channel(s, ch), dc = channel(d, ch);
        float a = sc * factor(sf, s, d, ch), b = dc * factor(df, s, d, ch);
        out[ch] = op == GFX_BLENDOP_ADD           ? a + b
                  : op == GFX_BLENDOP_SUBTRACT    ? a - b
                  : op == GFX_BLENDOP_REVSUBTRACT ? b - a
                  : op == GFX_BLENDOP_MIN         ? std::min(sc, dc)
                                                  : std::max(sc, dc);
    }
    return pack({out[0], out[1], out[2], out[3]});
}
}  // namespace

TEST_F(GfxTest, BlendFactorsAndOperationsMatchDirect3D)
{
    const uint32_t dst = 0x80406080u, src = 0x40C02060u;
    const uint32_t factors[] = {
        GFX_BLEND_ZERO,      GFX_BLEND_ONE,         GFX_BLEND_SRCCOLOR,  GFX_BLEND_INVSRCCOLOR,
        GFX_BLEND_SRCALPHA,  GFX_BLEND_INVSRCALPHA, GFX_BLEND_DESTALPHA, GFX_BLEND_INVDESTALPHA,
        GFX_BLEND_DESTCOLOR, GFX_BLEND_INVDESTCOLOR};
    const uint32_t ops[] = {GFX_BLENDOP_ADD, GFX_BLENDOP_SUBTRACT, GFX_BLENDOP_REVSUBTRACT,
                            GFX_BLENDOP_MIN, GFX_BLENDOP_MAX};
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
    // Each combination on a pixel of its own: all drawn first, then all read.
    auto each = [&](auto&& fn) {
        int n = 0;
        for (uint32_t op : ops)
            for (uint32_t sf : factors)
                for (uint32_t df : factors) {
                    fn(n % kW, n / kW, op, sf, df);
                    ++n;
                }
    };
    each([&](int x, int y, uint32_t op, uint32_t sf, uint32_t df) {
        gfx_set_render_state(GFX_RS_SRCBLEND, sf);
        gfx_set_render_state(GFX_RS_DESTBLEND, df);
        gfx_set_render_state(GFX_RS_BLENDOP, op);
        gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 0);
        quad(x, y, x + 1, y + 1, dst);
        gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
        quad(x, y, x + 1, y + 1, src);
    });
    each([&](int x, int y, uint32_t op, uint32_t sf, uint32_t df) {
        uint32_t want = blend(src, dst, sf, df, op);
        EXPECT_TRUE(near(pixel(x, y), want, 2))
            << "op " << op << " src " << sf << " dst " << df << std::hex << " got " << pixel(x, y)
            << " want " << want;
    });
}

TEST_F(GfxTest, SeparateAlphaBlendUsesItsOwnFactors)
{
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    quad(0, 0, 4, 4, 0x80406080u);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
    gfx_set_render_state(GFX_RS_SRCBLEND, GFX_BLEND_SRCALPHA);
    gfx_set_render_state(GFX_RS_DESTBLEND, GFX_BLEND_INVSRCALPHA);
    gfx_set_render_state(GFX_RS_SEPARATEALPHABLENDENABLE, 1);
    gfx_set_render_state(GFX_RS_SRCBLENDALPHA, GFX_BLEND_ZERO);
    gfx_set_render_state(GFX_RS_DESTBLENDALPHA, GFX_BLEND_ONE);
    quad(0, 0, 4, 4, 0x40C02060u);
    uint32_t colour =
        blend(0x40C02060u, 0x80406080u, GFX_BLEND_SRCALPHA, GFX_BLEND_INVSRCALPHA, GFX_BLENDOP_ADD);
    EXPECT_TRUE(near(pixel(1, 1), (colour & 0x00FFFFFFu) | 0x80000000u));
    // Off again: alpha follows the colour factors.
    gfx_set_render_state(GFX_RS_SEPARATEALPHABLENDENABLE, 0);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 0);
    quad(0, 0, 4, 4, 0x80406080u);
    gfx_set_render_state(GFX_RS_ALPHABLENDENABLE, 1);
    quad(0, 0, 4, 4, 0x40C02060u);
    EXPECT_TRUE(near(pixel(1, 1), colour));
}

TEST_F(GfxTest, AlphaTestComparesTheEightBitAlphaWithTheReference)
{
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_ALPHATESTENABLE, 1);
    struct Case {
        uint32_t func;
        uint32_t ref;
        uint32_t alpha;
        bool pass;
    } cases[] = {
        {GFX_CMP_GREATEREQUAL, 1, 0, false},     {GFX_CMP_GREATEREQUAL, 1, 1, true},
        {GFX_CMP_GREATEREQUAL, 48, 47, false},   {GFX_CMP_GREATEREQUAL, 48, 48, true},
        {GFX_CMP_GREATEREQUAL, 129, 128, false}, {GFX_CMP_GREATEREQUAL, 129, 129, true},
        {GFX_CMP_GREATEREQUAL, 192, 191, false}, {GFX_CMP_GREATEREQUAL, 254, 255, true},
        {GFX_CMP_GREATER, 128, 128, false},      {GFX_CMP_LESS, 128, 127, true},
        {GFX_CMP_EQUAL, 77, 77, true},           {GFX_CMP_NOTEQUAL, 77, 77, false},
        {GFX_CMP_NEVER, 0, 255, false},          {GFX_CMP_ALWAYS, 255, 0, true},
    };
    for (const auto& c : cases) {
        gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u, 1, 0);
        gfx_set_render_state(GFX_RS_ALPHAFUNC, c.func);
        gfx_set_render_state(GFX_RS_ALPHAREF, c.ref);
        quad(0, 0, 4, 4, (c.alpha << 24) | 0x00FFFFFFu);
        EXPECT_EQ(near(pixel(1, 1) | 0xFF000000u, 0xFFFFFFFFu), c.pass)
            << "func " << c.func << " ref " << c.ref << " alpha " << c.alpha;
    }
    // Disabled: everything passes.
    gfx_set_render_state(GFX_RS_ALPHATESTENABLE, 0);
    gfx_set_render_state(GFX_RS_ALPHAFUNC, GFX_CMP_NEVER);
    quad(0, 0, 4, 4, 0x00FF0000u);
    EXPECT_TRUE(near(pixel(1, 1) | 0xFF000000u, 0xFFFF0000u));
}

namespace {
// A left-handed perspective projection with w = view z.
void set_perspective()
{
    const float zn = 1, zf = 100, q = zf / (zf - zn);
    float proj[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0};
    float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    gfx_set_transform(GFX_TS_PROJECTION, proj);
    gfx_set_transform(GFX_TS_VIEW, id);
    gfx_set_transform(GFX_TS_WORLD, id);
}
struct V3 {
    float x, y, z;
    uint32_t c;
};
void wall(float z, uint32_t c)
{
    V3 v[4] = {{-z, z, z, c}, {z, z, z, c}, {-z, -z, z, c}, {z, -z, z, c}};
    ASSERT_EQ(gfx_set_fvf(GFX_FVF_XYZ | GFX_FVF_DIFFUSE), GFX_OK);
    ASSERT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, v, sizeof(V3)), GFX_OK);
}
}  // namespace

TEST_F(GfxTest, LinearTableFogRunsFromStartToEnd)
{
    set_perspective();
    gfx_set_render_state(GFX_RS_LIGHTING, 0);
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);
    gfx_set_render_state(GFX_RS_FOGENABLE, 1);
    gfx_set_render_state(GFX_RS_FOGTABLEMODE, GFX_FOG_LINEAR);
    gfx_set_render_state(GFX_RS_FOGCOLOR, 0xFF0000FFu);
    gfx_set_render_state_f(GFX_RS_FOGSTART, 10.0f);
    gfx_set_render_state_f(GFX_RS_FOGEND, 20.0f);
    struct Case {
        float z;
        uint32_t want;
    } cases[] = {{5, 0xFFFF0000u},
                 {10, 0xFFFF0000u},
                 {15, 0xFF800080u},
                 {20, 0xFF0000FFu},
                 {40, 0xFF0000FFu}};
    for (const auto& c : cases) {
        gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u, 1, 0);
        wall(c.z, 0xFFFF0000u);
        EXPECT_TRUE(near(pixel(kW / 2, kH / 2), c.want, 3))
            << "z " << c.z << std::hex << " " << pixel(kW / 2, kH / 2);
    }
    // Fog also follows a pixel shader run and is off with FOGENABLE off.
    gfx_set_render_state(GFX_RS_FOGENABLE, 0);
    gfx_clear(GFX_CLEAR_TARGET, 0xFF000000u, 1, 0);
    wall(40, 0xFFFF0000u);
    EXPECT_TRUE(near(pixel(kW / 2, kH / 2), 0xFFFF0000u));
}

TEST_F(GfxTest, DirectionalLightAndMaterialLightAVertex)
{
    set_perspective();
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_ZENABLE, 0);
    GfxLight l{};
    l.type = GFX_LIGHT_DIRECTIONAL;
    l.diffuse = {1, 1, 1, 1};
    l.ambient = {0, 0, 0, 0};
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
    ASSERT_EQ(gfx_set_fvf(GFX_FVF_XYZ | GFX_FVF_NORMAL), GFX_OK);
    ASSERT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, v, sizeof(VN)), GFX_OK);
    // ambient 0x20 + diffuse x material
    float amb = 0x20 / 255.0f;
    EXPECT_TRUE(near(pixel(kW / 2, kH / 2), pack({amb + 0.5f, 1.0f, amb + 0.25f, 1}), 2))
        << std::hex << pixel(kW / 2, kH / 2);
    // Turned away: only the ambient part is left.
    for (auto& p : v) p.nz = 1;
    ASSERT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, v, sizeof(VN)), GFX_OK);
    EXPECT_TRUE(near(pixel(kW / 2, kH / 2), pack({amb, amb, amb, 1}), 2));
    gfx_light_enable(0, 0);
}

TEST_F(GfxTest, TextureStageOperationsCombineStages)
{
    // Stage 0 SELECTARG2 (diffuse), stage 1 MODULATE with the texture factor,
    // stage 2 ADD with the texture factor: ((d * f) + f).
    gfx_set_render_state(GFX_RS_CULLMODE, GFX_CULL_NONE);
    gfx_set_render_state(GFX_RS_TEXTUREFACTOR, 0xFF202020u);
    gfx_set_texture_stage_state(0, GFX_TSS_COLOROP, GFX_TOP_SELECTARG2);
    gfx_set_texture_stage_state(0, GFX_TSS_COLORARG2, GFX_TA_DIFFUSE);
    gfx_set_texture_stage_state(1, GFX_TSS_COLOROP, GFX_TOP_MODULATE2X);
    gfx_set_texture_stage_state(1, GFX_TSS_COLORARG1, GFX_TA_CURRENT);
    gfx_set_texture_stage_state(1, GFX_TSS_COLORARG2, GFX_TA_TFACTOR | GFX_TA_COMPLEMENT);
    gfx_set_texture_stage_state(1, GFX_TSS_ALPHAOP, GFX_TOP_SELECTARG1);
    gfx_set_texture_stage_state(1, GFX_TSS_ALPHAARG1, GFX_TA_CURRENT);
    quad(0, 0, 4, 4, 0xFF404040u);
    // 0x40/255 * (1 - 0x20/255) * 2
    float c = 0x40 / 255.0f * (1 - 0x20 / 255.0f) * 2;
    EXPECT_TRUE(near(pixel(1, 1), pack({c, c, c, 1}), 2)) << std::hex << pixel(1, 1);
}

// gfx_state: the Direct3D-side states as callers set them: render, sampler
// and texture-stage states with their Direct3D 9 defaults, transforms, the
// light, the material and the clip planes. A setter records the value and
// raises the serial of the uniform group it feeds (or of the generated
// stages); GL sees the states at the next draw (gfx_gl_state.cpp).
//
// Sections: 1 defaults  2 setters
#include "plat/gfx_local.h"

#include <algorithm>
#include <cstring>

#include "math/vm_types.h"

// ===========================================================================
// 1 Defaults
// ===========================================================================
namespace {

uint32_t float_bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

void identity(std::array<float, 16>& m)
{
    std::copy(std::begin(VM_MAT_IDENTITY.m), std::end(VM_MAT_IDENTITY.m), m.begin());
}

}  // namespace

// Direct3D 9 defaults of every state the layer keeps.
void gfx_states_set_defaults(GfxDevice& d)
{
    auto& rs = d.rs;
    rs.fill(0);
    rs[GFX_RS_ZENABLE] = d.depth ? 1 : 0;
    rs[GFX_RS_FILLMODE] = GFX_FILL_SOLID;
    rs[GFX_RS_SHADEMODE] = GFX_SHADE_GOURAUD;
    rs[GFX_RS_ZWRITEENABLE] = 1;
    rs[GFX_RS_SRCBLEND] = GFX_BLEND_ONE;
    rs[GFX_RS_DESTBLEND] = GFX_BLEND_ZERO;
    rs[GFX_RS_CULLMODE] = GFX_CULL_CCW;
    rs[GFX_RS_ZFUNC] = GFX_CMP_LESSEQUAL;
    rs[GFX_RS_ALPHAFUNC] = GFX_CMP_ALWAYS;
    rs[GFX_RS_FOGSTART] = float_bits(0.0f);
    rs[GFX_RS_FOGEND] = float_bits(1.0f);
    rs[GFX_RS_STENCILFAIL] = GFX_STENCILOP_KEEP;
    rs[GFX_RS_STENCILZFAIL] = GFX_STENCILOP_KEEP;
    rs[GFX_RS_STENCILPASS] = GFX_STENCILOP_KEEP;
    rs[GFX_RS_STENCILFUNC] = GFX_CMP_ALWAYS;
    rs[GFX_RS_STENCILMASK] = 0xFFFFFFFFu;
    rs[GFX_RS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs[GFX_RS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[GFX_RS_LIGHTING] = 1;
    rs[GFX_RS_COLORVERTEX] = 1;
    rs[GFX_RS_DIFFUSEMATERIALSOURCE] = GFX_MCS_COLOR1;
    rs[GFX_RS_AMBIENTMATERIALSOURCE] = GFX_MCS_MATERIAL;
    rs[GFX_RS_SPECULARMATERIALSOURCE] = GFX_MCS_COLOR2;
    rs[GFX_RS_EMISSIVEMATERIALSOURCE] = GFX_MCS_MATERIAL;
    rs[GFX_RS_COLORWRITEENABLE] = 0xF;
    rs[GFX_RS_BLENDOP] = GFX_BLENDOP_ADD;
    rs[GFX_RS_SRCBLENDALPHA] = GFX_BLEND_ONE;
    rs[GFX_RS_DESTBLENDALPHA] = GFX_BLEND_ZERO;
    rs[GFX_RS_BLENDOPALPHA] = GFX_BLENDOP_ADD;

    for (int s = 0; s < GFX_MAX_STAGES; ++s) {
        d.samp[s] = {GFX_TADDRESS_WRAP, GFX_TADDRESS_WRAP, GFX_TEXF_POINT, GFX_TEXF_POINT,
                     GFX_TEXF_NONE};
        d.tss[s][GFX_TSS_COLOROP] = s == 0 ? GFX_TOP_MODULATE : GFX_TOP_DISABLE;
        d.tss[s][GFX_TSS_COLORARG1] = GFX_TA_TEXTURE;
        d.tss[s][GFX_TSS_COLORARG2] = GFX_TA_CURRENT;
        d.tss[s][GFX_TSS_ALPHAOP] = s == 0 ? GFX_TOP_SELECTARG1 : GFX_TOP_DISABLE;
        d.tss[s][GFX_TSS_ALPHAARG1] = GFX_TA_TEXTURE;
        d.tss[s][GFX_TSS_ALPHAARG2] = GFX_TA_CURRENT;
        d.tss[s][GFX_TSS_TEXCOORDINDEX] = static_cast<uint32_t>(s);
    }
    for (auto& m : d.xform) identity(m);
    d.light = GfxLight{};
    d.light.type = GFX_LIGHT_DIRECTIONAL;
    d.light.diffuse = {1, 1, 1, 0};
    d.light.direction[2] = 1.0f;
    d.light_on = 0;
    d.material = GfxMaterial{};
    d.material.diffuse = {1, 1, 1, 1};
    for (auto& p : d.clip_plane) p = {0, 0, 0, 0};
    for (int g = 0; g < 4; ++g) d.serial[g]++;
    d.ffp_serial++;
}

void gfx_bump_serial(GfxUniformGroup g) { gfx_dev.serial[g]++; }

// ===========================================================================
// 2 Setters
// ===========================================================================
namespace {
GfxUniformGroup uniform_group_of(GfxRs s)
{
    switch (s) {
    case GFX_RS_AMBIENT:
    case GFX_RS_COLORVERTEX:
    case GFX_RS_NORMALIZENORMALS:
    case GFX_RS_SPECULARENABLE:
    case GFX_RS_DIFFUSEMATERIALSOURCE:
    case GFX_RS_AMBIENTMATERIALSOURCE:
    case GFX_RS_SPECULARMATERIALSOURCE:
    case GFX_RS_EMISSIVEMATERIALSOURCE:
    case GFX_RS_LIGHTING: return GFX_UG_LIGHT;
    case GFX_RS_CLIPPLANEENABLE: return GFX_UG_CLIP;
    default: return GFX_UG_PIXEL;
    }
}
}  // namespace

GfxHr gfx_set_render_state(GfxRs state, uint32_t value)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (state < 0 || state >= GFX_RS_COUNT) return GFX_E_INVALIDCALL;
    if (gfx_dev.rs[state] == value) return GFX_OK;
    gfx_dev.rs[state] = value;
    GfxUniformGroup g = uniform_group_of(state);
    gfx_bump_serial(g);
    if (g == GFX_UG_LIGHT) gfx_dev.ffp_serial++;  // the generated stages depend on these
    return GFX_OK;
}

GfxHr gfx_set_render_state_f(GfxRs state, float value)
{
    return gfx_set_render_state(state, float_bits(value));
}

uint32_t gfx_get_render_state(GfxRs state)
{
    if (!gfx_usable() || state < 0 || state >= GFX_RS_COUNT) return 0;
    return gfx_dev.rs[state];
}

namespace {
// Stage 0..7 and a state below `count`.
bool stage_state_ok(int stage, int state, int count)
{
    return stage >= 0 && stage < GFX_MAX_STAGES && state >= 0 && state < count;
}
}  // namespace

GfxHr gfx_set_sampler_state(int stage, GfxSamp state, uint32_t value)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!stage_state_ok(stage, state, GFX_SAMP_COUNT)) return GFX_E_INVALIDCALL;
    gfx_dev.samp[stage][state] = value;
    return GFX_OK;
}

uint32_t gfx_get_sampler_state(int stage, GfxSamp state)
{
    if (!gfx_usable() || !stage_state_ok(stage, state, GFX_SAMP_COUNT)) return 0;
    return gfx_dev.samp[stage][state];
}

GfxHr gfx_set_texture_stage_state(int stage, GfxTss state, uint32_t value)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!stage_state_ok(stage, state, GFX_TSS_COUNT)) return GFX_E_INVALIDCALL;
    if (gfx_dev.tss[stage][state] != value) gfx_dev.tss[stage][state] = value, gfx_dev.ffp_serial++;
    return GFX_OK;
}

uint32_t gfx_get_texture_stage_state(int stage, GfxTss state)
{
    if (!gfx_usable() || !stage_state_ok(stage, state, GFX_TSS_COUNT)) return 0;
    return gfx_dev.tss[stage][state];
}

GfxHr gfx_set_transform(GfxTransform which, const float m[16])
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (which < 0 || which >= GFX_TS_COUNT || !m) return GFX_E_INVALIDCALL;
    std::copy(m, m + 16, gfx_dev.xform[which].begin());
    gfx_bump_serial(GFX_UG_TRANSFORM);
    // The light direction is kept in view space: only the view moves it.
    if (which == GFX_TS_VIEW) gfx_bump_serial(GFX_UG_LIGHT);
    return GFX_OK;
}

GfxHr gfx_get_transform(GfxTransform which, float m[16])
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (which < 0 || which >= GFX_TS_COUNT || !m) return GFX_E_INVALIDCALL;
    std::copy(gfx_dev.xform[which].begin(), gfx_dev.xform[which].end(), m);
    return GFX_OK;
}

GfxHr gfx_set_light(int index, const GfxLight* light)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (index < 0 || index >= GFX_MAX_LIGHTS || !light) return GFX_E_INVALIDCALL;
    gfx_dev.light = *light;
    gfx_bump_serial(GFX_UG_LIGHT);
    return GFX_OK;
}

GfxHr gfx_light_enable(int index, int enable)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (index < 0 || index >= GFX_MAX_LIGHTS) return GFX_E_INVALIDCALL;
    gfx_dev.light_on = enable ? 1 : 0;
    gfx_bump_serial(GFX_UG_LIGHT);
    return GFX_OK;
}

GfxHr gfx_set_material(const GfxMaterial* material)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!material) return GFX_E_INVALIDCALL;
    gfx_dev.material = *material;
    gfx_bump_serial(GFX_UG_LIGHT);
    return GFX_OK;
}

GfxHr gfx_set_clip_plane(int index, const float plane[4])
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (index < 0 || index >= GFX_MAX_CLIP_PLANES || !plane) return GFX_E_INVALIDCALL;
    std::copy(plane, plane + 4, gfx_dev.clip_plane[index].begin());
    gfx_bump_serial(GFX_UG_CLIP);
    return GFX_OK;
}

// Render-state key, value tables and format tables (see rstate.h).
#include "disp/rstate.h"

#include <algorithm>
#include <array>
#include <span>

#include "disp/d3d9.h"
#include "disp/tex.h"

namespace {

// --- value tables ------------------------------------------------------------

struct BlendRow {
    GfxBlend src, dst;
    GfxBlendOp op;
};
constexpr std::array<BlendRow, 16> DISP_BLEND = {{
    {GFX_BLEND_ONE, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_SRCALPHA, GFX_BLEND_INVSRCALPHA, GFX_BLENDOP_ADD},
    {GFX_BLEND_SRCALPHA, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_ONE, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_INVDESTCOLOR, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_SRCCOLOR, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_SRCCOLOR, GFX_BLEND_INVSRCCOLOR, GFX_BLENDOP_ADD},
    {GFX_BLEND_ONE, GFX_BLEND_INVSRCALPHA, GFX_BLENDOP_ADD},
    {GFX_BLEND_ZERO, GFX_BLEND_SRCCOLOR, GFX_BLENDOP_ADD},
    {GFX_BLEND_DESTCOLOR, GFX_BLEND_ONE, GFX_BLENDOP_ADD},
    {GFX_BLEND_DESTCOLOR, GFX_BLEND_SRCALPHA, GFX_BLENDOP_ADD},
    {GFX_BLEND_DESTCOLOR, GFX_BLEND_SRCCOLOR, GFX_BLENDOP_ADD},
    {GFX_BLEND_INVDESTCOLOR, GFX_BLEND_ZERO, GFX_BLENDOP_ADD},
    {GFX_BLEND_ONE, GFX_BLEND_ONE, GFX_BLENDOP_MIN},
    {GFX_BLEND_ONE, GFX_BLEND_ONE, GFX_BLENDOP_MAX},
    {GFX_BLEND_SRCALPHA, GFX_BLEND_ONE, GFX_BLENDOP_REVSUBTRACT},
}};
constexpr std::array<uint32_t, 3> DISP_CULL = {GFX_CULL_CCW, GFX_CULL_CW, GFX_CULL_NONE};
constexpr std::array<uint32_t, 3> DISP_FILL = {GFX_FILL_SOLID, GFX_FILL_WIREFRAME, GFX_FILL_POINT};
constexpr std::array<uint32_t, 2> DISP_FILTER = {GFX_TEXF_POINT, GFX_TEXF_LINEAR};
constexpr std::array<uint32_t, 6> DISP_ALPHA_REF = {1, 48, 129, 192, 254, 0};
constexpr std::array<uint32_t, 8> DISP_Z_FUNC = {
    GFX_CMP_NEVER,   GFX_CMP_LESS,     GFX_CMP_EQUAL,        GFX_CMP_LESSEQUAL,
    GFX_CMP_GREATER, GFX_CMP_NOTEQUAL, GFX_CMP_GREATEREQUAL, GFX_CMP_ALWAYS};
constexpr std::array<uint32_t, 8> DISP_STENCIL_OP = {
    GFX_STENCILOP_KEEP,    GFX_STENCILOP_ZERO,   GFX_STENCILOP_REPLACE, GFX_STENCILOP_INCRSAT,
    GFX_STENCILOP_DECRSAT, GFX_STENCILOP_INVERT, GFX_STENCILOP_INCR,    GFX_STENCILOP_DECR};

// --- format tables -----------------------------------------------------------

struct SurfFormatRow {
    GfxFormat fmt;
    const char* name;
};
constexpr std::array<SurfFormatRow, DISP_SURF_FORMAT_COUNT> DISP_SURF_FORMATS = {{
    {GFX_FMT_A8R8G8B8, "A8R8G8B8"},
    {GFX_FMT_X8R8G8B8, "X8R8G8B"},
    {GFX_FMT_A1R5G5B5, "A1R5G5B5"},
    {GFX_FMT_X1R5G5B5, "X1R5G5B5"},
    {GFX_FMT_R5G6B5, "R5G6B5"},
    {GFX_FMT_R8G8B8, "R8G8B8"},
    {GFX_FMT_A4R4G4B4, "A4R4G4B4"},
    {GFX_FMT_A16B16G16R16, "A16B16G16R16"},
    {GFX_FMT_A2R10G10B10, "A2R10G10B10"},
    {GFX_FMT_A2B10G10R10, "A2B10G10R10"},
    {GFX_FMT_A8, "A8"},
    {GFX_FMT_L8, "L8"},
    {GFX_FMT_A8L8, "A8L8"},
    {GFX_FMT_DXT1, "DXT1"},
    {GFX_FMT_DXT2, "DXT2"},
    {GFX_FMT_DXT3, "DXT3"},
    {GFX_FMT_DXT4, "DXT4"},
    {GFX_FMT_DXT5, "DXT5"},
    {GFX_FMT_R16F, "R16F"},
    {GFX_FMT_R32F, "R32F"},
    {GFX_FMT_G16R16F, "G16R16F"},
    {GFX_FMT_A16B16G16R16F, "A16B16G16R16F"},
    {GFX_FMT_G32R32F, "G32R32F"},
    {GFX_FMT_A32B32G32R32F, "A32B32G32R32F"},
}};

struct BppRow {
    GfxFormat fmt;
    uint8_t bits;
};
constexpr std::array<BppRow, 52> DISP_BPP = {{
    {GFX_FMT_D16_LOCKABLE, 16},
    {GFX_FMT_D32, 32},
    {GFX_FMT_D15S1, 16},
    {GFX_FMT_D24S8, 32},
    {GFX_FMT_D24X8, 32},
    {GFX_FMT_D24X4S4, 32},
    {GFX_FMT_D32F_LOCKABLE, 32},
    {GFX_FMT_D24FS8, 32},
    {GFX_FMT_D16, 16},
    {GFX_FMT_INDEX16, 16},
    {GFX_FMT_INDEX32, 32},
    {GFX_FMT_DXT1, 4},
    {GFX_FMT_DXT2, 8},
    {GFX_FMT_DXT3, 8},
    {GFX_FMT_DXT4, 8},
    {GFX_FMT_DXT5, 8},
    {GFX_FMT_R16F, 16},
    {GFX_FMT_G16R16F, 32},
    {GFX_FMT_A16B16G16R16F, 64},
    {GFX_FMT_R32F, 32},
    {GFX_FMT_G32R32F, 64},
    {GFX_FMT_A32B32G32R32F, 128},
    {GFX_FMT_L6V5U5, 16},
    {GFX_FMT_X8L8V8U8, 32},
    {GFX_FMT_A2W10V10U10, 32},
    {GFX_FMT_V8U8, 16},
    {GFX_FMT_Q8W8V8U8, 32},
    {GFX_FMT_V16U16, 32},
    {GFX_FMT_Q16W16V16U16, 64},
    {GFX_FMT_R8G8B8, 24},
    {GFX_FMT_A8R8G8B8, 32},
    {GFX_FMT_X8R8G8B8, 32},
    {GFX_FMT_R5G6B5, 16},
    {GFX_FMT_X1R5G5B5, 16},
    {GFX_FMT_A1R5G5B5, 16},
    {GFX_FMT_A4R4G4B4, 16},
    {GFX_FMT_R3G3B2, 8},
    {GFX_FMT_A8, 8},
    {GFX_FMT_A8R3G3B2, 16},
    {GFX_FMT_X4R4G4B4, 16},
    {GFX_FMT_A2B10G10R10, 32},
    {GFX_FMT_A8B8G8R8, 32},
    {GFX_FMT_X8B8G8R8, 32},
    {GFX_FMT_G16R16, 32},
    {GFX_FMT_A2R10G10B10, 32},
    {GFX_FMT_A16B16G16R16, 64},
    {GFX_FMT_A8P8, 16},
    {GFX_FMT_P8, 8},
    {GFX_FMT_L8, 8},
    {GFX_FMT_L16, 16},
    {GFX_FMT_A8L8, 16},
    {GFX_FMT_A4L4, 16},
}};

template <size_t N>
uint32_t table_get(const std::array<uint32_t, N>& t, int index, int fallback)
{
    return t[(index >= 0 && size_t(index) < N) ? size_t(index) : size_t(fallback)];
}

// --- the render-state cache ---------------------------------------------------

constexpr uint32_t DISP_UNSET = 0xFFFFFFFFu;

// The twelve words, in the order the device record keeps them.
struct RstateCache {
    uint32_t raw_lighting, raw_fog;
    uint32_t lighting, zwrite, zfunc, fog, blend, blend_on, cull, fill, alpha_ref, atest_on;
};
struct RstateWork {
    RstateCache cache;
    uint64_t sets;  // device render-state calls made here
};
RstateWork g_rs = {{DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET,
                    DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET},
                   0};

void set_rs(GfxRs state, uint32_t value)
{
    gfx_set_render_state(state, value);
    ++g_rs.sets;
}

// Sets `state` := value when `word` differs from `v`; 1 when it did.
bool update(uint32_t& word, uint32_t v)
{
    if (word == v) return false;
    word = v;
    return true;
}

}  // namespace

RenderStateKey rstate_key_make(int lighting, int zwrite, int fog, int blend, int cull,
                               int alpha_ref, int zfunc, int fill, int filter)
{
    auto put = [](int v, int shift, int bits) {
        return (uint32_t(v) & ((1u << bits) - 1u)) << shift;
    };
    return DISP_RS_VALID | put(lighting, 2, 1) | put(zwrite, 4, 1) | put(fog, 5, 1) |
           put(blend, DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS) |
           put(cull, DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS) |
           put(alpha_ref, DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS) |
           put(zfunc, DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS) |
           put(fill, DISP_RS_FILL_SHIFT, DISP_RS_FILL_BITS) |
           put(filter, DISP_RS_FILTER_SHIFT, DISP_RS_FILTER_BITS);
}

void disp_rstate_cache_reset()
{
    RstateCache& c = g_rs.cache;
    c = {DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET,
         DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET, DISP_UNSET};
}

int disp_set_rstate_block(RenderStateKey key, const RstateMeshArgs* mesh)
{
    if (!(key & DISP_RS_VALID) || !d3d9_booted()) return 0;
    if (key & DISP_RS_CACHE_RESET) disp_rstate_cache_reset();
    RstateCache& c = g_rs.cache;
    c.raw_lighting = (key >> 2) & 1;
    c.raw_fog = (key >> 5) & 1;
    if (mesh && mesh->shader_set != 0) key &= ~DISP_RS_LIGHTING;

    bool changed = false;
    uint32_t v = (key >> 2) & 1;
    if (update(c.lighting, v)) {
        set_rs(GFX_RS_LIGHTING, v);
        changed = true;
    }
    v = (key >> 4) & 1;
    if (update(c.zwrite, v)) set_rs(GFX_RS_ZWRITEENABLE, v);
    v = disp_rstate_field(key, DISP_RS_Z_FUNC_SHIFT, DISP_RS_Z_FUNC_BITS);
    if (update(c.zfunc, v)) set_rs(GFX_RS_ZFUNC, disp_zfunc_get(int(v)));
    v = (key >> 5) & 1;
    if (update(c.fog, v)) {
        set_rs(GFX_RS_FOGENABLE, v);
        changed = true;
    }
    v = disp_rstate_field(key, DISP_RS_BLEND_SHIFT, DISP_RS_BLEND_BITS);
    if (update(c.blend, v)) {
        uint32_t src, dst, op;
        disp_blend_mode_get(int(v), &src, &dst, &op);
        set_rs(GFX_RS_SRCBLEND, src);
        set_rs(GFX_RS_DESTBLEND, dst);
        set_rs(GFX_RS_BLENDOP, op);
        uint32_t on = v != 0;
        if (update(c.blend_on, on)) set_rs(GFX_RS_ALPHABLENDENABLE, on);
    }
    v = disp_rstate_field(key, DISP_RS_CULL_SHIFT, DISP_RS_CULL_BITS);
    if (update(c.cull, v)) set_rs(GFX_RS_CULLMODE, disp_cull_get(int(v)));
    v = disp_rstate_field(key, DISP_RS_FILL_SHIFT, DISP_RS_FILL_BITS);
    if (update(c.fill, v)) set_rs(GFX_RS_FILLMODE, disp_fill_get(int(v)));
    v = disp_rstate_field(key, DISP_RS_ALPHA_REF_SHIFT, DISP_RS_ALPHA_REF_BITS);
    if (update(c.alpha_ref, v)) {
        set_rs(GFX_RS_ALPHAREF, disp_alpha_ref_get(int(v)));
        uint32_t on = v != uint32_t(DISP_ALPHA_REF_OFF);
        if (update(c.atest_on, on)) set_rs(GFX_RS_ALPHATESTENABLE, on);
    }

    static const RstateMeshArgs DISP_NO_MESH = {};
    auto setup = disp_links().mesh_setup;
    if (setup && setup(mesh ? *mesh : DISP_NO_MESH)) changed = true;
    return changed ? 1 : 0;
}

int disp_set_rstate_key_fvf(RenderStateKey key, uint32_t fvf)
{
    RstateMeshArgs a = {};
    a.decl = disp_fvf_to_lvf(fvf);
    return disp_set_rstate_block(key, &a);
}

uint32_t disp_rstate_raw_lighting() { return g_rs.cache.raw_lighting; }
uint32_t disp_rstate_raw_fog() { return g_rs.cache.raw_fog; }
uint32_t disp_rstate_lighting() { return g_rs.cache.lighting; }
uint32_t disp_rstate_zwrite() { return g_rs.cache.zwrite; }
uint32_t disp_rstate_zfunc() { return g_rs.cache.zfunc; }
uint32_t disp_rstate_fog() { return g_rs.cache.fog; }
uint32_t disp_rstate_blend() { return g_rs.cache.blend; }
uint32_t disp_rstate_cull() { return g_rs.cache.cull; }
uint32_t disp_rstate_fill() { return g_rs.cache.fill; }
uint32_t disp_rstate_alpha_ref() { return g_rs.cache.alpha_ref; }
uint64_t disp_rstate_set_count() { return g_rs.sets; }

void disp_unbind_stages_from(int n)
{
    for (int s = std::max(n, 0); s < TEX_STAGES; ++s) tex_set_stage(s, nullptr, 0);
}

void disp_set_alpha_blend_sep(int enable, int blend)
{
    gfx_set_render_state(GFX_RS_SEPARATEALPHABLENDENABLE, enable ? 1 : 0);
    if (!enable) return;
    uint32_t src, dst, op;
    disp_blend_mode_get(blend, &src, &dst, &op);
    gfx_set_render_state(GFX_RS_SRCBLENDALPHA, src);
    gfx_set_render_state(GFX_RS_DESTBLENDALPHA, dst);
    gfx_set_render_state(GFX_RS_BLENDOPALPHA, op);
}

void disp_blend_mode_get(int index, uint32_t* src, uint32_t* dst, uint32_t* op)
{
    const BlendRow& r = DISP_BLEND[(index >= 0 && index < int(DISP_BLEND.size())) ? index : 0];
    if (src) *src = r.src;
    if (dst) *dst = r.dst;
    if (op) *op = r.op;
}
uint32_t disp_cull_get(int index) { return table_get(DISP_CULL, index, 0); }
uint32_t disp_fill_get(int index) { return table_get(DISP_FILL, index, 0); }
uint32_t disp_filter_get(int index) { return table_get(DISP_FILTER, index, 1); }
uint32_t disp_alpha_ref_get(int index) { return table_get(DISP_ALPHA_REF, index, 0); }
uint32_t disp_zfunc_get(int index) { return table_get(DISP_Z_FUNC, index, 1); }
uint32_t disp_stencil_op_get(int index) { return table_get(DISP_STENCIL_OP, index, 0); }

int disp_set_lvf_decl(int index)
{
    GfxVertexDecl* d = d3d9_get_decl(index);
    return d && gfx_ok(gfx_set_vertex_decl(d)) ? 1 : 0;
}

GfxFormat disp_index_to_fmt(int index)
{
    if (index < 0 || index >= DISP_SURF_FORMAT_COUNT) return GFX_FMT_L8;
    return DISP_SURF_FORMATS[size_t(index)].fmt;
}

int disp_fmt_to_index(GfxFormat fmt)
{
    for (int i = 0; i < DISP_SURF_FORMAT_COUNT; ++i)
        if (DISP_SURF_FORMATS[size_t(i)].fmt == fmt) return i;
    return DISP_SF_L8;
}

const char* disp_index_to_fmt_name(int index)
{
    if (index < 0 || index >= DISP_SURF_FORMAT_COUNT) return nullptr;
    return DISP_SURF_FORMATS[size_t(index)].name;
}

int disp_fmt_bpp(GfxFormat fmt)
{
    for (const BppRow& r : DISP_BPP)
        if (r.fmt == fmt) return r.bits;
    return 32;
}

GfxFormat disp_depth_index_to_fmt(int index) { return index == 1 ? GFX_FMT_D24S8 : GFX_FMT_D16; }

uint8_t disp_fmt_kind(GfxFormat fmt)
{
    switch (fmt) {
    case GFX_FMT_D15S1:
    case GFX_FMT_D24S8:
    case GFX_FMT_D24X4S4:
    case GFX_FMT_D24FS8: return DISP_SURF_KIND_DEPTH | DISP_SURF_KIND_STENCIL;
    case GFX_FMT_D32:
    case GFX_FMT_D16: return DISP_SURF_KIND_DEPTH;
    default: return DISP_SURF_KIND_COLOR;
    }
}

int disp_fmt_is_depth(GfxFormat fmt) { return (disp_fmt_kind(fmt) & DISP_SURF_KIND_DEPTH) ? 1 : 0; }

int disp_check_fmt(GfxFormat fmt, int use)
{
    struct Ask {
        uint32_t usage;
        GfxResourceType rtype;
    };
    static const Ask DISP_TEXTURE[] = {
        {GFX_USAGE_AUTOGENMIPMAP, GFX_RTYPE_TEXTURE},
        {GFX_USAGE_QUERY_FILTER, GFX_RTYPE_TEXTURE},
        {GFX_USAGE_QUERY_POSTPIXELSHADER_BLENDING, GFX_RTYPE_TEXTURE}};
    static const Ask DISP_TARGET[] = {
        {GFX_USAGE_RENDERTARGET, GFX_RTYPE_TEXTURE},
        {GFX_USAGE_QUERY_FILTER, GFX_RTYPE_TEXTURE},
        {GFX_USAGE_QUERY_POSTPIXELSHADER_BLENDING, GFX_RTYPE_TEXTURE}};
    static const Ask DISP_DEPTH[] = {{GFX_USAGE_DEPTHSTENCIL, GFX_RTYPE_SURFACE}};
    std::span<const Ask> asks;
    if (use == DISP_FMT_USE_TEXTURE)
        asks = DISP_TEXTURE;
    else if (use == DISP_FMT_USE_RENDER_TARGET)
        asks = DISP_TARGET;
    else if (use == DISP_FMT_USE_DEPTH_STENCIL)
        asks = DISP_DEPTH;
    else
        return 0;
    for (const Ask& a : asks)
        if (!gfx_check_format(fmt, a.usage, a.rtype)) return 0;
    return 1;
}

int disp_check_tex_fmt(uint32_t handle)
{
    TexRecord* t = disp_tex_lookup(handle);
    if (!t || !t->texture) return 0;
    int use =
        (t->flags & TEX_FLAG_RENDER_TARGET) ? DISP_FMT_USE_RENDER_TARGET : DISP_FMT_USE_TEXTURE;
    return disp_check_fmt(disp_index_to_fmt(t->fmt_index), use);
}

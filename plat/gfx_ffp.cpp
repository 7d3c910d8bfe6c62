// gfx_ffp: the fixed-function stages as generated GLSL, one program per
// distinct key, kept for the life of the device.
//
// Vertex key: pre-transformed or not; lighting with the material sources,
// normal and colour presence, normalisation and specular. Pixel key: the
// texture-stage operations up to the first disabled stage, their
// coordinate indices, and specular. Alpha test, fog and clip planes are
// not in the key: every stage, generated or not, gets its variants for
// those from gfx_shader.
#include "plat/gfx_local.h"
#include "plat/log_text.h"

#include <cstdio>

namespace {

// ---------------------------------------------------------------------------
// Vertex stage
// ---------------------------------------------------------------------------
struct VertexKey {
    bool pretransformed, lighting, normal, color, normalize, specular;
    int tex_sets;
    uint32_t diffuse_src, ambient_src, specular_src, emissive_src;
};

VertexKey vertex_key(const GfxVertexDecl* decl)
{
    const auto& rs = gfx_dev.rs;
    VertexKey k{};
    k.pretransformed = decl->pretransformed;
    k.tex_sets = decl->tex_sets;
    k.color = decl->attr_mask & (1u << GFX_ATTR_COLOR0);
    if (k.pretransformed) return k;
    k.lighting = rs[GFX_RS_LIGHTING] != 0;
    if (!k.lighting) return k;
    k.normal = decl->attr_mask & (1u << GFX_ATTR_NORMAL);
    k.normalize = rs[GFX_RS_NORMALIZENORMALS] != 0;
    k.specular = rs[GFX_RS_SPECULARENABLE] != 0;
    bool cv = rs[GFX_RS_COLORVERTEX] != 0;
    // A source names a vertex colour only when colour vertex is on and the
    // vertex has it; the second colour does not exist in our vertices.
    auto src = [&](GfxRs s) {
        uint32_t v = rs[s];
        return (cv && k.color && v == GFX_MCS_COLOR1) ? 1u : 0u;
    };
    k.diffuse_src = src(GFX_RS_DIFFUSEMATERIALSOURCE);
    k.ambient_src = src(GFX_RS_AMBIENTMATERIALSOURCE);
    k.specular_src = src(GFX_RS_SPECULARMATERIALSOURCE);
    k.emissive_src = src(GFX_RS_EMISSIVEMATERIALSOURCE);
    return k;
}

std::string vertex_key_string(const VertexKey& k)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "V%d%d%d%d%d%d%u%u%u%u%d", k.pretransformed, k.lighting,
                  k.normal, k.color, k.normalize, k.specular, k.diffuse_src, k.ambient_src,
                  k.specular_src, k.emissive_src, k.tex_sets);
    return buf;
}

// Texture coordinates the vertex carries; llvmpipe runs the vertex stage on
// the drawing thread, so a set the vertex does not have costs nothing
// (a stage reading it sees an undefined value, as with Direct3D).
std::string pass_texcoords(int sets)
{
    std::string s;
    for (int i = 0; i < sets && i < 8; ++i)
        s += "  vT" + std::to_string(i) + " = iTexCoord" + std::to_string(i) + ";\n";
    return s;
}

// Pre-transformed vertices: x, y are target pixels with centres on
// integers, z is depth, the fourth value is 1 / w. The upper-left origin
// keeps y downwards; gfx_pixel_centre moves them onto GL's pixel centres as
// it moves transformed ones, so that both follow one fill rule.
std::string pretransformed_source(const VertexKey& k)
{
    std::string s =
        "uniform vec4 gfx_Viewport;\n"
        "void VsMain() {\n"
        "  float w = iPosition.w != 0.0 ? 1.0 / iPosition.w : 1.0;\n"
        "  vec2 ndc = vec2((iPosition.x - gfx_Viewport.x) / gfx_Viewport.z * 2.0 - 1.0,\n"
        "                  1.0 - (iPosition.y - gfx_Viewport.y) / gfx_Viewport.w * 2.0);\n"
        "  gl_Position = vec4(ndc * w, iPosition.z * w, w);\n"
        "  gfx_pixel_centre();\n";
    s += k.color ? "  vD0 = iColor0;\n" : "  vD0 = vec4(1.0);\n";
    // These vertices carry no specular colour: black, so a specular sum adds nothing.
    s += "  vD1 = vec4(0.0);\n";
    s += pass_texcoords(k.tex_sets);
    s += "}\n";
    return s;
}

std::string transformed_source(const VertexKey& k)
{
    std::string s = "uniform mat4 gfx_WorldViewProj;\n"
                    "uniform mat4 gfx_WorldView;\n"
                    "uniform mat4 gfx_World;\n";
    if (k.lighting)
        s += "uniform vec3 gfx_LightDir;\n"
             "uniform vec4 gfx_LightDiffuse, gfx_LightSpecular, gfx_LightAmbient;\n"
             "uniform vec4 gfx_MatDiffuse, gfx_MatAmbient, gfx_MatSpecular, gfx_MatEmissive;\n"
             "uniform float gfx_MatPower;\n"
             "uniform vec4 gfx_Ambient;\n";
    s += "void VsMain() {\n"
         "  vec4 p = vec4(iPosition.xyz, 1.0);\n"
         "  gl_Position = p * gfx_WorldViewProj;\n"
         "  gfx_clip_out(p * gfx_World);\n"
         "  gfx_pixel_centre();\n";
    s += k.color ? "  vec4 vc = iColor0;\n" : "  vec4 vc = vec4(1.0);\n";
    if (!k.lighting) {
        s += "  vD0 = vc;\n  vD1 = vec4(0.0);\n";
    } else {
        s += k.normal ? "  vec3 n = (vec4(iNormal.xyz, 0.0) * gfx_WorldView).xyz;\n"
                      : "  vec3 n = vec3(0.0);\n";
        if (k.normalize && k.normal) s += "  n = length(n) > 0.0 ? normalize(n) : n;\n";
        s += k.diffuse_src ? "  vec4 md = vc;\n" : "  vec4 md = gfx_MatDiffuse;\n";
        s += k.ambient_src ? "  vec4 ma = vc;\n" : "  vec4 ma = gfx_MatAmbient;\n";
        s += k.emissive_src ? "  vec4 me = vc;\n" : "  vec4 me = gfx_MatEmissive;\n";
        s += k.specular_src ? "  vec4 ms = vc;\n" : "  vec4 ms = gfx_MatSpecular;\n";
        s += "  float ndl = max(dot(n, gfx_LightDir), 0.0);\n"
             "  vec3 c = me.rgb + ma.rgb * (gfx_Ambient.rgb + gfx_LightAmbient.rgb)\n"
             "         + md.rgb * gfx_LightDiffuse.rgb * ndl;\n"
             "  vD0 = vec4(clamp(c, 0.0, 1.0), clamp(md.a, 0.0, 1.0));\n";
        if (k.specular)
            s += "  vec3 pv = (p * gfx_WorldView).xyz;\n"
                 "  vec3 h = normalize(gfx_LightDir - (length(pv) > 0.0 ? normalize(pv) : "
                 "vec3(0.0)));\n"
                 "  float sp = ndl > 0.0 ? pow(max(dot(n, h), 0.0), max(gfx_MatPower, 0.0001)) : "
                 "0.0;\n"
                 "  vD1 = vec4(clamp(ms.rgb * gfx_LightSpecular.rgb * sp, 0.0, 1.0), 0.0);\n";
        else
            s += "  vD1 = vec4(0.0);\n";
    }
    s += pass_texcoords(k.tex_sets);
    s += "  vFog = 1.0;\n}\n";
    return s;
}

// ---------------------------------------------------------------------------
// Pixel stage
// ---------------------------------------------------------------------------
std::string arg_expr(uint32_t arg, int stage, bool alpha)
{
    std::string base;
    switch (arg & 0xF) {
    case GFX_TA_DIFFUSE: base = "vD0"; break;
    case GFX_TA_CURRENT: base = "cur"; break;
    case GFX_TA_TEXTURE: base = "t" + std::to_string(stage); break;
    case GFX_TA_TFACTOR: base = "gfx_TFactor"; break;
    default: base = "vec4(1.0)"; break;
    }
    if (arg & GFX_TA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
    if (arg & GFX_TA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    return base + (alpha ? ".a" : ".rgb");
}

std::string op_expr(uint32_t op, const std::string& a1, const std::string& a2,
                    const std::string& current)
{
    switch (op) {
    case GFX_TOP_SELECTARG1: return a1;
    case GFX_TOP_SELECTARG2: return a2;
    case GFX_TOP_MODULATE: return a1 + " * " + a2;
    case GFX_TOP_MODULATE2X: return "clamp(" + a1 + " * " + a2 + " * 2.0, 0.0, 1.0)";
    case GFX_TOP_MODULATE4X: return "clamp(" + a1 + " * " + a2 + " * 4.0, 0.0, 1.0)";
    case GFX_TOP_ADD: return "clamp(" + a1 + " + " + a2 + ", 0.0, 1.0)";
    case GFX_TOP_ADDSIGNED: return "clamp(" + a1 + " + " + a2 + " - 0.5, 0.0, 1.0)";
    case GFX_TOP_SUBTRACT: return "clamp(" + a1 + " - " + a2 + ", 0.0, 1.0)";
    default: return current;
    }
}

bool uses_texture(uint32_t op, uint32_t a1, uint32_t a2)
{
    if (op == GFX_TOP_DISABLE) return false;
    bool one = op != GFX_TOP_SELECTARG2, two = op != GFX_TOP_SELECTARG1;
    return (one && (a1 & 0xF) == GFX_TA_TEXTURE) || (two && (a2 & 0xF) == GFX_TA_TEXTURE);
}

// The key and the source of the pixel stage for the current stage states.
void pixel_source(std::string& key, std::string& src)
{
    const GfxDevice& d = gfx_dev;
    key = "P";
    key += d.rs[GFX_RS_SPECULARENABLE] ? '1' : '0';
    src = "uniform vec4 gfx_TFactor;\nvoid PsMain() {\n  vec4 cur = vD0;\n";
    static const char* GFX_TEX[8] = {"Tex0", "Tex1", "Tex2", "Tex3",
                                     "Tex4", "Tex5", "Tex6", "Tex7"};
    for (int s = 0; s < GFX_MAX_STAGES; ++s) {
        const auto& t = d.tss[s];
        uint32_t cop = t[GFX_TSS_COLOROP];
        if (cop == GFX_TOP_DISABLE || cop < GFX_TOP_DISABLE || cop > GFX_TOP_SUBTRACT) break;
        uint32_t aop = t[GFX_TSS_ALPHAOP];
        uint32_t ca1 = t[GFX_TSS_COLORARG1], ca2 = t[GFX_TSS_COLORARG2];
        uint32_t aa1 = t[GFX_TSS_ALPHAARG1], aa2 = t[GFX_TSS_ALPHAARG2];
        uint32_t tci = t[GFX_TSS_TEXCOORDINDEX] & 7;
        char kb[64];
        bool bound = d.texture[s] != nullptr;
        // Selecting a missing texture passes the current value on (so the
        // default stage 0 keeps the vertex alpha of untextured draws).
        if (!bound && cop == GFX_TOP_SELECTARG1 && ca1 == GFX_TA_TEXTURE) ca1 = GFX_TA_CURRENT;
        if (!bound && aop == GFX_TOP_SELECTARG1 && aa1 == GFX_TA_TEXTURE) aa1 = GFX_TA_CURRENT;
        std::snprintf(kb, sizeof kb, "|%u,%u,%u,%u,%u,%u,%u,%d", cop, ca1, ca2, aop, aa1, aa2, tci,
                      bound);
        key += kb;
        std::string ts = std::to_string(s);
        // A stage without a texture reads white, so untextured draws show
        // their vertex colours with the default stage states.
        if (uses_texture(cop, ca1, ca2) || uses_texture(aop, aa1, aa2))
            src += "  vec4 t" + ts + " = " +
                   (bound ? std::string("texture(") + GFX_TEX[s] + ", vT" + std::to_string(tci) +
                                ".xy)"
                          : "vec4(1.0)") +
                   ";\n";
        src += "  {\n    vec3 c = " +
               op_expr(cop, arg_expr(ca1, s, false), arg_expr(ca2, s, false), "cur.rgb") + ";\n";
        src += "    float a = " +
               op_expr(aop, arg_expr(aa1, s, true), arg_expr(aa2, s, true), "cur.a") + ";\n";
        src += "    cur = vec4(c, a);\n  }\n";
    }
    if (d.rs[GFX_RS_SPECULARENABLE]) src += "  cur.rgb = clamp(cur.rgb + vD1.rgb, 0.0, 1.0);\n";
    src += "  oC0 = cur;\n}\n";
}

GfxShader* cached(const std::string& key)
{
    auto it = gfx_dev.ffp_programs.find(key);
    return it == gfx_dev.ffp_programs.end() ? nullptr : it->second;
}

GfxShader* build(const std::string& key, GfxShaderKind kind, const std::string& src,
                 const char* entry)
{
    char log[2048];
    GfxShader* sh = gfx_shader_build(kind, src, entry, 1, log, sizeof log);
    if (!sh) {
        plat_log_line("gfx: generated stage failed to build: %s", log);
        return nullptr;
    }
    gfx_dev.ffp_programs.emplace(key, sh);
    return sh;
}

}  // namespace

GfxShader* gfx_ffp_vertex_program(const GfxVertexDecl* decl)
{
    GfxDevice& d = gfx_dev;
    if (d.ffp_vs_last && d.ffp_vs_decl == decl && d.ffp_vs_serial == d.ffp_serial)
        return d.ffp_vs_last;
    d.ffp_vs_last = nullptr;
    VertexKey k = vertex_key(decl);
    std::string key = vertex_key_string(k);
    GfxShader* sh = cached(key);
    if (!sh)
        sh = build(key, GFX_SHADER_VERTEX,
                   k.pretransformed ? pretransformed_source(k) : transformed_source(k), "VsMain");
    d.ffp_vs_last = sh, d.ffp_vs_decl = decl, d.ffp_vs_serial = d.ffp_serial;
    return sh;
}

GfxShader* gfx_ffp_pixel_program(void)
{
    GfxDevice& d = gfx_dev;
    if (d.ffp_ps_last && d.ffp_ps_serial == d.ffp_serial) return d.ffp_ps_last;
    std::string key, src;
    pixel_source(key, src);
    GfxShader* sh = cached(key);
    if (!sh) sh = build(key, GFX_SHADER_PIXEL, src, "PsMain");
    d.ffp_ps_last = sh, d.ffp_ps_serial = d.ffp_serial;
    return sh;
}

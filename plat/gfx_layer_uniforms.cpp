// gfx_layer_uniforms: the uniforms the layer itself feeds every stage
// (names "gfx_..."): transforms, the light and material, alpha test, fog,
// texture factor and clip planes, found by name in each program and
// uploaded per group only when the group's states changed since that
// program last saw them.
#include "plat/gfx_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "math/vm_color.h"

namespace {
const char* const GFX_LAYER_NAMES[GFX_LU_COUNT] = {
    "gfx_WorldViewProj", "gfx_WorldView",    "gfx_World",        "gfx_Viewport",
    "gfx_HalfPixel",     "gfx_LightDir",     "gfx_LightDiffuse", "gfx_LightSpecular",
    "gfx_LightAmbient",  "gfx_MatDiffuse",   "gfx_MatAmbient",   "gfx_MatSpecular",
    "gfx_MatEmissive",   "gfx_MatPower",     "gfx_Ambient",      "gfx_AlphaFunc",
    "gfx_AlphaRef",      "gfx_FogOn",        "gfx_FogColor",     "gfx_FogRange",
    "gfx_TFactor",       "gfx_ClipPlane[0]",
};

void mat_mul(const float* a, const float* b, float* out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            for (int k = 0; k < 4; ++k) v += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = v;
        }
}
float as_float(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Just under half a pixel (in pixels); see gfx_pixel_centre.
constexpr float GFX_HALF_PIXEL = 63.0f / 128.0f;

void upload_transform(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    if (L[GFX_LU_WVP] >= 0 || L[GFX_LU_WV] >= 0) {
        float wv[16], wvp[16];
        mat_mul(d.xform[GFX_TS_WORLD].data(), d.xform[GFX_TS_VIEW].data(), wv);
        mat_mul(wv, d.xform[GFX_TS_PROJECTION].data(), wvp);
        if (L[GFX_LU_WVP] >= 0) glProgramUniformMatrix4fv(p, L[GFX_LU_WVP], 1, GL_TRUE, wvp);
        if (L[GFX_LU_WV] >= 0) glProgramUniformMatrix4fv(p, L[GFX_LU_WV], 1, GL_TRUE, wv);
    }
    if (L[GFX_LU_WORLD] >= 0)
        glProgramUniformMatrix4fv(p, L[GFX_LU_WORLD], 1, GL_TRUE, d.xform[GFX_TS_WORLD].data());
    if (L[GFX_LU_HALFPIXEL] >= 0)
        glProgramUniform2f(
            p, L[GFX_LU_HALFPIXEL],
            GFX_HALF_PIXEL * 2.0f / static_cast<float>(std::max(1, d.viewport.width)),
            -GFX_HALF_PIXEL * 2.0f / static_cast<float>(std::max(1, d.viewport.height)));
    if (L[GFX_LU_VIEWPORT] >= 0)
        glProgramUniform4f(p, L[GFX_LU_VIEWPORT], static_cast<float>(d.viewport.x),
                           static_cast<float>(d.viewport.y),
                           static_cast<float>(std::max(1, d.viewport.width)),
                           static_cast<float>(std::max(1, d.viewport.height)));
}

void upload_light(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    // Direction towards the light, in view space (Direct3D lights live in
    // world space and are lit in camera space).
    const float* v = d.xform[GFX_TS_VIEW].data();
    const float* dir = d.light.direction;
    float lx = -(dir[0] * v[0] + dir[1] * v[4] + dir[2] * v[8]);
    float ly = -(dir[0] * v[1] + dir[1] * v[5] + dir[2] * v[9]);
    float lz = -(dir[0] * v[2] + dir[1] * v[6] + dir[2] * v[10]);
    float len = std::sqrt(lx * lx + ly * ly + lz * lz);
    if (len > 0) lx /= len, ly /= len, lz /= len;
    bool on = d.light_on && d.light.type == GFX_LIGHT_DIRECTIONAL;
    auto col = [&](GLint loc, const GfxColorF& c, bool use) {
        if (loc >= 0)
            glProgramUniform4f(p, loc, use ? c.r : 0, use ? c.g : 0, use ? c.b : 0, use ? c.a : 0);
    };
    if (L[GFX_LU_LIGHTDIR] >= 0) glProgramUniform3f(p, L[GFX_LU_LIGHTDIR], lx, ly, lz);
    col(L[GFX_LU_LIGHTDIFFUSE], d.light.diffuse, on);
    col(L[GFX_LU_LIGHTSPECULAR], d.light.specular, on);
    col(L[GFX_LU_LIGHTAMBIENT], d.light.ambient, on);
    col(L[GFX_LU_MATDIFFUSE], d.material.diffuse, true);
    col(L[GFX_LU_MATAMBIENT], d.material.ambient, true);
    col(L[GFX_LU_MATSPECULAR], d.material.specular, true);
    col(L[GFX_LU_MATEMISSIVE], d.material.emissive, true);
    if (L[GFX_LU_MATPOWER] >= 0) glProgramUniform1f(p, L[GFX_LU_MATPOWER], d.material.power);
    if (L[GFX_LU_AMBIENT] >= 0) {
        float a[4];
        color_to_f4(a, d.rs[GFX_RS_AMBIENT]);
        glProgramUniform4fv(p, L[GFX_LU_AMBIENT], 1, a);
    }
}

void upload_pixel(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    const auto& L = sh->loc;
    GLuint p = sh->program;
    auto& rs = d.rs;
    uint32_t func = rs[GFX_RS_ALPHATESTENABLE] ? rs[GFX_RS_ALPHAFUNC] : uint32_t{GFX_CMP_ALWAYS};
    if (func < GFX_CMP_NEVER || func > GFX_CMP_ALWAYS) func = GFX_CMP_ALWAYS;
    if (L[GFX_LU_ALPHAFUNC] >= 0)
        glProgramUniform1i(p, L[GFX_LU_ALPHAFUNC], static_cast<GLint>(func));
    if (L[GFX_LU_ALPHAREF] >= 0)
        glProgramUniform1f(p, L[GFX_LU_ALPHAREF], static_cast<float>(rs[GFX_RS_ALPHAREF] & 0xFF));
    bool fog = rs[GFX_RS_FOGENABLE] && (rs[GFX_RS_FOGTABLEMODE] == GFX_FOG_LINEAR ||
                                        rs[GFX_RS_FOGVERTEXMODE] == GFX_FOG_LINEAR);
    if (L[GFX_LU_FOGON] >= 0) glProgramUniform1i(p, L[GFX_LU_FOGON], fog ? 1 : 0);
    float c[4];
    color_to_f4(c, rs[GFX_RS_FOGCOLOR]);
    if (L[GFX_LU_FOGCOLOR] >= 0) glProgramUniform4fv(p, L[GFX_LU_FOGCOLOR], 1, c);
    if (L[GFX_LU_FOGRANGE] >= 0)
        glProgramUniform2f(p, L[GFX_LU_FOGRANGE], as_float(rs[GFX_RS_FOGSTART]),
                           as_float(rs[GFX_RS_FOGEND]));
    color_to_f4(c, rs[GFX_RS_TEXTUREFACTOR]);
    if (L[GFX_LU_TFACTOR] >= 0) glProgramUniform4fv(p, L[GFX_LU_TFACTOR], 1, c);
}

void upload_clip(GfxStageProgram* sh)
{
    if (sh->loc[GFX_LU_CLIPPLANE] < 0) return;
    // A disabled plane is uploaded as (0, 0, 0, 1), which keeps every
    // visible point, so that a clip distance left enabled in the driver's
    // view never cuts anything.
    float planes[GFX_MAX_CLIP_PLANES * 4];
    uint32_t mask = gfx_dev.rs[GFX_RS_CLIPPLANEENABLE];
    for (int i = 0; i < GFX_MAX_CLIP_PLANES; ++i) {
        if ((mask >> i) & 1)
            std::copy(gfx_dev.clip_plane[i].begin(), gfx_dev.clip_plane[i].end(), planes + i * 4);
        else
            planes[i * 4] = planes[i * 4 + 1] = planes[i * 4 + 2] = 0, planes[i * 4 + 3] = 1;
    }
    glProgramUniform4fv(sh->program, sh->loc[GFX_LU_CLIPPLANE], GFX_MAX_CLIP_PLANES, planes);
}
}  // namespace

void gfx_shader_fill_layer_locations(GfxStageProgram& v)
{
    for (int i = 0; i < GFX_LU_COUNT; ++i)
        v.loc[i] = glGetUniformLocation(v.program, GFX_LAYER_NAMES[i]);
}

void gfx_shader_upload_layer_uniforms(GfxStageProgram* sh)
{
    const GfxDevice& d = gfx_dev;
    typedef void (*Upload)(GfxStageProgram*);
    static const Upload k[4] = {upload_transform, upload_light, upload_pixel, upload_clip};
    for (int g = 0; g < 4; ++g) {
        if (sh->uploaded_serial[g] == d.serial[g]) continue;
        sh->uploaded_serial[g] = d.serial[g];
        k[g](sh);
    }
}

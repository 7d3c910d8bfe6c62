// gfx_gl_state: the one GL state cache and the Direct3D-side states brought
// into GL before a draw. Every setter compares with what GL holds, calls GL
// only when it differs and counts the call; nothing reads GL state back.
// After code outside the layer has touched GL, gfx_invalidate_gl_cache
// makes the next draw set everything again.
//
// Sections: 1 GL cache  2 applying the states
#include "plat/gfx_local.h"

void gfx_count_state(int n) { gfx_dev.counters.state_changes += static_cast<uint64_t>(n); }

// ===========================================================================
// 1 GL cache: every setter compares with what GL holds, calls, counts.
// ===========================================================================
namespace {
GfxGlCache& C() { return gfx_dev.gl; }

template <typename T>
bool changed(T& cached, const T& want)
{
    if (cached == want) return false;
    cached = want;
    gfx_count_state();
    return true;
}
void gl_enable(GLenum cap, int& cached, int want)
{
    if (changed(cached, want)) (want ? glEnable : glDisable)(cap);
}
}  // namespace

void gfx_gl_bind_draw_fbo(GLuint fbo)
{
    if (changed(C().draw_fbo, fbo)) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
}
void gfx_gl_bind_vao(GLuint vao)
{
    if (changed(C().vao, vao)) glBindVertexArray(vao);
}
void gfx_gl_use_stages(GLuint vs, GLuint fs)
{
    if (C().vs != vs) {
        C().vs = vs;
        glUseProgramStages(gfx_dev.pipeline, GL_VERTEX_SHADER_BIT, vs);
        gfx_dev.counters.program_binds++;
        gfx_count_state();
    }
    if (C().fs != fs) {
        C().fs = fs;
        glUseProgramStages(gfx_dev.pipeline, GL_FRAGMENT_SHADER_BIT, fs);
        gfx_dev.counters.program_binds++;
        gfx_count_state();
    }
}
void gfx_gl_bind_texture(int unit, GLuint tex)
{
    if (changed(C().texture[unit], tex)) glBindTextureUnit(static_cast<GLuint>(unit), tex);
}
void gfx_gl_viewport(const GfxRect& r)
{
    if (gfx_same_rect(C().viewport, r)) return;
    C().viewport = r;
    gfx_count_state();
    glViewport(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
void gfx_gl_scissor(int enable, const GfxRect& r)
{
    gl_enable(GL_SCISSOR_TEST, C().scissor_test, enable);
    if (!enable || gfx_same_rect(C().scissor, r)) return;
    C().scissor = r;
    gfx_count_state();
    glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void gfx_gl_color_mask(int mask)
{
    if (changed(C().color_mask, mask))
        glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}

namespace {
void gl_depth_mask(int on)
{
    if (changed(C().depth_mask, on)) glDepthMask(on ? GL_TRUE : GL_FALSE);
}
void gl_stencil_write(GLuint mask)
{
    if (changed(C().stencil_write, mask)) glStencilMask(mask);
}
}  // namespace

// Clears write through every mask, as Direct3D's Clear does.
void gfx_gl_masks_for_clear(void)
{
    gfx_gl_color_mask(0xF);
    gl_depth_mask(1);
    gl_stencil_write(0xFFu);
}

void gfx_invalidate_gl_cache(void)
{
    GfxDevice& d = gfx_dev;
    if (!d.ok) return;
    // The settings the layer makes once and never caches.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glUseProgram(0);
    glBindProgramPipeline(d.pipeline);
    for (int s = 0; s < GFX_MAX_STAGES; ++s) glBindSampler(static_cast<GLuint>(s), d.sampler[s]);
    glVertexAttrib4f(GFX_ATTR_COLOR0, 1, 1, 1, 1);  // absent diffuse is white
    GfxGlCache fresh;
    fresh.draw_fbo = fresh.vao = fresh.vs = fresh.fs = 0xFFFFFFFFu;
    fresh.texture.fill(0xFFFFFFFFu);
    for (auto& s : fresh.sampler) s.fill(-1);
    fresh.blend_src_rgb = fresh.blend_dst_rgb = fresh.blend_src_a = fresh.blend_dst_a = 0xFFFFFFFFu;
    fresh.blend_eq_rgb = fresh.blend_eq_a = fresh.depth_func = fresh.cull_face = 0xFFFFFFFFu;
    fresh.polygon_mode = fresh.stencil_func = 0xFFFFFFFFu;
    fresh.stencil_mask = fresh.stencil_write = 0xFFFFFFFEu;
    fresh.stencil_fail = fresh.stencil_zfail = fresh.stencil_pass = 0xFFFFFFFFu;
    gfx_dev.gl = fresh;
    gfx_dev.gl.valid = 1;
    gfx_targets_written();  // GL may have been used behind the layer's back
    for (auto& kv : gfx_dev.fvf_decls) {
        kv.second->bound_buffer = 0xFFFFFFFFu;
        kv.second->bound_offset = -1;
    }
}

// ===========================================================================
// 2 Applying the Direct3D states to GL before a draw
// ===========================================================================
namespace {

GLenum gl_blend_factor(uint32_t b)
{
    switch (b) {
    case GFX_BLEND_ZERO: return GL_ZERO;
    case GFX_BLEND_ONE: return GL_ONE;
    case GFX_BLEND_SRCCOLOR: return GL_SRC_COLOR;
    case GFX_BLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case GFX_BLEND_SRCALPHA: return GL_SRC_ALPHA;
    case GFX_BLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case GFX_BLEND_DESTALPHA: return GL_DST_ALPHA;
    case GFX_BLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case GFX_BLEND_DESTCOLOR: return GL_DST_COLOR;
    case GFX_BLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case GFX_BLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}
GLenum gl_blend_op(uint32_t op)
{
    switch (op) {
    case GFX_BLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case GFX_BLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case GFX_BLENDOP_MIN: return GL_MIN;
    case GFX_BLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}
GLenum gl_compare(uint32_t c)
{
    static const GLenum k[] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                               GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return (c >= 1 && c <= 8) ? k[c - 1] : GL_ALWAYS;
}
// INCRSAT/DECRSAT saturate (GL_INCR/GL_DECR); INCR/DECR wrap.
GLenum gl_stencil_op(uint32_t op)
{
    static const GLenum k[] = {GL_KEEP, GL_ZERO,   GL_REPLACE,   GL_INCR,
                               GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return (op >= 1 && op <= 8) ? k[op - 1] : GL_KEEP;
}
GLint gl_address(uint32_t a)
{
    if (a == GFX_TADDRESS_CLAMP) return GL_CLAMP_TO_EDGE;
    if (a == GFX_TADDRESS_MIRROR) return GL_MIRRORED_REPEAT;
    return GL_REPEAT;
}
GLint gl_min_filter(uint32_t min, uint32_t mip)
{
    bool lin = min == GFX_TEXF_LINEAR;
    if (mip == GFX_TEXF_POINT) return lin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (mip == GFX_TEXF_LINEAR) return lin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return lin ? GL_LINEAR : GL_NEAREST;
}

void apply_blend(const GfxDevice& d)
{
    auto& rs = d.rs;
    gl_enable(GL_BLEND, C().blend, rs[GFX_RS_ALPHABLENDENABLE] ? 1 : 0);
    if (!rs[GFX_RS_ALPHABLENDENABLE]) return;
    bool sep = rs[GFX_RS_SEPARATEALPHABLENDENABLE] != 0;
    GLenum src = gl_blend_factor(rs[GFX_RS_SRCBLEND]), dst = gl_blend_factor(rs[GFX_RS_DESTBLEND]);
    GLenum srca = sep ? gl_blend_factor(rs[GFX_RS_SRCBLENDALPHA]) : src;
    GLenum dsta = sep ? gl_blend_factor(rs[GFX_RS_DESTBLENDALPHA]) : dst;
    GLenum eq = gl_blend_op(rs[GFX_RS_BLENDOP]);
    GLenum eqa = sep ? gl_blend_op(rs[GFX_RS_BLENDOPALPHA]) : eq;
    auto& c = C();
    if (c.blend_src_rgb != src || c.blend_dst_rgb != dst || c.blend_src_a != srca ||
        c.blend_dst_a != dsta) {
        c.blend_src_rgb = src, c.blend_dst_rgb = dst, c.blend_src_a = srca, c.blend_dst_a = dsta;
        glBlendFuncSeparate(src, dst, srca, dsta);
        gfx_count_state();
    }
    if (c.blend_eq_rgb != eq || c.blend_eq_a != eqa) {
        c.blend_eq_rgb = eq, c.blend_eq_a = eqa;
        glBlendEquationSeparate(eq, eqa);
        gfx_count_state();
    }
}

void apply_depth_stencil(const GfxDevice& d)
{
    auto& rs = d.rs;
    int ztest = (rs[GFX_RS_ZENABLE] && d.depth) ? 1 : 0;
    gl_enable(GL_DEPTH_TEST, C().depth_test, ztest);
    if (ztest) {
        if (changed(C().depth_func, gl_compare(rs[GFX_RS_ZFUNC]))) glDepthFunc(C().depth_func);
        gl_depth_mask(rs[GFX_RS_ZWRITEENABLE] ? 1 : 0);
    }
    int st = (rs[GFX_RS_STENCILENABLE] && d.depth && d.depth->desc.format == GFX_FMT_D24S8) ? 1 : 0;
    gl_enable(GL_STENCIL_TEST, C().stencil_test, st);
    if (!st) return;
    auto& c = C();
    GLenum func = gl_compare(rs[GFX_RS_STENCILFUNC]);
    GLint ref = static_cast<GLint>(rs[GFX_RS_STENCILREF] & 0xFF);
    GLuint mask = rs[GFX_RS_STENCILMASK] & 0xFF;
    if (c.stencil_func != func || c.stencil_ref != ref || c.stencil_mask != mask) {
        c.stencil_func = func, c.stencil_ref = ref, c.stencil_mask = mask;
        glStencilFunc(func, ref, mask);
        gfx_count_state();
    }
    GLenum f = gl_stencil_op(rs[GFX_RS_STENCILFAIL]), zf = gl_stencil_op(rs[GFX_RS_STENCILZFAIL]),
           p = gl_stencil_op(rs[GFX_RS_STENCILPASS]);
    if (c.stencil_fail != f || c.stencil_zfail != zf || c.stencil_pass != p) {
        c.stencil_fail = f, c.stencil_zfail = zf, c.stencil_pass = p;
        glStencilOp(f, zf, p);
        gfx_count_state();
    }
    gl_stencil_write(rs[GFX_RS_STENCILWRITEMASK] & 0xFF);
}

// Direct3D culls by the winding seen on screen with y growing downwards.
// With the upper-left clip origin GL measures facing in window coordinates
// whose y also grows downwards, so the names match: CCW culls what runs
// counter-clockwise on screen, and the kept winding is declared as front.
void apply_raster(const GfxDevice& d)
{
    auto& rs = d.rs;
    uint32_t cull = rs[GFX_RS_CULLMODE];
    gl_enable(GL_CULL_FACE, C().cull, (cull == GFX_CULL_CW || cull == GFX_CULL_CCW) ? 1 : 0);
    if (cull == GFX_CULL_CW || cull == GFX_CULL_CCW) {
        // Cull the back face; declare as front the winding Direct3D keeps.
        GLenum front = (cull == GFX_CULL_CCW) ? GL_CW : GL_CCW;
        if (changed(C().cull_face, front)) glFrontFace(front);
    }
    GLenum mode = rs[GFX_RS_FILLMODE] == GFX_FILL_POINT       ? GL_POINT
                  : rs[GFX_RS_FILLMODE] == GFX_FILL_WIREFRAME ? GL_LINE
                                                              : GL_FILL;
    if (changed(C().polygon_mode, mode)) glPolygonMode(GL_FRONT_AND_BACK, mode);
    gfx_gl_color_mask(static_cast<int>(rs[GFX_RS_COLORWRITEENABLE] & 0xF));
    // Pre-transformed vertices are never clipped by user planes.
    int clip = (d.decl && d.decl->pretransformed)
                   ? 0
                   : static_cast<int>(rs[GFX_RS_CLIPPLANEENABLE] & 0x3F);
    if (C().clip_mask != clip) {
        int old = C().clip_mask < 0 ? 0x3F : C().clip_mask;
        for (int i = 0; i < GFX_MAX_CLIP_PLANES; ++i) {
            int want = (clip >> i) & 1;
            if (C().clip_mask >= 0 && ((old >> i) & 1) == want) continue;
            (want ? glEnable : glDisable)(GL_CLIP_DISTANCE0 + i);
            gfx_count_state();
        }
        C().clip_mask = clip;
    }
    gfx_gl_viewport({d.viewport.x, d.viewport.y, d.viewport.x + d.viewport.width,
                     d.viewport.y + d.viewport.height});
    if (C().depth_near != d.viewport.min_z || C().depth_far != d.viewport.max_z) {
        C().depth_near = d.viewport.min_z, C().depth_far = d.viewport.max_z;
        glDepthRangef(d.viewport.min_z, d.viewport.max_z);
        gfx_count_state();
    }
    gfx_gl_scissor(rs[GFX_RS_SCISSORTESTENABLE] ? 1 : 0, d.scissor);
}

void apply_samplers(const GfxDevice& d)
{
    for (int s = 0; s < GFX_MAX_STAGES; ++s) {
        if (!d.texture[s]) {
            gfx_gl_bind_texture(s, 0);  // an empty stage samples (0, 0, 0, 1) in a shader
            continue;
        }
        auto& want = d.samp[s];
        auto& have = C().sampler[s];
        GLuint so = d.sampler[s];
        GLint v[GFX_SAMP_COUNT] = {
            gl_address(want[GFX_SAMP_ADDRESSU]), gl_address(want[GFX_SAMP_ADDRESSV]),
            want[GFX_SAMP_MAGFILTER] == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST,
            gl_min_filter(want[GFX_SAMP_MINFILTER], want[GFX_SAMP_MIPFILTER]), 0};
        if (changed(have[GFX_SAMP_ADDRESSU], v[0]))
            glSamplerParameteri(so, GL_TEXTURE_WRAP_S, v[0]);
        if (changed(have[GFX_SAMP_ADDRESSV], v[1]))
            glSamplerParameteri(so, GL_TEXTURE_WRAP_T, v[1]);
        if (changed(have[GFX_SAMP_MAGFILTER], v[2]))
            glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER, v[2]);
        if (changed(have[GFX_SAMP_MINFILTER], v[3]))
            glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, v[3]);
        gfx_gl_bind_texture(s, d.texture[s]->tex);
    }
}

}  // namespace

void gfx_gl_apply_states(void)
{
    GfxDevice& d = gfx_dev;
    if (d.fbo_dirty) gfx_bind_targets();
    gfx_gl_bind_draw_fbo(d.fbo);
    apply_blend(d);
    apply_depth_stencil(d);
    apply_raster(d);
    apply_samplers(d);
}

// gfx: device start and stop, the Direct3D-side state, the one GL state
// cache (compare, call, count), clear, viewport, scissor, present, device
// loss and read-back. See gfx.h for the conventions callers rely on.
//
// Sections: 1 state record and defaults  2 GL cache  3 applying states
//           4 device start/stop  5 frame and loss  6 state setters
//           7 viewport, scissor, clear, read-back  8 counters
#include "plat/gfx_local.h"
#include "plat/alloc.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

GfxDevice gfx_dev;

// ===========================================================================
// 1 State record and defaults
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
    m.fill(0.0f);
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

// Direct3D 9 defaults of every state the layer keeps.
void states_set_defaults(GfxDevice& d)
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

}  // namespace

void gfx_count_state(int n) { gfx_dev.counters.state_changes += static_cast<uint64_t>(n); }
void gfx_bump_serial(GfxUniformGroup g) { gfx_dev.serial[g]++; }

// ===========================================================================
// 2 GL cache: every setter compares with what GL holds, calls, counts.
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
bool same_rect(const GfxRect& a, const GfxRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
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
    if (same_rect(C().viewport, r)) return;
    C().viewport = r;
    gfx_count_state();
    glViewport(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
void gfx_gl_scissor(int enable, const GfxRect& r)
{
    gl_enable(GL_SCISSOR_TEST, C().scissor_test, enable);
    if (!enable || same_rect(C().scissor, r)) return;
    C().scissor = r;
    gfx_count_state();
    glScissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

namespace {
void gl_color_mask(int mask)
{
    if (changed(C().color_mask, mask))
        glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}
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
    gl_color_mask(0xF);
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
    fresh.draw_fbo = fresh.read_fbo = fresh.vao = fresh.vs = fresh.fs = 0xFFFFFFFFu;
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
// 3 Applying the Direct3D states to GL before a draw
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
    gl_color_mask(static_cast<int>(rs[GFX_RS_COLORWRITEENABLE] & 0xF));
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

GfxRect gfx_target_rect(void)
{
    GfxSurface* t = gfx_dev.target[0];
    if (!t) return {0, 0, 0, 0};
    return {0, 0, t->desc.width, t->desc.height};
}

// ===========================================================================
// 4 Device start and stop
// ===========================================================================
namespace {

void set_gl_attributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// Keeps the GL library (and the driver) loaded until the process ends, so
// that memory the driver keeps until exit is not reported as leaked from an
// unloaded module.
void hold_gl_library()
{
    static int held = 0;
    if (!held) held = SDL_GL_LoadLibrary(nullptr) == 0;
}

void read_caps(GfxDevice& d)
{
    d.caps = GfxCaps{};
    d.caps.vertex_shader_version = 0xFFFE0300u;
    d.caps.pixel_shader_version = 0xFFFF0300u;
    d.caps.max_simultaneous_rts = GFX_MAX_RENDER_TARGETS;
    GLint v = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &v);
    d.caps.max_texture_size = v;
    glGetIntegerv(GL_MAX_SAMPLES, &v);
    d.caps.max_samples = v;
    d.caps.s3tc = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc") ? 1 : 0;
}

// Sample counts: 0 and 1 mean none; a count the driver refuses falls back
// to none rather than failing the device.
int effective_samples(int want)
{
    if (want <= 1 || want > GFX_MAX_SAMPLES) return 0;
    return want <= gfx_dev.caps.max_samples ? want : 0;
}

void release_device_objects(GfxDevice& d)
{
    gfx_draw_stop();
    gfx_shader_stop_all();
    gfx_tex_stop();
    if (d.pipeline) glDeleteProgramPipelines(1, &d.pipeline);
    for (auto& s : d.sampler)
        if (s) glDeleteSamplers(1, &s), s = 0;
    d.pipeline = 0;
}

}  // namespace

void* gfx_test_window_create(int width, int height)
{
    plat_alloc_setup();
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return nullptr;
    hold_gl_library();
    set_gl_attributes();
    return SDL_CreateWindow("quorvel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                            height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

void gfx_test_window_destroy(void* window)
{
    if (window) SDL_DestroyWindow(static_cast<SDL_Window*>(window));
}

int gfx_device_create(void* native_window, const GfxPresentParams* pp)
{
    GfxDevice& d = gfx_dev;
    if (d.ok || !native_window || !pp) return 0;
    static uint32_t generations = 0;
    d = GfxDevice{};
    d.generation = ++generations;
    hold_gl_library();
    set_gl_attributes();
    SDL_GLContext ctx = SDL_GL_CreateContext(static_cast<SDL_Window*>(native_window));
    if (!ctx) return 0;
    if (epoxy_gl_version() < 45) {
        SDL_GL_DeleteContext(ctx);
        return 0;
    }
    d.window = native_window;
    d.context = ctx;
    read_caps(d);
    d.pp = *pp;
    d.pp.samples = effective_samples(pp->samples);
    if (d.pp.depth_format != GFX_FMT_D24S8 && d.pp.depth_format != GFX_FMT_D16)
        d.pp.depth_format = GFX_FMT_UNKNOWN;
    SDL_GL_SetSwapInterval(d.pp.vsync ? 1 : 0);

    glCreateProgramPipelines(1, &d.pipeline);
    glCreateSamplers(GFX_MAX_STAGES, d.sampler.data());
    d.ok = 1;  // the start below calls the layer's own functions
    gfx_invalidate_gl_cache();
    int w = d.pp.width, h = d.pp.height;
    if (w <= 0 || h <= 0) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(native_window), &w, &h);
    if (!gfx_tex_start() || !gfx_backbuffer_make(d.pp, w, h) || !gfx_draw_start()) {
        release_device_objects(d);
        SDL_GL_DeleteContext(ctx);
        d = GfxDevice{};
        return 0;
    }
    states_set_defaults(d);
    return 1;
}

void gfx_device_destroy(void)
{
    GfxDevice& d = gfx_dev;
    if (!d.ok) return;
    gfx_backbuffer_free();
    release_device_objects(d);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(d.context));
    d = GfxDevice{};
}

int gfx_device_ok(void) { return gfx_dev.ok; }
GfxDevice* gfx_device(void) { return gfx_dev.ok ? &gfx_dev : nullptr; }
const GfxCaps* gfx_get_caps(void) { return gfx_dev.ok ? &gfx_dev.caps : nullptr; }

void gfx_get_present_params(GfxPresentParams* out)
{
    if (out) *out = gfx_dev.ok ? gfx_dev.pp : GfxPresentParams{};
}

int gfx_get_backbuffer_size(int* width, int* height)
{
    GfxSurface* b = gfx_dev.ok ? gfx_dev.backbuffer : nullptr;
    if (width) *width = b ? b->desc.width : 0;
    if (height) *height = b ? b->desc.height : 0;
    return b ? 1 : 0;
}

int gfx_check_multisample(int samples, int* quality_levels)
{
    int ok = gfx_usable() &&
             (samples <= 1 || (samples <= GFX_MAX_SAMPLES && samples <= gfx_dev.caps.max_samples));
    if (quality_levels) *quality_levels = ok ? 1 : 0;
    return ok ? 1 : 0;
}

int gfx_check_format(GfxFormat fmt, uint32_t usage, GfxResourceType rtype)
{
    if (!gfx_usable()) return 0;
    if (usage & GFX_USAGE_DEPTHSTENCIL) return (fmt == GFX_FMT_D16 || fmt == GFX_FMT_D24S8) ? 1 : 0;
    const GfxFormatInfo* fi = gfx_format_info(fmt);
    if (!fi || !fi->internal_format) return 0;
    if (fi->block_bytes && !gfx_dev.caps.s3tc) return 0;
    if ((usage & GFX_USAGE_RENDERTARGET) && !fi->renderable) return 0;
    if ((usage & GFX_USAGE_AUTOGENMIPMAP) && fi->block_bytes) return 0;
    (void)rtype;
    return 1;
}

// ===========================================================================
// 5 Frame, present and device loss
// ===========================================================================
GfxHr gfx_begin_scene(void)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (gfx_dev.in_scene) return GFX_E_INVALIDCALL;
    gfx_dev.in_scene = 1;
    return GFX_OK;
}

GfxHr gfx_end_scene(void)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!gfx_dev.in_scene) return GFX_E_INVALIDCALL;
    gfx_dev.in_scene = 0;
    return GFX_OK;
}

GfxHr gfx_present(void)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (d.lost) return GFX_E_DEVICELOST;
    GfxSurface* bb = d.backbuffer;
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(d.window), &ww, &wh);
    // The back buffer is stored top row first; the window's row 0 is its bottom.
    GLuint src = gfx_surface_read_fbo(bb);
    int w = bb->desc.width, h = bb->desc.height;
    gfx_gl_bind_draw_fbo(0);
    gfx_gl_scissor(0, C().scissor);
    gl_color_mask(0xF);
    if (ww != w || wh != h) {  // a window larger than the frame shows black around it
        const float black[4] = {0, 0, 0, 1};
        glClearNamedFramebufferfv(0, GL_COLOR, 0, black);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, src);
    glBlitFramebuffer(0, 0, w, h, 0, wh, w, wh - h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    SDL_GL_SwapWindow(static_cast<SDL_Window*>(d.window));
    d.counters.presents++;
    return GFX_OK;
}

GfxHr gfx_test_cooperative_level(void)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (d.lost == 1) {
        d.lost = 2;
        return GFX_E_DEVICELOST;
    }
    return d.lost == 2 ? GFX_E_DEVICENOTRESET : GFX_OK;
}

void gfx_simulate_device_loss(void)
{
    if (gfx_usable()) gfx_dev.lost = 1;
}

GfxHr gfx_reset(const GfxPresentParams* pp)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!pp) return GFX_E_INVALIDCALL;
    if (d.lost == 1) return GFX_E_DEVICELOST;  // not yet ready to be reset
    // Unbind everything, as a Direct3D reset does.
    for (auto& t : d.texture) t = nullptr;
    d.vs = d.ps = nullptr;
    d.decl = nullptr;
    d.stream_vb = nullptr;
    d.indices = nullptr;
    gfx_backbuffer_free();
    GfxPresentParams want = *pp;
    want.samples = effective_samples(pp->samples);
    if (want.depth_format != GFX_FMT_D24S8 && want.depth_format != GFX_FMT_D16)
        want.depth_format = GFX_FMT_UNKNOWN;
    int w = want.width, h = want.height;
    if (w <= 0 || h <= 0) SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(d.window), &w, &h);
    if (!gfx_backbuffer_make(want, w, h)) return GFX_E_OUTOFMEMORY;
    d.pp = want;
    SDL_GL_SetSwapInterval(want.vsync ? 1 : 0);
    states_set_defaults(d);
    gfx_invalidate_gl_cache();
    d.in_scene = 0;
    d.lost = 0;
    return GFX_OK;
}

// ===========================================================================
// 6 State setters
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

// ===========================================================================
// 7 Viewport, scissor, clear, read-back
// ===========================================================================
GfxHr gfx_set_viewport(const GfxViewport* vp)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!vp || vp->width < 0 || vp->height < 0 ||
        !(vp->min_z >= 0.0f && vp->min_z <= vp->max_z && vp->max_z <= 1.0f))
        return GFX_E_INVALIDCALL;
    GfxRect t = gfx_target_rect();
    GfxViewport v = *vp;
    if (v.x < 0 || v.y < 0 || v.x + v.width > t.right || v.y + v.height > t.bottom)
        return GFX_E_INVALIDCALL;  // Direct3D refuses a viewport outside the target
    gfx_dev.viewport = v;
    gfx_bump_serial(GFX_UG_TRANSFORM);
    return GFX_OK;
}

GfxHr gfx_get_viewport(GfxViewport* out)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!out) return GFX_E_INVALIDCALL;
    *out = gfx_dev.viewport;
    return GFX_OK;
}

GfxHr gfx_set_scissor_rect(const GfxRect* r)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!r) return GFX_E_INVALIDCALL;
    GfxRect t = gfx_target_rect();
    GfxRect c;
    c.left = std::clamp(r->left, 0, t.right);
    c.top = std::clamp(r->top, 0, t.bottom);
    c.right = std::clamp(r->right, c.left, t.right);
    c.bottom = std::clamp(r->bottom, c.top, t.bottom);
    gfx_dev.scissor = c;
    return GFX_OK;
}

GfxHr gfx_get_scissor_rect(GfxRect* out)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!out) return GFX_E_INVALIDCALL;
    *out = gfx_dev.scissor;
    return GFX_OK;
}

GfxHr gfx_clear(uint32_t flags, uint32_t color, float z, uint32_t stencil)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if ((flags & (GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL)) && !d.depth) return GFX_E_INVALIDCALL;
    if ((flags & GFX_CLEAR_STENCIL) && d.depth->desc.format != GFX_FMT_D24S8)
        return GFX_E_INVALIDCALL;
    if (d.fbo_dirty) gfx_bind_targets();
    gfx_gl_bind_draw_fbo(d.fbo);
    GfxRect r{d.viewport.x, d.viewport.y, d.viewport.x + d.viewport.width,
              d.viewport.y + d.viewport.height};
    if (d.rs[GFX_RS_SCISSORTESTENABLE]) {
        r.left = std::max(r.left, d.scissor.left);
        r.top = std::max(r.top, d.scissor.top);
        r.right = std::max(r.left, std::min(r.right, d.scissor.right));
        r.bottom = std::max(r.top, std::min(r.bottom, d.scissor.bottom));
    }
    // Clearing again what was just cleared, with nothing drawn since,
    // changes no pixel: the display frame's second full clear is one.
    auto& last = d.last_clear;
    float zz = std::clamp(z, 0.0f, 1.0f);
    if (last.valid && last.flags == flags && last.color == color && last.z == zz &&
        last.stencil == stencil && same_rect(last.rect, r))
        return GFX_OK;
    last.valid = 1, last.flags = flags, last.color = color, last.z = zz, last.stencil = stencil;
    last.rect = r;
    gfx_gl_scissor(1, r);
    gfx_gl_masks_for_clear();
    if (flags & GFX_CLEAR_TARGET) {
        const float c[4] = {((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
                            (color & 0xFF) / 255.0f, ((color >> 24) & 0xFF) / 255.0f};
        for (int i = 0; i < GFX_MAX_RENDER_TARGETS; ++i)
            if (d.target[i]) glClearNamedFramebufferfv(d.fbo, GL_COLOR, i, c);
    }
    bool zc = flags & GFX_CLEAR_ZBUFFER, sc = flags & GFX_CLEAR_STENCIL;
    if (zc && sc)
        glClearNamedFramebufferfi(d.fbo, GL_DEPTH_STENCIL, 0, zz,
                                  static_cast<GLint>(stencil & 0xFF));
    else if (zc)
        glClearNamedFramebufferfv(d.fbo, GL_DEPTH, 0, &zz);
    else if (sc) {
        GLint s = static_cast<GLint>(stencil & 0xFF);
        glClearNamedFramebufferiv(d.fbo, GL_STENCIL, 0, &s);
    }
    return GFX_OK;
}

GfxHr gfx_read_pixels(int x, int y, int width, int height, uint8_t* dst, int pitch)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    GfxRect t = gfx_target_rect();
    if (!dst || width <= 0 || height <= 0 || x < 0 || y < 0 || x + width > t.right ||
        y + height > t.bottom || pitch < width * 4)
        return GFX_E_INVALIDCALL;
    gfx_surface_read_back(d.target[0], {x, y, x + width, y + height}, dst, pitch);
    return GFX_OK;
}

// ===========================================================================
// 8 Counters
// ===========================================================================
const GfxCounters* gfx_get_counters(void) { return &gfx_dev.counters; }
void gfx_reset_counters(void) { gfx_dev.counters = GfxCounters{}; }

// gfx_target: the render targets: which surfaces are bound and their
// attachment to the draw framebuffer, the viewport and scissor rectangles
// on target 0, clear, colour fill, stretch and read-back (a multisampled
// surface is resolved before it is read).
//
// Sections: 1 targets  2 viewport and scissor  3 clear, fill, stretch  4 read-back
#include "plat/gfx_local.h"

#include <algorithm>
#include <cstring>

#include "math/vm_color.h"

// ===========================================================================
// 1 Targets
// ===========================================================================
namespace {
void attach_color(GLuint fbo, GLenum point, GfxSurface* s)
{
    if (!s)
        glNamedFramebufferTexture(fbo, point, 0, 0);
    else if (s->owner)
        glNamedFramebufferTexture(fbo, point, s->owner->tex, s->level);
    else if (s->renderbuffer)
        glNamedFramebufferRenderbuffer(fbo, point, GL_RENDERBUFFER, s->renderbuffer);
    else
        glNamedFramebufferTexture(fbo, point, s->resolve_tex, 0);
}
}  // namespace

void gfx_bind_targets(void)
{
    GfxDevice& d = gfx_dev;
    gfx_targets_written();
    GLenum bufs[GFX_MAX_RENDER_TARGETS];
    for (int i = 0; i < GFX_MAX_RENDER_TARGETS; ++i) {
        attach_color(d.fbo, GL_COLOR_ATTACHMENT0 + i, d.target[i]);
        bufs[i] = d.target[i] ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
    }
    glNamedFramebufferDrawBuffers(d.fbo, GFX_MAX_RENDER_TARGETS, bufs);
    glNamedFramebufferRenderbuffer(d.fbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (d.depth) {
        GLenum point = d.depth->desc.format == GFX_FMT_D24S8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                             : GL_DEPTH_ATTACHMENT;
        glNamedFramebufferRenderbuffer(d.fbo, point, GL_RENDERBUFFER, d.depth->renderbuffer);
    }
    gfx_count_state();
    d.fbo_dirty = 0;
}

GfxRect gfx_target_rect(void)
{
    GfxSurface* t = gfx_dev.target[0];
    if (!t) return {0, 0, 0, 0};
    return {0, 0, t->desc.width, t->desc.height};
}

GfxSurface* gfx_get_render_target(int index)
{
    if (!gfx_usable() || index < 0 || index >= GFX_MAX_RENDER_TARGETS) return nullptr;
    GfxSurface* s = gfx_dev.target[index];
    gfx_surface_addref(s);
    return s;
}

GfxSurface* gfx_get_depth_stencil_surface(void)
{
    if (!gfx_usable()) return nullptr;
    gfx_surface_addref(gfx_dev.depth);
    return gfx_dev.depth;
}

GfxHr gfx_set_render_target(int index, GfxSurface* s)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (index < 0 || index >= GFX_MAX_RENDER_TARGETS || (index == 0 && !s))
        return GFX_E_INVALIDCALL;
    if (s && !(s->desc.usage & GFX_USAGE_RENDERTARGET)) return GFX_E_INVALIDCALL;
    if (d.target[index] != s) d.target[index] = s, d.fbo_dirty = 1, gfx_targets_written();
    if (index == 0) {
        d.viewport = {0, 0, s->desc.width, s->desc.height, 0.0f, 1.0f};
        d.scissor = {0, 0, s->desc.width, s->desc.height};
        gfx_bump_serial(GFX_UG_TRANSFORM);
    }
    return GFX_OK;
}

GfxHr gfx_set_depth_stencil_surface(GfxSurface* s)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (s && !gfx_format_is_depth(s->desc.format)) return GFX_E_INVALIDCALL;
    if (d.depth != s) d.depth = s, d.fbo_dirty = 1, gfx_targets_written();
    return GFX_OK;
}

// ===========================================================================
// 2 Viewport and scissor
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

// ===========================================================================
// 3 Clear, fill, stretch
// ===========================================================================
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
        last.stencil == stencil && gfx_same_rect(last.rect, r))
        return GFX_OK;
    last.valid = 1, last.flags = flags, last.color = color, last.z = zz, last.stencil = stencil;
    last.rect = r;
    gfx_gl_scissor(1, r);
    gfx_gl_masks_for_clear();
    if (flags & GFX_CLEAR_TARGET) {
        float c[4];
        color_to_f4(c, color);
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

GfxHr gfx_color_fill(GfxSurface* s, const GfxRect* rect, uint32_t color)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!s || !(s->desc.usage & GFX_USAGE_RENDERTARGET)) return GFX_E_INVALIDCALL;
    GfxRect r = rect ? *rect : GfxRect{0, 0, s->desc.width, s->desc.height};
    if (!gfx_rect_inside(r, s->desc.width, s->desc.height)) return GFX_E_INVALIDCALL;
    gfx_targets_written();
    attach_color(d.blit_fbo, GL_COLOR_ATTACHMENT0, s);
    glNamedFramebufferDrawBuffer(d.blit_fbo, GL_COLOR_ATTACHMENT0);
    gfx_gl_scissor(1, r);
    gfx_gl_masks_for_clear();
    float c[4];
    color_to_f4(c, color);
    glClearNamedFramebufferfv(d.blit_fbo, GL_COLOR, 0, c);
    return GFX_OK;
}

GfxHr gfx_stretch_rect(GfxSurface* src, const GfxRect* src_rect, GfxSurface* dst,
                       const GfxRect* dst_rect, uint32_t filter)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!src || !dst || src == dst || !(dst->desc.usage & GFX_USAGE_RENDERTARGET))
        return GFX_E_INVALIDCALL;
    GfxRect sr = src_rect ? *src_rect : GfxRect{0, 0, src->desc.width, src->desc.height};
    GfxRect dr = dst_rect ? *dst_rect : GfxRect{0, 0, dst->desc.width, dst->desc.height};
    if (!gfx_rect_inside(sr, src->desc.width, src->desc.height) ||
        !gfx_rect_inside(dr, dst->desc.width, dst->desc.height))
        return GFX_E_INVALIDCALL;
    gfx_targets_written();
    GLuint rfbo = gfx_surface_read_fbo(src);
    attach_color(d.blit_fbo, GL_COLOR_ATTACHMENT0, dst);
    glNamedFramebufferDrawBuffer(d.blit_fbo, GL_COLOR_ATTACHMENT0);
    gfx_gl_scissor(0, d.gl.scissor);
    gfx_gl_masks_for_clear();
    glBlitNamedFramebuffer(rfbo, d.blit_fbo, sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top,
                           dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                           filter == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    return GFX_OK;
}

// ===========================================================================
// 4 Read-back
// ===========================================================================
GLuint gfx_surface_read_fbo(GfxSurface* s)
{
    GfxDevice& d = gfx_dev;
    attach_color(d.read_fbo, GL_COLOR_ATTACHMENT0, s);
    glNamedFramebufferReadBuffer(d.read_fbo, GL_COLOR_ATTACHMENT0);
    if (s->owner || !s->renderbuffer) return d.read_fbo;
    // Multisampled: resolve into the single-sample texture first.
    glNamedFramebufferTexture(d.resolve_fbo, GL_COLOR_ATTACHMENT0, s->resolve_tex, 0);
    glNamedFramebufferDrawBuffer(d.resolve_fbo, GL_COLOR_ATTACHMENT0);
    glNamedFramebufferReadBuffer(d.resolve_fbo, GL_COLOR_ATTACHMENT0);
    gfx_gl_scissor(0, d.gl.scissor);
    gfx_gl_masks_for_clear();
    glBlitNamedFramebuffer(d.read_fbo, d.resolve_fbo, 0, 0, s->desc.width, s->desc.height, 0, 0,
                           s->desc.width, s->desc.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return d.resolve_fbo;
}

void gfx_surface_read_back(GfxSurface* s, const GfxRect& r, GfxFormat fmt, uint8_t* dst, int pitch)
{
    const GfxFormatInfo* fi = gfx_format_info(fmt);
    if (!fi || fi->bytes_per_pixel <= 0) return;  // block formats have no rows of pixels
    const int bpp = fi->bytes_per_pixel, w = r.right - r.left;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, gfx_surface_read_fbo(s));
    if (pitch % bpp == 0) {
        glPixelStorei(GL_PACK_ROW_LENGTH, pitch / bpp);
        glReadPixels(r.left, r.top, w, r.bottom - r.top, fi->format, fi->type, dst);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        return;
    }
    for (int y = r.top; y < r.bottom; ++y)
        glReadPixels(r.left, y, w, 1, fi->format, fi->type,
                     dst + static_cast<size_t>(y - r.top) * pitch);
}

GfxHr gfx_surface_read_bgra(GfxSurface* s, const GfxRect* rect, uint8_t* dst, int pitch)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!s || !rect || !dst) return GFX_E_INVALIDCALL;
    if (s->desc.format != GFX_FMT_A8R8G8B8 && s->desc.format != GFX_FMT_X8R8G8B8)
        return GFX_E_INVALIDCALL;
    const GfxRect& r = *rect;
    if (!gfx_rect_inside(r, s->desc.width, s->desc.height)) return GFX_E_INVALIDCALL;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (pitch < w * 4) return GFX_E_INVALIDCALL;
    if (s->owner && !gfx_tex_is_render_target(s->owner) && !s->owner->cpu_copy) {
        if (pitch % 4 == 0) {
            gfx_tex_read_rows(s->owner, s->level, r, dst, pitch);
        } else {
            for (int y = 0; y < h; ++y)
                gfx_tex_read_rows(s->owner, s->level, {r.left, r.top + y, r.right, r.top + y + 1},
                                  dst + static_cast<size_t>(y) * pitch, w * 4);
        }
        return GFX_OK;
    }
    if (s->owner && !gfx_tex_is_render_target(s->owner)) {  // the CPU copy holds the pixels
        const GfxLevel& L = s->owner->levels[s->level];
        const size_t src_pitch = static_cast<size_t>(L.width) * 4;
        for (int y = 0; y < h; ++y) {
            std::memcpy(dst + static_cast<size_t>(y) * pitch,
                        L.copy.data() + (r.top + y) * src_pitch + static_cast<size_t>(r.left) * 4,
                        static_cast<size_t>(w) * 4);
        }
        return GFX_OK;
    }
    gfx_surface_read_back(s, r, GFX_FMT_A8R8G8B8, dst, pitch);
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
    gfx_surface_read_back(d.target[0], {x, y, x + width, y + height}, GFX_FMT_A8R8G8B8, dst, pitch);
    return GFX_OK;
}

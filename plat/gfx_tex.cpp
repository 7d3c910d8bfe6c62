// gfx_tex: textures, surfaces and the back buffer. Textures made empty keep
// every level in a CPU copy in Direct3D layout; unlock uploads the locked
// rows. Textures loaded from images keep their pixels in GL alone: a lock
// reads the locked rows back and unlock uploads them. Render targets and the back buffer live only in GL; locking them
// reads the pixels back. Binding targets, clear, fill, stretch and
// read-back are in gfx_target.cpp, the loaders from image files in
// gfx_tex_load.cpp.
//
// Sections: 1 formats  2 textures  3 lock/unlock  4 surfaces and back buffer
#include "plat/gfx_local.h"

#include <algorithm>
#include <cstring>

// ===========================================================================
// 1 Formats
// ===========================================================================
namespace {
constexpr GLint GFX_SWIZZLE_RGBA[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};

GfxFormatInfo make(GLenum ifmt, GLenum fmt, GLenum type, int bpp, int renderable, GLint r = GL_RED,
                   GLint g = GL_GREEN, GLint b = GL_BLUE, GLint a = GL_ALPHA)
{
    GfxFormatInfo f{};
    f.internal_format = ifmt;
    f.format = fmt;
    f.type = type;
    f.swizzle[0] = r, f.swizzle[1] = g, f.swizzle[2] = b, f.swizzle[3] = a;
    f.bytes_per_pixel = bpp;
    f.renderable = renderable;
    return f;
}
GfxFormatInfo block(GLenum ifmt, int bytes)
{
    GfxFormatInfo f = make(ifmt, 0, 0, 0, 0);
    f.block_bytes = bytes;
    return f;
}

// Client layouts reproduce the Direct3D byte order of each format; missing
// channels read as 1, as Direct3D 9 returns them.
const GfxFormatInfo* format_table()
{
    static const GfxFormatInfo t[25] = {
        {},
        make(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 1),
        make(GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 1, GL_RED, GL_GREEN, GL_BLUE,
             GL_ONE),
        make(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 1),
        make(GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 1, GL_RED, GL_GREEN, GL_BLUE,
             GL_ONE),
        make(GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 1),
        make(GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, 0),
        make(GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 1),
        make(GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 8, 1),
        make(GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, 4, 1),
        make(GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, 4, 1),
        make(GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, GL_ONE, GL_ONE, GL_ONE, GL_RED),
        make(GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, GL_RED, GL_RED, GL_RED, GL_ONE),
        make(GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2, 0, GL_RED, GL_RED, GL_RED, GL_GREEN),
        block(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 8),
        block(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16),
        block(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 16),
        block(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16),
        block(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 16),
        make(GL_R16F, GL_RED, GL_HALF_FLOAT, 2, 1, GL_RED, GL_ONE, GL_ONE, GL_ONE),
        make(GL_R32F, GL_RED, GL_FLOAT, 4, 1, GL_RED, GL_ONE, GL_ONE, GL_ONE),
        make(GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, 1, GL_RED, GL_GREEN, GL_ONE, GL_ONE),
        make(GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, 1),
        make(GL_RG32F, GL_RG, GL_FLOAT, 8, 1, GL_RED, GL_GREEN, GL_ONE, GL_ONE),
        make(GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, 1),
    };
    return t;
}
}  // namespace

const GfxFormatInfo* gfx_format_info(GfxFormat fmt)
{
    if (fmt < GFX_FMT_A8R8G8B8 || fmt > GFX_FMT_A32B32G32R32F) return nullptr;
    return &format_table()[fmt];
}

int gfx_format_bytes_per_pixel(GfxFormat fmt)
{
    const GfxFormatInfo* f = gfx_format_info(fmt);
    return f ? f->bytes_per_pixel : 0;
}
int gfx_format_block_bytes(GfxFormat fmt)
{
    const GfxFormatInfo* f = gfx_format_info(fmt);
    return f ? f->block_bytes : 0;
}
int gfx_format_is_depth(GfxFormat fmt)
{
    return (fmt >= GFX_FMT_D16 && fmt <= GFX_FMT_D24FS8) ? 1 : 0;
}
namespace {
int level_pitch(GfxFormat fmt, int width)
{
    int bb = gfx_format_block_bytes(fmt);
    if (bb) return ((width + 3) / 4) * bb;
    return width * gfx_format_bytes_per_pixel(fmt);
}
int level_rows(GfxFormat fmt, int height)
{
    return gfx_format_block_bytes(fmt) ? (height + 3) / 4 : height;
}
}  // namespace
size_t gfx_format_level_size(GfxFormat fmt, int width, int height)
{
    if (width <= 0 || height <= 0) return 0;
    return static_cast<size_t>(level_pitch(fmt, width)) *
           static_cast<size_t>(level_rows(fmt, height));
}

// ===========================================================================
// 2 Textures
// ===========================================================================
int gfx_tex_full_chain(int w, int h)
{
    int n = 1;
    while (w > 1 || h > 1) w = std::max(1, w / 2), h = std::max(1, h / 2), ++n;
    return n;
}

void gfx_tex_upload_rows(GfxTexture* t, int level, const GfxRect& r, const uint8_t* rows, int row0)
{
    gfx_targets_written();
    const GfxFormatInfo* fi = gfx_format_info(t->format);
    const GfxLevel& L = t->levels[level];
    const size_t pitch = static_cast<size_t>(level_pitch(t->format, L.width));
    if (fi->block_bytes) {
        const int top = r.top / 4, bottom = (r.bottom + 3) / 4;
        const uint8_t* p = rows + static_cast<size_t>(top - row0) * pitch;
        glCompressedTextureSubImage2D(t->tex, level, 0, r.top, L.width, r.bottom - r.top,
                                      fi->internal_format,
                                      static_cast<GLsizei>(pitch * size_t(bottom - top)), p);
    } else {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, L.width);
        const uint8_t* p = rows + static_cast<size_t>(r.top - row0) * pitch +
                           static_cast<size_t>(r.left) * fi->bytes_per_pixel;
        glTextureSubImage2D(t->tex, level, r.left, r.top, r.right - r.left, r.bottom - r.top,
                            fi->format, fi->type, p);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    gfx_dev.counters.texture_uploads++;
}

void gfx_tex_upload_level(GfxTexture* t, int level, const GfxRect& r)
{
    gfx_tex_upload_rows(t, level, r, t->levels[level].copy.data(), 0);
}

void gfx_tex_read_rows(GfxTexture* t, int level, const GfxRect& r, uint8_t* dst, int pitch)
{
    const GfxFormatInfo* fi = gfx_format_info(t->format);
    const GfxLevel& L = t->levels[level];
    if (fi->block_bytes) {
        const size_t bytes = gfx_format_level_size(t->format, L.width, r.bottom - r.top);
        glGetCompressedTextureSubImage(t->tex, level, 0, r.top, 0, L.width, r.bottom - r.top, 1,
                                       static_cast<GLsizei>(bytes), dst);
        return;
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    glPixelStorei(GL_PACK_ROW_LENGTH, pitch / fi->bytes_per_pixel);
    const size_t bytes = static_cast<size_t>(pitch) * (h - 1) + size_t(w) * fi->bytes_per_pixel;
    glGetTextureSubImage(t->tex, level, r.left, r.top, 0, w, h, 1, fi->format, fi->type,
                         static_cast<GLsizei>(bytes), dst);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
}

namespace {
void destroy_texture(GfxTexture* t)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_live(t->gen)) {
        for (auto* s : t->surfaces) delete s;
        delete t;
        return;
    }
    for (auto& s : d.texture)
        if (s == t) s = nullptr, d.ffp_serial++;
    for (auto& s : t->surfaces) {
        if (!s) continue;
        for (auto& tg : d.target)
            if (tg == s) tg = nullptr, d.fbo_dirty = 1;
        delete s;
    }
    if (t->tex) {
        for (int u = 0; u < GFX_MAX_STAGES; ++u)
            if (d.gl.texture[u] == t->tex) d.gl.texture[u] = 0xFFFFFFFFu;
        glDeleteTextures(1, &t->tex);
        d.fbo_dirty = 1;
    }
    d.live_textures--;
    delete t;
}
}  // namespace

GfxTexture* gfx_tex_make(int width, int height, int levels, uint32_t usage, GfxFormat fmt,
                         GfxPool pool, int cpu_copy)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_usable()) return nullptr;
    const GfxFormatInfo* fi = gfx_format_info(fmt);
    if (!fi || width <= 0 || height <= 0 || width > d.caps.max_texture_size ||
        height > d.caps.max_texture_size || levels < 0)
        return nullptr;
    if (fi->block_bytes && !d.caps.s3tc) return nullptr;
    bool rt = usage & GFX_USAGE_RENDERTARGET;
    if (rt && (!fi->renderable || pool != GFX_POOL_DEFAULT)) return nullptr;
    int chain = gfx_tex_full_chain(width, height);
    int n = (levels == 0) ? chain : std::min(levels, chain);
    if (rt || (usage & GFX_USAGE_AUTOGENMIPMAP)) n = rt ? 1 : chain;

    auto* t = new GfxTexture;
    t->gen = d.generation;
    t->format = fmt, t->usage = usage, t->pool = pool, t->width = width, t->height = height;
    t->cpu_copy = rt ? 0 : cpu_copy;
    glCreateTextures(GL_TEXTURE_2D, 1, &t->tex);
    glTextureStorage2D(t->tex, n, fi->internal_format, width, height);
    glTextureParameteriv(t->tex, GL_TEXTURE_SWIZZLE_RGBA, fi->swizzle);
    t->levels.resize(static_cast<size_t>(n));
    t->surfaces.assign(static_cast<size_t>(n), nullptr);
    int w = width, h = height;
    for (int l = 0; l < n; ++l) {
        GfxLevel& L = t->levels[l];
        L.width = w, L.height = h;
        if (t->cpu_copy) L.copy.assign(gfx_format_level_size(fmt, w, h), 0);
        w = std::max(1, w / 2), h = std::max(1, h / 2);
    }
    d.live_textures++;
    return t;
}

GfxTexture* gfx_tex_create(int width, int height, int levels, uint32_t usage, GfxFormat fmt,
                           GfxPool pool)
{
    GfxTexture* t = gfx_tex_make(width, height, levels, usage, fmt, pool, 1);
    if (!t) return nullptr;
    if (usage & GFX_USAGE_RENDERTARGET) {
        const float zero[4] = {0, 0, 0, 0};
        glClearTexImage(t->tex, 0, GL_RGBA, GL_FLOAT, zero);
        return t;
    }
    for (int l = 0; l < gfx_tex_level_count(t); ++l)
        gfx_tex_upload_level(t, l, {0, 0, t->levels[l].width, t->levels[l].height});
    return t;
}

void gfx_tex_addref(GfxTexture* tex)
{
    if (tex) tex->refs++;
}

void gfx_tex_release(GfxTexture* tex)
{
    if (!tex) return;
    if (--tex->refs > 0) return;
    if (tex->internal_surface_refs > 0) return;  // a surface still holds it
    destroy_texture(tex);
}

int gfx_tex_level_count(const GfxTexture* tex)
{
    return tex ? static_cast<int>(tex->levels.size()) : 0;
}

GfxHr gfx_tex_get_level_desc(const GfxTexture* tex, int level, GfxSurfaceDesc* out)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!tex || !out || level < 0 || level >= gfx_tex_level_count(tex)) return GFX_E_INVALIDCALL;
    out->format = tex->format;
    out->usage = tex->usage;
    out->pool = tex->pool;
    out->width = tex->levels[level].width;
    out->height = tex->levels[level].height;
    out->samples = 0;
    return GFX_OK;
}

GfxSurface* gfx_tex_get_surface(GfxTexture* tex, int level)
{
    if (!gfx_usable() || !tex || level < 0 || level >= gfx_tex_level_count(tex)) return nullptr;
    GfxSurface*& s = tex->surfaces[level];
    if (!s) {
        s = new GfxSurface;
        s->refs = 0;
        s->gen = tex->gen;
        s->owner = tex;
        s->level = level;
        gfx_tex_get_level_desc(tex, level, &s->desc);
    }
    s->refs++;
    tex->internal_surface_refs++;
    return s;
}

void gfx_tex_preload(GfxTexture* tex) { (void)tex; }

GfxHr gfx_set_texture(int stage, GfxTexture* tex)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (stage < 0 || stage >= GFX_MAX_STAGES) return GFX_E_INVALIDCALL;
    if ((gfx_dev.texture[stage] == nullptr) != (tex == nullptr)) gfx_dev.ffp_serial++;
    gfx_dev.texture[stage] = tex;
    return GFX_OK;
}

GfxTexture* gfx_get_texture(int stage)
{
    if (!gfx_usable() || stage < 0 || stage >= GFX_MAX_STAGES) return nullptr;
    return gfx_dev.texture[stage];
}

GfxTexture* gfx_white_texture(void) { return gfx_usable() ? gfx_dev.white : nullptr; }

// ===========================================================================
// 3 Lock and unlock
// ===========================================================================
GfxHr gfx_tex_lock(GfxTexture* tex, int level, const GfxRect* rect, GfxLockedRect* out,
                   uint32_t flags)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!tex || !out || level < 0 || level >= gfx_tex_level_count(tex)) return GFX_E_INVALIDCALL;
    GfxLevel& L = tex->levels[level];
    if (L.locked) return GFX_E_INVALIDCALL;
    GfxRect r = rect ? *rect : GfxRect{0, 0, L.width, L.height};
    if (!gfx_rect_inside(r, L.width, L.height)) return GFX_E_INVALIDCALL;
    if (gfx_format_block_bytes(tex->format) &&
        ((r.left | r.top) & 3 || ((r.right & 3) && r.right != L.width) ||
         ((r.bottom & 3) && r.bottom != L.height)))
        return GFX_E_INVALIDCALL;  // block formats lock whole blocks
    if (gfx_tex_is_render_target(tex)) {
        GfxSurface* s = gfx_tex_get_surface(tex, level);
        GfxHr hr = gfx_surface_lock(s, &r, out, flags);
        gfx_surface_release(s);
        if (gfx_ok(hr)) L.locked = 1, L.lock_flags = flags, L.lock_rect = r;
        return hr;
    }
    const int pitch = level_pitch(tex->format, L.width);
    const int bb = gfx_format_block_bytes(tex->format);
    const int row = bb ? r.top / 4 : r.top;  // first locked row (of blocks)
    const size_t column =
        bb ? static_cast<size_t>(r.left / 4) * bb
           : static_cast<size_t>(r.left) * gfx_format_bytes_per_pixel(tex->format);
    uint8_t* rows;
    if (tex->cpu_copy) {
        rows = L.copy.data() + static_cast<size_t>(row) * pitch;
    } else {  // the locked rows only, read back whole
        const GfxRect band{0, r.top, L.width, r.bottom};
        L.lock_rows.resize(gfx_format_level_size(tex->format, L.width, r.bottom - r.top));
        gfx_tex_read_rows(tex, level, band, L.lock_rows.data(), pitch);
        rows = L.lock_rows.data();
    }
    out->pitch = pitch;
    out->bits = rows + column;
    L.locked = 1, L.lock_flags = flags, L.lock_rect = r;
    return GFX_OK;
}

GfxHr gfx_tex_unlock(GfxTexture* tex, int level)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!tex || level < 0 || level >= gfx_tex_level_count(tex)) return GFX_E_INVALIDCALL;
    GfxLevel& L = tex->levels[level];
    if (!L.locked) return GFX_E_INVALIDCALL;
    L.locked = 0;
    if (gfx_tex_is_render_target(tex)) {
        GfxSurface* s = tex->surfaces[level];
        return s ? gfx_surface_unlock(s) : GFX_E_INVALIDCALL;
    }
    if (!(L.lock_flags & GFX_LOCK_READONLY)) {
        if (tex->cpu_copy)
            gfx_tex_upload_level(tex, level, L.lock_rect);
        else
            gfx_tex_upload_rows(tex, level, L.lock_rect, L.lock_rows.data(),
                                gfx_format_block_bytes(tex->format) ? L.lock_rect.top / 4
                                                                    : L.lock_rect.top);
        if ((tex->usage & GFX_USAGE_AUTOGENMIPMAP) && level == 0) glGenerateTextureMipmap(tex->tex);
    }
    L.lock_rows.clear();
    L.lock_rows.shrink_to_fit();
    return GFX_OK;
}

// ===========================================================================
// 4 Surfaces and the back buffer
// ===========================================================================
namespace {
GfxSurface* make_depth(int width, int height, GfxFormat fmt, int samples)
{
    auto* s = new GfxSurface;
    s->gen = gfx_dev.generation;
    s->desc = {fmt, GFX_USAGE_DEPTHSTENCIL, GFX_POOL_DEFAULT, width, height, samples};
    glCreateRenderbuffers(1, &s->renderbuffer);
    GLenum ifmt = fmt == GFX_FMT_D24S8 ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT16;
    glNamedRenderbufferStorageMultisample(s->renderbuffer, samples, ifmt, width, height);
    gfx_dev.live_surfaces++;
    return s;
}

void destroy_own_surface(GfxSurface* s)
{
    GfxDevice& d = gfx_dev;
    if (!gfx_live(s->gen)) {
        delete s;
        return;
    }
    for (auto& t : d.target)
        if (t == s) t = nullptr, d.fbo_dirty = 1;
    if (d.depth == s) d.depth = nullptr, d.fbo_dirty = 1;
    if (s->renderbuffer) glDeleteRenderbuffers(1, &s->renderbuffer);
    if (s->resolve_tex) glDeleteTextures(1, &s->resolve_tex);
    d.live_surfaces--;
    delete s;
}
}  // namespace

GfxSurface* gfx_surface_create_depth(int width, int height, GfxFormat fmt, int samples)
{
    if (!gfx_usable() || width <= 0 || height <= 0 ||
        (fmt != GFX_FMT_D16 && fmt != GFX_FMT_D24S8) || width > gfx_dev.caps.max_texture_size ||
        height > gfx_dev.caps.max_texture_size)
        return nullptr;
    if (samples <= 1) samples = 0;
    if (samples > gfx_dev.caps.max_samples) return nullptr;
    return make_depth(width, height, fmt, samples);
}

void gfx_surface_addref(GfxSurface* s)
{
    if (!s) return;
    s->refs++;
    if (s->owner) s->owner->internal_surface_refs++;
}

void gfx_surface_release(GfxSurface* s)
{
    if (!s) return;
    if (s->owner) {
        GfxTexture* t = s->owner;
        s->refs--;
        if (--t->internal_surface_refs == 0 && t->refs <= 0) destroy_texture(t);
        return;
    }
    if (--s->refs > 0) return;
    destroy_own_surface(s);
}

GfxHr gfx_surface_get_desc(const GfxSurface* s, GfxSurfaceDesc* out)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!s || !out) return GFX_E_INVALIDCALL;
    *out = s->desc;
    return GFX_OK;
}

GfxHr gfx_surface_lock(GfxSurface* s, const GfxRect* rect, GfxLockedRect* out, uint32_t flags)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!s || !out || s->locked) return GFX_E_INVALIDCALL;
    if (s->owner && !gfx_tex_is_render_target(s->owner))
        return gfx_tex_lock(s->owner, s->level, rect, out, flags);
    if (gfx_format_is_depth(s->desc.format)) return GFX_E_INVALIDCALL;  // not lockable
    GfxRect r = rect ? *rect : GfxRect{0, 0, s->desc.width, s->desc.height};
    if (!gfx_rect_inside(r, s->desc.width, s->desc.height)) return GFX_E_INVALIDCALL;
    int bpp = gfx_format_bytes_per_pixel(s->desc.format);
    int pitch = (r.right - r.left) * bpp;
    s->lock_copy.assign(static_cast<size_t>(pitch) * (r.bottom - r.top), 0);
    gfx_surface_read_back(s, r, s->desc.format, s->lock_copy.data(), pitch);
    s->locked = 1;
    out->pitch = pitch;
    out->bits = s->lock_copy.data();
    if (s->owner) {
        s->owner->levels[s->level].lock_rect = r;
        s->owner->levels[s->level].lock_flags = flags;
    }
    return GFX_OK;
}

GfxHr gfx_surface_unlock(GfxSurface* s)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!s) return GFX_E_INVALIDCALL;
    if (s->owner && !gfx_tex_is_render_target(s->owner)) return gfx_tex_unlock(s->owner, s->level);
    if (!s->locked) return GFX_E_INVALIDCALL;
    s->locked = 0;
    if (s->owner) {
        // Write a render target's locked rectangle back unless read-only.
        GfxLevel& L = s->owner->levels[s->level];
        L.locked = 0;
        if (!(L.lock_flags & GFX_LOCK_READONLY)) {
            gfx_targets_written();
            const GfxFormatInfo* fi = gfx_format_info(s->desc.format);
            const GfxRect& r = L.lock_rect;
            glTextureSubImage2D(s->owner->tex, s->level, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, fi->format, fi->type, s->lock_copy.data());
            gfx_dev.counters.texture_uploads++;
        }
    }
    s->lock_copy.clear();
    s->lock_copy.shrink_to_fit();
    return GFX_OK;
}

int gfx_backbuffer_make(const GfxPresentParams& pp, int width, int height)
{
    GfxDevice& d = gfx_dev;
    gfx_targets_written();
    if (width <= 0 || height <= 0 || width > d.caps.max_texture_size ||
        height > d.caps.max_texture_size)
        return 0;
    auto* s = new GfxSurface;
    s->gen = d.generation;
    s->is_backbuffer = 1;
    s->desc = {GFX_FMT_X8R8G8B8, GFX_USAGE_RENDERTARGET, GFX_POOL_DEFAULT, width, height,
               pp.samples};
    glCreateTextures(GL_TEXTURE_2D, 1, &s->resolve_tex);
    glTextureStorage2D(s->resolve_tex, 1, GL_RGBA8, width, height);
    if (pp.samples > 1) {
        glCreateRenderbuffers(1, &s->renderbuffer);
        glNamedRenderbufferStorageMultisample(s->renderbuffer, pp.samples, GL_RGBA8, width, height);
    }
    d.live_surfaces++;
    d.backbuffer = s;
    d.backbuffer_depth = nullptr;
    if (pp.depth_format != GFX_FMT_UNKNOWN)
        d.backbuffer_depth = make_depth(width, height, pp.depth_format, pp.samples);
    d.target = {};
    d.target[0] = s;
    d.depth = d.backbuffer_depth;
    d.fbo_dirty = 1;
    d.viewport = {0, 0, width, height, 0.0f, 1.0f};
    d.scissor = {0, 0, width, height};
    gfx_bump_serial(GFX_UG_TRANSFORM);
    return 1;
}

// Drops the device's own references; a caller still holding one keeps a
// surface that is no longer the back buffer until it releases it.
void gfx_backbuffer_free(void)
{
    GfxDevice& d = gfx_dev;
    for (GfxSurface* s : {d.backbuffer, d.backbuffer_depth}) {
        if (!s) continue;
        for (auto& t : d.target)
            if (t == s) t = nullptr, d.fbo_dirty = 1;
        if (d.depth == s) d.depth = nullptr, d.fbo_dirty = 1;
        s->is_backbuffer = 0;
        if (--s->refs <= 0) destroy_own_surface(s);
    }
    d.backbuffer = d.backbuffer_depth = nullptr;
}

int gfx_tex_start(void)
{
    GfxDevice& d = gfx_dev;
    glCreateFramebuffers(1, &d.fbo);
    glCreateFramebuffers(1, &d.read_fbo);
    glCreateFramebuffers(1, &d.resolve_fbo);
    glCreateFramebuffers(1, &d.blit_fbo);
    d.white = gfx_tex_create(1, 1, 1, 0, GFX_FMT_A8R8G8B8, GFX_POOL_MANAGED);
    if (!d.white) return 0;
    GfxLockedRect lr;
    if (!gfx_ok(gfx_tex_lock(d.white, 0, nullptr, &lr, 0))) return 0;
    const uint32_t white = 0xFFFFFFFFu;
    std::memcpy(lr.bits, &white, 4);
    gfx_tex_unlock(d.white, 0);
    return 1;
}

void gfx_tex_stop(void)
{
    GfxDevice& d = gfx_dev;
    if (d.white) destroy_texture(d.white);
    d.white = nullptr;
    GLuint fbos[4] = {d.fbo, d.read_fbo, d.resolve_fbo, d.blit_fbo};
    glDeleteFramebuffers(4, fbos);
    d.fbo = d.read_fbo = d.resolve_fbo = d.blit_fbo = 0;
}

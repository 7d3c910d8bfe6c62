// Texture manager and sampler-stage cache (see tex.h).
#include "disp/tex.h"
#include "disp/tex_scratch.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disp/d3d9.h"
#include "disp/rstate.h"
#include "disp/tex_convert_local.h"
#include "plat/gfx_image.h"

namespace {

constexpr uint32_t TEX_UNSET = 0xFFFFFFFFu;

struct StageCache {
    uint32_t addr_u, addr_v, filter, mip;
    const TexRecord* bound;
};

// The texture module's block, cleared by tex_boot.
struct TexManager {
    std::array<uint16_t, TEX_QUAD_INDEX_QUADS * 6> quad_indices;
    std::array<TexVertexA, TEX_SCRATCH_A_VERTICES> scratch_a;
    std::array<uint8_t, TEX_SCRATCH_B_BYTES> scratch_b;
    SurfRecord backbuffer;
    SurfRecord depth;
    TexRecord white;
    std::array<StageCache, TEX_STAGES> stages;
    SurfRecord target;         // current colour target (a copy; not owned)
    SurfRecord* depth_target;  // current depth-stencil record or null
    uint64_t stage_sets;       // sampler-state and texture calls
};
TexManager g_tex;

void read_surface_record(SurfRecord* rec, GfxSurface* s)
{
    *rec = SurfRecord{};
    GfxSurfaceDesc d;
    if (!s || !gfx_ok(gfx_surface_get_desc(s, &d))) {
        if (s) gfx_surface_release(s);
        return;
    }
    rec->surface = s;
    rec->width = uint16_t(d.width);
    rec->height = uint16_t(d.height);
    rec->format = d.format;
    rec->bpp = uint8_t(disp_fmt_bpp(d.format));
    rec->kind = disp_fmt_kind(d.format);
}

void release_surface_record(SurfRecord* rec) { com_release_ptr(&rec->surface); }

// The back buffer as a colour target: its record with the render size.
SurfRecord backbuffer_target()
{
    SurfRecord r = g_tex.backbuffer;
    int w = 0, h = 0;
    disp_get_render_size(&w, &h);
    if (w > 0 && h > 0) {
        r.width = uint16_t(std::min<int>(w, r.width));
        r.height = uint16_t(std::min<int>(h, r.height));
    }
    return r;
}

bool usable(const TexRecord* rec) { return rec && rec->texture; }

bool rect_inside(const TexRecord* rec, int x, int y, int w, int h)
{
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= rec->real_w && y + h <= rec->real_h;
}

void set_sampler(int stage, GfxSamp state, uint32_t value)
{
    gfx_set_sampler_state(stage, state, value);
    ++g_tex.stage_sets;
}

void set_texture(int stage, GfxTexture* t)
{
    gfx_set_texture(stage, t);
    ++g_tex.stage_sets;
}

uint32_t address_value(uint32_t index)
{
    return index == uint32_t(TEX_ADDR_CLAMP) ? GFX_TADDRESS_CLAMP : GFX_TADDRESS_WRAP;
}

// Fills the record from level 0 of its texture.
bool describe(TexRecord* rec, int req_w, int req_h, uint16_t flags)
{
    GfxSurfaceDesc d;
    if (!gfx_ok(gfx_tex_get_level_desc(rec->texture, 0, &d))) return false;
    rec->real_w = uint16_t(d.width);
    rec->real_h = uint16_t(d.height);
    rec->req_w = uint16_t(req_w);
    rec->req_h = uint16_t(req_h);
    rec->bpp = uint8_t(disp_fmt_bpp(d.format));
    rec->fmt_index = uint8_t(disp_fmt_to_index(d.format));
    rec->flags = flags;
    return true;
}

// Locks `rect` of level 0 and calls fn(row pointer, row index) per row.
template <typename Fn>
bool for_rows(TexRecord* rec, int x, int y, int w, int h, uint32_t flags, Fn fn)
{
    GfxRect r = {x, y, x + w, y + h};
    GfxLockedRect lr;
    if (!gfx_ok(gfx_tex_lock(rec->texture, 0, &r, &lr, flags))) return false;
    auto* base = static_cast<uint8_t*>(lr.bits);
    for (int j = 0; j < h; ++j) fn(base + size_t(j) * size_t(lr.pitch), j);
    gfx_tex_unlock(rec->texture, 0);
    return true;
}

bool size_ok(int w, int h) { return w > 0 && h > 0 && w <= TEX_MAX_SIDE && h <= TEX_MAX_SIDE; }

}  // namespace

// --- start and stop ----------------------------------------------------------------

void tex_boot()
{
    std::memset(static_cast<void*>(&g_tex), 0, sizeof(g_tex));
    for (int q = 0; q < TEX_QUAD_INDEX_QUADS; ++q) {
        const uint16_t b = uint16_t(4 * q);
        uint16_t* i = &g_tex.quad_indices[size_t(q) * 6];
        i[0] = b;
        i[1] = uint16_t(b + 1);
        i[2] = uint16_t(b + 2);
        i[3] = uint16_t(b + 3);
        i[4] = uint16_t(b + 2);
        i[5] = uint16_t(b + 1);
    }
    for (TexVertexA& v : g_tex.scratch_a) {
        v.z = 0.0f;
        v.rhw = 1.0f;
    }
    read_surface_record(&g_tex.backbuffer, gfx_get_render_target(0));
    read_surface_record(&g_tex.depth, gfx_get_depth_stencil_surface());
    if (tex_create(&g_tex.white, GFX_FMT_A8R8G8B8, 1, 1, 1)) {
        const uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        tex_fill_rect(&g_tex.white, 0, 0, 1, 1, white);
    }
    tex_stage_cache_reset();
    tex_set_targets(0, 0, &g_tex.depth);
}

void tex_shutdown()
{
    for (int s = 0; s < TEX_STAGES; ++s) gfx_set_texture(s, nullptr);
    release_surface_record(&g_tex.backbuffer);
    release_surface_record(&g_tex.depth);
    tex_release(&g_tex.white);
    g_tex.target = SurfRecord{};
    g_tex.depth_target = nullptr;
    for (StageCache& c : g_tex.stages) c = {TEX_UNSET, TEX_UNSET, TEX_UNSET, TEX_UNSET, nullptr};
}

void tex_surfaces_on_lost()
{
    release_surface_record(&g_tex.backbuffer);
    release_surface_record(&g_tex.depth);
    g_tex.target.surface = nullptr;
}

// After a reset the device draws into its back buffer and main depth surface.
void tex_surfaces_on_reset()
{
    read_surface_record(&g_tex.backbuffer, gfx_get_render_target(0));
    read_surface_record(&g_tex.depth, gfx_get_depth_stencil_surface());
    g_tex.target = backbuffer_target();
    g_tex.depth_target = &g_tex.depth;
}

void tex_stage_cache_reset()
{
    for (StageCache& c : g_tex.stages) c = {TEX_UNSET, TEX_UNSET, TEX_UNSET, TEX_UNSET, nullptr};
    if (g_tex.white.texture) set_texture(0, g_tex.white.texture);
}

// --- records -----------------------------------------------------------------------

int tex_create(TexRecord* rec, GfxFormat fmt, int width, int height, int managed)
{
    if (!rec) return 0;
    *rec = TexRecord{};
    if (width == 0 || height == 0) return 1;
    if (!size_ok(width, height)) return 0;
    rec->texture = gfx_tex_create(width, height, 1, managed ? 0 : GFX_USAGE_DYNAMIC, fmt,
                                  managed ? GFX_POOL_MANAGED : GFX_POOL_DEFAULT);
    if (!rec->texture || !describe(rec, width, height, managed ? TEX_FLAG_MANAGED : 0)) {
        tex_release(rec);
        return 0;
    }
    gfx_tex_preload(rec->texture);
    return 1;
}

int tex_create_render_target(TexRecord* rec, GfxFormat fmt, int width, int height)
{
    if (!rec) return 0;
    *rec = TexRecord{};
    if (!size_ok(width, height)) return 0;
    rec->texture = gfx_tex_create(width, height, 1, GFX_USAGE_RENDERTARGET, fmt, GFX_POOL_DEFAULT);
    const uint16_t flags = TEX_FLAG_RENDER_TARGET | (TEX_ADDR_CLAMP << TEX_ADDR_U_SHIFT) |
                           (TEX_ADDR_CLAMP << TEX_ADDR_V_SHIFT);
    if (!rec->texture || !describe(rec, width, height, flags)) {
        tex_release(rec);
        return 0;
    }
    rec->surface = gfx_tex_get_surface(rec->texture, 0);
    return 1;
}

namespace {

// A mip-less DDS keeps the size of its header, even when it is not a power of
// two: the image decoder's probe reads it, when the data holds a whole header
// it takes.
void dds_size(std::span<const uint8_t> data, int* w, int* h)
{
    GfxImage head;
    GfxImageError err;
    if (!gfx_image_probe(data.data(), data.size(), &head, &err, TEX_MAX_SIDE) ||
        head.file_kind != GFX_FILE_DDS)
        return;
    *w = head.width;
    *h = head.height;
}

int finish_from_file(TexRecord* rec, GfxHr hr, GfxTexture* t, const GfxImageInfo& info, int mipmaps)
{
    rec->texture = gfx_ok(hr) ? t : nullptr;
    if (!rec->texture || !describe(rec, info.width, info.height,
                                   uint16_t((mipmaps ? TEX_FLAG_MIP : 0) | TEX_FLAG_MANAGED))) {
        tex_release(rec);
        return 0;
    }
    gfx_tex_preload(rec->texture);
    return 1;
}

}  // namespace

int tex_file_mem_bytes(std::span<const uint8_t> data, int mipmaps, uint64_t* bytes)
{
    if (bytes) *bytes = 0;
    if (data.empty() || !bytes) return 0;
    int w = GFX_SIZE_DEFAULT, h = GFX_SIZE_DEFAULT;
    if (!mipmaps) dds_size(data, &w, &h);
    return gfx_ok(gfx_tex_file_mem_bytes(data.data(), data.size(), w, h, mipmaps ? 0 : 1,
                                         GFX_FMT_UNKNOWN, bytes))
               ? 1
               : 0;
}

int tex_create_from_file_mem(TexRecord* rec, std::span<const uint8_t> data, int mipmaps, int linear)
{
    if (!rec) return 0;
    *rec = TexRecord{};
    if (data.empty()) return 0;
    int w = GFX_SIZE_DEFAULT, h = GFX_SIZE_DEFAULT;
    if (!mipmaps) dds_size(data, &w, &h);
    const uint32_t filter = linear ? GFX_IFILTER_LINEAR : GFX_IFILTER_NONE;
    GfxImageInfo info = {};
    GfxTexture* t = nullptr;
    GfxHr hr =
        gfx_tex_create_from_file_mem(data.data(), data.size(), w, h, mipmaps ? 0 : 1, 0,
                                     GFX_FMT_UNKNOWN, GFX_POOL_MANAGED, filter, filter, &info, &t);
    return finish_from_file(rec, hr, t, info, mipmaps);
}

int tex_create_from_file(TexRecord* rec, const std::string& path, int mipmaps, int linear)
{
    if (!rec) return 0;
    *rec = TexRecord{};
    const uint32_t filter = linear ? GFX_IFILTER_LINEAR : GFX_IFILTER_NONE;
    GfxImageInfo info = {};
    GfxTexture* t = nullptr;
    GfxHr hr =
        gfx_tex_create_from_file(path.c_str(), GFX_SIZE_DEFAULT, GFX_SIZE_DEFAULT, mipmaps ? 0 : 1,
                                 0, GFX_FMT_UNKNOWN, GFX_POOL_MANAGED, filter, filter, &info, &t);
    return finish_from_file(rec, hr, t, info, mipmaps);
}

void tex_release(TexRecord* rec)
{
    if (!rec) return;
    // A stage still showing this record must not keep sampling it.
    for (int s = 0; s < TEX_STAGES; ++s) {
        StageCache& c = g_tex.stages[size_t(s)];
        if (c.bound != rec) continue;
        c.bound = nullptr;
        set_texture(s, s == 0 && rec != &g_tex.white ? g_tex.white.texture : nullptr);
    }
    if (rec->surface) gfx_surface_release(rec->surface);
    if (rec->texture) gfx_tex_release(rec->texture);
    *rec = TexRecord{};
}

void tex_on_lost(TexRecord* rec)
{
    if (!rec || (rec->flags & TEX_FLAG_MANAGED)) return;
    com_release_ptr(&rec->surface);
    com_release_ptr(&rec->texture);
}

void tex_on_reset(TexRecord* rec)
{
    if (!rec || (rec->flags & TEX_FLAG_MANAGED) || rec->real_w == 0 || rec->real_h == 0) return;
    const TexRecord before = *rec;
    const GfxFormat fmt = disp_index_to_fmt(before.fmt_index);
    if (before.flags & TEX_FLAG_RENDER_TARGET)
        tex_create_render_target(rec, fmt, before.real_w, before.real_h);
    else
        tex_create(rec, fmt, before.real_w, before.real_h, 0);
    rec->real_w = before.real_w;
    rec->real_h = before.real_h;
    rec->req_w = before.req_w;
    rec->req_h = before.req_h;
    rec->bpp = before.bpp;
    rec->fmt_index = before.fmt_index;
    rec->flags = before.flags;
}

// --- pixels ------------------------------------------------------------------------

int tex_fill_rect(TexRecord* rec, int x, int y, int w, int h, std::span<const uint8_t> src)
{
    if (!usable(rec) || !rect_inside(rec, x, y, w, h)) return 0;
    const int bpp = tex_fmt_bytes_per_pixel(rec->fmt_index);
    const size_t row = size_t(w) * size_t(bpp);
    if (bpp == 0 || src.size() < row * size_t(h)) return 0;
    if (!for_rows(rec, x, y, w, h, 0,
                  [&](uint8_t* d, int j) { std::memcpy(d, src.data() + size_t(j) * row, row); }))
        return 0;
    gfx_tex_preload(rec->texture);
    return 1;
}

int tex_copy_rect_out(TexRecord* rec, int x, int y, int w, int h, std::span<uint8_t> dst)
{
    if (!usable(rec) || !rect_inside(rec, x, y, w, h)) return 0;
    const int bpp = tex_fmt_bytes_per_pixel(rec->fmt_index);
    const size_t row = size_t(w) * size_t(bpp);
    if (bpp == 0 || dst.size() < row * size_t(h)) return 0;
    return for_rows(rec, x, y, w, h, GFX_LOCK_READONLY,
                    [&](uint8_t* s, int j) { std::memcpy(dst.data() + size_t(j) * row, s, row); })
               ? 1
               : 0;
}

int tex_read_rect_argb(TexRecord* rec, int x, int y, int w, int h, std::span<uint32_t> dst)
{
    if (!usable(rec) || !rect_inside(rec, x, y, w, h) || dst.size() < size_t(w) * size_t(h))
        return 0;
    // Only the rows of the rectangle (whole rows of blocks) are locked: a
    // texture loaded from an image reads its locked rows back from the device.
    const GfxFormat fmt = disp_index_to_fmt(rec->fmt_index);
    const int block = gfx_format_block_bytes(fmt) ? 4 : 1;
    const int top = y / block * block;
    const int bottom = std::min<int>(rec->real_h, (y + h + block - 1) / block * block);
    const GfxRect band = {0, top, rec->real_w, bottom};
    GfxLockedRect lr;
    if (!gfx_ok(gfx_tex_lock(rec->texture, 0, &band, &lr, GFX_LOCK_READONLY))) return 0;
    const size_t bytes = gfx_format_level_size(fmt, rec->real_w, bottom - top);
    std::span<const uint8_t> rows(static_cast<const uint8_t*>(lr.bits), bytes);
    tex_row_convert(rec->fmt_index, dst, rows, x, y - top, w, h, lr.pitch);
    gfx_tex_unlock(rec->texture, 0);
    return 1;
}

uint32_t tex_read_pixel(TexRecord* rec, int x, int y)
{
    if (!usable(rec) || rec->real_w == 0 || rec->real_h == 0) return 0;
    x = std::clamp(x, 0, rec->real_w - 1);
    y = std::clamp(y, 0, rec->real_h - 1);
    uint32_t px = 0;
    tex_read_rect_argb(rec, x, y, 1, 1, std::span<uint32_t>(&px, 1));
    return px;
}

int tex_fill_rect_rgb(TexRecord* rec, int x, int y, int w, int h, std::span<const uint8_t> src,
                      int src_bytes_per_pixel)
{
    if (!usable(rec) || !rect_inside(rec, x, y, w, h)) return 0;
    if (rec->fmt_index != DISP_SF_A8R8G8B8 && rec->fmt_index != DISP_SF_X8R8G8B8) return 0;
    if (src_bytes_per_pixel != 3 && src_bytes_per_pixel != 4) return 0;
    const size_t row = size_t(w) * size_t(src_bytes_per_pixel);
    if (src.size() < row * size_t(h)) return 0;
    if (!for_rows(rec, x, y, w, h, GFX_LOCK_NOSYSLOCK, [&](uint8_t* d, int j) {
            const uint8_t* s = src.data() + size_t(j) * row;
            for (int i = 0; i < w; ++i, s += src_bytes_per_pixel, d += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 0xFF;
            }
        }))
        return 0;
    gfx_tex_preload(rec->texture);
    return 1;
}

// --- sampler stages ----------------------------------------------------------------

void tex_set_stage(int stage, const TexRecord* rec, int filter_index)
{
    if (stage < 0 || stage >= TEX_STAGES) return;
    StageCache& c = g_tex.stages[size_t(stage)];
    if (usable(rec)) {
        const uint32_t filter = disp_filter_get(filter_index);
        const uint32_t au = (rec->flags >> TEX_ADDR_U_SHIFT) & 7u;
        const uint32_t av = (rec->flags >> TEX_ADDR_V_SHIFT) & 7u;
        const uint32_t fi = uint32_t(filter_index);
        const uint32_t mip = rec->flags & TEX_FLAG_MIP;
        if (c.addr_u != au) {
            set_sampler(stage, GFX_SAMP_ADDRESSU, address_value(au));
            c.addr_u = au;
        }
        if (c.addr_v != av) {
            set_sampler(stage, GFX_SAMP_ADDRESSV, address_value(av));
            c.addr_v = av;
        }
        if (c.filter != fi) {
            set_sampler(stage, GFX_SAMP_MAGFILTER, filter);
            set_sampler(stage, GFX_SAMP_MINFILTER, filter);
            c.filter = fi;
        }
        // The mip filter follows a later filter change only when the mip bit
        // changes too.
        if (c.mip != mip) {
            set_sampler(stage, GFX_SAMP_MIPFILTER, mip ? filter : GFX_TEXF_NONE);
            c.mip = mip;
        }
        if (c.bound != rec) {
            set_texture(stage, rec->texture);
            c.bound = rec;
        }
        return;
    }
    c.addr_u = c.addr_v = c.filter = c.mip = TEX_UNSET;
    if (c.bound) {
        set_sampler(stage, GFX_SAMP_MIPFILTER, GFX_TEXF_NONE);
        set_texture(stage, stage == 0 ? g_tex.white.texture : nullptr);
        c.bound = nullptr;
    }
}

uint64_t tex_stage_set_count() { return g_tex.stage_sets; }

// --- depth surfaces and targets ------------------------------------------------------

int tex_surface_create(SurfRecord* s, GfxFormat depth_fmt, int width, int height)
{
    if (!s) return 0;
    *s = SurfRecord{};
    if (!size_ok(width, height)) return 0;
    read_surface_record(s, gfx_surface_create_depth(width, height, depth_fmt, 0));
    if (!s->surface) return 0;
    return 1;
}

void tex_surface_release(SurfRecord* s)
{
    if (!s) return;
    release_surface_record(s);
    s->width = s->height = 0;
    s->format = GFX_FMT_UNKNOWN;
    s->bpp = s->kind = 0;
}

void tex_surface_reset(SurfRecord* s)
{
    if (!s || s->width == 0 || s->height == 0) return;
    if (s->surface) gfx_surface_release(s->surface);
    read_surface_record(s, gfx_surface_create_depth(s->width, s->height, s->format, 0));
}

void tex_set_render_target(int index, uint32_t handle)
{
    if (index < 0 || index >= disp_get_nr_render_targets()) return;
    const TexRecord* t = handle ? disp_tex_lookup(handle) : nullptr;
    const bool own = t && t->texture && t->surface;
    GfxSurface* s = own ? t->surface : (index == 0 ? g_tex.backbuffer.surface : nullptr);
    if (index == 0 && !s) return;  // no device
    gfx_set_render_target(index, s);
    if (index != 0) return;
    if (own) {
        g_tex.target =
            SurfRecord{t->surface, t->real_w,           t->real_h, disp_index_to_fmt(t->fmt_index),
                       t->bpp,     DISP_SURF_KIND_COLOR};
    } else {
        g_tex.target = backbuffer_target();
    }
    disp_set_viewport(0, 0, g_tex.target.width, g_tex.target.height);
    disp_set_scissor(0, 0, g_tex.target.width, g_tex.target.height);
}

void tex_set_depth_target(SurfRecord* s)
{
    gfx_set_depth_stencil_surface(s ? s->surface : nullptr);
    g_tex.depth_target = s;
}

void tex_set_targets(uint32_t color0, uint32_t color1, SurfRecord* depth)
{
    tex_set_render_target(0, color0);
    tex_set_render_target(1, color1);
    tex_set_depth_target(depth);
}

uint32_t tex_default_rt_handle() { return 0; }

void tex_color_fill(uint32_t handle, uint32_t color)
{
    const TexRecord* t = disp_tex_lookup(handle);
    if (t && t->surface) gfx_color_fill(t->surface, nullptr, color);
}

void tex_stretch(uint32_t dst_handle, uint32_t src_handle, int filter_index)
{
    if (dst_handle == 0 && src_handle == 0) return;
    auto surface_of = [](uint32_t h) -> GfxSurface* {
        if (h == 0) return g_tex.backbuffer.surface;
        const TexRecord* t = disp_tex_lookup(h);
        return t ? t->surface : nullptr;
    };
    GfxSurface* dst = surface_of(dst_handle);
    GfxSurface* src = surface_of(src_handle);
    if (dst && src) gfx_stretch_rect(src, nullptr, dst, nullptr, disp_filter_get(filter_index));
}

// --- queries -----------------------------------------------------------------------

SurfRecord* tex_get_backbuffer_record() { return &g_tex.backbuffer; }
SurfRecord* tex_get_depth_record() { return &g_tex.depth; }
SurfRecord* tex_get_target_record() { return &g_tex.target; }
SurfRecord* tex_get_depth_target() { return g_tex.depth_target; }
int tex_get_target_width() { return g_tex.target.width; }
int tex_get_target_height() { return g_tex.target.height; }
const TexRecord* tex_get_white() { return &g_tex.white; }
const uint16_t* tex_get_manager() { return g_tex.quad_indices.data(); }
TexVertexA* tex_get_vertex_scratch_a() { return g_tex.scratch_a.data(); }
uint8_t* tex_get_vertex_scratch_b() { return g_tex.scratch_b.data(); }

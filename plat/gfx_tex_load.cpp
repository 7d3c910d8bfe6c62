// gfx_tex_load: D3DX-shaped loaders that make a texture from PNG, JPEG or
// DDS data in memory or in a data file. An image asked for at another size
// is resampled (byte channels only); missing mip levels are box-filtered
// from the level above, or taken from the file where it holds them. The
// texture keeps no CPU copy of its pixels (gfx_tex.cpp).
#include "plat/gfx_local.h"
#include "plat/files.h"
#include "plat/gfx_image.h"
#include "plat/gfx_image_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
int round_pow2(int v)
{
    int p = 1;
    while (p < v) p <<= 1;
    return p;
}

// Formats whose every channel is one byte, so that resampling works per byte.
bool byte_channels(GfxFormat f)
{
    return f == GFX_FMT_A8R8G8B8 || f == GFX_FMT_X8R8G8B8 || f == GFX_FMT_R8G8B8 ||
           f == GFX_FMT_A8 || f == GFX_FMT_L8 || f == GFX_FMT_A8L8;
}

// Resamples a byte-channel level into w x h: NONE places it at the top left
// (the rest transparent black), POINT picks, LINEAR interpolates.
std::vector<uint8_t> resample(const uint8_t* src, int sw, int sh, int bpp, int w, int h,
                              uint32_t filter)
{
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * bpp, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* o = &out[(static_cast<size_t>(y) * w + x) * bpp];
            if (filter == GFX_IFILTER_NONE) {
                if (x < sw && y < sh)
                    std::memcpy(o, &src[(static_cast<size_t>(y) * sw + x) * bpp], bpp);
                continue;
            }
            float fx = (x + 0.5f) * sw / w - 0.5f, fy = (y + 0.5f) * sh / h - 0.5f;
            if (filter == GFX_IFILTER_POINT) {
                int px = std::clamp(static_cast<int>(fx + 0.5f), 0, sw - 1);
                int py = std::clamp(static_cast<int>(fy + 0.5f), 0, sh - 1);
                std::memcpy(o, &src[(static_cast<size_t>(py) * sw + px) * bpp], bpp);
                continue;
            }
            int x0 = std::clamp(static_cast<int>(std::floor(fx)), 0, sw - 1);
            int y0 = std::clamp(static_cast<int>(std::floor(fy)), 0, sh - 1);
            int x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
            float ax = std::clamp(fx - x0, 0.0f, 1.0f), ay = std::clamp(fy - y0, 0.0f, 1.0f);
            for (int c = 0; c < bpp; ++c) {
                auto at = [&](int xx, int yy) {
                    return static_cast<float>(src[(static_cast<size_t>(yy) * sw + xx) * bpp + c]);
                };
                float v = (at(x0, y0) * (1 - ax) + at(x1, y0) * ax) * (1 - ay) +
                          (at(x0, y1) * (1 - ax) + at(x1, y1) * ax) * ay;
                o[c] = static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
            }
        }
    }
    return out;
}

// Box filter to the next level (odd edges repeat the last pixel).
std::vector<uint8_t> half_level(const uint8_t* src, int sw, int sh, int bpp)
{
    int w = std::max(1, sw / 2), h = std::max(1, sh / 2);
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * bpp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c) {
                int x0 = std::min(2 * x, sw - 1), x1 = std::min(2 * x + 1, sw - 1);
                int y0 = std::min(2 * y, sh - 1), y1 = std::min(2 * y + 1, sh - 1);
                auto at = [&](int xx, int yy) {
                    return src[(static_cast<size_t>(yy) * sw + xx) * bpp + c];
                };
                out[(static_cast<size_t>(y) * w + x) * bpp + c] = static_cast<uint8_t>(
                    (at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1) + 2) / 4);
            }
    return out;
}

void upload_level(GfxTexture* t, int level, const uint8_t* data)
{
    const GfxLevel& L = t->levels[level];
    gfx_tex_upload_rows(t, level, {0, 0, L.width, L.height}, data, 0);
}

// What a loader makes of a decoded (or only probed) image: the texture's
// size, its levels and the bytes they hold.
struct LoadPlan {
    int w = 0, h = 0, levels = 0;
    bool resized = false;
    uint64_t bytes = 0;
};

GfxHr plan_load(const GfxImage& img, int width, int height, int levels, GfxFormat fmt, LoadPlan* p)
{
    if (fmt != GFX_FMT_UNKNOWN && fmt != img.format) return GFX_E_INVALIDCALL;
    if (!gfx_tex_load_size(img.width, img.height, width, height, img.format, &p->w, &p->h))
        return GFX_E_BADDATA;
    p->resized = p->w != img.width || p->h != img.height;
    if (p->resized && !byte_channels(img.format)) return GFX_E_INVALIDCALL;
    const int chain = gfx_tex_full_chain(p->w, p->h);
    p->levels = levels == 0 ? chain : std::min(levels, chain);
    // Levels are generated only for byte channels; others come from the file.
    if (!byte_channels(img.format)) p->levels = std::min(p->levels, img.levels);
    p->bytes = 0;
    for (int l = 0, w = p->w, h = p->h; l < p->levels; ++l) {
        p->bytes += gfx_format_level_size(img.format, w, h);
        w = std::max(1, w / 2), h = std::max(1, h / 2);
    }
    return GFX_OK;
}

// The header of an image data file and the plan for it, before anything is
// decoded.
GfxHr probe_and_plan(const void* data, size_t size, int width, int height, int levels,
                     GfxFormat fmt, GfxImage* img, LoadPlan* plan)
{
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!data || levels < 0) return GFX_E_INVALIDCALL;
    GfxImageError err;
    if (!gfx_image_probe(data, size, img, &err, gfx_dev.caps.max_texture_size))
        return GFX_E_BADDATA;
    return plan_load(*img, width, height, levels, fmt, plan);
}
}  // namespace

int gfx_tex_load_size(int img_w, int img_h, int width, int height, GfxFormat fmt, int* w, int* h)
{
    const bool block = gfx_format_block_bytes(fmt) != 0;  // blocks keep their size
    *w = width == GFX_SIZE_DEFAULT_NONPOW2 || block ? img_w
         : width <= 0                               ? round_pow2(img_w)
                                                    : width;
    *h = height == GFX_SIZE_DEFAULT_NONPOW2 || block ? img_h
         : height <= 0                               ? round_pow2(img_h)
                                                     : height;
    // Rounding may quadruple an image that passed the decoder's ceiling.
    const uint64_t bytes = uint64_t(*w) * uint64_t(*h) * uint64_t(gfx_format_bytes_per_pixel(fmt));
    return block || bytes <= PLAT_DATA_FILE_MAX ? 1 : 0;
}

GfxHr gfx_tex_file_mem_bytes(const void* data, size_t size, int width, int height, int levels,
                             GfxFormat fmt, uint64_t* bytes)
{
    GfxImage img;
    LoadPlan plan;
    const GfxHr hr = probe_and_plan(data, size, width, height, levels, fmt, &img, &plan);
    if (bytes) *bytes = gfx_ok(hr) ? plan.bytes : 0;
    return hr;
}

// Every intermediate copy is freed as soon as the next one exists, so that a
// load holds at most about twice the texture's bytes: the decoded image (or
// the file itself for DDS, whose levels are uploaded where they lie) and the
// texture, or the resampled level and the texture.
GfxHr gfx_tex_create_from_file_mem(const void* data, size_t size, int width, int height, int levels,
                                   uint32_t usage, GfxFormat fmt, GfxPool pool, uint32_t filter,
                                   uint32_t mip_filter, GfxImageInfo* info, GfxTexture** out)
{
    if (out) *out = nullptr;
    if (!out) return gfx_usable() ? GFX_E_INVALIDCALL : GFX_E_NODEVICE;
    (void)mip_filter;
    GfxImage img;
    LoadPlan plan;
    const GfxHr hr = probe_and_plan(data, size, width, height, levels, fmt, &img, &plan);
    if (!gfx_ok(hr)) return hr;
    const uint8_t* file_levels = static_cast<const uint8_t*>(data) + GFX_IMAGE_DDS_DATA;
    if (img.file_kind != GFX_FILE_DDS) {
        const GfxImage head = img;  // what the plan was made for
        GfxImageError err;
        if (!gfx_image_decode(data, size, &img, &err, gfx_dev.caps.max_texture_size) ||
            img.width != head.width || img.height != head.height || img.format != head.format)
            return GFX_E_BADDATA;
        file_levels = img.data.data();
    }
    const int bpp = gfx_format_bytes_per_pixel(img.format);
    std::vector<uint8_t> level;  // the last level made here, when one was
    if (plan.resized) {
        level = resample(file_levels + img.level_offset[0], img.width, img.height, bpp, plan.w,
                         plan.h, filter == 0 ? GFX_IFILTER_LINEAR : filter);
        std::vector<uint8_t>().swap(img.data);
        file_levels = nullptr;  // every further level is made from the one above
    }
    GfxTexture* t = gfx_tex_make(plan.w, plan.h, plan.levels, usage & ~GFX_USAGE_RENDERTARGET,
                                 img.format, pool, 0);
    if (!t) return GFX_E_OUTOFMEMORY;
    const uint8_t* above = plan.resized ? level.data() : file_levels + img.level_offset[0];
    upload_level(t, 0, above);
    for (int l = 1; l < plan.levels; ++l) {
        if (file_levels && l < img.levels) {
            above = file_levels + img.level_offset[l];
            upload_level(t, l, above);
            continue;
        }
        const GfxLevel& P = t->levels[l - 1];  // box filter from the level above
        std::vector<uint8_t> next = half_level(above, P.width, P.height, bpp);
        upload_level(t, l, next.data());
        level.swap(next);  // the level above is freed here
        above = level.data();
    }
    // Such a texture holds the whole chain whatever was asked, made from level 0 by the device.
    if (t->usage & GFX_USAGE_AUTOGENMIPMAP) glGenerateTextureMipmap(t->tex);
    if (info) {
        info->width = img.width;
        info->height = img.height;
        info->mip_levels = img.levels;
        info->format = img.format;
        info->file_format = static_cast<GfxFileFormat>(img.file_kind);
    }
    *out = t;
    return GFX_OK;
}

GfxHr gfx_tex_create_from_file(const char* path, int width, int height, int levels, uint32_t usage,
                               GfxFormat fmt, GfxPool pool, uint32_t filter, uint32_t mip_filter,
                               GfxImageInfo* info, GfxTexture** out)
{
    if (out) *out = nullptr;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!path || !out) return GFX_E_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!plat_read_data_file(path, PLAT_DATA_FILE_MAX, &bytes, nullptr)) return GFX_E_NOTAVAILABLE;
    return gfx_tex_create_from_file_mem(bytes.data(), bytes.size(), width, height, levels, usage,
                                        fmt, pool, filter, mip_filter, info, out);
}

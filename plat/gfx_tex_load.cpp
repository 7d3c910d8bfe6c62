// gfx_tex_load: D3DX-shaped loaders that make a texture from PNG, JPEG or
// DDS data in memory or in a data file. An image asked for at another size
// is resampled (byte channels only); missing mip levels are box-filtered
// from the level above, or taken from the file where it holds them.
#include "plat/gfx_local.h"
#include "plat/files.h"
#include "plat/gfx_image.h"

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

void write_level(GfxTexture* t, int level, const uint8_t* data, size_t size)
{
    GfxLevel& L = t->levels[level];
    std::memcpy(L.copy.data(), data, std::min(size, L.copy.size()));
    gfx_tex_upload_level(t, level, {0, 0, L.width, L.height});
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

GfxHr gfx_tex_create_from_file_mem(const void* data, size_t size, int width, int height, int levels,
                                   uint32_t usage, GfxFormat fmt, GfxPool pool, uint32_t filter,
                                   uint32_t mip_filter, GfxImageInfo* info, GfxTexture** out)
{
    if (out) *out = nullptr;
    if (!gfx_usable()) return GFX_E_NODEVICE;
    if (!data || !out || levels < 0) return GFX_E_INVALIDCALL;
    (void)mip_filter;
    GfxImage img;
    GfxImageError err;
    if (!gfx_image_decode(data, size, &img, &err, gfx_dev.caps.max_texture_size))
        return GFX_E_BADDATA;
    if (fmt != GFX_FMT_UNKNOWN && fmt != img.format) return GFX_E_INVALIDCALL;
    int w = 0, h = 0;
    if (!gfx_tex_load_size(img.width, img.height, width, height, img.format, &w, &h))
        return GFX_E_BADDATA;
    bool resized = (w != img.width || h != img.height);
    if (resized && !byte_channels(img.format)) return GFX_E_INVALIDCALL;
    int chain = gfx_tex_full_chain(w, h);
    int n = levels == 0 ? chain : std::min(levels, chain);
    // Levels are generated only for byte channels; others come from the file.
    if (!byte_channels(img.format)) n = std::min(n, img.levels);
    GfxTexture* t = gfx_tex_create(w, h, n, usage & ~GFX_USAGE_RENDERTARGET, img.format, pool);
    if (!t) return GFX_E_OUTOFMEMORY;
    n = gfx_tex_level_count(t);
    int bpp = gfx_format_bytes_per_pixel(img.format);
    std::vector<uint8_t> cur;
    if (resized) {
        cur = resample(img.data.data() + img.level_offset[0], img.width, img.height, bpp, w, h,
                       filter == 0 ? GFX_IFILTER_LINEAR : filter);
        write_level(t, 0, cur.data(), cur.size());
    } else {
        write_level(t, 0, img.data.data() + img.level_offset[0], img.level_size[0]);
    }
    for (int l = 1; l < n; ++l) {
        if (!resized && l < img.levels) {
            write_level(t, l, img.data.data() + img.level_offset[l], img.level_size[l]);
            continue;
        }
        const GfxLevel& P = t->levels[l - 1];  // box filter from the level above
        cur = half_level(P.copy.data(), P.width, P.height, bpp);
        write_level(t, l, cur.data(), cur.size());
    }
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

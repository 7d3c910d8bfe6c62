// gfx_image: PNG (libpng), JPEG (libjpeg) and DDS (our own reader) decoded
// from memory into texture levels in Direct3D layout. Every size the file
// states is checked against the data and against GFX_IMAGE_MAX_SIZE before
// anything is allocated or read.
#include "plat/gfx_image.h"
#include "plat/gfx_image_local.h"

#include <png.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "plat/byte_order.h"
#include "plat/files.h"
#include "plat/gfx_tex.h"

namespace {

int fail(GfxImageError* err, GfxImageError e)
{
    if (err) *err = e;
    return 0;
}

bool size_ok(uint32_t w, uint32_t h)
{
    return w >= 1 && h >= 1 && w <= GFX_IMAGE_MAX_SIZE && h <= GFX_IMAGE_MAX_SIZE;
}

// The side and decoded-size limits: what a header announcing more costs is
// refused before it is paid.
bool fits(uint32_t w, uint32_t h, uint64_t decoded_bytes, int max_side)
{
    return int64_t(w) <= max_side && int64_t(h) <= max_side && decoded_bytes <= PLAT_DATA_FILE_MAX;
}

// Compressed files cannot hold more than a few thousand pixels per byte; a
// header that claims more is refused before its pixels are allocated.
bool plausible_for(uint32_t w, uint32_t h, size_t file_bytes)
{
    return static_cast<uint64_t>(w) * h <= static_cast<uint64_t>(file_bytes) * 4096u + 65536u;
}

// Describes a one-level picture of `bytes` decoded bytes; its pixels come later.
void header_only(GfxImage* out, int w, int h, GfxFormat fmt, int kind, size_t bytes)
{
    *out = GfxImage{};
    out->width = w, out->height = h, out->levels = 1, out->format = fmt, out->file_kind = kind;
    out->level_offset[0] = 0;
    out->level_size[0] = bytes;
}

// The answer of a decoder: 1, or 0 with the reason and nothing in `out`.
int finish(int result, GfxImage* out, GfxImageError* err)
{
    if (result != GFX_IMG_OK) {
        *out = GfxImage{};
        return fail(err, static_cast<GfxImageError>(result));
    }
    if (err) *err = GFX_IMG_OK;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// PNG through libpng's full API: its transforms turn every colour type and
// depth into the texture's bytes, and its own interlace handling puts the
// seven passes together (the simplified png_image_* API gets 16-bit
// interlaced files wrong and re-encodes 16-bit files as sRGB). Its errors
// leave by longjmp to the one setjmp in png_run; no object with a destructor
// lives in that frame or in the callbacks.
// ---------------------------------------------------------------------------
namespace {
struct PngSource {
    const uint8_t* data;
    size_t size, pos;
    int ran_out;  // the file ended before libpng had what it read for
};
void png_from_memory(png_structp png, png_bytep dst, size_t n)
{
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->size - s->pos) {
        s->ran_out = 1;
        png_error(png, "truncated");
    }
    std::memcpy(dst, s->data + s->pos, n);
    s->pos += n;
}
void png_on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_silent(png_structp, png_const_charp) {}

// Sets the transforms that give the texture's bytes and answers its format:
// colour and palette as B, G, R, A (0xFF where the file has no alpha), grey as
// L or L, A; 16-bit samples cut to their high byte, no gamma applied.
GfxFormat png_transforms(png_structp png, png_infop info)
{
    const int type = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    const bool key = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool palette = type == PNG_COLOR_TYPE_PALETTE;
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || key;
    if (depth == 16) png_set_strip_16(png);
    if (palette) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (key) png_set_tRNS_to_alpha(png);
    if (!(type & PNG_COLOR_MASK_COLOR)) return alpha ? GFX_FMT_A8L8 : GFX_FMT_L8;
    png_set_bgr(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    return alpha || palette ? GFX_FMT_A8R8G8B8 : GFX_FMT_X8R8G8B8;
}

// Reads the header and, with `pixels`, the whole picture into `out`.
// Returns GFX_IMG_OK or the reason.
int png_run(png_structp png, png_infop info, PngSource* src, GfxImage* out, bool pixels,
            int max_side)
{
    if (setjmp(png_jmpbuf(png))) return src->ran_out ? GFX_IMG_TRUNCATED : GFX_IMG_DECODE;
    png_set_read_fn(png, src, png_from_memory);
    png_set_benign_errors(png, 1);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!size_ok(w, h) || !plausible_for(w, h, src->size)) return GFX_IMG_BAD_HEADER;
    const GfxFormat fmt = png_transforms(png, info);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t pitch = size_t(w) * size_t(gfx_format_bytes_per_pixel(fmt));
    if (png_get_rowbytes(png, info) != pitch) return GFX_IMG_UNSUPPORTED;
    if (!fits(w, h, uint64_t(pitch) * h, max_side)) return GFX_IMG_TOO_LARGE;
    header_only(out, int(w), int(h), fmt, GFX_FILE_PNG, pitch * h);
    if (!pixels) return GFX_IMG_OK;
    out->data.assign(pitch * h, 0);
    // Each pass adds its pixels to the rows the earlier passes began.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(png, out->data.data() + y * pitch, nullptr);
    png_read_end(png, nullptr);
    return GFX_IMG_OK;
}

int png_decode(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side,
               bool pixels)
{
    if (!data || !out) return fail(err, GFX_IMG_BAD_HEADER);
    if (size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0)
        return fail(err, GFX_IMG_UNKNOWN_KIND);
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_on_error, png_silent);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail(err, GFX_IMG_DECODE);
    }
    PngSource src{static_cast<const uint8_t*>(data), size, 0, 0};
    const int r = png_run(png, info, &src, out, pixels, max_side);
    png_destroy_read_struct(&png, &info, nullptr);
    return finish(r, out, err);
}
}  // namespace

// ---------------------------------------------------------------------------
// JPEG through libjpeg. Its errors leave by longjmp to the one setjmp below;
// no object with a destructor is created between the two. Any warning
// (truncated or corrupt data) refuses the file too.
// ---------------------------------------------------------------------------
namespace {
struct JpegErr {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    int warnings;
};
void jpeg_on_error(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErr*>(c->err)->jump, 1); }
void jpeg_on_message(j_common_ptr c, int level)
{
    if (level < 0) reinterpret_cast<JpegErr*>(c->err)->warnings++;
}
void jpeg_silent(j_common_ptr) {}

// Reads the header and, with `pixels`, the picture into `out`. Returns
// GFX_IMG_OK or the reason.
int jpeg_run(jpeg_decompress_struct* ci, JpegErr* je, const void* data, size_t size, GfxImage* out,
             bool pixels, int max_side)
{
    if (setjmp(je->jump)) return GFX_IMG_DECODE;
    jpeg_create_decompress(ci);
    // A progressive file keeps every coefficient until its last scan; beyond
    // the ceiling that store is refused (the library then fails cleanly).
    ci->mem->max_memory_to_use = long(PLAT_DATA_FILE_MAX);
    jpeg_mem_src(ci, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
    if (jpeg_read_header(ci, TRUE) != JPEG_HEADER_OK) return GFX_IMG_DECODE;
    if (!size_ok(ci->image_width, ci->image_height) ||
        !plausible_for(ci->image_width, ci->image_height, size))
        return GFX_IMG_BAD_HEADER;
    // Four-channel pictures are valid files the library does not turn into colour.
    if (ci->jpeg_color_space == JCS_CMYK || ci->jpeg_color_space == JCS_YCCK)
        return GFX_IMG_UNSUPPORTED;
    const int w = static_cast<int>(ci->image_width), h = static_cast<int>(ci->image_height);
    const size_t bytes = static_cast<size_t>(w) * h * 4;
    if (!fits(ci->image_width, ci->image_height, bytes, max_side)) return GFX_IMG_TOO_LARGE;
    header_only(out, w, h, GFX_FMT_X8R8G8B8, GFX_FILE_JPEG, bytes);
    if (!pixels) return GFX_IMG_OK;
    ci->out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(ci);
    if (ci->output_components != 4 || int(ci->output_width) != w || int(ci->output_height) != h)
        return GFX_IMG_UNSUPPORTED;
    out->data.assign(bytes, 0);
    while (ci->output_scanline < ci->output_height) {
        JSAMPROW row = out->data.data() + static_cast<size_t>(ci->output_scanline) * w * 4;
        if (jpeg_read_scanlines(ci, &row, 1) != 1) return GFX_IMG_TRUNCATED;
        if (je->warnings) return GFX_IMG_TRUNCATED;
    }
    jpeg_finish_decompress(ci);
    return je->warnings ? GFX_IMG_TRUNCATED : GFX_IMG_OK;
}

int jpeg_decode(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side,
                bool pixels)
{
    if (!data || !out) return fail(err, GFX_IMG_BAD_HEADER);
    const auto* p = static_cast<const uint8_t*>(data);
    if (size < 4 || p[0] != 0xFF || p[1] != 0xD8 || p[2] != 0xFF)
        return fail(err, GFX_IMG_UNKNOWN_KIND);
    jpeg_decompress_struct ci;
    JpegErr je;
    std::memset(&ci, 0, sizeof ci);
    std::memset(&je, 0, sizeof je);
    ci.err = jpeg_std_error(&je.mgr);
    je.mgr.error_exit = jpeg_on_error;
    je.mgr.emit_message = jpeg_on_message;
    je.mgr.output_message = jpeg_silent;
    const int r = jpeg_run(&ci, &je, data, size, out, pixels, max_side);
    jpeg_destroy_decompress(&ci);
    return finish(r, out, err);
}
}  // namespace

// ---------------------------------------------------------------------------
// DDS: the 4-byte magic, a 124-byte header, then the levels packed.
// ---------------------------------------------------------------------------
namespace {
constexpr uint32_t GFX_DDSD_PITCH = 0x8;
constexpr uint32_t GFX_DDSD_MIPMAPCOUNT = 0x20000;
constexpr uint32_t GFX_DDPF_ALPHAPIXELS = 0x1;
constexpr uint32_t GFX_DDPF_ALPHA = 0x2;
constexpr uint32_t GFX_DDPF_FOURCC = 0x4;
constexpr uint32_t GFX_DDPF_RGB = 0x40;
constexpr uint32_t GFX_DDPF_LUMINANCE = 0x20000;
constexpr uint32_t GFX_DDSCAPS2_CUBEMAP = 0x200;
constexpr uint32_t GFX_DDSCAPS2_VOLUME = 0x200000;

constexpr uint32_t fourcc(char a, char b, char c, char d)
{
    const uint8_t code[4] = {uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)};
    return plat_le_get32(code);
}

GfxFormat dds_format(const uint8_t* pf)
{
    uint32_t flags = plat_le_get32(pf + 4), cc = plat_le_get32(pf + 8),
             bits = plat_le_get32(pf + 12);
    uint32_t r = plat_le_get32(pf + 16), g = plat_le_get32(pf + 20), b = plat_le_get32(pf + 24),
             a = plat_le_get32(pf + 28);
    if (flags & GFX_DDPF_FOURCC) {
        switch (cc) {
        case fourcc('D', 'X', 'T', '1'): return GFX_FMT_DXT1;
        case fourcc('D', 'X', 'T', '2'): return GFX_FMT_DXT2;
        case fourcc('D', 'X', 'T', '3'): return GFX_FMT_DXT3;
        case fourcc('D', 'X', 'T', '4'): return GFX_FMT_DXT4;
        case fourcc('D', 'X', 'T', '5'): return GFX_FMT_DXT5;
        case 36: return GFX_FMT_A16B16G16R16;  // Direct3D format numbers as FourCC
        case 111: return GFX_FMT_R16F;
        case 112: return GFX_FMT_G16R16F;
        case 113: return GFX_FMT_A16B16G16R16F;
        case 114: return GFX_FMT_R32F;
        case 115: return GFX_FMT_G32R32F;
        case 116: return GFX_FMT_A32B32G32R32F;
        default: return GFX_FMT_UNKNOWN;
        }
    }
    bool has_a = flags & GFX_DDPF_ALPHAPIXELS;
    if (flags & GFX_DDPF_RGB) {
        if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF)
            return has_a && a == 0xFF000000u ? GFX_FMT_A8R8G8B8 : GFX_FMT_X8R8G8B8;
        if (bits == 32 && r == 0x3FF00000 && g == 0xFFC00 && b == 0x3FF) return GFX_FMT_A2R10G10B10;
        if (bits == 32 && r == 0x3FF && g == 0xFFC00 && b == 0x3FF00000) return GFX_FMT_A2B10G10R10;
        if (bits == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return GFX_FMT_R8G8B8;
        if (bits == 16 && r == 0xF800 && g == 0x7E0 && b == 0x1F) return GFX_FMT_R5G6B5;
        if (bits == 16 && r == 0x7C00 && g == 0x3E0 && b == 0x1F)
            return has_a && a == 0x8000 ? GFX_FMT_A1R5G5B5 : GFX_FMT_X1R5G5B5;
        if (bits == 16 && r == 0xF00 && g == 0xF0 && b == 0xF && has_a && a == 0xF000)
            return GFX_FMT_A4R4G4B4;
        return GFX_FMT_UNKNOWN;
    }
    if (flags & GFX_DDPF_LUMINANCE) {
        if (bits == 8 && r == 0xFF && !has_a) return GFX_FMT_L8;
        if (bits == 16 && r == 0xFF && has_a && a == 0xFF00) return GFX_FMT_A8L8;
        return GFX_FMT_UNKNOWN;
    }
    if ((flags & GFX_DDPF_ALPHA) && bits == 8 && a == 0xFF) return GFX_FMT_A8;
    return GFX_FMT_UNKNOWN;
}
}  // namespace

namespace {
int dds_decode(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side,
               bool pixels)
{
    if (!data || !out) return fail(err, GFX_IMG_BAD_HEADER);
    const auto* p = static_cast<const uint8_t*>(data);
    if (size < 4 || std::memcmp(p, "DDS ", 4) != 0) return fail(err, GFX_IMG_UNKNOWN_KIND);
    if (size < GFX_IMAGE_DDS_DATA) return fail(err, GFX_IMG_TRUNCATED);
    const uint8_t* h = p + 4;
    if (plat_le_get32(h) != 124 || plat_le_get32(h + 72) != 32)
        return fail(err, GFX_IMG_BAD_HEADER);
    uint32_t flags = plat_le_get32(h + 4), height = plat_le_get32(h + 8),
             width = plat_le_get32(h + 12);
    uint32_t pitch = plat_le_get32(h + 16), mips = plat_le_get32(h + 24),
             caps2 = plat_le_get32(h + 108);
    if (!size_ok(width, height)) return fail(err, GFX_IMG_BAD_HEADER);
    if (caps2 & (GFX_DDSCAPS2_CUBEMAP | GFX_DDSCAPS2_VOLUME)) return fail(err, GFX_IMG_UNSUPPORTED);
    GfxFormat fmt = dds_format(h + 72);
    if (fmt == GFX_FMT_UNKNOWN) return fail(err, GFX_IMG_UNSUPPORTED);
    int w = static_cast<int>(width), ht = static_cast<int>(height);
    int chain = 1;
    for (int a = w, b = ht; a > 1 || b > 1; a = a > 1 ? a / 2 : 1, b = b > 1 ? b / 2 : 1) ++chain;
    int levels = ((flags & GFX_DDSD_MIPMAPCOUNT) && mips > 0) ? static_cast<int>(mips) : 1;
    if (mips > static_cast<uint32_t>(chain) || levels > GFX_IMAGE_MAX_LEVELS)
        return fail(err, GFX_IMG_BAD_HEADER);
    if (!gfx_format_block_bytes(fmt) && (flags & GFX_DDSD_PITCH) && pitch != 0 &&
        pitch != static_cast<uint32_t>(w * gfx_format_bytes_per_pixel(fmt)))
        return fail(err, GFX_IMG_UNSUPPORTED);  // padded rows are not taken
    size_t total = 0;
    size_t offs[GFX_IMAGE_MAX_LEVELS], sizes[GFX_IMAGE_MAX_LEVELS];
    for (int l = 0, lw = w, lh = ht; l < levels; ++l) {
        offs[l] = total;
        sizes[l] = gfx_format_level_size(fmt, lw, lh);
        total += sizes[l];
        lw = lw > 1 ? lw / 2 : 1, lh = lh > 1 ? lh / 2 : 1;
    }
    if (total > size - GFX_IMAGE_DDS_DATA) return fail(err, GFX_IMG_TRUNCATED);
    if (!fits(width, height, total, max_side)) return fail(err, GFX_IMG_TOO_LARGE);
    *out = GfxImage{};
    out->width = w, out->height = ht, out->levels = levels, out->format = fmt;
    out->file_kind = GFX_FILE_DDS;
    if (pixels) out->data.assign(p + GFX_IMAGE_DDS_DATA, p + GFX_IMAGE_DDS_DATA + total);
    for (int l = 0; l < levels; ++l) out->level_offset[l] = offs[l], out->level_size[l] = sizes[l];
    if (err) *err = GFX_IMG_OK;
    return 1;
}
}  // namespace

namespace {
int decode_by_kind(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side,
                   bool pixels)
{
    if (!data || !out) return fail(err, GFX_IMG_BAD_HEADER);
    *out = GfxImage{};  // a refusal of any kind keeps nothing of an earlier picture
    const auto* p = static_cast<const uint8_t*>(data);
    if (size >= 4 && std::memcmp(p, "DDS ", 4) == 0)
        return dds_decode(data, size, out, err, max_side, pixels);
    if (size >= 8 && png_sig_cmp(p, 0, 8) == 0)
        return png_decode(data, size, out, err, max_side, pixels);
    if (size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF)
        return jpeg_decode(data, size, out, err, max_side, pixels);
    return fail(err, GFX_IMG_UNKNOWN_KIND);
}
}  // namespace

int gfx_image_decode(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side)
{
    return decode_by_kind(data, size, out, err, max_side, true);
}

int gfx_image_probe(const void* data, size_t size, GfxImage* out, GfxImageError* err, int max_side)
{
    return decode_by_kind(data, size, out, err, max_side, false);
}

// gfx_image: image file decoding for textures (PNG, JPEG, DDS).
//
// What it provides: pure CPU decoding of a whole file held in memory into
// levels in a texture format, in Direct3D layout (rows top first, packed).
// PNG: RGB -> X8R8G8B8, RGBA and palette -> A8R8G8B8, grey -> L8, grey with
// alpha -> A8L8 (a tRNS key adds alpha), 16-bit channels cut to their high
// byte, no gamma applied, interlaced or not. JPEG -> X8R8G8B8; a CMYK or YCCK
// JPEG is UNSUPPORTED. DDS keeps its format when it is one of the 24 colour
// formats (mip levels as stored), else it is refused.
//
// Every size in the file is checked against the data before use; truncated
// or hostile data gives 0 and a reason, never a read past the buffer. A
// header announcing a side beyond max_side (the caller passes the device's
// largest texture) or more than PLAT_DATA_FILE_MAX bytes of decoded pixels is
// refused before anything is decoded or allocated for its pixels.
// No GL: tests and tools call it without a device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plat/gfx.h"

constexpr int GFX_IMAGE_MAX_SIZE = 16384;  // largest width or height taken
constexpr int GFX_IMAGE_MAX_LEVELS = 15;

enum GfxImageError : int {
    GFX_IMG_OK = 0,
    GFX_IMG_UNKNOWN_KIND,  // not PNG, JPEG or DDS
    GFX_IMG_TRUNCATED,     // the data ends before what the header promises
    GFX_IMG_BAD_HEADER,    // sizes or fields out of range
    GFX_IMG_UNSUPPORTED,   // a valid file in a format we do not take
    GFX_IMG_DECODE,        // the library refused the data
    GFX_IMG_TOO_LARGE,     // more pixels than max_side or the decoded ceiling allow
};

struct GfxImage {
    int width = 0, height = 0;
    int levels = 0;  // 1..GFX_IMAGE_MAX_LEVELS
    GfxFormat format = GFX_FMT_UNKNOWN;
    int file_kind = 0;          // GfxFileFormat (gfx_tex.h)
    std::vector<uint8_t> data;  // all levels, one after the other
    size_t level_offset[GFX_IMAGE_MAX_LEVELS] = {};
    size_t level_size[GFX_IMAGE_MAX_LEVELS] = {};
};

// Decodes by content (magic bytes). Returns 1, or 0 with *err set.
int gfx_image_decode(const void* data, size_t size, GfxImage* out, GfxImageError* err,
                     int max_side = GFX_IMAGE_MAX_SIZE);
// What gfx_image_decode would give, read from the header alone: sizes,
// format, levels and their sizes, with `data` left empty. Refuses what the
// header shows the same way, so nothing is decoded or allocated for pixels.
int gfx_image_probe(const void* data, size_t size, GfxImage* out, GfxImageError* err,
                    int max_side = GFX_IMAGE_MAX_SIZE);

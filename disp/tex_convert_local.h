// disp/tex_convert_local: pixel conversion, the texture manager's own: row converters and DXT
// block decoders for texture levels already in memory (no image file is read here).
//
// Pure CPU code, main thread or any thread. Converts rectangles of a texture
// level held in its own surface format (chosen by surface-format index, see
// disp/rstate.h) into packed 32-bit 0xAARRGGBB pixels. Reached through
// tex_read_rect_argb; tests call it directly.
//
// Every converter reads a rectangle (x, y, w, h) of a source level whose rows
// lie `pitch` bytes apart inside `src`, and writes w * h packed pixels into
// `dst` (w pixels per row). A rectangle that does not fit the source bytes is
// refused (result 0, destination zero-filled), never read past.
#pragma once

#include <cstdint>
#include <span>

// 1 when the format has a converter and the pixels were written; 0 when it
// has none or the rectangle does not fit `src` (dst is then filled with 0).
int tex_row_convert(int fmt_index, std::span<uint32_t> dst, std::span<const uint8_t> src, int x,
                    int y, int w, int h, int pitch);

// Block-compressed formats (indices 13 to 17, DXT1 to DXT5). Decodes every
// block that the rectangle touches and copies the rectangle's own pixels, so
// rectangles need not be aligned to 4. 0 for other formats or a rectangle that
// does not fit `src`.
int dxt_decode_rect(std::span<uint32_t> dst, std::span<const uint8_t> src, int x, int y, int w,
                    int h, int pitch, int fmt_index);

// One 4 x 4 block, 16 pixels row by row. The colour decoder replaces red,
// green and blue and keeps the alpha already in `px` (index 3 of a block with
// c0 <= c1 gets alpha 0). The alpha decoders set alpha and clear the colour.
void dxt_decode_color(uint32_t px[16], const uint8_t block[8]);
void dxt_decode_alpha4(uint32_t px[16], const uint8_t block[8]);
void dxt_decode_alpha8(uint32_t px[16], const uint8_t block[8]);

// One pixel of a non-block format as 0xAARRGGBB; 0 for formats without a
// converter. `p` points at the pixel's first byte.
uint32_t tex_pixel_to_argb(int fmt_index, const uint8_t* p);

// Bytes per pixel of the uncompressed formats that have a converter or a
// plain copy (A8R8G8B8, X8R8G8B8, R32F: 4; the 16-bit formats: 2; R8G8B8: 3;
// A8, L8: 1); 0 for any other format.
int tex_fmt_bytes_per_pixel(int fmt_index);

// Pixel conversion: row converters and DXT block decoders (see tex_convert_local.h).
#include "disp/tex_convert_local.h"

#include <algorithm>
#include <cstring>

#include "disp/rstate.h"
#include "math/vm_color.h"
#include "plat/byte_order.h"

namespace {

// 5-bit and 6-bit channels widened with their top bits replicated below.
uint32_t widen5(uint32_t c) { return c * 8 + (c & 7); }
uint32_t widen6(uint32_t c) { return c * 4 + (c & 3); }

bool is_dxt(int fmt) { return fmt >= DISP_SF_DXT1 && fmt <= DISP_SF_DXT5; }

int dxt_block_bytes(int fmt) { return fmt == DISP_SF_DXT1 ? 8 : 16; }

bool rect_ok(std::span<uint32_t> dst, int x, int y, int w, int h, int pitch)
{
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || pitch <= 0) return false;
    return uint64_t(w) * uint64_t(h) <= dst.size();
}

void zero_fill(std::span<uint32_t> dst, int w, int h)
{
    if (w <= 0 || h <= 0) return;
    uint64_t n = std::min<uint64_t>(uint64_t(w) * uint64_t(h), dst.size());
    std::fill_n(dst.begin(), n, 0u);
}

// End colour of a DXT colour block: red and blue * 8, green * 4, no
// replication of the low bits.
void expand565(uint16_t c, uint32_t rgb[3])
{
    rgb[0] = ((c >> 11) & 31) * 8;
    rgb[1] = ((c >> 5) & 63) * 4;
    rgb[2] = (c & 31) * 8;
}

}  // namespace

uint32_t tex_pixel_to_argb(int fmt, const uint8_t* p)
{
    switch (fmt) {
    case DISP_SF_A8R8G8B8:
    case DISP_SF_X8R8G8B8: return plat_le_get32(p);
    case DISP_SF_A1R5G5B5:
    case DISP_SF_X1R5G5B5: {
        uint32_t v = plat_le_get16(p);
        return color_pack_argb(widen5((v >> 10) & 31), widen5((v >> 5) & 31), widen5(v & 31),
                               (v & 0x8000) ? 255 : 0);
    }
    case DISP_SF_R5G6B5: {
        uint32_t v = plat_le_get16(p);
        return color_pack_argb(widen5((v >> 11) & 31), widen6((v >> 5) & 63), widen5(v & 31), 255);
    }
    case DISP_SF_R8G8B8: return color_pack_argb(p[2], p[1], p[0], 255);
    case DISP_SF_A4R4G4B4: {
        uint32_t v = plat_le_get16(p);
        return color_pack_argb(((v >> 8) & 15) * 17, ((v >> 4) & 15) * 17, (v & 15) * 17,
                               ((v >> 12) & 15) * 17);
    }
    case DISP_SF_A8: return color_pack_argb(255, 255, 255, p[0]);
    case DISP_SF_L8: return color_pack_argb(p[0], p[0], p[0], 255);
    case DISP_SF_A8L8: return color_pack_argb(p[0], p[0], p[0], p[1]);
    default: return 0;
    }
}

int tex_fmt_bytes_per_pixel(int fmt)
{
    switch (fmt) {
    case DISP_SF_A8R8G8B8:
    case DISP_SF_X8R8G8B8:
    case DISP_SF_R32F: return 4;
    case DISP_SF_A1R5G5B5:
    case DISP_SF_X1R5G5B5:
    case DISP_SF_R5G6B5:
    case DISP_SF_A4R4G4B4:
    case DISP_SF_A8L8: return 2;
    case DISP_SF_R8G8B8: return 3;
    case DISP_SF_A8:
    case DISP_SF_L8: return 1;
    default: return 0;
    }
}

void dxt_decode_color(uint32_t px[16], const uint8_t block[8])
{
    uint16_t c0 = plat_le_get16(block), c1 = plat_le_get16(block + 2);
    uint32_t pal[4][3];
    expand565(c0, pal[0]);
    expand565(c1, pal[1]);
    bool four = c0 > c1;
    for (int ch = 0; ch < 3; ++ch) {
        uint32_t a = pal[0][ch], b = pal[1][ch];
        if (four) {
            pal[2][ch] = (2 * a + b + 1) / 3;
            pal[3][ch] = (a + 2 * b + 1) / 3;
        } else {
            pal[2][ch] = pal[3][ch] = (a + b + 1) / 2;
        }
    }
    for (int row = 0; row < 4; ++row) {
        uint8_t bits = block[4 + row];
        for (int col = 0; col < 4; ++col) {
            int idx = (bits >> (2 * col)) & 3;
            uint32_t& d = px[row * 4 + col];
            const uint32_t alpha = !four && idx == 3 ? 0 : color_a(d);
            d = color_pack_argb(pal[idx][0], pal[idx][1], pal[idx][2], alpha);
        }
    }
}

void dxt_decode_alpha4(uint32_t px[16], const uint8_t block[8])
{
    for (int row = 0; row < 4; ++row) {
        uint16_t bits = plat_le_get16(block + 2 * row);
        for (int col = 0; col < 4; ++col)
            px[row * 4 + col] = uint32_t((bits >> (4 * col)) & 15) * 17 << 24;
    }
}

void dxt_decode_alpha8(uint32_t px[16], const uint8_t block[8])
{
    uint32_t a0 = block[0], a1 = block[1];
    uint32_t pal[8];
    pal[0] = a0;
    pal[1] = a1;
    if (a0 > a1) {
        for (uint32_t c = 2; c < 8; ++c) pal[c] = ((8 - c) * a0 + (c - 1) * a1) / 7;
    } else {
        for (uint32_t c = 2; c < 6; ++c) pal[c] = ((6 - c) * a0 + (c - 1) * a1) / 5;
        pal[6] = 0;
        pal[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) px[i] = pal[(bits >> (3 * i)) & 7] << 24;
}

int dxt_decode_rect(std::span<uint32_t> dst, std::span<const uint8_t> src, int x, int y, int w,
                    int h, int pitch, int fmt)
{
    if (!is_dxt(fmt) || !rect_ok(dst, x, y, w, h, pitch)) return 0;
    const int bb = dxt_block_bytes(fmt);
    const int bx0 = x / 4, by0 = y / 4;
    const int bx1 = (x + w - 1) / 4, by1 = (y + h - 1) / 4;
    // The last block the rectangle touches must lie inside the source.
    uint64_t need = uint64_t(by1) * uint64_t(pitch) + uint64_t(bx1 + 1) * uint64_t(bb);
    if (uint64_t(bx1 + 1) * uint64_t(bb) > uint64_t(pitch) || need > src.size()) return 0;

    for (int by = by0; by <= by1; ++by) {
        for (int bx = bx0; bx <= bx1; ++bx) {
            const uint8_t* blk = src.data() + size_t(by) * size_t(pitch) + size_t(bx) * size_t(bb);
            uint32_t px[16];
            if (fmt == DISP_SF_DXT1) {
                std::fill_n(px, 16, 0xFF000000u);
            } else if (fmt == DISP_SF_DXT2 || fmt == DISP_SF_DXT3) {
                dxt_decode_alpha4(px, blk);
                blk += 8;
            } else {
                dxt_decode_alpha8(px, blk);
                blk += 8;
            }
            dxt_decode_color(px, blk);
            for (int j = 0; j < 4; ++j) {
                int ty = by * 4 + j;
                if (ty < y || ty >= y + h) continue;
                for (int i = 0; i < 4; ++i) {
                    int tx = bx * 4 + i;
                    if (tx < x || tx >= x + w) continue;
                    dst[size_t(ty - y) * size_t(w) + size_t(tx - x)] = px[j * 4 + i];
                }
            }
        }
    }
    return 1;
}

int tex_row_convert(int fmt, std::span<uint32_t> dst, std::span<const uint8_t> src, int x, int y,
                    int w, int h, int pitch)
{
    if (is_dxt(fmt)) {
        if (dxt_decode_rect(dst, src, x, y, w, h, pitch, fmt)) return 1;
        zero_fill(dst, w, h);
        return 0;
    }
    int bpp = fmt == DISP_SF_R32F ? 0 : tex_fmt_bytes_per_pixel(fmt);
    if (bpp == 0 || !rect_ok(dst, x, y, w, h, pitch)) {
        zero_fill(dst, w, h);
        return 0;
    }
    uint64_t row_end = uint64_t(x + w) * uint64_t(bpp);
    uint64_t need = uint64_t(y + h - 1) * uint64_t(pitch) + row_end;
    if (row_end > uint64_t(pitch) || need > src.size()) {
        zero_fill(dst, w, h);
        return 0;
    }
    for (int j = 0; j < h; ++j) {
        const uint8_t* row = src.data() + size_t(y + j) * size_t(pitch) + size_t(x) * size_t(bpp);
        uint32_t* out = dst.data() + size_t(j) * size_t(w);
        if (bpp == 4) {
            std::memcpy(out, row, size_t(w) * 4);
        } else {
            for (int i = 0; i < w; ++i)
                out[i] = tex_pixel_to_argb(fmt, row + size_t(i) * size_t(bpp));
        }
    }
    return 1;
}

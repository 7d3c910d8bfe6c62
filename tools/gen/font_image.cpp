// The bitmap font images: glyphs rendered with FreeType into their cells, then encoded as DDS or
// PNG (see font_image.h).
#include "tools/gen/font_image.h"

#include "tools/gen/image_file.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace {

constexpr int columns_per_row = 16;
constexpr int first_code = 32;

struct CellLayout {
    int image_w, image_h;
    int cell_w, cell_h;
};

// How the glyphs of one image are drawn. Mono rendering gives hard-edged
// glyphs that stay crisp when the point-filtered fonts are scaled up; kana
// squeezed into the narrowest cells stay legible only with grey coverage.
struct GlyphStyle {
    int latin_px_w, latin_px_h;  // pixel size of the Latin face
    bool latin_mono;
    int kana_px_w, kana_px_h;  // pixel size of the kana face (narrowed into half-width cells)
    bool kana_mono;
};

// Alpha plane of one image; glyph pixels are clipped to their own cell so
// that no glyph bleeds into a neighbour under point sampling.
struct AlphaImage {
    CellLayout layout;
    std::vector<unsigned char> alpha;
};

// Whole cells only: a partial last row would clip its glyphs.
int cell_count(const CellLayout& layout)
{
    return columns_per_row * (layout.image_h / layout.cell_h);
}

struct Faces {
    FT_Library library = nullptr;
    FT_Face latin = nullptr;
    FT_Face kana = nullptr;

    ~Faces()
    {
        if (kana) FT_Done_Face(kana);
        if (latin) FT_Done_Face(latin);
        if (library) FT_Done_FreeType(library);
    }
};

int faces_open(Faces& faces, const FontSources& sources)
{
    return FT_Init_FreeType(&faces.library) == 0 &&
           FT_New_Face(faces.library, sources.latin_path.c_str(), 0, &faces.latin) == 0 &&
           FT_New_Face(faces.library, sources.kana_path.c_str(), 0, &faces.kana) == 0;
}

// Coverage of bitmap pixel (x, y), 0..255, for mono and grey bitmaps.
int bitmap_coverage(const FT_Bitmap& bitmap, int x, int y)
{
    const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
        return (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
    return row[x];
}

// Moves a span [start, start + length) into [0, limit) where it fits.
int shift_inside(int start, int length, int limit)
{
    if (start + length > limit) start = limit - length;
    return std::max(start, 0);
}

// Renders one character of the face into glyph cell `index`, its pen origin
// at `baseline` rows below the cell top and the advance centred in the cell.
// 1 when the glyph was drawn (or is blank), 0 when the face lacks it.
int draw_glyph(AlphaImage& image, FT_Face face, unsigned codepoint, int index, int baseline,
               bool mono)
{
    const FT_UInt glyph = FT_Get_Char_Index(face, codepoint);
    if (glyph == 0) return 0;
    const FT_Int32 flags = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    if (FT_Load_Glyph(face, glyph, flags) != 0) return 0;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    const CellLayout& l = image.layout;

    const int advance = int(slot->advance.x >> 6);
    const int left =
        shift_inside((l.cell_w - advance) / 2 + slot->bitmap_left, int(bitmap.width), l.cell_w);
    const int top = shift_inside(baseline - slot->bitmap_top, int(bitmap.rows), l.cell_h);
    const int cell_x = (index % columns_per_row) * l.cell_w;
    const int cell_y = (index / columns_per_row) * l.cell_h;

    for (int y = 0; y < int(bitmap.rows) && top + y < l.cell_h; ++y)
        for (int x = 0; x < int(bitmap.width) && left + x < l.cell_w; ++x) {
            const size_t at =
                size_t(cell_y + top + y) * size_t(l.image_w) + size_t(cell_x + left + x);
            image.alpha[at] = static_cast<unsigned char>(bitmap_coverage(bitmap, x, y));
        }
    return 1;
}

// Baseline that centres the ink of the characters first..last in the cell,
// so that every glyph of the set shares it.
int centred_baseline(FT_Face face, unsigned first, unsigned last, const CellLayout& layout,
                     bool mono)
{
    const FT_Int32 flags = FT_LOAD_DEFAULT | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    int above = 0, below = 0;
    for (unsigned c = first; c <= last; ++c) {
        if (FT_Load_Char(face, c, flags) != 0) continue;
        const FT_Glyph_Metrics& m = face->glyph->metrics;
        above = std::max(above, int((m.horiBearingY + 63) >> 6));
        below = std::max(below, int((m.height - m.horiBearingY + 63) >> 6));
    }
    return std::max(0, (layout.cell_h - above - below + 1) / 2) + above;
}

// Draws ASCII 33..126 and the hiragana that fit; 1 on success.
int render_font(AlphaImage& image, const FontSources& sources, const GlyphStyle& style)
{
    Faces faces;
    if (!faces_open(faces, sources)) return 0;
    const CellLayout& l = image.layout;
    image.alpha.assign(size_t(l.image_w) * size_t(l.image_h), 0);
    const int cells = cell_count(l);

    if (FT_Set_Pixel_Sizes(faces.latin, FT_UInt(style.latin_px_w), FT_UInt(style.latin_px_h)) != 0)
        return 0;
    const int latin_base = centred_baseline(faces.latin, first_code + 1, 126, l, style.latin_mono);
    for (int c = first_code + 1; c < 127 && c - first_code < cells; ++c)
        if (!draw_glyph(image, faces.latin, unsigned(c), font_glyph_index_single(c), latin_base,
                        style.latin_mono))
            return 0;

    if (FT_Set_Pixel_Sizes(faces.kana, FT_UInt(style.kana_px_w), FT_UInt(style.kana_px_h)) != 0)
        return 0;
    const unsigned kana_last =
        font_kana_first_codepoint + unsigned(font_kana_last_trail - font_kana_first_trail);
    const int kana_base =
        centred_baseline(faces.kana, font_kana_first_codepoint, kana_last, l, style.kana_mono);
    for (int d = font_kana_first_trail; d <= font_kana_last_trail; ++d) {
        const int index = font_glyph_index_double(0x82, d);
        if (index >= cells) break;
        const unsigned codepoint = font_kana_first_codepoint + unsigned(d - font_kana_first_trail);
        if (!draw_glyph(image, faces.kana, codepoint, index, kana_base, style.kana_mono)) return 0;
    }
    return 1;
}

std::vector<unsigned char> white_rgba(const std::vector<unsigned char>& alpha)
{
    std::vector<unsigned char> rgba(alpha.size() * 4, 0xFF);
    for (size_t i = 0; i < alpha.size(); ++i) rgba[4 * i + 3] = alpha[i];
    return rgba;
}

std::vector<unsigned char> render_png(const FontSources& sources, const CellLayout& layout,
                                      const GlyphStyle& style)
{
    AlphaImage image{layout, {}};
    if (!render_font(image, sources, style)) return {};
    return image_encode_png(layout.image_w, layout.image_h, 4, white_rgba(image.alpha));
}

}  // namespace

std::vector<unsigned char> font_image_font1_dds(const FontSources& sources)
{
    AlphaImage image{{128, 128, 8, 16}, {}};
    if (!render_font(image, sources, {12, 14, true, 8, 13, true})) return {};
    return image_encode_dds_a8l8(128, 128, image.alpha);
}

std::vector<unsigned char> font_image_font6x11_png(const FontSources& sources)
{
    return render_png(sources, {128, 128, 6, 11}, {10, 10, true, 6, 10, false});
}

std::vector<unsigned char> font_image_f1632_png(const FontSources& sources)
{
    return render_png(sources, {256, 512, 16, 32}, {26, 26, false, 16, 26, false});
}

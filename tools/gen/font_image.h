// The bitmap font images: white glyphs whose alpha is their coverage, laid
// out in cells of 16 columns per row from character code 32, cell origin
// (0, 0). Latin comes from a monospace face; the hiragana that the text
// renderer reaches through the Shift-JIS lead byte 0x82 come from a Japanese
// face, at their glyph indices wherever the image has room.
#pragma once

#include <string>
#include <vector>

struct FontSources {
    std::string latin_path;  // a monospace TrueType face (DejaVu Sans Mono)
    std::string kana_path;   // a face with hiragana (IPAGothic)
};

// The three images, encoded; each empty on failure (a face that cannot be
// read, say).
std::vector<unsigned char>
font_image_font1_dds(const FontSources& sources);  // 128 x 128 A8L8 DDS, 8 x 16 cells
std::vector<unsigned char>
font_image_font6x11_png(const FontSources& sources);  // 128 x 128 PNG, 6 x 11 cells
std::vector<unsigned char>
font_image_f1632_png(const FontSources& sources);  // 256 x 512 PNG, 16 x 32 cells

// Glyph index the text renderer uses for a Shift-JIS character: a single
// byte below 0x80, or a lead byte c >= 0x80 with trail byte d.
constexpr int font_glyph_index_single(int c) { return c - 32; }
constexpr int font_glyph_index_double(int c, int d) { return (c - 0x82) * 256 + d - 0x1E - 32; }

// The hiragana range, Shift-JIS 0x829F..0x82F1 (U+3041..U+3093).
constexpr int font_kana_first_trail = 0x9F;
constexpr int font_kana_last_trail = 0xF1;
constexpr unsigned font_kana_first_codepoint = 0x3041;

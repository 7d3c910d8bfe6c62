// font_local: the font module's tables, per-font state and bitmap-text
// layout, shared with its tests; callers draw through font.h.
#pragma once

#include <cstdint>

inline constexpr int FONT_MAX_GLYPHS_PER_RECORD = 1000;
inline constexpr int FONT_SYS_TEXT_MAX = 511;  // characters of a system-font text
inline constexpr const char* FONT_GROUP = "DFONT";

struct FontDesc {
    const char* file;  // image file name; its stem names the texture
    int builtin;       // 0: read from the font folder
    uint8_t filter;    // 0 point, 1 linear
    uint8_t columns;   // glyph cells per texture row
    uint8_t first_code;
    float size;            // nominal glyph height
    float width_ratio;     // glyph width / height
    float cell_u, cell_v;  // cell origin, texels
    float cell_w, cell_h;  // cell size, texels
};
const FontDesc& font_desc(int font);  // font 0 for an index outside 0..5

// Per-font values the bitmap renderer uses, filled by font_load_bitmap.
struct FontState {
    uint32_t handle;  // resource texture handle, 0 when not loaded
    int shift, mask;  // glyph index -> column and row
    float inv_size, inv_tex_w, inv_tex_h;
};
const FontState& font_state(int font);

int font_d3dx_ready(int font);  // 1 when the system font exists

struct TexVertexA;
// Lays out the bitmap-text record at `record` (as a text list holds it) into
// four vertices per glyph (top-left, top-right, bottom-left, bottom-right).
// Answers the glyph count, or -1 for no record or a font outside 0..5;
// *stop is set when the record holds more glyphs than one record may draw.
int font_bitmap_quads(const uint8_t* record, TexVertexA* out, bool* stop);

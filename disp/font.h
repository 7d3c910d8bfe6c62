// disp/font: the display's two font sets and the renderers of the two text
// draw lists.
//
// Six bitmap fonts (images in the resource group "DFONT": two built into the
// program, "f1632.png" from the font folder "FONT_DATA_PATH") draw the 64 KB
// list as textured quads; six system fonts (plat/sysfont) draw the 16 KB
// list. Both renderers rewind their list. The system fonts are released
// around a device reset and made again after it. Records naming a font
// outside 0..5 are skipped. Main thread only.
#pragma once

#include <cstdint>
#include <string>

inline constexpr int FONT_COUNT = 6;
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

void font_boot();
void font_shutdown();
void font_load_bitmap();
void font_create_d3dx();
void font_release_d3dx();
int font_d3dx_ready(int font);  // 1 when the system font exists
// Draw flag 0 only rewinds the list.
void font_draw_bitmap_text(int draw, int32_t slot);
void font_draw_d3dx_text(int draw, int32_t slot);
const std::string& font_get_path();

struct TexVertexA;
// Lays out the bitmap-text record at `record` (as a text list holds it) into
// four vertices per glyph (top-left, top-right, bottom-left, bottom-right).
// Answers the glyph count, or -1 for no record or a font outside 0..5;
// *stop is set when the record holds more glyphs than one record may draw.
int font_bitmap_quads(const uint8_t* record, TexVertexA* out, bool* stop);

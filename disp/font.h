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

void font_boot();
void font_shutdown();
void font_load_bitmap();
void font_create_d3dx();
void font_release_d3dx();
// Draw flag 0 only rewinds the list.
void font_draw_bitmap_text(int draw, int32_t slot);
void font_draw_d3dx_text(int draw, int32_t slot);
const std::string& font_get_path();

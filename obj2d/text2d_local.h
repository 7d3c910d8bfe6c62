// obj2d/text2d_local: what text2d.cpp shares with its white-box tests only:
// the glyph layout behind both the draw and the measure.
#pragma once

#include "obj2d/text2d.h"

// The layout of one pass into `out` (room for 4 x 128 vertices, or null);
// returns the number of glyph quads.
int text2d_layout(DrawObj* obj, bool shadow, TexVertexA* out, float* width, float* height);

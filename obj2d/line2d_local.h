// obj2d/line2d_local: what line2d.cpp shares with its white-box tests only:
// the quad a 2D line is drawn as.
#pragma once

#include "obj2d/line2d.h"

// The four vertices of a line's quad: A - o, A + o, B - o, B + o.
void line2d_quad(const Line2dWork* l, TexVertexA out[4]);

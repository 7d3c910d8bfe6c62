// obj2d/spr_local: what the sprite type (spr.cpp) shares with the twin
// sprite built on its record (spr2.cpp) and with their white-box tests: the
// creators' common steps, the effective filter and the quad of a record.
#pragma once

#include <cstdint>

#include "obj2d/spr.h"

// The creators' steps for a sprite-shaped type: alloc, type, the source (a
// crop, a whole texture, or a plain size w x h), placement and colour,
// visible, killed when one_frame, priority.
enum SprSource : int { SPR_FROM_CROP, SPR_FROM_TEX, SPR_PLAIN };
DrawObj* spr_create_typed(int type, SprSource source, ResHandle handle, float w, float h,
                          ResGroupId group, uint32_t colour, float x, float y, float pivot_x,
                          float pivot_y, float scale_x, float scale_y, int prio, bool one_frame);

// --- the quad ---------------------------------------------------------------------------
// Effective filter: own, or automatic (point only at scale 1, rotation 0,
// no matrix).
int spr_filter_of(const SprWork* s, bool matrix);
// The four vertices of a sprite record (steps of the run draw).
void spr_quad(const SprWork* s, const Mat3x2* extra, uint32_t extra_colour, TexVertexA out[4]);

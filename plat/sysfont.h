// plat/sysfont: system-font text drawn through the drawing device.
//
// A face is found with fontconfig: one that covers Japanese first (the
// program's own texts include Japanese), otherwise any face fontconfig
// offers. Glyphs are rasterised with FreeType (anti-aliased), kept per font,
// composed into one texture per text and drawn as one pre-transformed quad
// with the text's colour; layout follows the DrawText-style flags below.
// Texts are UTF-8; a byte sequence that is not UTF-8 draws as '?'.
//
// The draw sets render, sampler and texture-stage states directly: callers
// that cache device states reset their caches afterwards. Without a device
// every draw fails cleanly. Main thread only.
#pragma once

#include <cstdint>

#include "plat/gfx.h"

struct SysFont;

constexpr uint32_t SYSFONT_RIGHT = 1u << 0;
constexpr uint32_t SYSFONT_CENTER = 1u << 1;
constexpr uint32_t SYSFONT_BOTTOM = 1u << 2;
constexpr uint32_t SYSFONT_VCENTER = 1u << 3;
constexpr uint32_t SYSFONT_SINGLELINE = 1u << 4;  // '\n' does not break the line

// A font of the given pixel height (cell height) and nominal width; null
// when no face can be found or opened.
SysFont* sysfont_create(int height, int width);
void sysfont_release(SysFont* font);
// The file of the face fontconfig chose (empty when none).
const char* sysfont_face_file(const SysFont* font);

// Size in pixels of the text's lines as they would be drawn.
void sysfont_measure(SysFont* font, const char* utf8, uint32_t flags, int* width, int* height);
// Draws the text placed in the box (right and bottom exclusive) with
// 0xAARRGGBB; the text is not clipped to the box.
// 1 when something was drawn; 0 for an empty text, no device or a failure.
int sysfont_draw(SysFont* font, const char* utf8, const GfxRect& box, uint32_t flags,
                 uint32_t color);

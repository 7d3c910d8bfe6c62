// The bitmap-font text type: one line of 8-bit characters drawn with a
// bitmap font whose glyphs are consecutive texture crops "<font>_0000",
// "<font>_0001", ... of one texture; character code c uses glyph c - base.
// Text objects rotate, scale, align on an anchor, draw an optional drop
// shadow first and hand each glyph to an optional callback.
//
// Main thread. Characters are unsigned bytes.
#pragma once

#include "obj2d/obj2d.h"

constexpr int TEXT2D_MAX_CHARS = 128;

// What a glyph callback may change, with its defaults.
struct Text2dGlyph {
    float dx, dy;            // 0, 0
    float scale_x, scale_y;  // 1, 1
    float rot;               // 0, radians about the glyph's pivot
    float pivot_x, pivot_y;  // 0.5, 0.5
    uint32_t colour;         // the object's colour
};
using Text2dGlyphFn = void (*)(DrawObj* obj, int index, Text2dGlyph* glyph, void* arg);

struct Text2dWork {
    float x, y;                // anchor position, pixels
    float height;              // glyph height when |h| >= 0.001, else the font's
    float anchor_x, anchor_y;  // fraction of the text's width and height
    float scale_x, scale_y;
    float rot;             // radians about the position
    float glyph_h;         // the font's glyph height in pixels
    float advance;         // 0 proportional; else x height x scale x
    ResHandle first, end;  // glyph crops; nothing drawn while first is 0
    ResHandle tex;
    uint32_t colour;
    int16_t shader, blend;
    unsigned char params[OBJ2D_PARAM_BYTES];
    Text2dGlyphFn glyph_fn;
    void* glyph_arg;
    char text[TEXT2D_MAX_CHARS + 1];
    uint8_t base;  // character code of the first glyph
    uint16_t length;
    uint32_t shadow_flags;  // bit 0: shadow pass first
    float shadow_x, shadow_y;
    uint32_t shadow_colour;
};

void text2d_draw(DrawObj** run, int count);
// A run with an optional extra matrix and an extra colour (-1 none).
void text2d_draw_objs(DrawObj** run, int count, const Mat3x2* extra, uint32_t extra_colour);
void text2d_init(DrawObj* obj);
int text2d_type();

// --- creators (null when the pool is full) --------------------------------------------
DrawObj* text2d_create(ResGroupId group, const char* font_group, const char* font, int base,
                       uint32_t colour, float x, float y, float scale_x, float scale_y, int align,
                       int prio);
DrawObj* text2d_create_simple(ResGroupId group, const char* font_group, const char* font, int base,
                              float x, float y, int align, int prio);
// One frame; the text is formatted into 128 characters at most.
DrawObj* text2d_printf_1f(ResGroupId group, const char* font_group, const char* font, int base,
                          uint32_t colour, float x, float y, float scale_x, float scale_y,
                          int align, int prio, const char* format, ...)
    __attribute__((format(printf, 12, 13)));

// --- setters ----------------------------------------------------------------------------
// The font whose first glyph is the crop "<font>_0000" (font group null: any
// group); nothing changes when the crop or its texture is missing.
void text2d_set_font(DrawObj* obj, const char* font_group, const char* font, int base);
// At most 128 characters (a longer text changes nothing); null clears.
void text2d_set_text(DrawObj* obj, const char* text);
void text2d_printf(DrawObj* obj, const char* format, ...) __attribute__((format(printf, 2, 3)));
void text2d_set_pos(DrawObj* obj, float x, float y);
void text2d_set_height(DrawObj* obj, float h);
void text2d_set_anchor(DrawObj* obj, float x, float y);
// Anchor x: 0.5 with bit 1, else 1 with bit 0, else 0; y likewise with bits 3 and 2.
void text2d_set_align(DrawObj* obj, int flags);
void text2d_set_scale(DrawObj* obj, float x, float y);
void text2d_set_rot(DrawObj* obj, float rad);
void text2d_set_advance(DrawObj* obj, float factor);
void text2d_set_colour(DrawObj* obj, uint32_t colour);
void text2d_set_shader(DrawObj* obj, int set, const void* params, int bytes);
void text2d_set_blend(DrawObj* obj, int blend);
void text2d_shadow_enable(DrawObj* obj, int enable);
void text2d_set_shadow_offset(DrawObj* obj, float x, float y);
void text2d_set_shadow_colour(DrawObj* obj, uint32_t colour);
void text2d_set_shadow(DrawObj* obj, float x, float y, uint32_t colour);  // also enables
void text2d_set_glyph_callback(DrawObj* obj, Text2dGlyphFn fn, void* arg);

// --- getters ----------------------------------------------------------------------------
float text2d_get_x(const DrawObj* obj);
float text2d_get_y(const DrawObj* obj);
float text2d_get_height(const DrawObj* obj);
float text2d_get_anchor_x(const DrawObj* obj);
float text2d_get_anchor_y(const DrawObj* obj);
float text2d_get_scale_x(const DrawObj* obj);
float text2d_get_scale_y(const DrawObj* obj);
float text2d_get_rot(const DrawObj* obj);
int text2d_get_glyph_height(const DrawObj* obj);

// Runs the layout without drawing (the glyph callback is called as when
// drawing): total advance and largest row height into the non-null outputs.
void text2d_measure(DrawObj* obj, float* width, float* height);

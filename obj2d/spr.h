// The 2D sprite type: a screen-space textured quad with a position in
// pixels, size, pivot, scale, rotation or an own 2D matrix, colour, up to two
// textures with their UV corners, blend mode, shader set, filter and scissor
// rectangle. A run of sprites goes out in batches of up to 4096 quads.
//
// Main thread. Setters take the object first and check nothing about its
// type; the twin sprite (spr2.h) shares this record.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "obj2d/obj2d.h"

struct SprWork {
    float x, y;    // pixels
    float w, h;    // pixels before scaling
    float uv1[8];  // u, v of top-left, top-right, bottom-left, bottom-right
    float uv2[8];
    float pivot_x, pivot_y;  // fractions of the size
    float scale_x, scale_y;
    float rot;             // radians about the pivot
    Mat3x2 mat;            // used instead of position, scale, rotation when use_mat
    uint32_t colour;       // ARGB
    ResHandle tex1, tex2;  // 0 = none
    int16_t shader;        // 0 = none (fixed function)
    int16_t blend;         // blend-mode index
    int16_t filter;        // filter index, -1 automatic
    uint8_t use_mat;
    uint8_t uv_rot1, uv_rot2;    // quarter turns 0..3
    uint8_t uv_flip1, uv_flip2;  // bit 2 horizontal, bit 3 vertical
    unsigned char params[OBJ2D_PARAM_BYTES];
    int16_t sc_x, sc_y, sc_w, sc_h;  // scissor; width 0 = none
};

// --- type callbacks (registered by obj2d_type_register) ------------------------------
void spr_draw(DrawObj** run, int count);
void spr_init(DrawObj* obj);
int spr_type();

// A run of sprites with an optional extra matrix and extra colour (-1 none).
void spr_draw_objs(DrawObj** objs, int count, const Mat3x2* extra, uint32_t extra_colour);

// --- creators (null when the pool is full) ----------------------------------------------
DrawObj* spr_create_1f(ResGroupId group, ResHandle crop, uint32_t colour, float x, float y,
                       float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr_create_tex_1f(ResGroupId group, ResHandle tex, uint32_t colour, float x, float y,
                           float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr_create_plain_1f(ResGroupId group, uint32_t colour, float x, float y, float w, float h,
                             float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr_create(ResGroupId group, ResHandle crop, uint32_t colour, float x, float y,
                    float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr_create_tex(ResGroupId group, ResHandle tex, uint32_t colour, float x, float y,
                        float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr_create_plain(ResGroupId group, uint32_t colour, float x, float y, float w, float h,
                          float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);

// --- setters --------------------------------------------------------------------------------
void spr_set_pos(DrawObj* obj, float x, float y);
void spr_set_size(DrawObj* obj, float w, float h);
void spr_set_pivot(DrawObj* obj, float x, float y);
void spr_set_scale(DrawObj* obj, float x, float y);
void spr_set_rot(DrawObj* obj, float rad);
void spr_set_use_matrix(DrawObj* obj, int flag);
Mat3x2* spr_matrix(DrawObj* obj);
void spr_set_colour(DrawObj* obj, uint32_t colour);
void spr_set_filter(DrawObj* obj, int filter);
void spr_set_blend(DrawObj* obj, int blend);
void spr_set_shader(DrawObj* obj, int set);
void spr_set_scissor(DrawObj* obj, int x, int y, int w, int h);
void spr_set_uv_orient(DrawObj* obj, int rot, int flip);
void spr_set_uv2_orient(DrawObj* obj, int rot, int flip);
void spr_set_tex_handle(DrawObj* obj, ResHandle tex);
void spr_set_tex2_handle(DrawObj* obj, ResHandle tex);
// Texture with its real size and full UVs; nothing when it has no record.
void spr_set_tex(DrawObj* obj, ResHandle tex);
void spr_set_tex2(DrawObj* obj, ResHandle tex);
// Crop: size, UVs and texture 1; nothing when the crop or its texture is missing.
void spr_set_crop(DrawObj* obj, ResHandle crop);
void spr_set_crop2(DrawObj* obj, ResHandle crop);
void spr_set_uv_rect(DrawObj* obj, float left, float top, float right, float bottom);
void spr_set_uv2_rect(DrawObj* obj, float left, float top, float right, float bottom);
void spr_get_uv_rect(const DrawObj* obj, float* left, float* top, float* right, float* bottom);
void spr_get_uv2_rect(const DrawObj* obj, float* left, float* top, float* right, float* bottom);
void spr_set_uv(DrawObj* obj, const float uv[8]);
// UV corners of texture 1 (or 2) from the sprite's screen corners (as drawn,
// with the half-pixel offset): u = (corner x + x) / texture width,
// v = 1 - (corner y + y) / texture height, then scaled by `factor` about
// their centre. Nothing without a texture of nonzero size.
void spr_set_uv_screen(DrawObj* obj, float x, float y, float factor);
void spr_set_uv2_screen(DrawObj* obj, float x, float y, float factor);
void spr_set_uv2(DrawObj* obj, const float uv[8]);
// Shader parameters under the object's shader set (1 when stored).
int spr_set_param_int(DrawObj* obj, const char* name, const int32_t* v, int count);
int spr_set_param_float(DrawObj* obj, const char* name, const float* v, int count);
int spr_set_param_float2(DrawObj* obj, const char* name, const float* v, int count);
int spr_set_param_float3(DrawObj* obj, const char* name, const float* v, int count);
int spr_set_param_float4(DrawObj* obj, const char* name, const float* v, int count);
int spr_set_param_matrix(DrawObj* obj, const char* name, const float* v, int count);

// --- getters ----------------------------------------------------------------------------------
ResHandle spr_get_tex(const DrawObj* obj);
ResHandle spr_get_tex2(const DrawObj* obj);
float spr_get_x(const DrawObj* obj);
float spr_get_y(const DrawObj* obj);
float spr_get_rot(const DrawObj* obj);
float spr_get_w(const DrawObj* obj);
float spr_get_h(const DrawObj* obj);
float spr_get_pivot_x(const DrawObj* obj);
float spr_get_pivot_y(const DrawObj* obj);
float spr_get_scale_x(const DrawObj* obj);
float spr_get_scale_y(const DrawObj* obj);
uint32_t spr_get_colour(const DrawObj* obj);
int spr_get_use_matrix(const DrawObj* obj);

// --- hit tests in screen space (k scales the size) ---------------------------------------------
// Corners top-left, top-right, bottom-left, bottom-right without the
// half-pixel offset; 1 when the sprite is rotated.
int spr_get_corners(Vec2 out[4], const DrawObj* obj, float kx, float ky);
int spr_hit_point(const DrawObj* obj, float kx, float ky, float px, float py);
int spr_hit_circle(const DrawObj* obj, float kx, float ky, float cx, float cy, float radius);
int spr_hit_segment(const DrawObj* obj, float kx, float ky, const Vec2* a, const Vec2* b);
int spr_hit_sprite(const DrawObj* a, float kax, float kay, const DrawObj* b, float kbx, float kby);
// The byte of texture 1's 8-bit texel copy under a screen point; 0 outside
// the quad, for a zero size or UV extent, or without a copy.
uint8_t spr_sample(const DrawObj* obj, float px, float py);

// --- texture coordinates of a crop (also for the text type) ---------------------------------------
// UV corners (u, v), (u + du, v), (u, v + dv), (u + du, v + dv) of a crop.
void spr_uv_from_crop(float uv[8], const ResCrop* crop);

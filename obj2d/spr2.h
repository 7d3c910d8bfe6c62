// The twin sprite type: a sprite without the own matrix whose objects are
// each drawn in a draw call of their own, bracketed by a pre-draw and a
// post-draw callback so that a caller can change device or shader state for
// one sprite. Everything else is the sprite's (spr.h): the twin record starts
// with a SprWork, and the spr2_ setters are the sprite's.
//
// Main thread.
#pragma once

#include "obj2d/spr.h"

// pre(obj, arg) returns a value handed to post(obj, arg, value).
using Spr2PreFn = int (*)(DrawObj* obj, void* arg);
using Spr2PostFn = void (*)(DrawObj* obj, void* arg, int value);

struct Spr2Work {
    SprWork s;  // use_mat stays 0
    Spr2PreFn pre;
    Spr2PostFn post;
    void* arg;
};

// --- type callbacks -----------------------------------------------------------------------
void spr2_draw(DrawObj** run, int count);
void spr2_init(DrawObj* obj);
int spr2_type();

// --- creators (the sprite's arguments) --------------------------------------------------------
DrawObj* spr2_create_1f(ResGroupId group, ResHandle crop, uint32_t colour, float x, float y,
                        float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr2_create_tex_1f(ResGroupId group, ResHandle tex, uint32_t colour, float x, float y,
                            float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr2_create_plain_1f(ResGroupId group, uint32_t colour, float x, float y, float w, float h,
                              float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr2_create(ResGroupId group, ResHandle crop, uint32_t colour, float x, float y,
                     float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr2_create_tex(ResGroupId group, ResHandle tex, uint32_t colour, float x, float y,
                         float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);
DrawObj* spr2_create_plain(ResGroupId group, uint32_t colour, float x, float y, float w, float h,
                           float pivot_x, float pivot_y, float scale_x, float scale_y, int prio);

void spr2_set_callbacks(DrawObj* obj, Spr2PreFn pre, Spr2PostFn post, void* arg);
// UV corners and texture 1 from a crop; the size stays.
void spr2_set_crop_uv(DrawObj* obj, ResHandle crop);
// u of texture 1's first UV corner, v of its second.
float spr2_get_u(const DrawObj* obj);
float spr2_get_v(const DrawObj* obj);

// The sprite's setters and getters serve the twin's record unchanged.
inline constexpr auto spr2_set_pos = spr_set_pos;
inline constexpr auto spr2_set_size = spr_set_size;
inline constexpr auto spr2_set_pivot = spr_set_pivot;
inline constexpr auto spr2_set_scale = spr_set_scale;
inline constexpr auto spr2_set_rot = spr_set_rot;
inline constexpr auto spr2_set_colour = spr_set_colour;
inline constexpr auto spr2_set_filter = spr_set_filter;
inline constexpr auto spr2_set_blend = spr_set_blend;
inline constexpr auto spr2_set_shader = spr_set_shader;
inline constexpr auto spr2_set_scissor = spr_set_scissor;
inline constexpr auto spr2_set_tex_handle = spr_set_tex_handle;
inline constexpr auto spr2_set_tex2_handle = spr_set_tex2_handle;
inline constexpr auto spr2_get_tex = spr_get_tex;
inline constexpr auto spr2_get_tex2 = spr_get_tex2;
inline constexpr auto spr2_set_uv_rect = spr_set_uv_rect;
inline constexpr auto spr2_set_uv2_rect = spr_set_uv2_rect;
inline constexpr auto spr2_get_uv_rect = spr_get_uv_rect;
inline constexpr auto spr2_get_uv2_rect = spr_get_uv2_rect;
inline constexpr auto spr2_set_uv = spr_set_uv;
inline constexpr auto spr2_set_uv2 = spr_set_uv2;
inline constexpr auto spr2_set_uv_orient = spr_set_uv_orient;
inline constexpr auto spr2_set_uv_screen = spr_set_uv_screen;
inline constexpr auto spr2_set_uv2_screen = spr_set_uv2_screen;
inline constexpr auto spr2_set_uv2_orient = spr_set_uv2_orient;
inline constexpr auto spr2_set_tex = spr_set_tex;
inline constexpr auto spr2_set_tex2 = spr_set_tex2;
inline constexpr auto spr2_set_crop = spr_set_crop;
inline constexpr auto spr2_set_crop2 = spr_set_crop2;
inline constexpr auto spr2_set_param_int = spr_set_param_int;
inline constexpr auto spr2_set_param_float = spr_set_param_float;
inline constexpr auto spr2_set_param_float2 = spr_set_param_float2;
inline constexpr auto spr2_set_param_float3 = spr_set_param_float3;
inline constexpr auto spr2_set_param_float4 = spr_set_param_float4;
inline constexpr auto spr2_set_param_matrix = spr_set_param_matrix;
inline constexpr auto spr2_get_x = spr_get_x;
inline constexpr auto spr2_get_y = spr_get_y;
inline constexpr auto spr2_get_rot = spr_get_rot;
inline constexpr auto spr2_get_w = spr_get_w;
inline constexpr auto spr2_get_h = spr_get_h;
inline constexpr auto spr2_get_pivot_x = spr_get_pivot_x;
inline constexpr auto spr2_get_pivot_y = spr_get_pivot_y;
inline constexpr auto spr2_get_scale_x = spr_get_scale_x;
inline constexpr auto spr2_get_scale_y = spr_get_scale_y;
inline constexpr auto spr2_get_colour = spr_get_colour;
inline constexpr auto spr2_get_corners = spr_get_corners;
inline constexpr auto spr2_hit_point = spr_hit_point;
inline constexpr auto spr2_hit_circle = spr_hit_circle;
inline constexpr auto spr2_hit_segment = spr_hit_segment;
inline constexpr auto spr2_hit_sprite = spr_hit_sprite;
inline constexpr auto spr2_sample = spr_sample;

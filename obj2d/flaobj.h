// The vector-animation object type: a draw object that owns one player
// (fla.h) and places its movie on the screen with a position, pivot, scale,
// rotation and colour, forwards playback control to it, and draws the
// player's triangle batches with its own render state, optionally clipped to
// the placed stage rectangle. Also obj2d_draw_one, with which the player
// draws the objects bound to its assets.
//
// Main thread. Setters take the object first and check nothing about its
// type. An object whose player pool was exhausted holds no player; its
// forwards then do nothing and its getters answer 0.
#pragma once

#include <cstdint>

#include "math/vm_types.h"
#include "obj2d/fla.h"
#include "obj2d/obj2d.h"

constexpr uint32_t FLAOBJ_FVF = 0x144;

struct FlaObjWork {
    float x, y;              // screen pixels of the pivot
    float pivot_x, pivot_y;  // fractions of the stage
    float scale_x, scale_y;
    float rot;  // radians
    uint32_t colour;
    int16_t shader, blend, clip, filter;
    unsigned char params[OBJ2D_PARAM_BYTES];
    RenderStateKey key;  // rebuilt at every draw
    FlaPlayer* player;
};

// --- type callbacks (registered by obj2d_type_register) ------------------------------
void flaobj_draw(DrawObj** run, int count);
void flaobj_init(DrawObj* obj);
void flaobj_exit(DrawObj* obj);
int flaobj_type();

// A run with an optional extra matrix (applied after the placement) and an
// extra colour (-1 none).
void flaobj_draw_objs(DrawObj** objs, int count, const Mat3x2* extra, uint32_t extra_colour);
// Draws one sprite, text or vector-animation object with an extra matrix and
// colour; other types are not drawn.
void obj2d_draw_one(DrawObj* obj, const Mat3x2* extra, uint32_t extra_colour);

// --- creator (null when the pool is full) ----------------------------------------------
DrawObj* flaobj_create(ResGroupId group, ResHandle movie, float x, float y, float pivot_x,
                       float pivot_y, float scale_x, float scale_y, int prio);

// --- movie and playback -------------------------------------------------------------------
void flaobj_set_movie(DrawObj* obj, ResHandle movie);
struct FlaObjImage {
    const char* asset;
    const char* crop_group;
    const char* crop;
};
// movie -1 keeps the current movie.
void flaobj_set_images(DrawObj* obj, int64_t movie, const FlaObjImage* list, int count);
void flaobj_tick(DrawObj* obj);
void flaobj_resume(DrawObj* obj);
void flaobj_pause(DrawObj* obj);
void flaobj_rewind(DrawObj* obj);
void flaobj_set_speed(DrawObj* obj, float speed);
void flaobj_set_loop(DrawObj* obj, int flag);
DrawObj* flaobj_bind_obj(DrawObj* obj, const char* asset);
void flaobj_unbind_obj(DrawObj* obj, const char* asset);
int flaobj_get_frame(DrawObj* obj);
int flaobj_get_frame_count(DrawObj* obj);
int flaobj_get_loop_count(DrawObj* obj);
int flaobj_is_ended(DrawObj* obj);
int flaobj_get_width(DrawObj* obj);
int flaobj_get_height(DrawObj* obj);
FlaPlayer* flaobj_player(DrawObj* obj);

// --- placement and state ------------------------------------------------------------------
void flaobj_set_pos(DrawObj* obj, float x, float y);
void flaobj_set_pivot(DrawObj* obj, float x, float y);
void flaobj_set_scale(DrawObj* obj, float x, float y);
void flaobj_set_rot(DrawObj* obj, float rad);
void flaobj_set_colour(DrawObj* obj, uint32_t argb);
void flaobj_set_shader(DrawObj* obj, int set);
void flaobj_set_blend(DrawObj* obj, int blend);
void flaobj_set_clip(DrawObj* obj, int flag);
void flaobj_set_filter(DrawObj* obj, int filter);
int flaobj_set_param_int(DrawObj* obj, const char* name, const int32_t* v, int count);
int flaobj_set_param_float(DrawObj* obj, const char* name, const float* v, int count);
int flaobj_set_param_float2(DrawObj* obj, const char* name, const float* v, int count);
int flaobj_set_param_float3(DrawObj* obj, const char* name, const float* v, int count);
int flaobj_set_param_float4(DrawObj* obj, const char* name, const float* v, int count);
int flaobj_set_param_matrix(DrawObj* obj, const char* name, const float* v, int count);

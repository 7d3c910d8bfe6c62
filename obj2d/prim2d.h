// The 2D primitive list type: a draw object whose user callback emits
// free-form 2D triangles, lines or points in screen pixels at draw time
// (prim2d_begin, prim2d_vertex..., prim2d_flush), placed by the object's
// position, scale and rotation and drawn with its textures, colour, key,
// filter, shader set and scissor.
//
// Main thread; the emitting calls are valid only inside the callback.
#pragma once

#include "obj2d/obj2d.h"

enum : int { PRIM2D_TRIANGLES = 0, PRIM2D_LINES = 1, PRIM2D_POINTS = 2 };

using Prim2dFn = void (*)(DrawObj* obj, void* arg);

struct Prim2dWork {
    float x, y;
    float scale_x, scale_y;
    float rot;
    ResHandle tex1, tex2;  // defaults for prim2d_begin
    uint32_t colour;       // current colour at prim2d_begin
    RenderStateKey key;
    int32_t filter;  // -1 automatic
    int16_t kind;
    int16_t batch_vertices, batch_prims, prim_vertex;
    int16_t verts_per_prim;  // 0 while no batch is open
    int16_t prim_limit;
    TexVertexA current;
    Prim2dFn callback;
    void* arg;
    int32_t shader;
    unsigned char params[OBJ2D_PARAM_BYTES];
    int16_t sc_x, sc_y, sc_w, sc_h;
};

void prim2d_draw(DrawObj** run, int count);
void prim2d_init(DrawObj* obj);
int prim2d_type();

DrawObj* prim2d_create_1f(ResGroupId group, float x, float y, Prim2dFn fn, void* arg, int prio);
DrawObj* prim2d_create(ResGroupId group, float x, float y, Prim2dFn fn, void* arg, int prio);

void prim2d_set_pos(DrawObj* obj, float x, float y);
void prim2d_set_scale(DrawObj* obj, float x, float y);
void prim2d_set_rot(DrawObj* obj, float rad);
void prim2d_set_colour(DrawObj* obj, uint32_t colour);
void prim2d_set_filter(DrawObj* obj, int filter);
void prim2d_set_tex(DrawObj* obj, ResHandle tex);
void prim2d_set_tex2(DrawObj* obj, ResHandle tex);
void prim2d_set_shader(DrawObj* obj, int set);
void prim2d_set_blend(DrawObj* obj, int blend);
void prim2d_set_scissor(DrawObj* obj, int x, int y, int w, int h);
void prim2d_set_callback(DrawObj* obj, Prim2dFn fn, void* arg);
ResHandle prim2d_get_tex(const DrawObj* obj);
ResHandle prim2d_get_tex2(const DrawObj* obj);

// Inside the callback. A kind outside 0..2 opens no batch; the vertex calls
// do nothing while no batch is open. Reaching the batch limit (16384
// vertices) flushes by itself.
void prim2d_begin(DrawObj* obj, int kind, ResHandle tex1, ResHandle tex2);
void prim2d_vertex(DrawObj* obj, float x, float y);
void prim2d_vertex_colour(DrawObj* obj, uint32_t colour);
void prim2d_vertex_uv(DrawObj* obj, float u, float v, int n);  // n 0 or 1
void prim2d_vertex_uv_pair(DrawObj* obj, const float* uv, int n);
// Draws the complete primitives of the batch and starts it again empty.
void prim2d_flush(DrawObj* obj);

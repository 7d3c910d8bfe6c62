// Pieces shared by the 2D draw-object types (sprites, twin sprites, 2D
// primitive lists, text, 2D lines and triangles): the table of their type
// numbers, their registration at display start, the show operation, the
// render-state key they draw with, the colour product, the UV corner
// selection and the texture-stage set-up around a run.
//
// Main thread. Every 2D vertex is the 36-byte TexVertexA (FVF 0x244) written
// into the texture manager's scratch A; x and y are target pixels. Shader set
// 0 on a 2D type means fixed-function drawing with no shader.
#pragma once

#include <cstdint>

#include "disp/rstate.h"
#include "disp/tex.h"
#include "disp/tex_scratch.h"
#include "math/vm_types.h"
#include "disp/obj.h"
#include "res/res.h"

constexpr uint32_t OBJ2D_FVF = 0x244;
constexpr int OBJ2D_PARAM_BYTES = 92;    // shader parameter block of a 2D object
constexpr int OBJ2D_BATCH_QUADS = 4096;  // quads (or lines, triangles) per draw call
constexpr int OBJ2D_FILTER_AUTO = -1;

// Draw2dTypeIds slots.
enum : int {
    OBJ2D_T2D_TEXT = 0,
    OBJ2D_T2D_FLA,
    OBJ2D_T2D_TWIN,
    OBJ2D_T2D_SPRITE,
    OBJ2D_T2D_PRIM,
    OBJ2D_T2D_LINE,
    OBJ2D_T2D_TRI,
    OBJ2D_T2D_SLOTS
};

// --- start, stop, frame (called by the display) -------------------------------------
// Registers text, vector-animation object, twin sprite, sprite and 2D primitive list, in that order, after
// line2d_type_register and tri2d_type_register.
void obj2d_type_register();
void obj2d_type_term();
void obj2d_frame();

// --- shared helpers --------------------------------------------------------------------
int obj2d_type_id(int slot);  // 0 when the slot is not registered
void obj2d_set_type_id(int slot, int type);
void obj2d_show(DrawObj* obj);  // visible bit
// The creators' common steps: a new object of the type (null when the pool
// is full), then, after the fields, visible, killed when one_frame, priority.
DrawObj* obj2d_new(ResGroupId group, int type);
DrawObj* obj2d_place(DrawObj* obj, bool one_frame, int prio);

// The key every 2D type starts from: lighting, z write and fog off, blend 1,
// cull index 2, alpha test off, z function always, linear filter, solid fill.
RenderStateKey obj2d_base_key();
RenderStateKey obj2d_key_with_blend(RenderStateKey key, int blend);
// Applies a key with a shader set (0: none) and parameter block for a
// vertex format, and sets that format's declaration.
void obj2d_apply_key(RenderStateKey key, int shader_set, const void* params, uint32_t fvf);

// Per channel ((a + 1) x (b + 1)) >> 8, minus 1, never below 0.
uint32_t obj2d_colour_mul(uint32_t a, uint32_t b);

// UV of the four quad vertices from four UV corners (u, v pairs in the order
// top-left, top-right, bottom-left, bottom-right), a quarter-turn count
// (masked to 0..3) and flip bits (bit 2 horizontal, bit 3 vertical).
void obj2d_uv_select(const float corners[8], int rot, int flip, float u[4], float v[4]);

// Turns a corner offset (dx, dy) about (ox, oy) with the table sine and
// cosine s, c: (ox + dx c + dy s, oy - dx s + dy c).
inline Vec2 obj2d_turn(float ox, float oy, float dx, float dy, float s, float c)
{
    return {ox + dx * c + dy * s, oy - dx * s + dy * c};
}

// The texture record of a handle (null for 0 or a handle without one).
const TexRecord* obj2d_tex_record(ResHandle h);

// Stage set-up of the sprite-like runs: stage 0 texture x diffuse, stage 1
// current x texture; and the matching end: stage 1 disabled, every stage
// unbound through the stage cache, stage 1 filters linear.
void obj2d_stages_begin();
void obj2d_stages_end();

// The remembered scissor rectangle of a run, and per-object switching.
struct Obj2dScissor {
    int x, y, w, h;
    int set;  // an object's rectangle is on the device
};
void obj2d_scissor_begin(Obj2dScissor* s);
// Width 0: restore the remembered rectangle if an object's was set; else set
// the object's rectangle.
void obj2d_scissor_apply(Obj2dScissor* s, int x, int y, int w, int h);
void obj2d_scissor_end(Obj2dScissor* s);

// One indexed triangle-list draw of `quads` quads from scratch A.
void obj2d_draw_quads(int quads);

// The shader-parameter block setters of the 2D types: `count` elements of
// 4, 4, 8, 12, 16 or 64 bytes stored under `name` of `set` in `block`.
int obj2d_param_set(void* block, int set, const char* name, const void* values, int elem_bytes,
                    int count);

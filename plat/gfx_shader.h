// gfx_shader: the shader compiler stand-in and its constant table.
//
// What it provides: a stage's source text (GLSL in the register-declaration
// dialect of the shader files) compiled into one separable GL program, with
// a constant table: a handle by name (0 for a constant the stage does not
// use), typed setters that never write past the constant's declared size,
// and the stage of a sampler.
//
// The source the compiler is given:
// - register lines at brace depth 0 of the form `<type> <name>[<N>];` with
//   types int, int2..4, float, float2..4, float3x3, float4x3, float4x4 and
//   sampler become uniforms (an HLSL-style `: register(sN)` or `(cN)`
//   annotation is accepted; sN fixes a sampler's stage);
// - the entry function (void, no arguments) reads the prelude's inputs and
//   writes its outputs:
//     vertex inputs  iPosition (vec4, w = 1 for 3-float positions),
//       iBlendWeight, iBlendIndices (0..255), iNormal, iColor0 (D3DCOLOR as
//       r, g, b, a), iTexCoord0..7, iTangent, iBinormal;
//     vertex outputs gl_Position (Direct3D clip space), vD0, vD1, vT0..vT7
//       (vec4), vFog (float);
//     pixel inputs   vD0, vD1, vT0..vT7, vFog; samplers Tex0..Tex7 on stages
//       0..7; output oC0;
//   macros VERTEX_STAGE / SKINNED_STAGE / PIXEL_STAGE are defined;
// - matrices keep the row-vector meaning: `mul(p, M)` is written `p * M` and
//   a float4x4 set with gfx_const_set_matrix from rows does exactly that;
// - fog and alpha test run after every pixel stage (generated epilogue);
//   clip planes and the move to Direct3D's pixel centres after every vertex
//   stage (write gl_Position in Direct3D clip space, nothing else needed).
#pragma once

#include "plat/gfx.h"

enum GfxShaderKind : int { GFX_SHADER_VERTEX = 0, GFX_SHADER_SKINNED_VERTEX, GFX_SHADER_PIXEL };

// Register types of the shader files.
enum GfxConstType : int {
    GFX_CT_NONE = 0,
    GFX_CT_INT,
    GFX_CT_INT2,
    GFX_CT_INT3,
    GFX_CT_INT4,
    GFX_CT_FLOAT,
    GFX_CT_FLOAT2,
    GFX_CT_FLOAT3,
    GFX_CT_FLOAT4,
    GFX_CT_FLOAT3X3,
    GFX_CT_FLOAT4X3,
    GFX_CT_FLOAT4X4,
    GFX_CT_SAMPLER,
};

struct GfxShader;                  // opaque: one compiled stage and its table
using GfxConstHandle = uintptr_t;  // 0 = no such constant in the stage

struct GfxConstDesc {
    const char* name;
    GfxConstType type;
    int count;          // array elements as the stage keeps them (>= 1)
    int sampler_stage;  // samplers: 0..15; others -1
};

// Compiles one stage. profile must start with "vs_" (vertex kinds) or "ps_"
// (pixel); entry names the entry function. On failure null, and the GL log
// (cut to fit) in `errors` when given.
GfxShader* gfx_shader_compile(GfxShaderKind kind, const char* source, size_t length,
                              const char* entry, const char* profile, char* errors,
                              size_t errors_size);
void gfx_shader_release(GfxShader* shader);
GfxShaderKind gfx_shader_kind(const GfxShader* shader);

// Binds a stage; null returns that stage to the fixed-function path.
GfxHr gfx_set_vertex_shader(GfxShader* shader);
GfxHr gfx_set_pixel_shader(GfxShader* shader);

// Constant table.
GfxConstHandle gfx_const_by_name(const GfxShader* shader, const char* name);
int gfx_const_count(const GfxShader* shader);
GfxConstHandle gfx_const_by_index(const GfxShader* shader, int index);
GfxHr gfx_const_desc(const GfxShader* shader, GfxConstHandle h, GfxConstDesc* out);
int gfx_const_sampler_stage(const GfxShader* shader, GfxConstHandle h);  // -1 when none

// Setters (D3DX meaning). A value wider than the constant is cut (a float4
// into a float3 drops w); arrays longer than the constant are cut; a setter
// that cannot map (matrix into a vector) is refused with GFX_E_INVALIDCALL.
GfxHr gfx_const_set_int(GfxShader* s, GfxConstHandle h, int v);
GfxHr gfx_const_set_ints(GfxShader* s, GfxConstHandle h, const int* v, int count);
GfxHr gfx_const_set_float(GfxShader* s, GfxConstHandle h, float v);
GfxHr gfx_const_set_floats(GfxShader* s, GfxConstHandle h, const float* v, int count);
GfxHr gfx_const_set_vector(GfxShader* s, GfxConstHandle h, const float v[4]);
GfxHr gfx_const_set_vectors(GfxShader* s, GfxConstHandle h, const float* v4, int count);
// Matrices as 16 floats, row after row (row-vector convention).
GfxHr gfx_const_set_matrix(GfxShader* s, GfxConstHandle h, const float m[16]);
GfxHr gfx_const_set_matrices(GfxShader* s, GfxConstHandle h, const float* m16, int count);

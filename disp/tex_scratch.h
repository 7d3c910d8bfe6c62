// The shared quad index list and the two vertex scratch areas that the 2D and
// 3D drawing modules fill every frame. The texture manager (tex.cpp) makes
// them at its start and owns them; textures themselves are in tex.h.
//
// Main thread. Scratch A is set up with z = 0 and rhw = 1 in every vertex;
// scratch B starts cleared, and its users lay out their own vertices in it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int TEX_QUAD_INDEX_QUADS = 4096;      // quads in the shared index list
constexpr int TEX_SCRATCH_A_VERTICES = 16384;   // vertices of scratch A
constexpr size_t TEX_SCRATCH_B_BYTES = 720896;  // bytes of scratch B

// One vertex of scratch A: XYZRHW, DIFFUSE, two texture sets (FVF 0x244).
struct TexVertexA {
    float x, y, z, rhw;
    uint32_t color;
    float u0, v0, u1, v1;
};
static_assert(sizeof(TexVertexA) == 36);

// The quad index list: TEX_QUAD_INDEX_QUADS quads of {4q, 4q+1, 4q+2, 4q+3, 4q+2, 4q+1}.
const uint16_t* tex_get_manager();
// Scratch A (TEX_SCRATCH_A_VERTICES vertices) and scratch B (TEX_SCRATCH_B_BYTES).
TexVertexA* tex_get_vertex_scratch_a();
uint8_t* tex_get_vertex_scratch_b();

// Mesh vertex and index buffers: turns a decoded model (separate attribute
// arrays) into one interleaved vertex buffer, an index buffer, a vertex format
// and a compacted subset list, and measures the mesh's box. The resource
// manager calls it when it registers a mesh. Main thread only.
//
// The device buffers are made through res_env()'s buffer services. Counts are
// 32-bit: a welded model may have more than 65536 vertices, and its indices are
// then 32-bit (MeshSource::index_bits).
#pragma once

#include "res/mdl_decode.h"

#include <cstdint>

// The 52 vertex formats the display has declarations for, by row.
constexpr int MDL_VERTEX_FORMAT_COUNT = 52;
// First row with that FVF code, 0 when none.
int disp_fvf_to_lvf(uint32_t fvf);
// The row's FVF code; 0 for an index outside 0..51.
uint32_t disp_lvf_to_fvf(int index);

struct MeshSubset {
    uint32_t prim_type;    // 4: triangle list
    uint32_t start_index;  // 3 x first triangle
    uint32_t prim_count;
    uint32_t min_vertex;
    uint32_t vertex_count;  // largest - smallest + 1
    const char* slot_group[MDL_SUBSET_SLOTS];
    const char* slot_name[MDL_SUBSET_SLOTS];
    uint32_t slot_tex[MDL_SUBSET_SLOTS];  // texture handles, bound when loading ends
    uint32_t slot_count;
};

struct MeshBone {
    const char* name;
    NameHash hash;
    float matrix[16];
};

struct MeshBuffers {
    uint32_t vb, ib;      // device buffers (0 = none)
    MeshSubset* subsets;  // caller's storage
    MeshBone* bones;      // caller's storage, null without bones
    uint32_t fvf;         // without the tangent bit
    uint32_t fvf_decl;    // with it: the code the declaration is looked up by
    int lvf;              // the vertex-format row of fvf_decl (0 when none)
    uint32_t stride;      // bytes per vertex
    float box0[6];        // the sphere words of the model
    float box[6];         // bounding box: minimum, then maximum
    uint32_t prim_count;
    uint32_t vertex_count;
    uint32_t index_count;
    uint32_t index_bits;    // 16 or 32
    uint32_t subset_count;  // kept (non-empty) subsets
    uint32_t bone_count;
    uint32_t weights;  // per vertex
    bool elongated;    // largest box extent >= 3 x smallest
    bool has_colors;
    uint32_t caller_word;    // the resource manager keeps the mesh flags here
    int32_t first_textured;  // set when textures are bound; -1 none
};

// 1 on success; 0 (nothing allocated) without positions, with no vertices,
// more than 4 weights, more subsets or bones than the storage holds, or a
// failed buffer.
int mdl_build_vertex_buffer(MeshBuffers& out, const MeshSource& src, MeshSubset* subsets,
                            uint32_t subset_cap, MeshBone* bones, uint32_t bone_cap,
                            uint32_t* out_subsets, uint32_t* out_bones, uint32_t caller_word);
void mdl_release_vertex_buffer(MeshBuffers& m);
// Vertices or indices a draw of n primitives of the type takes.
uint32_t prim_vertex_count(uint32_t prim_type, uint32_t n);
// Bytes the mesh's buffers hold.
uint32_t mdl_buffer_bytes(const MeshBuffers& m);

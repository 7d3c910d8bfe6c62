// The model decode: turns a checked "ZQT " chunk into the mesh build input
// (separate per-vertex arrays, an index array, subsets and bones) that the
// mesh registrar hands to the vertex-buffer builder. Main thread only; the
// arrays live until the caller drops the MeshSource.
#pragma once

#include "res/chunk.h"
#include "res/name.h"

#include <cstdint>
#include <vector>

// ResLoadFlags, the caller's word of a load request.
constexpr uint32_t RES_LOAD_SMOOTH_SET = 1u << 0;  // a second set of smoothed normals
constexpr uint32_t RES_LOAD_MIPMAPS = 1u << 1;     // TEX-chunk textures with mipmaps

constexpr uint32_t MDL_SUBSET_SLOTS = 4;

struct MeshTexSet {
    const float* values;  // into the MeshSource's own arrays
    uint32_t components;
};

struct MeshSubsetSrc {
    uint32_t word;         // not read by the builder
    uint32_t first, last;  // triangles, inclusive
    const char* slot_group[MDL_SUBSET_SLOTS];
    const char* slot_name[MDL_SUBSET_SLOTS];
    uint32_t slot_tex[MDL_SUBSET_SLOTS];  // texture handles, bound later
    uint32_t slot_count;
};

struct MeshBoneSrc {
    const char* name;
    NameHash hash;
    float matrix[16];
};

struct MeshSource {
    std::vector<float> positions;  // 3 per vertex
    std::vector<float> normals;    // 3 per vertex, or empty
    std::vector<uint32_t> colors;  // 0xAARRGGBB, or empty
    std::vector<float> uv0;        // 2 per vertex, or empty
    std::vector<float> smooth;     // 3 per vertex (second set), or empty
    MeshTexSet tex_sets[2];
    uint32_t tex_set_count;
    std::vector<float> weights;              // 4 per vertex, or empty
    std::vector<uint32_t> blend_indices;     // 4 bone bytes per vertex, or empty
    std::vector<float> tangents, binormals;  // 3 per vertex, or empty
    std::vector<MeshBoneSrc> bones;
    std::vector<uint32_t> indices;  // one per corner; empty for an unwelded mesh
    std::vector<MeshSubsetSrc> subsets;
    uint32_t vertex_count;
    uint32_t index_count;
    uint32_t weights_per_vertex;  // 4 with blend data, else 0
    uint32_t index_bits;          // 16, or 32 past 65536 vertices
    float sphere[6];              // centre xyz, radius, origin radius, its square
    float box_min[3], box_max[3];
};

// Decodes a chunk that chunk_parse_model accepted. name_flags are the bits the
// model name's tokens gave (tangents for "NRM"); names point into d.
void mdl_decode(ByteSpan d, const ModelChunk& m, uint32_t load_flags, uint32_t name_flags,
                MeshSource& out);

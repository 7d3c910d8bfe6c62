// A decoded mesh's interleaved vertex buffer, index buffer, vertex format (the FVF table) and
// box (see mesh_buf.h); the device buffers come from res_env().
#include "res/mesh_buf.h"

#include "plat/gfx_draw.h"
#include "res/res_env.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr std::array<uint32_t, MDL_VERTEX_FORMAT_COUNT> MDL_FVF = {
    0x244,    0x844,    0x144,    0x252,    0x442,    0x112,    0x12,    0x40112, 0x52,
    0x40152,  0x1D2,    0x112,    0x192,    0x40212,  0x152,    0x40252, 0x1116,  0x1118,
    0x111A,   0x111C,   0x1196,   0x1198,   0x119A,   0x119C,   0x41216, 0x41218, 0x4121A,
    0x4121C,  0x1156,   0x1158,   0x115A,   0x115C,   0x11D6,   0x11D8,  0x11DA,  0x11DC,
    0x41256,  0x41258,  0x4125A,  0x4125C,  0x1256,   0x1258,   0x125A,  0x125C,  0x101356,
    0x101358, 0x10135A, 0x10135C, 0x501456, 0x501458, 0x50145A, 0x50145C};

}  // namespace

int disp_fvf_to_lvf(uint32_t fvf)
{
    for (int i = 0; i < MDL_VERTEX_FORMAT_COUNT; ++i)
        if (MDL_FVF[size_t(i)] == fvf) return i;
    return 0;
}

uint32_t disp_lvf_to_fvf(int index)
{
    return (index >= 0 && index < MDL_VERTEX_FORMAT_COUNT) ? MDL_FVF[size_t(index)] : 0;
}

namespace {

// Texture-coordinate size codes by component count (2 is the default 0).
uint32_t tex_size_code(uint32_t components)
{
    switch (components) {
    case 1: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 0;
    }
}

// Writes into a buffer sized beforehand.
struct ByteOut {
    uint8_t* at;
    void put(const void* p, size_t n)
    {
        std::memcpy(at, p, n);
        at += n;
    }
};

float at_least(float v)
{
    const float MDL_MIN = 0.00001f;
    if (std::fabs(v) < MDL_MIN) return v < 0 ? -MDL_MIN : MDL_MIN;
    return v;
}

}  // namespace

uint32_t prim_vertex_count(uint32_t prim_type, uint32_t n)
{
    switch (prim_type) {
    case 1: return n;      // point list
    case 2: return 2 * n;  // line list
    case 3: return n + 1;  // line strip
    case 4: return 3 * n;  // triangle list
    case 5:
    case 6: return n + 2;  // strip, fan
    default: return 0;
    }
}

int mdl_build_vertex_buffer(MeshBuffers& out, const MeshSource& src, MeshSubset* subsets,
                            uint32_t subset_cap, MeshBone* bones, uint32_t bone_cap,
                            uint32_t* out_subsets, uint32_t* out_bones, uint32_t caller_word)
{
    if (src.positions.empty() || src.vertex_count == 0) return 0;
    out = MeshBuffers{};
    const uint32_t nv = src.vertex_count;
    const bool weighted =
        !src.weights.empty() && !src.blend_indices.empty() && src.weights_per_vertex > 0;
    const uint32_t k = weighted ? src.weights_per_vertex : 0;
    if (k > 4) return 0;
    if (src.subsets.size() > subset_cap || (!src.bones.empty() && src.bones.size() > bone_cap))
        return 0;

    static constexpr uint32_t MDL_BLEND_FVF[5] = {GFX_FVF_XYZ, GFX_FVF_XYZB1, GFX_FVF_XYZB2,
                                                  GFX_FVF_XYZB3, GFX_FVF_XYZB4};
    uint32_t fvf = k ? (MDL_BLEND_FVF[k] | GFX_FVF_LASTBETA_UBYTE4) : GFX_FVF_XYZ;
    uint32_t stride = k ? 12 + 4 * k + 4 : 12;
    const bool normals = !src.normals.empty(), colors = !src.colors.empty();
    if (normals) fvf |= GFX_FVF_NORMAL, stride += 12;
    if (colors) fvf |= GFX_FVF_DIFFUSE, stride += 4;
    fvf |= src.tex_set_count << GFX_FVF_TEXCOUNT_SHIFT;
    for (uint32_t s = 0; s < src.tex_set_count; s++) {
        fvf |= tex_size_code(src.tex_sets[s].components) << (16 + 2 * s);
        stride += 4 * src.tex_sets[s].components;
    }
    const bool tan = !src.tangents.empty(), bin = !src.binormals.empty();
    uint32_t decl = fvf;
    if (tan) decl |= GFX_FVF_TANGENTS, stride += 12;
    if (bin) decl |= GFX_FVF_TANGENTS, stride += 12;

    // Interleave: position, weights and index word, normal, colour, sets,
    // tangent, binormal.
    std::vector<uint8_t> vb(size_t(nv) * stride);
    ByteOut o{vb.data()};
    for (uint32_t v = 0; v < nv; v++) {
        o.put(&src.positions[3ull * v], 12);
        if (k) {
            o.put(&src.weights[4ull * v], 4 * k);
            o.put(&src.blend_indices[v], 4);
        }
        if (normals) o.put(&src.normals[3ull * v], 12);
        if (colors) o.put(&src.colors[v], 4);
        for (uint32_t s = 0; s < src.tex_set_count; s++)
            o.put(src.tex_sets[s].values + size_t(v) * src.tex_sets[s].components,
                  4 * src.tex_sets[s].components);
        if (tan) o.put(&src.tangents[3ull * v], 12);
        if (bin) o.put(&src.binormals[3ull * v], 12);
    }
    ResEnv& env = res_env();
    out.vb = env.buffer_create(vb.data(), uint32_t(vb.size()));
    if (!out.vb) return 0;
    const bool indexed = !src.indices.empty();
    const uint32_t index_bytes = src.index_bits == 32 ? 4 : 2;
    if (indexed) {
        std::vector<uint8_t> ib(src.indices.size() * index_bytes);
        ByteOut io{ib.data()};
        for (uint32_t i : src.indices) io.put(&i, index_bytes);  // little-endian low half
        out.ib = env.buffer_create(ib.data(), uint32_t(ib.size()));
        if (!out.ib) {
            env.buffer_release(out.vb);
            out = MeshBuffers{};
            return 0;
        }
    }

    // Subsets: the vertices a subset uses; a mesh without indices draws its
    // corners in order, so a subset uses 3 x its triangles from 3 x first.
    uint32_t kept = 0, prims = 0;
    for (const MeshSubsetSrc& s : src.subsets) {
        uint32_t count = s.last >= s.first ? s.last - s.first + 1 : 0;
        if (count == 0) continue;
        MeshSubset& d = subsets[kept++];
        d = MeshSubset{};
        d.prim_type = GFX_PT_TRIANGLELIST;
        d.start_index = 3 * s.first;
        d.prim_count = count;
        if (indexed) {
            uint32_t lo = 0xFFFFFFFFu, hi = 0;
            for (uint64_t i = d.start_index;
                 i < uint64_t(d.start_index) + 3ull * count && i < src.indices.size(); i++) {
                lo = std::min(lo, src.indices[i]);
                hi = std::max(hi, src.indices[i]);
            }
            d.min_vertex = lo == 0xFFFFFFFFu ? 0 : lo;
            d.vertex_count = lo == 0xFFFFFFFFu ? 0 : hi - lo + 1;
        } else {
            d.min_vertex = d.start_index;
            d.vertex_count = 3 * count;
        }
        for (uint32_t j = 0; j < MDL_SUBSET_SLOTS; j++) {
            d.slot_group[j] = s.slot_group[j];
            d.slot_name[j] = s.slot_name[j];
        }
        d.slot_count = s.slot_count;
        prims += count;
    }
    if (!src.bones.empty()) {
        out.bones = bones;
        for (size_t b = 0; b < src.bones.size(); b++) {
            bones[b].name = src.bones[b].name;
            bones[b].hash = src.bones[b].hash;
            std::memcpy(bones[b].matrix, src.bones[b].matrix, sizeof bones[b].matrix);
        }
    }

    out.subsets = subsets;
    out.fvf = fvf;
    out.fvf_decl = decl;
    out.lvf = disp_fvf_to_lvf(decl);
    out.stride = stride;
    std::memcpy(out.box0, src.sphere, sizeof out.box0);
    std::memcpy(out.box, src.box_min, 12);
    std::memcpy(out.box + 3, src.box_max, 12);
    out.prim_count = prims;
    out.vertex_count = nv;
    out.index_count = indexed ? uint32_t(src.indices.size()) : 0;
    out.index_bits = indexed ? src.index_bits : 0;
    out.subset_count = kept;
    out.bone_count = uint32_t(src.bones.size());
    out.weights = k;
    out.has_colors = colors;
    out.caller_word = caller_word;
    out.first_textured = -1;
    float ext[3];
    for (int a = 0; a < 3; a++) ext[a] = at_least(out.box[3 + a] - out.box[a]);
    float big = std::max({ext[0], ext[1], ext[2]}), small = std::min({ext[0], ext[1], ext[2]});
    out.elongated = big / small >= 3.0f;
    if (out_subsets) *out_subsets = kept;
    if (out_bones) *out_bones = out.bone_count;
    return 1;
}

void mdl_release_vertex_buffer(MeshBuffers& m)
{
    ResEnv& env = res_env();
    if (m.vb) env.buffer_release(m.vb);
    if (m.ib) env.buffer_release(m.ib);
    m = MeshBuffers{};
}

uint32_t mdl_buffer_bytes(const MeshBuffers& m)
{
    return m.vertex_count * m.stride + m.index_count * (m.index_bits == 32 ? 4 : 2);
}

// The model decode: corners welded into vertices, smoothed normals and tangents, the mesh build
// input filled (see mdl_decode.h). The vertex buffers are built from it in mesh_buf.cpp.
#include "res/mdl_decode.h"
#include "res/chunk_local.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "math/vm_small.h"
#include "math/vm_vec.h"

namespace {

// Models of this many triangles or more are decoded unwelded.
constexpr uint32_t MDL_UNWELDED_TRIS = 65535;

Vec3 read_v3(ByteSpan d, uint32_t off, uint32_t i)
{
    float f[3] = {0, 0, 0};
    chunk_rd_f32s(d, off + 12ull * i, f, 3);
    return {f[0], f[1], f[2]};
}
void put_v3(std::vector<float>& a, uint32_t i, Vec3 v)
{
    a[3 * i] = v.x;
    a[3 * i + 1] = v.y;
    a[3 * i + 2] = v.z;
}
Vec3 get_v3(const std::vector<float>& a, uint32_t i)
{
    return {a[3 * i], a[3 * i + 1], a[3 * i + 2]};
}

// The five attribute indices of a corner, packed: position, normal, colour
// and uv in the high word, blend in the low one; equal keys mean equal tuples.
struct CornerKey {
    uint64_t hi;
    uint32_t lo;
    uint32_t corner;
    bool operator<(const CornerKey& o) const
    {
        return hi != o.hi ? hi < o.hi : lo != o.lo ? lo < o.lo : corner < o.corner;
    }
    bool same_tuple(const CornerKey& o) const { return hi == o.hi && lo == o.lo; }
};

// Welding by exact equality of the whole tuple: corners with the same five
// indices share a vertex, numbered by first appearance in corner order.
// Answers per corner its vertex and per vertex its first corner.
void weld(std::vector<CornerKey>& keys, std::vector<uint32_t>& vertex_of,
          std::vector<uint32_t>& corner_of)
{
    const uint32_t n = uint32_t(keys.size());
    std::sort(keys.begin(), keys.end());
    std::vector<uint32_t> rep(n);
    for (uint32_t i = 0; i < n; i++)
        rep[keys[i].corner] =
            (i > 0 && keys[i].same_tuple(keys[i - 1])) ? rep[keys[i - 1].corner] : keys[i].corner;
    vertex_of.assign(n, 0);
    corner_of.clear();
    for (uint32_t c = 0; c < n; c++) {
        if (rep[c] == c) {
            vertex_of[c] = uint32_t(corner_of.size());
            corner_of.push_back(c);
        } else {
            vertex_of[c] = vertex_of[rep[c]];
        }
    }
}

// Per position index: the normals of its corners summed, then the sums of
// positions closer than 0.005 (squared 2.4999999e-5) added together, each
// position taking the original sums of all its neighbours; normalised.
std::vector<Vec3> smoothed_normals(ByteSpan d, const ModelChunk& m)
{
    const uint32_t np = m.length[CHUNK_ATTR_POS];
    std::vector<Vec3> sum(np, Vec3{0, 0, 0});
    const uint64_t corners = 3ull * m.tris;
    if (m.has[CHUNK_ATTR_NRM])
        for (uint64_t c = 0; c < corners; c++) {
            uint16_t p = chunk_model_corner_index(d, m, CHUNK_ATTR_POS, uint32_t(c));
            uint16_t n = chunk_model_corner_index(d, m, CHUNK_ATTR_NRM, uint32_t(c));
            const Vec3 normal = read_v3(d, m.data_off[CHUNK_ATTR_NRM], n);
            vm_vec3_add(&sum[p], &sum[p], &normal);
        }
    constexpr float MDL_MERGE2 = 2.4999999e-5f;
    constexpr float MDL_CELL = 0.005f;
    auto cell = [](float v) -> int64_t {
        float c = std::floor(v / MDL_CELL);
        return int64_t(std::clamp(c, -1e12f, 1e12f));
    };
    auto key = [](int64_t x, int64_t y, int64_t z) {
        return uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y) * 0xC2B2AE3D27D4EB4Full ^
               uint64_t(z) * 0x165667B19E3779F9ull;
    };
    std::vector<Vec3> pos(np);
    std::unordered_multimap<uint64_t, uint32_t> grid;
    grid.reserve(np);
    for (uint32_t i = 0; i < np; i++) {
        pos[i] = read_v3(d, m.data_off[CHUNK_ATTR_POS], i);
        if (std::isfinite(pos[i].x) && std::isfinite(pos[i].y) && std::isfinite(pos[i].z))
            grid.emplace(key(cell(pos[i].x), cell(pos[i].y), cell(pos[i].z)), i);
    }
    std::vector<Vec3> out(np);
    for (uint32_t i = 0; i < np; i++) {
        Vec3 p = pos[i], acc = sum[i];
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
            acc = Vec3{0, 0, 0};
            int64_t cx = cell(p.x), cy = cell(p.y), cz = cell(p.z);
            for (int64_t dz = -1; dz <= 1; dz++)
                for (int64_t dy = -1; dy <= 1; dy++)
                    for (int64_t dx = -1; dx <= 1; dx++) {
                        auto range = grid.equal_range(key(cx + dx, cy + dy, cz + dz));
                        for (auto it = range.first; it != range.second; ++it)
                            if (vm_vec3_dist_sq(&p, &pos[it->second]) < MDL_MERGE2)
                                vm_vec3_add(&acc, &acc, &sum[it->second]);
                    }
        }
        vec3_normalize(&out[i], &acc);
    }
    return out;
}

void tangents(MeshSource& s, const std::vector<uint32_t>& tri_vertices)
{
    const uint32_t nv = s.vertex_count;
    std::vector<Vec3> acc(nv, Vec3{0, 0, 0});
    for (size_t t = 0; t + 2 < tri_vertices.size(); t += 3) {
        uint32_t a = tri_vertices[t], b = tri_vertices[t + 1], c = tri_vertices[t + 2];
        const Vec3 p0 = get_v3(s.positions, a), pb = get_v3(s.positions, b),
                   pc = get_v3(s.positions, c);
        Vec3 e1, e2;
        vm_vec3_sub(&e1, &pb, &p0);
        vm_vec3_sub(&e2, &pc, &p0);
        float du1 = s.uv0[2 * b] - s.uv0[2 * a], dv1 = s.uv0[2 * b + 1] - s.uv0[2 * a + 1];
        float du2 = s.uv0[2 * c] - s.uv0[2 * a], dv2 = s.uv0[2 * c + 1] - s.uv0[2 * a + 1];
        float det = du1 * dv2 - du2 * dv1;
        float r = det == 0.0f ? 1.0f : 1.0f / det;
        Vec3 tan;
        vm_vec3_scale(&tan, &e1, dv2);
        vm_vec3_madd(&tan, &tan, &e2, -dv1);
        vm_vec3_scale(&tan, &tan, r);
        for (uint32_t v : {a, b, c}) vm_vec3_add(&acc[v], &acc[v], &tan);
    }
    s.tangents.assign(3ull * nv, 0.0f);
    s.binormals.assign(3ull * nv, 0.0f);
    for (uint32_t v = 0; v < nv; v++) {
        // The tangent made normal to n (Gram-Schmidt), the binormal from both.
        const Vec3 n = get_v3(s.normals, v);
        Vec3 t, bn;
        vm_vec3_madd(&t, &acc[v], &n, -vm_vec3_dot(&n, &acc[v]));
        vec3_normalize(&t, &t);
        vm_vec3_cross(&bn, &t, &n);
        vec3_normalize(&bn, &bn);
        put_v3(s.tangents, v, t);
        put_v3(s.binormals, v, bn);
    }
}

}  // namespace

void mdl_decode(ByteSpan d, const ModelChunk& m, uint32_t load_flags, uint32_t name_flags,
                MeshSource& s)
{
    s = MeshSource{};
    const uint32_t corners = uint32_t(3ull * m.tris);
    const bool welded = m.tris < MDL_UNWELDED_TRIS;

    // Which corner stands for each vertex, and each corner's vertex.
    std::vector<uint32_t> vertex_of, corner_of;
    if (welded) {
        std::vector<CornerKey> keys(corners);
        for (uint32_t c = 0; c < corners; c++) {
            auto ix = [&](int a) { return uint64_t(chunk_model_corner_index(d, m, a, c)); };
            keys[c] = {ix(CHUNK_ATTR_POS) << 48 | ix(CHUNK_ATTR_NRM) << 32 |
                           ix(CHUNK_ATTR_COL) << 16 | ix(CHUNK_ATTR_UV),
                       uint32_t(ix(CHUNK_ATTR_BLEND)), c};
        }
        weld(keys, vertex_of, corner_of);
    } else {
        corner_of.resize(corners);
        std::iota(corner_of.begin(), corner_of.end(), 0u);
    }
    const uint32_t nv = uint32_t(corner_of.size());
    s.vertex_count = nv;

    auto index = [&](int a, uint32_t v) { return chunk_model_corner_index(d, m, a, corner_of[v]); };
    if (m.has[CHUNK_ATTR_POS]) {
        s.positions.resize(3ull * nv);
        for (uint32_t v = 0; v < nv; v++)
            put_v3(s.positions, v,
                   read_v3(d, m.data_off[CHUNK_ATTR_POS], index(CHUNK_ATTR_POS, v)));
    }
    if (m.has[CHUNK_ATTR_NRM]) {
        s.normals.resize(3ull * nv);
        for (uint32_t v = 0; v < nv; v++)
            put_v3(s.normals, v, read_v3(d, m.data_off[CHUNK_ATTR_NRM], index(CHUNK_ATTR_NRM, v)));
    }
    if (m.has[CHUNK_ATTR_COL]) {
        s.colors.resize(nv);
        for (uint32_t v = 0; v < nv; v++)
            chunk_rd_u32(d, m.data_off[CHUNK_ATTR_COL] + 4ull * index(CHUNK_ATTR_COL, v),
                         s.colors[v]);
    }
    if (m.has[CHUNK_ATTR_UV]) {
        s.uv0.resize(2ull * nv);
        for (uint32_t v = 0; v < nv; v++)
            chunk_rd_f32s(d, m.data_off[CHUNK_ATTR_UV] + 8ull * index(CHUNK_ATTR_UV, v),
                          &s.uv0[2ull * v], 2);
        s.tex_sets[s.tex_set_count++] = {s.uv0.data(), 2};
    }
    if (m.has[CHUNK_ATTR_BLEND]) {
        s.weights.resize(4ull * nv);
        s.blend_indices.resize(nv);
        for (uint32_t v = 0; v < nv; v++) {
            uint64_t at = m.data_off[CHUNK_ATTR_BLEND] +
                          uint64_t(CHUNK_MODEL_BLEND_SIZE) * index(CHUNK_ATTR_BLEND, v);
            chunk_rd_u32(d, at, s.blend_indices[v]);
            chunk_rd_f32s(d, at + 4, &s.weights[4ull * v], 4);
        }
        s.weights_per_vertex = 4;
    }
    // The smoothed-normal set follows the first set, in both decodes.
    if ((load_flags & RES_LOAD_SMOOTH_SET) && s.tex_set_count == 1 && m.has[CHUNK_ATTR_NRM]) {
        std::vector<Vec3> smooth = smoothed_normals(d, m);
        s.smooth.resize(3ull * nv);
        for (uint32_t v = 0; v < nv; v++) put_v3(s.smooth, v, smooth[index(CHUNK_ATTR_POS, v)]);
        s.tex_sets[s.tex_set_count++] = {s.smooth.data(), 3};
    }

    if (welded) {
        s.indices = std::move(vertex_of);
        s.index_count = uint32_t(s.indices.size());
    }
    s.index_bits = nv > 65536 ? 32 : 16;

    if ((name_flags & NAME_FLAG_NRM) && s.tex_set_count >= 1 && m.has[CHUNK_ATTR_NRM]) {
        if (welded) {
            tangents(s, s.indices);
        } else {
            std::vector<uint32_t> seq(nv);
            std::iota(seq.begin(), seq.end(), 0u);
            tangents(s, seq);
        }
    }

    for (uint32_t i = 0; i < m.subset_count; i++) {
        ModelSubsetRec r{};
        chunk_model_subset(d, i, r);
        MeshSubsetSrc sub{};
        sub.word = r.word;
        sub.first = r.first;
        sub.last = r.last;
        if (r.tex_name_off) {
            sub.slot_name[0] = chunk_rd_name(d, r.tex_name_off);
            sub.slot_count = 1;
        }
        s.subsets.push_back(sub);
    }
    for (uint32_t b = 0; b < m.bone_count; b++) {
        MeshBoneSrc bone{};
        bone.name = chunk_rd_name(d, chunk_rd_u32_or0(d, m.bone_names_off + 4ull * b));
        bone.hash = name_hash(bone.name);
        chunk_rd_f32s(d, m.bone_mats_off + 64ull * b, bone.matrix, 16);
        s.bones.push_back(bone);
    }
    for (int k = 0; k < 3; k++) {
        s.box_min[k] = m.box_min[k];
        s.box_max[k] = m.box_max[k];
    }
    std::copy(m.sphere, m.sphere + 5, s.sphere);
    s.sphere[5] = m.sphere[4] * m.sphere[4];
}

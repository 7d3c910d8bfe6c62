// The chunk byte builder, the chunk header, and the writers of the chunk kinds
// with a plain layout: model, bone tree, animation, texture, crops, sphere-hit
// set, camera path (the collision set and the vector animation, which carry
// more structure, have files of their own).
#include "tools/qv_writer_local.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "math/vm_types.h"
#include "plat/byte_order.h"

namespace qvw {

Mat16 mat_identity()
{
    Mat16 m;
    std::copy(std::begin(VM_MAT_IDENTITY.m), std::end(VM_MAT_IDENTITY.m), m.begin());
    return m;
}

// ---- chunk byte builder -------------------------------------------------------

// Writes over bytes put before; a patch past them throws (std::vector::at).
static void patch(Bytes& data, uint32_t off, const uint8_t* b, size_t n)
{
    for (size_t i = 0; i < n; i++) data.at(off + i) = b[i];
}

uint32_t ChunkBuf::put_bytes(const void* p, size_t n)
{
    uint32_t off = size();
    const uint8_t* b = static_cast<const uint8_t*>(p);
    data.insert(data.end(), b, b + n);
    return off;
}
uint32_t ChunkBuf::put_u32(uint32_t v)
{
    uint8_t b[4];
    plat_le_put32(b, v);
    return put_bytes(b, 4);
}
uint32_t ChunkBuf::put_f32(float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return put_u32(u);
}
uint32_t ChunkBuf::put_u16(uint16_t v)
{
    uint8_t b[2];
    plat_le_put16(b, v);
    return put_bytes(b, 2);
}
uint32_t ChunkBuf::put_u8(uint8_t v) { return put_bytes(&v, 1); }
uint32_t ChunkBuf::put_zero(size_t n)
{
    uint32_t off = size();
    data.resize(data.size() + n, 0);
    return off;
}
void ChunkBuf::align4()
{
    while (data.size() % 4) data.push_back(0);
}
uint32_t ChunkBuf::put_name(const std::string& s)
{
    uint32_t off = put_bytes(s.c_str(), s.size() + 1);
    align4();
    return off;
}
void ChunkBuf::set_u32(uint32_t off, uint32_t v)
{
    uint8_t b[4];
    plat_le_put32(b, v);
    patch(data, off, b, 4);
}
void ChunkBuf::set_f32(uint32_t off, float v)
{
    uint32_t u;
    std::memcpy(&u, &v, 4);
    set_u32(off, u);
}
void ChunkBuf::set_u16(uint32_t off, uint16_t v)
{
    uint8_t b[2];
    plat_le_put16(b, v);
    patch(data, off, b, 2);
}

uint32_t chunk_version_for(uint32_t magic)
{
    return (magic == MAGIC_MODEL || magic == MAGIC_ANIME) ? 0x02000000u : 0x01000000u;
}

void file_add_chunk(Bytes& file, uint32_t magic, uint32_t version, const Bytes& data)
{
    ChunkBuf h;
    h.put_u32(magic);
    h.put_u32(version);
    h.put_u32(uint32_t(data.size()));
    file.insert(file.end(), h.data.begin(), h.data.end());
    file.insert(file.end(), data.begin(), data.end());
}

void file_add_chunk(Bytes& file, uint32_t magic, const Bytes& data)
{
    file_add_chunk(file, magic, chunk_version_for(magic), data);
}

// ---- model --------------------------------------------------------------------

// Exact-value dedupe of one attribute: the distinct values in order of first
// use and one u16 index per corner.
template <typename T>
struct Indexed {
    std::vector<T> values;
    std::vector<uint16_t> index;
    bool overflow = false;

    void add(const T& v)
    {
        auto it = lookup.find(v);
        if (it == lookup.end()) {
            if (values.size() >= 65536) {
                overflow = true;
                index.push_back(0);
                return;
            }
            it = lookup.emplace(v, uint16_t(values.size())).first;
            values.push_back(v);
        }
        index.push_back(it->second);
    }

private:
    std::map<T, uint16_t> lookup;
};

// Values compared by their bytes, so -0.0 and 0.0 stay distinct as the
// loader's index tuples would keep them.
template <size_t N>
using Raw = std::array<uint32_t, N>;

template <size_t N>
static Raw<N> raw_of(const float* f)
{
    Raw<N> r;
    std::memcpy(r.data(), f, 4 * N);
    return r;
}

ModelBounds model_bounds(const ModelDesc& m)
{
    ModelBounds b;
    bool any = false;
    for (uint32_t c : m.corners) {
        if (c >= m.verts.size()) continue;
        const auto& p = m.verts[c].pos;
        for (int k = 0; k < 3; k++) {
            if (!any || p[k] < b.min[k]) b.min[k] = p[k];
            if (!any || p[k] > b.max[k]) b.max[k] = p[k];
        }
        any = true;
    }
    float centre[3], r2 = 0, o2 = 0;
    for (int k = 0; k < 3; k++) centre[k] = (b.min[k] + b.max[k]) * 0.5f;
    for (uint32_t c : m.corners) {
        if (c >= m.verts.size()) continue;
        const auto& p = m.verts[c].pos;
        float d2 = 0, l2 = 0;
        for (int k = 0; k < 3; k++) {
            d2 += (p[k] - centre[k]) * (p[k] - centre[k]);
            l2 += p[k] * p[k];
        }
        r2 = std::max(r2, d2);
        o2 = std::max(o2, l2);
    }
    b.sphere = {centre[0], centre[1], centre[2], std::sqrt(r2), std::sqrt(o2)};
    return b;
}

static bool fail(std::string* why, const char* text)
{
    if (why) *why = text;
    return false;
}

// An attribute's distinct values; answers where they start.
template <typename T>
static uint32_t put_values(ChunkBuf& b, const Indexed<T>& a)
{
    uint32_t off = b.size();
    for (const T& v : a.values) {
        if constexpr (std::is_same_v<T, uint32_t>)
            b.put_u32(v);
        else
            b.put_bytes(v.data(), sizeof v);
    }
    return off;
}

template <typename T>
static uint32_t put_index(ChunkBuf& b, const Indexed<T>& a)
{
    uint32_t off = b.size();
    for (uint16_t i : a.index) b.put_u16(i);
    b.align4();
    return off;
}

bool model_chunk(const ModelDesc& m, Bytes& out, std::string* why)
{
    if (m.corners.size() % 3) return fail(why, "corner count is not a multiple of 3");
    const uint32_t tris = uint32_t(m.corners.size() / 3);
    Indexed<Raw<3>> pos, nrm;
    Indexed<Raw<2>> uv;
    Indexed<uint32_t> col;
    Indexed<Raw<5>> blend;  // the 4 bone bytes as one word, then 4 weights
    for (uint32_t c : m.corners) {
        if (c >= m.verts.size()) return fail(why, "corner refers to a missing vertex");
        const ModelVertex& v = m.verts[c];
        pos.add(raw_of<3>(v.pos.data()));
        if (m.has_normals) nrm.add(raw_of<3>(v.nrm.data()));
        if (m.has_uvs) uv.add(raw_of<2>(v.uv.data()));
        if (m.has_colors) col.add(v.color);
        if (m.has_blend) {
            Raw<5> r{};
            std::memcpy(&r[0], v.blend.bone.data(), 4);
            std::memcpy(&r[1], v.blend.weight.data(), 16);
            blend.add(r);
        }
    }
    if (pos.overflow || nrm.overflow || uv.overflow || col.overflow || blend.overflow)
        return fail(why, "an attribute has more than 65536 distinct values");

    std::vector<ModelSubset> subsets = m.subsets;
    if (subsets.empty() && tris > 0) subsets.push_back({"", 0, tris - 1, 0});
    for (const auto& s : subsets)
        if (s.first > s.last || s.last >= tris) return fail(why, "subset out of range");

    ChunkBuf b;
    b.put_zero(112 + 16 * subsets.size());
    b.set_u32(0, tris);
    b.set_u32(4, b.put_name(m.name));
    b.set_u32(8, put_values(b, pos));
    if (m.has_normals) b.set_u32(12, put_values(b, nrm));
    if (m.has_uvs) b.set_u32(16, put_values(b, uv));
    if (m.has_blend) b.set_u32(20, put_values(b, blend));
    if (m.has_colors) b.set_u32(24, put_values(b, col));
    b.set_u32(28, put_index(b, pos));
    if (m.has_normals) b.set_u32(32, put_index(b, nrm));
    if (m.has_uvs) b.set_u32(36, put_index(b, uv));
    if (m.has_blend) b.set_u32(40, put_index(b, blend));
    if (m.has_colors) b.set_u32(44, put_index(b, col));
    b.set_u32(48, uint32_t(m.bones.size()));
    b.set_u32(52, m.has_blend ? 1 : 0);
    if (!m.bones.empty()) {
        uint32_t table = b.put_zero(4 * m.bones.size());
        b.set_u32(56, table);
        b.set_u32(60, b.size());
        for (const auto& bone : m.bones) put_mat(b, bone.matrix);
        for (size_t i = 0; i < m.bones.size(); i++)
            b.set_u32(uint32_t(table + 4 * i), b.put_name(m.bones[i].name));
    }
    ModelBounds bounds = model_bounds(m);
    for (int k = 0; k < 3; k++) {
        b.set_f32(64 + 8 * k, bounds.min[k]);
        b.set_f32(68 + 8 * k, bounds.max[k]);
    }
    for (int k = 0; k < 5; k++) b.set_f32(88 + 4 * k, bounds.sphere[k]);
    b.set_u32(108, uint32_t(subsets.size()));
    for (size_t k = 0; k < subsets.size(); k++) {
        uint32_t rec = uint32_t(112 + 16 * k);
        if (!subsets[k].texture.empty()) b.set_u32(rec, b.put_name(subsets[k].texture));
        b.set_u32(rec + 4, subsets[k].unused);
        b.set_u32(rec + 8, subsets[k].first);
        b.set_u32(rec + 12, subsets[k].last);
    }
    out = std::move(b.data);
    return true;
}

// ---- bone tree ----------------------------------------------------------------

static void bone_tokens(ChunkBuf& b, const std::vector<BoneNode>& nodes,
                        std::vector<std::pair<uint32_t, std::string>>& names)
{
    // A matrix token multiplies the walk's stack top without a push of its
    // own, so each node sits inside its own push and pop: a sibling then starts
    // from the parent's matrix, not from the previous sibling's.
    for (const auto& n : nodes) {
        b.put_u32(3);
        b.put_u32(2);
        put_mat(b, n.matrix);
        b.put_u32(1);
        names.emplace_back(b.put_u32(0), n.name);
        b.put_u32(0);  // hash slot, filled by the loader
        bone_tokens(b, n.children, names);
        b.put_u32(4);
    }
}

Bytes bone_chunk(const std::vector<BoneNode>& roots)
{
    ChunkBuf b;
    std::vector<std::pair<uint32_t, std::string>> names;
    bone_tokens(b, roots, names);
    b.put_u32(5);
    for (const auto& [slot, name] : names)
        if (!name.empty()) b.set_u32(slot, b.put_name(name));
    return b.data;
}

// ---- animation ----------------------------------------------------------------

Bytes anime_chunk(const AnimDesc& a)
{
    ChunkBuf b;
    uint32_t max_frames = a.max_frames;
    for (const auto& n : a.nodes) max_frames = std::max(max_frames, uint32_t(n.frames.size()));
    b.put_u32(uint32_t(a.nodes.size()));
    b.put_u32(max_frames);
    b.put_u32(0);   // name
    b.put_u32(20);  // node table
    b.put_u32(0);   // further offset, unread
    uint32_t table = b.put_zero(4 * a.nodes.size());
    std::vector<uint32_t> name_slots;
    for (size_t i = 0; i < a.nodes.size(); i++) {
        b.set_u32(uint32_t(table + 4 * i), b.size());
        name_slots.push_back(b.put_u32(0));
        b.put_u32(0);
        b.put_u32(uint32_t(a.nodes[i].frames.size()));
        for (const auto& m : a.nodes[i].frames) put_mat(b, m);
    }
    b.set_u32(8, b.put_name(a.name));
    for (size_t i = 0; i < a.nodes.size(); i++)
        b.set_u32(name_slots[i], b.put_name(a.nodes[i].name));
    return b.data;
}

// ---- texture, crops -----------------------------------------------------------

Bytes tex_chunk(const std::string& name, const Bytes& image)
{
    ChunkBuf b;
    b.put_zero(12);
    b.set_u32(0, b.put_name(name));
    b.set_u32(4, b.put_bytes(image.data(), image.size()));
    b.set_u32(8, uint32_t(image.size()));
    return b.data;
}

Bytes crop_chunk(const std::vector<CropDesc>& crops)
{
    ChunkBuf b;
    b.put_u32(uint32_t(crops.size()));
    uint32_t recs = b.put_zero(32 * crops.size());
    for (size_t i = 0; i < crops.size(); i++) {
        uint32_t r = uint32_t(recs + 32 * i);
        b.set_f32(r + 16, crops[i].u);
        b.set_f32(r + 20, crops[i].v);
        b.set_f32(r + 24, crops[i].w);
        b.set_f32(r + 28, crops[i].h);
    }
    for (size_t i = 0; i < crops.size(); i++) {
        uint32_t r = uint32_t(recs + 32 * i);
        b.set_u32(r, b.put_name(crops[i].name));
        b.set_u32(r + 4, b.put_name(crops[i].texture));
    }
    return b.data;
}

// ---- sphere-hit set, camera path ----------------------------------------------

Bytes shit_chunk(const std::string& name, const std::vector<SphereDesc>& spheres)
{
    ChunkBuf b;
    b.put_zero(12);
    b.set_u32(4, b.size());
    b.set_u32(8, uint32_t(spheres.size()));
    for (const auto& s : spheres) {
        b.put_f32(s.radius);
        put_vec3(b, s.centre);
    }
    b.set_u32(0, b.put_name(name));
    return b.data;
}

Bytes camr_chunk(const CamrDesc& c)
{
    ChunkBuf b;
    b.put_zero(24);
    b.set_u32(4, b.size());
    b.set_u32(8, uint32_t(c.keys.size()));
    b.set_u32(12, c.word);
    b.set_f32(16, c.f0);
    b.set_f32(20, c.f1);
    for (const auto& k : c.keys)
        for (uint32_t w : k) b.put_u32(w);
    b.set_u32(0, b.put_name(c.name));
    return b.data;
}

}  // namespace qvw

// The model group file's chunks: the kind table, bounds-checked reads, and one parser with its
// accessors per chunk kind (the format and what callers rely on are in chunk.h).
#include "res/chunk.h"
#include "res/chunk_local.h"

#include <cstring>

#include "plat/byte_order.h"

// ---- kind table -------------------------------------------------------------------

namespace {

constexpr ChunkKindInfo CHUNK_KINDS[CHUNK_KIND_COUNT] = {
    {0x2054515A, 0x02000000, 4, 5},    // "ZQT "
    {0x454E4F42, 0x01000000, 6, 7},    // "BONE"
    {0x4D494E41, 0x02000000, 8, 9},    // "ANIM"
    {0x4C4C4F43, 0x01000000, 10, 11},  // "COLL"
    {0x20584554, 0x01000000, 12, 13},  // "TEX "
    {0x504F5243, 0x01000000, 14, 15},  // "CROP"
    {0x54494853, 0x01000000, 16, 17},  // "SHIT"
    {0x524D4143, 0x01000000, 18, 19},  // "CAMR"
    {0x20414C46, 0x01000000, 20, 21},  // "FLA "
};

}  // namespace

const ChunkKindInfo& chunk_kind_info(int kind)
{
    return CHUNK_KINDS[kind >= 0 && kind < CHUNK_KIND_COUNT ? kind : 0];
}

int chunk_kind_of(uint32_t magic)
{
    for (int k = 0; k < CHUNK_KIND_COUNT; k++)
        if (CHUNK_KINDS[k].magic == magic) return k;
    return -1;
}

// ---- bounds-checked reads ---------------------------------------------------------

bool chunk_rd_fits(ByteSpan d, uint64_t off, uint64_t count, uint64_t elem)
{
    if (off > d.size()) return false;
    if (elem && count > (d.size() - off) / elem) return false;
    return true;
}

bool chunk_rd_u8(ByteSpan d, uint64_t off, uint8_t& v)
{
    if (!chunk_rd_fits(d, off, 1, 1)) return false;
    v = d[off];
    return true;
}

bool chunk_rd_u16(ByteSpan d, uint64_t off, uint16_t& v)
{
    if (!chunk_rd_fits(d, off, 1, 2)) return false;
    v = plat_le_get16(&d[off]);
    return true;
}

bool chunk_rd_u32(ByteSpan d, uint64_t off, uint32_t& v)
{
    if (!chunk_rd_fits(d, off, 1, 4)) return false;
    v = plat_le_get32(&d[off]);
    return true;
}

bool chunk_rd_f32(ByteSpan d, uint64_t off, float& v)
{
    uint32_t u;
    if (!chunk_rd_u32(d, off, u)) return false;
    std::memcpy(&v, &u, 4);
    return true;
}

bool chunk_rd_f32s(ByteSpan d, uint64_t off, float* v, uint32_t n)
{
    if (!chunk_rd_fits(d, off, n, 4)) return false;
    for (uint32_t i = 0; i < n; i++) chunk_rd_f32(d, off + 4ull * i, v[i]);
    return true;
}

uint32_t chunk_rd_u32_or0(ByteSpan d, uint64_t off)
{
    uint32_t v = 0;
    return chunk_rd_u32(d, off, v) ? v : 0;
}

const char* chunk_rd_name(ByteSpan d, uint64_t off)
{
    if (off >= d.size()) return nullptr;
    uint64_t room = d.size() - off;
    if (room > CHUNK_NAME_MAX + 1) room = CHUNK_NAME_MAX + 1;
    const void* nul = std::memchr(d.data() + off, 0, size_t(room));
    return nul ? reinterpret_cast<const char*>(d.data() + off) : nullptr;
}

bool chunk_wr_u32(MutByteSpan d, uint64_t off, uint32_t v)
{
    if (!chunk_rd_fits(ByteSpan(d), off, 1, 4)) return false;
    plat_le_put32(&d[off], v);
    return true;
}

bool chunk_header_read(ByteSpan bytes, ChunkHeader& out)
{
    return chunk_rd_u32(bytes, 0, out.magic) && chunk_rd_u32(bytes, 4, out.version) &&
           chunk_rd_u32(bytes, 8, out.size);
}

int chunk_file_next(ByteSpan file, uint64_t& pos, ChunkHeader& h, ByteSpan& data)
{
    if (pos >= file.size()) return CHUNK_WALK_END;
    if (!chunk_header_read(file.subspan(size_t(pos)), h)) return CHUNK_WALK_SHORT_HEADER;
    uint64_t at = pos + CHUNK_HEADER_SIZE;
    if (!chunk_rd_fits(file, at, h.size, 1)) return CHUNK_WALK_SHORT_DATA;
    data = file.subspan(size_t(at), h.size);
    pos = at + h.size;
    return CHUNK_WALK_CHUNK;
}

namespace {

// A name offset that must hold a name (0 means absent in this format).
bool name_ok(ByteSpan d, uint32_t off) { return off != 0 && chunk_rd_name(d, off) != nullptr; }
// A name offset that may be 0 (absent).
bool opt_name_ok(ByteSpan d, uint32_t off) { return off == 0 || name_ok(d, off); }

// The largest u16 in an array known to fit.
uint32_t max_u16(ByteSpan d, uint32_t off, uint64_t n)
{
    uint32_t m = 0;
    for (uint64_t i = 0; i < n; i++) {
        uint16_t v = 0;
        chunk_rd_u16(d, off + 2 * i, v);
        if (v > m) m = v;
    }
    return m;
}

constexpr uint32_t CHUNK_ATTR_ELEM[CHUNK_ATTR_COUNT] = {12, 12, 8, CHUNK_MODEL_BLEND_SIZE, 4};
constexpr uint32_t CHUNK_ATTR_DATA_WORD[CHUNK_ATTR_COUNT] = {2, 3, 4, 5, 6};
constexpr uint32_t CHUNK_ATTR_INDEX_WORD[CHUNK_ATTR_COUNT] = {7, 8, 9, 10, 11};

}  // namespace

// ---- model --------------------------------------------------------------------------

int chunk_parse_model(ByteSpan d, ModelChunk& m)
{
    m = ModelChunk{};
    if (d.size() < CHUNK_MODEL_FIXED_SIZE) return CHUNK_ERR_SHORT;
    auto w = [&](uint32_t i) { return chunk_rd_u32_or0(d, 4ull * i); };
    m.tris = w(0);
    m.name_off = w(1);
    if (!name_ok(d, m.name_off)) return CHUNK_ERR_NAME;
    const uint64_t corners = 3ull * m.tris;
    for (int a = 0; a < CHUNK_ATTR_COUNT; a++) {
        m.data_off[a] = w(CHUNK_ATTR_DATA_WORD[a]);
        m.index_off[a] = w(CHUNK_ATTR_INDEX_WORD[a]);
        m.has[a] = m.data_off[a] != 0 && m.index_off[a] != 0;
    }
    m.has[CHUNK_ATTR_BLEND] = m.has[CHUNK_ATTR_BLEND] && w(13) != 0;
    // Without positions nothing can be built, and corners could claim memory
    // that no index array pays for.
    if (m.tris && !m.has[CHUNK_ATTR_POS]) return CHUNK_ERR_RANGE;
    for (int a = 0; a < CHUNK_ATTR_COUNT; a++) {
        if (!m.has[a]) {
            m.data_off[a] = m.index_off[a] = 0;
            continue;
        }
        if (!chunk_rd_fits(d, m.index_off[a], corners, 2)) return CHUNK_ERR_OFFSET;
        m.length[a] = corners ? max_u16(d, m.index_off[a], corners) + 1 : 0;
        if (!chunk_rd_fits(d, m.data_off[a], m.length[a], CHUNK_ATTR_ELEM[a]))
            return CHUNK_ERR_OFFSET;
    }
    m.bone_count = w(12);
    m.bone_names_off = w(14);
    m.bone_mats_off = w(15);
    if (m.bone_count) {
        if (!m.bone_names_off || !m.bone_mats_off ||
            !chunk_rd_fits(d, m.bone_names_off, m.bone_count, 4) ||
            !chunk_rd_fits(d, m.bone_mats_off, m.bone_count, 64))
            return CHUNK_ERR_OFFSET;
        for (uint32_t b = 0; b < m.bone_count; b++)
            if (!name_ok(d, chunk_rd_u32_or0(d, m.bone_names_off + 4ull * b)))
                return CHUNK_ERR_NAME;
    }
    for (int k = 0; k < 3; k++) {
        chunk_rd_f32(d, 64 + 8 * k, m.box_min[k]);
        chunk_rd_f32(d, 68 + 8 * k, m.box_max[k]);
    }
    chunk_rd_f32s(d, 88, m.sphere, 5);
    m.subset_count = w(27);
    if (!chunk_rd_fits(d, CHUNK_MODEL_FIXED_SIZE, m.subset_count, CHUNK_MODEL_SUBSET_SIZE))
        return CHUNK_ERR_COUNT;
    for (uint32_t s = 0; s < m.subset_count; s++) {
        ModelSubsetRec r;
        chunk_model_subset(d, s, r);
        if (!opt_name_ok(d, r.tex_name_off)) return CHUNK_ERR_NAME;
        if (r.first <= r.last && r.last >= m.tris) return CHUNK_ERR_RANGE;
    }
    return CHUNK_OK;
}

bool chunk_model_subset(ByteSpan d, uint32_t i, ModelSubsetRec& r)
{
    uint64_t at = CHUNK_MODEL_FIXED_SIZE + uint64_t(CHUNK_MODEL_SUBSET_SIZE) * i;
    if (!chunk_rd_fits(d, at, 1, CHUNK_MODEL_SUBSET_SIZE)) return false;
    chunk_rd_u32(d, at, r.tex_name_off);
    chunk_rd_u32(d, at + 4, r.word);
    chunk_rd_u32(d, at + 8, r.first);
    chunk_rd_u32(d, at + 12, r.last);
    return true;
}

uint16_t chunk_model_corner_index(ByteSpan d, const ModelChunk& m, int attr, uint32_t corner)
{
    uint16_t v = 0;
    if (attr >= 0 && attr < CHUNK_ATTR_COUNT && m.has[attr])
        chunk_rd_u16(d, m.index_off[attr] + 2ull * corner, v);
    return v;
}

// ---- bone ---------------------------------------------------------------------------

bool chunk_bone_next(ByteSpan d, uint32_t& pos, BoneTok& t)
{
    t = BoneTok{};
    t.at = pos;
    if (!chunk_rd_u32(d, pos, t.kind)) return false;
    uint64_t next = uint64_t(pos) + 4;
    switch (t.kind) {
    case CHUNK_BONE_TOK_NODE:
        if (!chunk_rd_u32(d, next, t.name_off) || !chunk_rd_fits(d, next + 4, 1, 4)) return false;
        t.hash_off = uint32_t(next + 4);
        next += 8;
        break;
    case CHUNK_BONE_TOK_MATRIX:
        if (!chunk_rd_fits(d, next, 16, 4)) return false;
        t.matrix_off = uint32_t(next);
        next += 64;
        break;
    case CHUNK_BONE_TOK_PUSH:
    case CHUNK_BONE_TOK_POP: break;
    default: return false;  // the end token, or one that is not a token
    }
    pos = uint32_t(next);
    return true;
}

int chunk_parse_bone(ByteSpan d, BoneChunk& out)
{
    out = BoneChunk{};
    if (d.size() < 8) return CHUNK_EMPTY;
    uint32_t pos = 0, depth = 0;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_NODE && t.name_off) {
            if (!name_ok(d, t.name_off)) return CHUNK_ERR_NAME;
            if (!out.named_count++) out.first_name_off = t.name_off;
        } else if (t.kind == CHUNK_BONE_TOK_PUSH) {
            if (++depth > CHUNK_BONE_MAX_DEPTH) return CHUNK_ERR_STREAM;
        } else if (t.kind == CHUNK_BONE_TOK_POP) {
            if (depth == 0) return CHUNK_ERR_STREAM;
            depth--;
        }
    }
    if (t.kind != CHUNK_BONE_TOK_END) return CHUNK_ERR_STREAM;
    return out.named_count ? CHUNK_OK : CHUNK_EMPTY;
}

// ---- animation ----------------------------------------------------------------------

bool chunk_anim_node(ByteSpan d, uint32_t i, AnimNode& n)
{
    uint32_t count = chunk_rd_u32_or0(d, 0), table = chunk_rd_u32_or0(d, 12), off;
    if (i >= count || !chunk_rd_u32(d, table + 4ull * i, off)) return false;
    if (!chunk_rd_u32(d, off, n.name_off) || !chunk_rd_fits(d, off + 4ull, 1, 4) ||
        !chunk_rd_u32(d, off + 8ull, n.frame_count))
        return false;
    n.hash_off = off + 4;
    n.frames_off = off + 12;
    return chunk_rd_fits(d, n.frames_off, n.frame_count, 64);
}

bool chunk_anim_frame(ByteSpan d, const AnimNode& n, uint32_t f, float out[16])
{
    if (n.frame_count == 0) return false;
    if (f >= n.frame_count) f = n.frame_count - 1;
    return chunk_rd_f32s(d, n.frames_off + 64ull * f, out, 16);
}

int chunk_parse_anime(ByteSpan d, AnimChunk& a)
{
    a = AnimChunk{};
    if (d.size() < 20) return CHUNK_ERR_SHORT;
    a.node_count = chunk_rd_u32_or0(d, 0);
    a.max_frames = chunk_rd_u32_or0(d, 4);
    a.name_off = chunk_rd_u32_or0(d, 8);
    a.table_off = chunk_rd_u32_or0(d, 12);
    uint32_t extra = chunk_rd_u32_or0(d, 16);
    if (!name_ok(d, a.name_off)) return CHUNK_ERR_NAME;
    if (extra > d.size()) return CHUNK_ERR_OFFSET;
    if (!chunk_rd_fits(d, a.table_off, a.node_count, 4)) return CHUNK_ERR_OFFSET;
    for (uint32_t i = 0; i < a.node_count; i++) {
        AnimNode n;
        if (!chunk_anim_node(d, i, n)) return CHUNK_ERR_OFFSET;
        if (!name_ok(d, n.name_off)) return CHUNK_ERR_NAME;
        if (n.frame_count == 0) return CHUNK_ERR_RANGE;
    }
    return CHUNK_OK;
}

// ---- collision set ------------------------------------------------------------------

namespace {

bool read_tri_body(ByteSpan d, uint64_t at, CollTri& t)
{
    if (!chunk_rd_fits(d, at, 1, CHUNK_COLL_TRI_SIZE)) return false;
    chunk_rd_f32s(d, at, &t.c[0][0], 9);
    chunk_rd_f32s(d, at + 36, t.normal, 3);
    chunk_rd_f32s(d, at + 48, t.sphere, 4);
    chunk_rd_u32(d, at + 64, t.word);
    chunk_rd_u32(d, at + 68, t.face);
    return true;
}

}  // namespace

bool chunk_coll_box(ByteSpan d, const CollChunk& c, uint32_t i, CollBox& b)
{
    uint64_t at = c.box_table_off + uint64_t(CHUNK_COLL_BOX_SIZE) * i;
    if (i >= c.box_count || !chunk_rd_fits(d, at, 1, CHUNK_COLL_BOX_SIZE)) return false;
    chunk_rd_u32(d, at, b.tri_count);
    chunk_rd_u32(d, at + 4, b.tris_off);
    chunk_rd_f32s(d, at + 8, b.centre, 3);
    chunk_rd_f32s(d, at + 20, b.half, 3);
    chunk_rd_f32s(d, at + 32, b.sphere, 4);
    return true;
}

bool chunk_coll_box_tri(ByteSpan d, const CollBox& b, uint32_t j, CollTri& t)
{
    return j < b.tri_count && read_tri_body(d, b.tris_off + uint64_t(CHUNK_COLL_TRI_SIZE) * j, t);
}

bool chunk_coll_shared(ByteSpan d, const CollChunk& c, uint32_t i, CollShared& s)
{
    uint64_t at = c.shared_off + uint64_t(CHUNK_COLL_SHARED_SIZE) * i;
    if (i >= c.shared_count || !chunk_rd_fits(d, at, 1, CHUNK_COLL_SHARED_SIZE)) return false;
    chunk_rd_u32(d, at, s.box_count);
    read_tri_body(d, at + 4, s.tri);
    chunk_rd_u32(d, at + 76, s.boxes_off);
    return true;
}

bool chunk_coll_layer(ByteSpan d, const CollChunk& c, uint32_t i, CollLayer& l)
{
    uint64_t at = c.layer_off + uint64_t(CHUNK_COLL_LAYER_SIZE) * i;
    if (i >= c.layer_count || !chunk_rd_fits(d, at, 1, CHUNK_COLL_LAYER_SIZE)) return false;
    chunk_rd_u32(d, at, l.node_count);
    chunk_rd_u32(d, at + 24, l.nodes_off);
    return true;
}

bool chunk_coll_node_at(ByteSpan d, uint32_t off, CollNode& n)
{
    if (!chunk_rd_fits(d, off, 1, CHUNK_COLL_NODE_SIZE)) return false;
    chunk_rd_u32(d, off, n.child_count);
    chunk_rd_f32s(d, off + 4ull, n.centre, 3);
    chunk_rd_f32s(d, off + 16ull, n.half, 3);
    chunk_rd_f32s(d, off + 28ull, n.sphere, 4);
    n.children_off = off + CHUNK_COLL_NODE_SIZE;
    if (!chunk_rd_fits(d, n.children_off, n.child_count, 4)) return false;
    n.next_off = uint32_t(n.children_off + 4ull * n.child_count);
    return true;
}

uint32_t chunk_coll_u32_at(ByteSpan d, uint32_t list_off, uint32_t i)
{
    return chunk_rd_u32_or0(d, list_off + 4ull * i);
}

int chunk_parse_coll(ByteSpan d, CollChunk& c)
{
    c = CollChunk{};
    if (d.size() < CHUNK_COLL_FIXED_SIZE) return CHUNK_ERR_SHORT;
    c.name_off = chunk_rd_u32_or0(d, 0);
    if (!name_ok(d, c.name_off)) return CHUNK_ERR_NAME;
    uint64_t boxes = 1;
    for (int k = 0; k < 3; k++) {
        c.div[k] = chunk_rd_u32_or0(d, 8 + 4 * k);
        boxes *= c.div[k];
        if (boxes > d.size() / CHUNK_COLL_BOX_SIZE) return CHUNK_ERR_COUNT;
    }
    c.box_count = uint32_t(boxes);
    chunk_rd_f32s(d, 20, c.box_min, 3);
    chunk_rd_f32s(d, 32, c.box_max, 3);
    chunk_rd_f32s(d, 44, c.sphere, 4);
    chunk_rd_f32(d, 60, c.origin_radius);
    c.box_table_off = chunk_rd_u32_or0(d, 64);
    c.shared_off = chunk_rd_u32_or0(d, 72);
    c.shared_count = chunk_rd_u32_or0(d, 76);
    c.layer_off = chunk_rd_u32_or0(d, 80);
    c.layer_count = chunk_rd_u32_or0(d, 84);
    if (!chunk_rd_fits(d, c.box_table_off, c.box_count, CHUNK_COLL_BOX_SIZE))
        return CHUNK_ERR_OFFSET;
    // Triangles, lists and nodes of a real set never share bytes, so their
    // sums are bounded by the size; this keeps the check, and the work of
    // every consumer, linear for hostile data too.
    uint64_t tri_budget = d.size() / CHUNK_COLL_TRI_SIZE;
    for (uint32_t i = 0; i < c.box_count; i++) {
        CollBox b;
        chunk_coll_box(d, c, i, b);
        if (b.tri_count && !chunk_rd_fits(d, b.tris_off, b.tri_count, CHUNK_COLL_TRI_SIZE))
            return CHUNK_ERR_OFFSET;
        if (b.tri_count > tri_budget) return CHUNK_ERR_COUNT;
        tri_budget -= b.tri_count;
    }
    if (!chunk_rd_fits(d, c.shared_off, c.shared_count, CHUNK_COLL_SHARED_SIZE))
        return CHUNK_ERR_OFFSET;
    uint64_t budget = d.size() / 4;
    for (uint32_t i = 0; i < c.shared_count; i++) {
        CollShared s;
        chunk_coll_shared(d, c, i, s);
        if (!chunk_rd_fits(d, s.boxes_off, s.box_count, 4)) return CHUNK_ERR_OFFSET;
        if (s.box_count > budget) return CHUNK_ERR_COUNT;
        budget -= s.box_count;
        for (uint32_t k = 0; k < s.box_count; k++)
            if (chunk_coll_u32_at(d, s.boxes_off, k) >= c.box_count) return CHUNK_ERR_INDEX;
    }
    if (!chunk_rd_fits(d, c.layer_off, c.layer_count, CHUNK_COLL_LAYER_SIZE))
        return CHUNK_ERR_OFFSET;
    // Layers are lowest first: children of layer k index layer k-1's nodes,
    // those of layer 0 the leaf boxes.
    uint32_t below = c.box_count;
    for (uint32_t i = 0; i < c.layer_count; i++) {
        CollLayer l;
        chunk_coll_layer(d, c, i, l);
        if (l.node_count > budget / (CHUNK_COLL_NODE_SIZE / 4)) return CHUNK_ERR_COUNT;
        budget -= l.node_count * (CHUNK_COLL_NODE_SIZE / 4);
        uint32_t off = l.nodes_off;
        for (uint32_t n = 0; n < l.node_count; n++) {
            CollNode node;
            if (!chunk_coll_node_at(d, off, node)) return CHUNK_ERR_OFFSET;
            if (node.child_count > budget) return CHUNK_ERR_COUNT;
            budget -= node.child_count;
            for (uint32_t k = 0; k < node.child_count; k++)
                if (chunk_coll_u32_at(d, node.children_off, k) >= below) return CHUNK_ERR_INDEX;
            off = node.next_off;
        }
        below = l.node_count;
    }
    return CHUNK_OK;
}

// ---- texture, crops, sphere hits, camera path ---------------------------------------

// The head texture and sphere-hit chunks share: a name, then count elements
// of elem bytes at an offset.
namespace {
int parse_named_table(ByteSpan d, uint32_t& name_off, uint32_t& off, uint32_t& count, uint32_t elem)
{
    if (d.size() < 12) return CHUNK_ERR_SHORT;
    name_off = chunk_rd_u32_or0(d, 0);
    off = chunk_rd_u32_or0(d, 4);
    count = chunk_rd_u32_or0(d, 8);
    if (!name_ok(d, name_off)) return CHUNK_ERR_NAME;
    if (!chunk_rd_fits(d, off, count, elem)) return CHUNK_ERR_OFFSET;
    return CHUNK_OK;
}
}  // namespace

int chunk_parse_tex(ByteSpan d, TexChunk& t)
{
    t = TexChunk{};
    return parse_named_table(d, t.name_off, t.image_off, t.image_size, 1);
}

bool chunk_crop_rec(ByteSpan d, uint32_t i, CropRec& r)
{
    uint64_t at = 4 + uint64_t(CHUNK_CROP_REC_SIZE) * i;
    if (i >= chunk_rd_u32_or0(d, 0) || !chunk_rd_fits(d, at, 1, CHUNK_CROP_REC_SIZE)) return false;
    chunk_rd_u32(d, at, r.name_off);
    chunk_rd_u32(d, at + 4, r.tex_name_off);
    chunk_rd_f32(d, at + 16, r.u);
    chunk_rd_f32(d, at + 20, r.v);
    chunk_rd_f32(d, at + 24, r.w);
    chunk_rd_f32(d, at + 28, r.h);
    return true;
}

int chunk_parse_crop(ByteSpan d, uint32_t& count)
{
    count = 0;
    if (d.size() < 4) return CHUNK_ERR_SHORT;
    uint32_t n = chunk_rd_u32_or0(d, 0);
    if (!chunk_rd_fits(d, 4, n, CHUNK_CROP_REC_SIZE)) return CHUNK_ERR_COUNT;
    for (uint32_t i = 0; i < n; i++) {
        CropRec r;
        chunk_crop_rec(d, i, r);
        if (!name_ok(d, r.name_off) || !name_ok(d, r.tex_name_off)) return CHUNK_ERR_NAME;
    }
    count = n;
    return CHUNK_OK;
}

int chunk_parse_shit(ByteSpan d, ShitChunk& s)
{
    s = ShitChunk{};
    return parse_named_table(d, s.name_off, s.table_off, s.count, 16);
}

bool chunk_shit_sphere(ByteSpan d, const ShitChunk& s, uint32_t i, ShitSphere& out)
{
    uint64_t at = s.table_off + 16ull * i;
    if (i >= s.count || !chunk_rd_fits(d, at, 4, 4)) return false;
    chunk_rd_f32(d, at, out.radius);
    chunk_rd_f32s(d, at + 4, out.centre, 3);
    return true;
}

int chunk_parse_camr(ByteSpan d, CamrChunk& c)
{
    c = CamrChunk{};
    if (d.empty()) return CHUNK_EMPTY;
    if (d.size() < 24) return CHUNK_ERR_SHORT;
    c.name_off = chunk_rd_u32_or0(d, 0);
    c.keys_off = chunk_rd_u32_or0(d, 4);
    c.key_count = chunk_rd_u32_or0(d, 8);
    c.word = chunk_rd_u32_or0(d, 12);
    chunk_rd_f32(d, 16, c.f0);
    chunk_rd_f32(d, 20, c.f1);
    if (!name_ok(d, c.name_off)) return CHUNK_ERR_NAME;
    if (!chunk_rd_fits(d, c.keys_off, c.key_count, CHUNK_CAMR_KEY_SIZE)) return CHUNK_ERR_OFFSET;
    return CHUNK_OK;
}

// ---- vector animation -----------------------------------------------------------------

namespace {

constexpr uint32_t CHUNK_FLA_REC_SIZE[CHUNK_FLA_TABLE_COUNT] = {4, 8, 24, 8, 8};

bool fla_named(ByteSpan d, const FlaChunk& f, int table, uint32_t i, FlaNamed& out)
{
    uint64_t at = f.table_off[table] + 8ull * i;
    if (i >= f.count[table] || !chunk_rd_fits(d, at, 1, 8)) return false;
    chunk_rd_u16(d, at, out.id);
    chunk_rd_u32(d, at + 4, out.name_off);
    return true;
}

// Payload bytes a command needs before its optional fields.
bool cmd_payload_ok(ByteSpan d, const FlaCmd& c, uint16_t sprite_count)
{
    switch (c.op) {
    case 1: {
        uint8_t flags;
        if (c.length < 3 || !chunk_rd_u8(d, c.payload_off + 2ull, flags)) return false;
        uint32_t need = 3 + ((flags & 4) ? 2 : 0) + ((flags & 1) ? 24 : 0) + ((flags & 2) ? 4 : 0);
        return c.length >= need;
    }
    case 2: return c.length >= 2;
    case 4: {
        uint16_t sprite;
        return c.length >= 2 && chunk_rd_u16(d, c.payload_off, sprite) && sprite < sprite_count;
    }
    default: return true;
    }
}

// Every command takes at least 4 bytes; streams of a real movie do not share
// bytes, so the commands of all streams together are bounded by the size.
bool stream_ok(ByteSpan d, uint32_t off, uint16_t sprite_count, uint64_t& budget)
{
    FlaCmd c;
    while (chunk_fla_cmd(d, off, c)) {
        if (budget == 0) return false;
        budget--;
        if (c.op == 0) return true;
        if (!cmd_payload_ok(d, c, sprite_count)) return false;
        off = c.next_off;
    }
    return false;
}

}  // namespace

bool chunk_fla_cmd(ByteSpan d, uint32_t off, FlaCmd& c)
{
    c = FlaCmd{};
    if (!chunk_rd_u8(d, off, c.op) || !chunk_rd_u16(d, off + 2ull, c.length)) return false;
    c.payload_off = off + 4;
    if (!chunk_rd_fits(d, c.payload_off, c.length, 1)) return false;
    c.next_off = c.payload_off + c.length;
    return true;
}

uint32_t chunk_fla_frame_stream(ByteSpan d, const FlaChunk& f, uint32_t i)
{
    return i < f.count[CHUNK_FLA_FRAMES]
               ? chunk_rd_u32_or0(d, f.table_off[CHUNK_FLA_FRAMES] + 4ull * i)
               : 0;
}

bool chunk_fla_image(ByteSpan d, const FlaChunk& f, uint32_t i, FlaNamed& out)
{
    return fla_named(d, f, CHUNK_FLA_IMAGES, i, out);
}
bool chunk_fla_asset(ByteSpan d, const FlaChunk& f, uint32_t i, FlaNamed& out)
{
    return fla_named(d, f, CHUNK_FLA_ASSETS, i, out);
}

bool chunk_fla_shape(ByteSpan d, const FlaChunk& f, uint32_t i, FlaShape& s)
{
    uint64_t at = f.table_off[CHUNK_FLA_SHAPES] + 24ull * i;
    if (i >= f.count[CHUNK_FLA_SHAPES] || !chunk_rd_fits(d, at, 1, 24)) return false;
    chunk_rd_u16(d, at, s.char_id);
    chunk_rd_u16(d, at + 2, s.part_count);
    for (int k = 0; k < 4; k++) {
        uint32_t v = 0;
        chunk_rd_u32(d, at + 4 + 4 * k, v);
        s.rect[k] = int32_t(v);
    }
    chunk_rd_u32(d, at + 20, s.parts_off);
    return true;
}

bool chunk_fla_part(ByteSpan d, const FlaShape& s, uint32_t i, FlaPart& p)
{
    uint64_t at = s.parts_off + 16ull * i;
    if (i >= s.part_count || !chunk_rd_fits(d, at, 1, 16)) return false;
    chunk_rd_u16(d, at, p.image_id);
    chunk_rd_u16(d, at + 2, p.vert_count);
    chunk_rd_u16(d, at + 4, p.index_count);
    chunk_rd_u32(d, at + 8, p.verts_off);
    chunk_rd_u32(d, at + 12, p.indices_off);
    return true;
}

bool chunk_fla_sprite(ByteSpan d, const FlaChunk& f, uint32_t i, FlaSprite& s)
{
    uint64_t at = f.table_off[CHUNK_FLA_SPRITES] + 8ull * i;
    if (i >= f.count[CHUNK_FLA_SPRITES] || !chunk_rd_fits(d, at, 1, 8)) return false;
    chunk_rd_u16(d, at, s.id);
    chunk_rd_u16(d, at + 2, s.frame_count);
    chunk_rd_u32(d, at + 4, s.frames_off);
    return true;
}

uint32_t chunk_fla_sprite_stream(ByteSpan d, const FlaSprite& s, uint32_t i)
{
    return i < s.frame_count ? chunk_rd_u32_or0(d, s.frames_off + 4ull * i) : 0;
}

int chunk_parse_fla(ByteSpan d, FlaChunk& f)
{
    f = FlaChunk{};
    if (d.empty()) return CHUNK_EMPTY;
    if (d.size() < CHUNK_FLA_FIXED_SIZE) return CHUNK_ERR_SHORT;
    f.name_off = chunk_rd_u32_or0(d, 0);
    for (int k = 0; k < 4; k++) f.rect[k] = int32_t(chunk_rd_u32_or0(d, 4 + 4 * k));
    chunk_rd_f32(d, 20, f.rate);
    for (int t = 0; t < CHUNK_FLA_TABLE_COUNT; t++) {
        chunk_rd_u16(d, 24 + 2 * t, f.count[t]);
        f.table_off[t] = chunk_rd_u32_or0(d, 36 + 4 * t);
        if (f.count[t] && (f.table_off[t] == 0 ||
                           !chunk_rd_fits(d, f.table_off[t], f.count[t], CHUNK_FLA_REC_SIZE[t])))
            return CHUNK_ERR_OFFSET;
    }
    if (!name_ok(d, f.name_off)) return CHUNK_ERR_NAME;
    const uint16_t sprites = f.count[CHUNK_FLA_SPRITES];
    uint64_t budget = d.size() / 4;
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_FRAMES]; i++) {
        uint32_t s = chunk_fla_frame_stream(d, f, i);
        if (s == 0 || !stream_ok(d, s, sprites, budget)) return CHUNK_ERR_STREAM;
    }
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_IMAGES]; i++) {
        FlaNamed n{};  // an unreadable record has no name
        chunk_fla_image(d, f, i, n);
        if (!name_ok(d, n.name_off)) return CHUNK_ERR_NAME;
    }
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_ASSETS]; i++) {
        FlaNamed n{};
        chunk_fla_asset(d, f, i, n);
        if (!name_ok(d, n.name_off)) return CHUNK_ERR_NAME;
    }
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_SHAPES]; i++) {
        FlaShape s;
        chunk_fla_shape(d, f, i, s);
        if (s.part_count && (s.parts_off == 0 || !chunk_rd_fits(d, s.parts_off, s.part_count, 16)))
            return CHUNK_ERR_OFFSET;
        if (4ull * s.part_count > budget) return CHUNK_ERR_COUNT;
        budget -= 4ull * s.part_count;
        for (uint32_t p = 0; p < s.part_count; p++) {
            FlaPart part;
            chunk_fla_part(d, s, p, part);
            if (part.vert_count > CHUNK_FLA_PART_MAX_VERTS ||
                part.index_count > CHUNK_FLA_PART_MAX_INDICES)
                return CHUNK_ERR_RANGE;
            if ((part.vert_count && !chunk_rd_fits(d, part.verts_off, part.vert_count, 20)) ||
                (part.index_count && !chunk_rd_fits(d, part.indices_off, part.index_count, 2)))
                return CHUNK_ERR_OFFSET;
            if (part.index_count / 2 > budget) return CHUNK_ERR_COUNT;
            budget -= part.index_count / 2;
            if (part.index_count &&
                max_u16(d, part.indices_off, part.index_count) >= part.vert_count)
                return CHUNK_ERR_INDEX;
        }
    }
    for (uint32_t i = 0; i < sprites; i++) {
        FlaSprite s;
        chunk_fla_sprite(d, f, i, s);
        if (s.frame_count &&
            (s.frames_off == 0 || !chunk_rd_fits(d, s.frames_off, s.frame_count, 4)))
            return CHUNK_ERR_OFFSET;
        if (s.frame_count > budget) return CHUNK_ERR_COUNT;
        budget -= s.frame_count;
        for (uint32_t k = 0; k < s.frame_count; k++) {
            uint32_t st = chunk_fla_sprite_stream(d, s, k);
            if (st && !stream_ok(d, st, sprites, budget)) return CHUNK_ERR_STREAM;
        }
    }
    return CHUNK_OK;
}

// ---- any kind -------------------------------------------------------------------------

int chunk_check(int kind, ByteSpan d)
{
    switch (kind) {
    case CHUNK_MODEL: {
        ModelChunk m;
        return chunk_parse_model(d, m);
    }
    case CHUNK_BONE: {
        BoneChunk b;
        return chunk_parse_bone(d, b);
    }
    case CHUNK_ANIME: {
        AnimChunk a;
        return chunk_parse_anime(d, a);
    }
    case CHUNK_COLL: {
        CollChunk c;
        return chunk_parse_coll(d, c);
    }
    case CHUNK_TEX: {
        TexChunk t;
        return chunk_parse_tex(d, t);
    }
    case CHUNK_CROP: {
        uint32_t n;
        return chunk_parse_crop(d, n);
    }
    case CHUNK_SHIT: {
        ShitChunk s;
        return chunk_parse_shit(d, s);
    }
    case CHUNK_CAMR: {
        CamrChunk c;
        return chunk_parse_camr(d, c);
    }
    case CHUNK_FLA: {
        FlaChunk f;
        return chunk_parse_fla(d, f);
    }
    default: return CHUNK_ERR_SHORT;
    }
}

const char* chunk_err_text(int err)
{
    switch (err) {
    case CHUNK_OK: return "accepted";
    case CHUNK_EMPTY: return "accepted, with nothing to register";
    case CHUNK_ERR_SHORT: return "smaller than its fixed part";
    case CHUNK_ERR_OFFSET: return "an offset or an array outside the chunk";
    case CHUNK_ERR_NAME: return "a name not ended inside the chunk, or too long";
    case CHUNK_ERR_COUNT: return "a count that cannot be right";
    case CHUNK_ERR_INDEX: return "an index beyond its array";
    case CHUNK_ERR_RANGE: return "a subset, frame or limit out of range";
    case CHUNK_ERR_STREAM: return "a token or command stream that does not end well";
    default: return "not readable";
    }
}

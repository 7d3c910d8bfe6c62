// The resource manager's chunk-data kinds (bone trees, animations, collision
// sets, sphere-hit sets, camera paths, vector animations): each registration
// copies a checked chunk into its pool's data buffer, and the queries read
// that stored copy in place.
#include "res/res_local.h"
#include "res/chunk_local.h"

#include <cmath>
#include <cstring>

using namespace res_local;

// ==== chunk-data kinds ================================================================================

namespace {

// Strips the name at off inside the stored copy and answers its hash.
NameHash strip_in_place(MutByteSpan d, uint32_t off)
{
    char* s = reinterpret_cast<char*>(d.data() + off);
    if (!chunk_rd_name(ByteSpan(d), off)) return 0;
    name_strip_variant(std::span<char>(s, std::strlen(s) + 1), s);
    return name_hash(s);
}

// Copies a checked chunk into a new entry of a data pool. `fix` adjusts the
// stored copy and the entry; own_name false keeps the name inside the data.
template <typename Fix>
ResHandle data_register(int pool, const char* group, const char* name, ByteSpan chunk,
                        bool own_name, Fix fix)
{
    RegStart r = reg_start(pool, group, name);
    if (r.existing || !r.ok) return r.existing;
    Pool& p = g.pool[pool];
    const uint32_t name_at = p.names.cursor, data_before = p.data.cursor;
    int64_t at = copy_data(p.data, chunk);
    if (at < 0) {
        note_full(pool, RES_ROOM_DATA);
        return 0;
    }
    DataEntry& e = *entry<DataEntry>(pool, p.used++);
    e = DataEntry{};
    static uint32_t serial = 0;
    e.info.serial = ++serial ? serial : ++serial;
    e.data_at = uint32_t(at);
    e.info.data = ByteSpan(p.data.base + at, chunk.size());
    MutByteSpan copy(p.data.base + at, chunk.size());
    const char* stored_name = own_name ? intern(p.names, name) : nullptr;
    if (!fix(copy, e, stored_name)) {
        p.used--;
        p.data.cursor = data_before;
        e = DataEntry{};
        return 0;
    }
    e.name_at = name_at;
    fill_head(e.h, r.group, stored_name, name);
    raise_high(p);
    return res_index_to_handle(p.used - 1);
}

}  // namespace

ResHandle res_bone_register(const char* group, const char* name, ByteSpan chunk)
{
    BoneChunk bc;
    if (chunk_parse_bone(chunk, bc) != CHUNK_OK) return 0;
    return data_register(RES_BONE, group, name, chunk, true,
                         [](MutByteSpan d, DataEntry& e, const char*&) {
                             uint32_t pos = 0;
                             BoneTok t;
                             while (chunk_bone_next(d, pos, t)) {
                                 if (t.kind != CHUNK_BONE_TOK_NODE || !t.name_off) continue;
                                 chunk_wr_u32(d, t.hash_off, strip_in_place(d, t.name_off));
                                 e.info.named_count++;
                             }
                             return true;
                         });
}

ResHandle res_anime_register(const char* group, const char* name, ByteSpan chunk)
{
    AnimChunk ac;
    if (chunk_parse_anime(chunk, ac) != CHUNK_OK) return 0;
    return data_register(RES_ANIME, group, name, chunk, true,
                         [&](MutByteSpan d, DataEntry&, const char*&) {
                             strip_in_place(d, ac.name_off);
                             for (uint32_t i = 0; i < ac.node_count; i++) {
                                 AnimNode n;
                                 chunk_anim_node(d, i, n);
                                 chunk_wr_u32(d, n.hash_off, strip_in_place(d, n.name_off));
                             }
                             return true;
                         });
}

ResHandle res_coll_register(const char* group, const char* name, ByteSpan chunk)
{
    CollChunk cc;
    if (chunk_parse_coll(chunk, cc) != CHUNK_OK) return 0;
    return data_register(RES_COLL, group, name, chunk, true,
                         [&](MutByteSpan d, DataEntry&, const char*&) {
                             strip_in_place(d, cc.name_off);
                             return true;
                         });
}

ResHandle res_shit_register(const char* group, ByteSpan chunk)
{
    ShitChunk sc;
    if (chunk_parse_shit(chunk, sc) != CHUNK_OK) return 0;
    const char* name = chunk_rd_name(chunk, sc.name_off);
    // Its name stays the one inside the stored copy.
    return data_register(RES_SHIT, group, name, chunk, false,
                         [&](MutByteSpan d, DataEntry& e, const char*& stored) {
                             float r = 0;
                             for (uint32_t i = 0; i < sc.count; i++) {
                                 ShitSphere s;
                                 chunk_shit_sphere(d, sc, i, s);
                                 float l2 = s.centre[0] * s.centre[0] + s.centre[1] * s.centre[1] +
                                            s.centre[2] * s.centre[2];
                                 float l = l2 < 1e-10f ? 0.0f : std::sqrt(l2);
                                 if (l + s.radius > r) r = l + s.radius;
                             }
                             e.info.radius = r;
                             stored = reinterpret_cast<const char*>(d.data() + sc.name_off);
                             return true;
                         });
}

ResHandle res_caminfo_register(const char* group, const char* name, ByteSpan chunk)
{
    CamrChunk cc;
    if (chunk_parse_camr(chunk, cc) != CHUNK_OK) return 0;
    ByteSpan keys = chunk.subspan(cc.keys_off, size_t(cc.key_count) * CHUNK_CAMR_KEY_SIZE);
    return data_register(RES_CAM, group, name, keys, true,
                         [&](MutByteSpan, DataEntry& e, const char*&) {
                             e.info.key_count = cc.key_count;
                             e.info.word = cc.word;
                             e.info.f0 = cc.f0;
                             e.info.f1 = cc.f1;
                             return true;
                         });
}

ResHandle res_flash_register(const char* group, const char* name, ByteSpan chunk)
{
    FlaChunk fc;
    if (chunk_parse_fla(chunk, fc) != CHUNK_OK) return 0;
    return data_register(RES_FLASH, group, name, chunk, true,
                         [](MutByteSpan, DataEntry&, const char*&) { return true; });
}

ByteSpan res_data(int pool, ResHandle h)
{
    if (pool < RES_BONE || pool >= RES_POOL_COUNT) return {};
    DataEntry* e = get<DataEntry>(pool, h);
    return e ? e->info.data : ByteSpan{};
}

void res_data_release(int pool, ResHandle h)
{
    if (pool < RES_BONE || pool >= RES_POOL_COUNT) return;
    DataEntry* e = get<DataEntry>(pool, h);
    if (!e) return;
    g.pool[pool].data.cursor = e->data_at;
    if (pool != RES_SHIT) g.pool[pool].names.cursor = e->name_at;
    *e = DataEntry{};
}

const ResDataInfo* res_data_info(int pool, ResHandle h)
{
    if (pool < RES_BONE || pool >= RES_POOL_COUNT) return nullptr;
    DataEntry* e = get<DataEntry>(pool, h);
    return e ? &e->info : nullptr;
}

uint32_t res_bone_named_count(ResHandle h)
{
    DataEntry* e = get<DataEntry>(RES_BONE, h);
    return e ? e->info.named_count : 0;
}

bool res_bone_node_matrix(ResHandle h, const char* node, float out[16])
{
    ByteSpan d = res_data(RES_BONE, h);
    if (d.empty() || !node || !out) return false;
    NameHash want = name_hash(node);
    uint32_t pos = 0, matrix = 0;
    BoneTok t;
    while (chunk_bone_next(d, pos, t)) {
        if (t.kind == CHUNK_BONE_TOK_MATRIX) {
            matrix = t.matrix_off;
        } else if (t.kind == CHUNK_BONE_TOK_PUSH || t.kind == CHUNK_BONE_TOK_POP) {
            matrix = 0;
        } else if (t.name_off && chunk_rd_u32_or0(d, t.hash_off) == want) {
            const char* n = chunk_rd_name(d, t.name_off);
            if (n && std::strcmp(n, node) == 0) return matrix && chunk_rd_f32s(d, matrix, out, 16);
        }
    }
    return false;
}

namespace {

bool anime_node_by_name(ResHandle h, const char* node, ByteSpan& d, AnimNode& out)
{
    d = res_data(RES_ANIME, h);
    if (d.empty() || !node) return false;
    NameHash want = name_hash(node);
    uint32_t count = chunk_rd_u32_or0(d, 0);
    for (uint32_t i = 0; i < count; i++) {
        if (!chunk_anim_node(d, i, out) || chunk_rd_u32_or0(d, out.hash_off) != want) continue;
        const char* n = chunk_rd_name(d, out.name_off);
        if (n && std::strcmp(n, node) == 0) return true;
    }
    return false;
}

}  // namespace

uint32_t res_anime_node_count(ResHandle h) { return chunk_rd_u32_or0(res_data(RES_ANIME, h), 0); }
uint32_t res_anime_max_frame(ResHandle h) { return chunk_rd_u32_or0(res_data(RES_ANIME, h), 4); }

const char* res_anime_node_name(ResHandle h, uint32_t i)
{
    ByteSpan d = res_data(RES_ANIME, h);
    AnimNode n;
    return chunk_anim_node(d, i, n) ? chunk_rd_name(d, n.name_off) : nullptr;
}

uint32_t res_anime_node_frame_count(ResHandle h, const char* node)
{
    ByteSpan d;
    AnimNode n;
    return anime_node_by_name(h, node, d, n) ? n.frame_count : 0;
}

const float* res_anime_node_frames(ResHandle h, const char* node)
{
    ByteSpan d;
    AnimNode n;
    if (!anime_node_by_name(h, node, d, n) || n.frame_count == 0) return nullptr;
    // Stored copies keep the chunk's alignment; matrices a file put off a
    // 4-byte boundary are reachable only through res_anime_node_frame.
    const uint8_t* at = d.data() + n.frames_off;
    return reinterpret_cast<uintptr_t>(at) % alignof(float) ? nullptr
                                                            : reinterpret_cast<const float*>(at);
}

bool res_anime_node_frame(ResHandle h, const char* node, uint32_t f, float out[16])
{
    ByteSpan d;
    AnimNode n;
    return out && anime_node_by_name(h, node, d, n) && chunk_anim_frame(d, n, f, out);
}

uint32_t res_coll_nr_tris(ResHandle h)
{
    ByteSpan d = res_data(RES_COLL, h);
    CollChunk c;
    if (chunk_parse_coll(d, c) != CHUNK_OK) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < c.box_count; i++) {
        CollBox b;
        if (chunk_coll_box(d, c, i, b)) n += b.tri_count;
    }
    return n;
}

bool res_coll_get_tri(ResHandle h, uint32_t n, ResCollTri* out)
{
    ByteSpan d = res_data(RES_COLL, h);
    CollChunk c;
    if (!out || chunk_parse_coll(d, c) != CHUNK_OK) return false;
    for (uint32_t i = 0; i < c.box_count; i++) {
        CollBox b;
        if (!chunk_coll_box(d, c, i, b)) return false;
        if (n >= b.tri_count) {
            n -= b.tri_count;
            continue;
        }
        CollTri t;
        if (!chunk_coll_box_tri(d, b, n, t)) return false;
        std::memcpy(out->c, t.c, sizeof out->c);
        std::memcpy(out->normal, t.normal, sizeof out->normal);
        std::memcpy(out->sphere, t.sphere, sizeof out->sphere);
        for (int k = 0; k < 3; k++)
            out->centroid[k] = (t.c[0][k] + t.c[1][k] + t.c[2][k]) * 0.33333334f;
        return true;
    }
    return false;
}

float res_shit_radius(ResHandle h)
{
    DataEntry* e = get<DataEntry>(RES_SHIT, h);
    return e ? e->info.radius : 0.0f;
}

uint32_t res_caminfo_key_count(ResHandle h)
{
    DataEntry* e = get<DataEntry>(RES_CAM, h);
    return e ? e->info.key_count : 0;
}

int res_caminfo_sample(ResHandle h, float t, uint32_t out[4])
{
    DataEntry* e = get<DataEntry>(RES_CAM, h);
    if (!e || !out) return 0;
    out[0] = out[1] = out[2] = out[3] = 0;
    const uint32_t keys = e->info.key_count;
    if (keys == 0) return 0;
    // The key index is clamped to the table: t outside 0..1 takes an end key.
    float f = float(keys - 1) * t + 0.5f;
    uint32_t k = !(f >= 0.0f) ? 0 : f >= float(keys - 1) ? keys - 1 : uint32_t(f);
    ByteSpan d = res_data(RES_CAM, h);
    for (int i = 0; i < 4; i++)
        out[i] = chunk_rd_u32_or0(d, uint64_t(k) * CHUNK_CAMR_KEY_SIZE + 4ull * i);
    return 1;
}

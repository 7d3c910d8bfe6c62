// Fuzzes the chunk parsers: the input is a model group file; every chunk is
// copied into a buffer of exactly its size (so any read past it is caught),
// checked, and when accepted walked through every accessor and decoded. Then
// the loader reads the same file through its step machine into open pools
// (every registrar, the mesh builder, texture binding), plays and draws every
// movie it registered, and releases it again. Every collision set that is
// accepted also answers the four set tests.
#include "hit/hit_geom.h"
#include "math/vm_mat.h"
#include "obj2d/fla.h"
#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "res/res.h"
#include "res/res_env.h"
#include "res/resload.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile float g_sink;

void walk_model(ByteSpan d)
{
    ModelChunk m;
    if (chunk_parse_model(d, m) != CHUNK_OK) return;
    for (uint32_t flags : {0u, RES_LOAD_SMOOTH_SET}) {
        MeshSource s;
        mdl_decode(d, m, flags, flags ? NAME_FLAG_NRM : 0, s);
        for (uint32_t i : s.indices)
            if (i >= s.vertex_count) __builtin_trap();
        if (!s.positions.empty() && s.positions.size() != 3ull * s.vertex_count) __builtin_trap();
        g_sink = s.tangents.empty() ? 0.0f : s.tangents[0];
    }
}

void walk_bone(ByteSpan d)
{
    BoneChunk b;
    if (chunk_parse_bone(d, b) != CHUNK_OK) return;
    uint32_t pos = 0;
    BoneTok t;
    float m[16];
    while (chunk_bone_next(d, pos, t))
        if (t.kind == CHUNK_BONE_TOK_MATRIX) chunk_rd_f32s(d, t.matrix_off, m, 16);
}

void walk_anime(ByteSpan d)
{
    AnimChunk a;
    if (chunk_parse_anime(d, a) != CHUNK_OK) return;
    float m[16];
    for (uint32_t i = 0; i < a.node_count; i++) {
        AnimNode n;
        if (!chunk_anim_node(d, i, n) || !chunk_rd_name(d, n.name_off)) __builtin_trap();
        chunk_anim_frame(d, n, a.max_frames, m);
    }
}

// The set tests from points inside, on and around the set's box, unmoved and
// under a rotated, scaled matrix.
void run_set_tests(ByteSpan d)
{
    CollGeom g;
    if (!hit_geom_build(d, g)) return;
    Mat44 m;
    vm_mat_from_pos_angles_f(&m, 1, 2, 3, 0.4f, 0.9f, 0.1f);
    m.m[0] *= 2;
    const Vec3 lo = g.box_min, hi = g.box_max;
    const Vec3 points[] = {lo, hi, {(lo.x + hi.x) / 2, hi.y + 1, (lo.z + hi.z) / 2}, {0, 0, 0}};
    HitGeomHit h;
    float sink = 0;
    const Mat44* worlds[] = {nullptr, &m};
    for (const Mat44* world : worlds)
        for (const Vec3& a : points)
            for (const Vec3& b : points) {
                const Vec3 v = {b.x - a.x + 0.5f, b.y - a.y - 1, b.z - a.z + 0.25f};
                if (hit_coll_ray(g, world, &a, &v, &h)) sink += h.t;
                if (hit_coll_sweep(g, world, &a, &v, &h)) sink += h.box_half.x;
                if (hit_coll_ground(g, world, &a, &h)) sink += h.normal.y;
                if (hit_coll_sphere(g, world, &a, &v, 1.0f, &h)) sink += h.t;
            }
    g_sink = sink;
}

void walk_coll(ByteSpan d)
{
    CollChunk c;
    if (chunk_parse_coll(d, c) != CHUNK_OK) return;
    for (uint32_t i = 0; i < c.box_count; i++) {
        CollBox b;
        if (!chunk_coll_box(d, c, i, b)) __builtin_trap();
        CollTri t;
        for (uint32_t j = 0; j < b.tri_count; j++)
            if (!chunk_coll_box_tri(d, b, j, t)) __builtin_trap();
    }
    for (uint32_t i = 0; i < c.shared_count; i++) {
        CollShared s;
        if (!chunk_coll_shared(d, c, i, s)) __builtin_trap();
    }
    for (uint32_t i = 0; i < c.layer_count; i++) {
        CollLayer l;
        if (!chunk_coll_layer(d, c, i, l)) __builtin_trap();
        uint32_t off = l.nodes_off;
        for (uint32_t n = 0; n < l.node_count; n++) {
            CollNode node;
            if (!chunk_coll_node_at(d, off, node)) __builtin_trap();
            off = node.next_off;
        }
    }
    run_set_tests(d);
}

void walk_fla(ByteSpan d)
{
    FlaChunk f;
    if (chunk_parse_fla(d, f) != CHUNK_OK) return;
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_SHAPES]; i++) {
        FlaShape s;
        chunk_fla_shape(d, f, i, s);
        for (uint32_t p = 0; p < s.part_count; p++) {
            FlaPart part;
            if (!chunk_fla_part(d, s, p, part)) __builtin_trap();
        }
    }
    for (uint32_t i = 0; i < f.count[CHUNK_FLA_FRAMES]; i++) {
        FlaCmd c;
        for (uint32_t off = chunk_fla_frame_stream(d, f, i); chunk_fla_cmd(d, off, c) && c.op != 0;)
            off = c.next_off;
    }
}

// Every batch the player hands over must index only its own vertices.
void check_batch(const FlaVertex* verts, const uint16_t* indices, int vertex_count, int index_count,
                 int tri_count, ResHandle, void*)
{
    if (vertex_count > FLA_BATCH_VERTS || index_count >= FLA_BATCH_INDICES ||
        tri_count != index_count / 3)
        __builtin_trap();
    for (int i = 0; i < index_count; i++)
        if (indices[i] >= vertex_count) __builtin_trap();
    g_sink = vertex_count ? verts[vertex_count - 1].x : 0.0f;
}

void play_movies(size_t seed)
{
    fla_pool_reset();
    const float speeds[] = {1.0f, 0.5f, 2.5f, -1.0f, 1e9f};
    for (ResHandle h = 1; h <= ResHandle(res_flash_count()); h++) {
        FlaPlayer* p = fla_player_alloc();
        fla_player_set_movie(p, h);
        fla_player_set_loop(p, int(seed & 1));
        fla_player_set_speed(p, speeds[(seed + h) % 5]);
        fla_asset_bind_obj(p, "slot");
        for (int t = 0; t < 8; t++) {
            fla_player_tick(p);
            if (!fla_batch_init()) __builtin_trap();
            fla_player_draw(p, nullptr, check_batch, nullptr, nullptr);
            fla_batch_term();
        }
        fla_player_free(p);
    }
    const FlaPoolUse u = fla_pool_use();
    if (u.players || u.timelines || u.characters || u.parts || u.entries || u.bound)
        __builtin_trap();
}

std::vector<uint8_t> g_file;

bool serve_file(const char* path, std::vector<uint8_t>& out)
{
    std::string p = path;
    if (p.size() < 4 || p.compare(p.size() - 4, 4, ".bin") != 0) return false;
    out = g_file;
    return true;
}

bool no_file(const char*) { return false; }

// The group file served from memory, piece by piece.
struct MemFile {
    size_t pos = 0;
};
MemFile g_mem;

void* serve_open(const char* path, uint64_t* size, std::string*)
{
    std::vector<uint8_t> unused;
    if (!serve_file(path, unused)) return nullptr;
    g_mem.pos = 0;
    *size = g_file.size();
    return &g_mem;
}

size_t serve_read(void* f, uint8_t* dst, size_t n)
{
    MemFile& m = *static_cast<MemFile*>(f);
    n = std::min(n, g_file.size() - m.pos);
    if (n) std::memcpy(dst, g_file.data() + m.pos, n);  // an empty input has no data pointer
    m.pos += n;
    return n;
}

void serve_close(void*) {}

void boot_once()
{
    static bool booted = false;
    if (booted) return;
    booted = true;
    ResEnv env = res_env_defaults();
    env.read_file = serve_file;
    env.file_exists = no_file;
    env.file_open = serve_open;
    env.file_read = serve_read;
    env.file_close = serve_close;
    res_env_set(env);
    const char* open[][2] = {{"MAX_NR_ANIME", "8"},
                             {"SZ_BUFF_ANIME", "65536"},
                             {"SZ_BUFF_ANIMENAME", "512"},
                             {"MAX_NR_SPHERE_HIT", "8"},
                             {"SZ_BUFF_SPHERE_HIT", "65536"},
                             {"MAX_NR_CAMERA_INFO", "8"},
                             {"SZ_BUFF_CAMERA_INFO", "65536"},
                             {"SZ_BUFF_CAMERA_INFONAME", "512"},
                             {"MAX_NR_FLASH", "8"},
                             {"SZ_BUFF_FLASH", "65536"},
                             {"SZ_BUFF_FLASHNAME", "512"},
                             {"MAX_NR_MESH_BONE", "64"},
                             {"SZ_BUFF_MESH_BONENAME", "4096"}};
    for (auto& kv : open) res_env_test_set_setting(kv[0], kv[1]);
    res_boot();
    resload_boot();
}

void load_through_pools(const uint8_t* data, size_t size)
{
    boot_once();
    g_file.assign(data, data + size);
    ResMark mark;
    res_mark(mark);
    resload_request("fuzz", size & 1 ? RES_LOAD_SMOOTH_SET : 0);
    for (int i = 0; i < 100000 && resload_step() != RESLOAD_IDLE; i++) {}
    res_env_test_fatals().clear();
    play_movies(size);
    res_release_to_mark(mark);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    load_through_pools(data, size);
    ByteSpan file(data, size);
    uint64_t pos = 0;
    ChunkHeader h;
    ByteSpan chunk;
    while (chunk_file_next(file, pos, h, chunk) == CHUNK_WALK_CHUNK) {
        std::vector<uint8_t> own(chunk.begin(), chunk.end());
        ByteSpan d(own);
        int kind = chunk_kind_of(h.magic);
        chunk_check(kind, d);
        switch (kind) {
        case CHUNK_MODEL: walk_model(d); break;
        case CHUNK_BONE: walk_bone(d); break;
        case CHUNK_ANIME: walk_anime(d); break;
        case CHUNK_COLL: walk_coll(d); break;
        case CHUNK_FLA: walk_fla(d); break;
        case CHUNK_CROP: {
            uint32_t n;
            CropRec r;
            if (chunk_parse_crop(d, n) == CHUNK_OK)
                for (uint32_t i = 0; i < n; i++)
                    if (!chunk_crop_rec(d, i, r) || !chunk_rd_name(d, r.tex_name_off))
                        __builtin_trap();
            break;
        }
        case CHUNK_SHIT: {
            ShitChunk s;
            ShitSphere sp;
            if (chunk_parse_shit(d, s) == CHUNK_OK)
                for (uint32_t i = 0; i < s.count; i++)
                    if (!chunk_shit_sphere(d, s, i, sp)) __builtin_trap();
            break;
        }
        default: break;
        }
    }
    return 0;
}

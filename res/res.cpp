// The resource manager's core: its state record, the pools' name and data
// buffers, handles and marks, groups, lookups by name, the usage report, start
// and stop. The pool families live beside it: textures, crops and
// depth-stencil surfaces in res_tex.cpp, meshes and mesh lists in
// res_mesh.cpp, the chunk-data kinds in res_data.cpp, the matrix stack and the
// bone-tree walks in res_mstack.cpp.
#include "res/res.h"
#include "res/res_local.h"

#include "math/vm_color.h"
#include "res/resload.h"
#include "plat/log_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ==== state ==============================================================================

namespace res_local {

ResBlock g;

// ---- name and data buffers ---------------------------------------------------------------

const char* intern(NameBuf& b, const char* s)
{
    if (!s || !b.base) return nullptr;
    size_t n = std::strlen(s) + 1;
    if (uint64_t(b.cursor) + n >= b.size) return nullptr;
    char* at = b.base + b.cursor;
    std::memcpy(at, s, n);
    b.cursor += uint32_t(n);
    if (b.cursor > b.high) b.high = b.cursor;
    return at;
}

int64_t copy_data(DataBuf& b, ByteSpan src)
{
    if (!b.base) return -1;
    uint64_t at = (uint64_t(b.cursor) + 3) & ~uint64_t(3);
    if (at + src.size() >= b.size) return -1;
    if (!src.empty()) std::memcpy(b.base + at, src.data(), src.size());
    b.cursor = uint32_t(at + src.size());
    if (b.cursor > b.high) b.high = b.cursor;
    return int64_t(at);
}

void raise_high(Pool& p)
{
    if (p.used > p.high) p.high = p.used;
}

// ---- registration common part ------------------------------------------------------------

RegStart reg_start(int pool, const char* group, const char* name)
{
    RegStart r{false, 0, nullptr};
    if (group) {
        r.group = res_cat_register(group);
        if (!r.group) return r;
    }
    if (name && (r.existing = res_find(pool, r.group, name))) return r;
    const Pool& p = g.pool[pool];
    r.ok = p.entries && p.used >= 0 && uint32_t(p.used) < p.capacity;
    if (!r.ok) note_full(pool, RES_ROOM_ENTRIES);
    return r;
}

void fill_head(ResHead& h, const char* group, const char* interned_name, const char* name)
{
    h.group = group;
    h.group_hash = name_hash(group);
    h.name = interned_name;
    h.name_hash = name_hash(name);
}

bool stem_of(const char* path, std::array<char, RES_NAME_WORK>& out)
{
    return path && name_file_stem(out, path);
}

}  // namespace res_local

using namespace res_local;

namespace {

struct PoolSpec {
    const char* cap_key;
    int cap_def;
    const char* name_key;
    int name_def;
    const char* data_key;  // null: no data buffer
    int data_def;
    size_t entry_size;
};

const PoolSpec RES_SPECS[RES_POOL_COUNT] = {
    {"MAX_NR_CAT", 100, "SZ_BUFF_CATNAME", 2000, nullptr, 0, sizeof(CatEntry)},
    {"MAX_NR_TEX", 1000, "SZ_BUFF_TEXNAME", 10240, nullptr, 0, sizeof(TexEntry)},
    {"MAX_NR_TEX_CROP", 2000, "SZ_BUFF_TEX_CROPNAME", 20480, nullptr, 0, sizeof(CropEntry)},
    {"MAX_NR_DEPTH_STENCIL", 1, "SZ_BUFF_DEPTH_STENCILNAME", 1, nullptr, 0, sizeof(DepthEntry)},
    {"MAX_NR_MESH", 1000, "SZ_BUFF_MESHNAME", 10240, nullptr, 0, sizeof(MeshEntry)},
    {"MAX_NR_MESH_SUBSET", 1000, "SZ_BUFF_MESH_SUBSET_TEXNAME", 10240, nullptr, 0,
     sizeof(MeshSubset)},
    {"MAX_NR_MESH_BONE", 10, "SZ_BUFF_MESH_BONENAME", 64, nullptr, 0, sizeof(MeshBone)},
    {"MAX_NR_BONE", 1000, "SZ_BUFF_BONENAME", 1000, "SZ_BUFF_BONE", 65536, sizeof(DataEntry)},
    {"MAX_NR_ANIME", 1, "SZ_BUFF_ANIMENAME", 1, "SZ_BUFF_ANIME", 1, sizeof(DataEntry)},
    {"MAX_NR_COLLISION", 40, "SZ_BUFF_COLLISIONNAME", 512, "SZ_BUFF_COLLISION", 262144,
     sizeof(DataEntry)},
    {"MAX_NR_SPHERE_HIT", 1, "SZ_BUFF_SPHERE_HITNAME", 1, "SZ_BUFF_SPHERE_HIT", 1,
     sizeof(DataEntry)},
    {"MAX_NR_CAMERA_INFO", 1, "SZ_BUFF_CAMERA_INFONAME", 1, "SZ_BUFF_CAMERA_INFO", 1,
     sizeof(DataEntry)},
    {"MAX_NR_FLASH", 1, "SZ_BUFF_FLASHNAME", 1, "SZ_BUFF_FLASH", 1, sizeof(DataEntry)},
};

constexpr const char* RES_DEFAULT_GROUP = "disp_res";

}  // namespace

// ==== want of room ============================================================================

void res_local::note_full(int pool, ResRoom room)
{
    const Pool& p = g.pool[pool];
    const PoolSpec& spec = RES_SPECS[pool];
    const char* keys[] = {spec.cap_key, spec.name_key, spec.data_key};
    const uint32_t limits[] = {p.capacity, p.names.size, p.data.size};
    g.full = {pool, room, keys[room], limits[room]};
}

ResFull res_full_last() { return g.full; }
void res_full_clear() { g.full = ResFull{}; }

std::string res_full_text(const ResFull& f)
{
    if (f.pool < 0 || f.pool >= RES_POOL_COUNT || !f.key) return {};
    // The pool by the name its capacity key gives it: "MAX_NR_CAT" is the CAT pool.
    const std::string pool = RES_SPECS[f.pool].cap_key + std::strlen("MAX_NR_");
    const char* what[] = {" pool (", " name buffer (", " data buffer ("};
    const char* unit = f.room == RES_ROOM_ENTRIES ? (f.limit == 1 ? " entry" : " entries")
                                                  : (f.limit == 1 ? " byte" : " bytes");
    return "no room in the " + pool + what[f.room] + std::to_string(f.limit) + unit + "); " +
           f.key + " in the settings text raises it";
}

// ==== handles, marks ========================================================================

int res_handle_index(ResHandle h, int32_t count)
{
    return (h >= 1 && int64_t(h) <= count) ? int(h - 1) : -1;
}
ResHandle res_index_to_handle(int32_t index) { return ResHandle(index + 1); }
uint32_t res_color_with_alpha(uint32_t color, uint32_t alpha)
{
    return color_set_alpha(color, alpha);
}

int32_t res_pool_used(int pool)
{
    return pool >= 0 && pool < RES_POOL_COUNT ? g.pool[pool].used : 0;
}
uint32_t res_pool_capacity(int pool)
{
    return pool >= 0 && pool < RES_POOL_COUNT ? g.pool[pool].capacity : 0;
}

void res_mark(ResMark& m)
{
    m.live = 1;
    for (int p = 0; p < RES_POOL_COUNT; p++) m.used[p] = g.pool[p].used < 0 ? 0 : g.pool[p].used;
}

namespace {

void release_entry(int pool, ResHandle h)
{
    switch (pool) {
    case RES_CAT: res_cat_release(h); break;
    case RES_TEX: res_tex_release(h); break;
    case RES_CROP: res_crop_release(h); break;
    case RES_DEPTH: res_depth_release(h); break;
    case RES_MESH: res_mesh_release(h); break;
    case RES_SUBSET:
    case RES_MBONE: break;  // with their meshes
    default: res_data_release(pool, h); break;
    }
}

}  // namespace

void res_release_to_mark(ResMark& m)
{
    resload_abort();
    m.live = 0;
    for (int p = 0; p < RES_POOL_COUNT; p++) {
        Pool& pool = g.pool[p];
        if (m.used[p] >= pool.used) continue;
        for (int32_t i = pool.used - 1; i >= m.used[p]; i--)
            release_entry(p, res_index_to_handle(i));
        pool.used = m.used[p];
    }
}

// ==== groups =================================================================================

const char* res_cat_register(const char* name)
{
    if (!name) return nullptr;
    if (ResHandle h = res_cat_find(name)) return entry<CatEntry>(RES_CAT, int32_t(h - 1))->h.name;
    Pool& p = g.pool[RES_CAT];
    // A new group beyond the capacity, or one whose name cannot be stored, is
    // refused: the resource's registration then fails.
    if (!p.entries || uint32_t(p.used) >= p.capacity) {
        note_full(RES_CAT, RES_ROOM_ENTRIES);
        return nullptr;
    }
    uint32_t at = p.names.cursor;
    const char* s = intern(p.names, name);
    if (!s) {
        note_full(RES_CAT, RES_ROOM_NAMES);
        return nullptr;
    }
    CatEntry& e = *entry<CatEntry>(RES_CAT, p.used++);
    e = CatEntry{};
    e.h.name = s;
    e.h.name_hash = name_hash(name);
    e.name_at = at;
    raise_high(p);
    return s;
}

void res_cat_release(ResHandle h)
{
    CatEntry* e = get<CatEntry>(RES_CAT, h);
    if (!e) return;
    g.pool[RES_CAT].names.cursor = e->name_at;
    *e = CatEntry{};
}

ResHandle res_cat_find(const char* name)
{
    if (!name) return 0;
    NameHash hash = name_hash(name);
    for (int32_t i = 0; i < g.pool[RES_CAT].used; i++) {
        const ResHead* e = head(RES_CAT, i);
        if (e->name_hash == hash && e->name && std::strcmp(e->name, name) == 0)
            return res_index_to_handle(i);
    }
    return 0;
}

int32_t res_cat_count() { return g.pool[RES_CAT].used; }

const char* res_cat_name(ResHandle h)
{
    CatEntry* e = get<CatEntry>(RES_CAT, h);
    return e ? e->h.name : nullptr;
}

// ==== lookups ==================================================================================

ResHandle res_find(int pool, const char* group, const char* name)
{
    if (!name || pool <= RES_CAT || pool >= RES_POOL_COUNT || pool == RES_SUBSET ||
        pool == RES_MBONE)
        return 0;
    const NameHash gh = name_hash(group), nh = name_hash(name);
    for (int32_t i = 0; i < g.pool[pool].used; i++) {
        const ResHead* e = head(pool, i);
        // An entry whose name could not be stored is reachable by handle only.
        if (e->name_hash != nh || !e->name || std::strcmp(e->name, name) != 0) continue;
        if (!group) return res_index_to_handle(i);
        if (e->group_hash != gh) continue;
        if (e->group_hash == 0 || (e->group && std::strcmp(e->group, group) == 0))
            return res_index_to_handle(i);
    }
    return 0;
}

const char* res_name(int pool, ResHandle h)
{
    if (pool <= RES_CAT || pool == RES_SUBSET || pool == RES_MBONE)
        return pool == RES_CAT ? res_cat_name(h) : nullptr;
    ResHead* e = get<ResHead>(pool, h);
    return e ? e->name : nullptr;
}

const char* res_group(int pool, ResHandle h)
{
    if (pool <= RES_CAT || pool == RES_SUBSET || pool == RES_MBONE) return nullptr;
    ResHead* e = get<ResHead>(pool, h);
    return e ? e->group : nullptr;
}

const ResEntryHead* res_entry_head(int pool, ResHandle h)
{
    if (pool == RES_SUBSET || pool == RES_MBONE) return nullptr;
    return get<ResHead>(pool, h);
}

// ==== usage report ========================================================================================

namespace {

int pct(uint64_t used, uint64_t cap) { return cap ? int(used * 100 / cap) : 0; }

}  // namespace

bool res_stats_line(int i, char* out, size_t size)
{
    if (!out || size == 0 || i < 0 || i >= RES_STATS_LINES) return false;
    static const char* const RES_TAG[] = {"CAT  ", "TEX  ", "CROP ", "DEPTH", "MESH ", "MESH2",
                                          "BONE ", "ANIME", "COLLI", "SHIT ", "CAM  ", "FLA  "};
    auto entries = [](const Pool& p) {
        return std::array<int, 4>{p.used, int(p.capacity),
                                  pct(uint64_t(p.used < 0 ? 0 : p.used), p.capacity), p.high};
    };
    auto names = [](const NameBuf& b) {
        return std::array<int, 4>{int(b.cursor), int(b.size), pct(b.cursor, b.size), int(b.high)};
    };
    const char* group = "%6d/%6d %3d%%(%6d)";
    char a[64], b[64], c[64];
    auto fmt = [&](char* dst, const std::array<int, 4>& v, const char* f) {
        std::snprintf(dst, 64, f, v[0], v[1], v[2], v[3]);
    };
    if (i <= RES_DEPTH) {
        const Pool& p = g.pool[i];
        fmt(a, entries(p), group);
        fmt(b, names(p.names), "%6d / %6d  %3d%%(%6d)");
        std::snprintf(out, size, "%s %s : %s", RES_TAG[i], a, b);
    } else if (i == 4 || i == 5) {
        const Pool& m = g.pool[RES_MESH];
        const Pool& s = g.pool[RES_SUBSET];
        const Pool& bo = g.pool[RES_MBONE];
        fmt(a, entries(i == 4 ? m : s), group);
        fmt(b, i == 4 ? names(m.names) : entries(bo), "%6d / %6d  %3d%%(%6d)");
        fmt(c, names(i == 4 ? s.names : bo.names), group);
        std::snprintf(out, size, "%s %s : %s  : %s", RES_TAG[i], a, b, c);
    } else if (i < 12) {
        const Pool& p = g.pool[RES_BONE + (i - 6)];
        fmt(a, entries(p), group);
        fmt(b,
            {int(p.data.cursor / 1024), int(p.data.size / 1024), pct(p.data.cursor, p.data.size),
             int(p.data.high / 1024)},
            "%6dK/ %6dK %3d%%(%6dK)");
        fmt(c, names(p.names), group);
        std::snprintf(out, size, "%s %s : %s : %s", RES_TAG[i], a, b, c);
    } else if (i == 12) {
        fmt(a,
            {g.ml_used, int(g.ml_capacity),
             pct(uint64_t(g.ml_used < 0 ? 0 : g.ml_used), g.ml_capacity), g.ml_high},
            group);
        std::snprintf(out, size, "MLIST %s", a);
    } else {
        std::snprintf(out, size, "MSTACK%6d/%6d", g.mdepth, RES_MATRIX_STACK_DEPTH);
    }
    return true;
}

namespace {

// Visits every entry's name; the dumps have nowhere to write, so nothing comes out.
void dump_names(int pool)
{
    for (int32_t i = 0; i < g.pool[pool].used; i++) (void)head(pool, i)->name;
}

}  // namespace

void res_mesh_dump_names() { dump_names(RES_MESH); }
void res_tex_dump_names() { dump_names(RES_TEX); }
void res_crop_dump_names() { dump_names(RES_CROP); }
void res_bone_dump_names() { dump_names(RES_BONE); }
void res_anime_dump_names() { dump_names(RES_ANIME); }
void res_coll_dump_names() { dump_names(RES_COLL); }
void res_shit_dump_names() { dump_names(RES_SHIT); }
void res_caminfo_dump_names() { dump_names(RES_CAM); }
void res_flash_dump_names() { dump_names(RES_FLASH); }

int32_t res_mesh_count_entries() { return g.pool[RES_MESH].used; }

// ==== start, stop ==========================================================================================

namespace {

// A pool size from the settings text, held within 0 and the ceiling; a value
// that is cut says so in the log.
uint32_t pool_limit(const char* key, int def, uint64_t ceiling)
{
    const int v = res_env().get_int(key, def);
    if (v <= 0) return 0;
    if (uint64_t(v) <= ceiling) return uint32_t(v);
    plat_log_line("res: %s %d cut to %llu", key, v, (unsigned long long)ceiling);
    return uint32_t(ceiling);
}

uint64_t entries_ceiling(size_t entry_size)
{
    return std::min<uint64_t>(RES_POOL_ENTRIES_MAX, RES_BUFFER_BYTES_MAX / entry_size);
}

// count zeroed elements of size bytes; a failed allocation answers null and
// sets count to 0, so that the pool is closed rather than pointing nowhere.
template <typename T>
T* alloc_or_close(uint32_t& count, size_t size)
{
    T* p = static_cast<T*>(std::calloc(count ? count : 1, size));
    if (!p) count = 0;
    return p;
}

}  // namespace

void res_boot()
{
    if (g.started) res_shutdown();
    g = ResBlock{};
    for (int p = 0; p < RES_POOL_COUNT; p++) {
        const PoolSpec& s = RES_SPECS[p];
        Pool& pool = g.pool[p];
        pool.capacity = pool_limit(s.cap_key, s.cap_def, entries_ceiling(s.entry_size));
        pool.entry_size = s.entry_size;
        pool.names.size = pool_limit(s.name_key, s.name_def, RES_BUFFER_BYTES_MAX);
        pool.data.size = s.data_key ? pool_limit(s.data_key, s.data_def, RES_BUFFER_BYTES_MAX) : 0;
        pool.entries = alloc_or_close<uint8_t>(pool.capacity, s.entry_size);
        pool.names.base = alloc_or_close<char>(pool.names.size, 1);
        if (s.data_key) pool.data.base = alloc_or_close<uint8_t>(pool.data.size, 1);
    }
    g.tex_budget =
        pool_limit(RES_TEX_BUDGET_KEY, int(RES_TEX_BUDGET_DEFAULT), RES_BUFFER_BYTES_MAX);
    g.ml_capacity = pool_limit("MAX_NR_MESHLIST", 10, entries_ceiling(sizeof(ResMeshListNode)));
    g.ml_nodes = alloc_or_close<ResMeshListNode>(g.ml_capacity, sizeof(ResMeshListNode));
    g.ml_scratch = alloc_or_close<uint32_t>(g.ml_capacity, sizeof(uint32_t));
    if (!g.ml_capacity) {
        std::free(g.ml_nodes);
        std::free(g.ml_scratch);
        g.ml_nodes = nullptr;
        g.ml_scratch = nullptr;
    }
    res_mstack_init();
    res_mlist_init();
    g.started = true;
    res_mark(g.own_mark);

    struct Def {
        const char* name;
        int w, h;
        uint32_t texels[4];
    };
    const Def defs[RES_DEF_COUNT] = {
        {"test_def", 2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}},
        {"white_def", 1, 1, {0xFFFFFFFF}},
        {"black_def", 1, 1, {0xFF000000}},
        {"green", 1, 1, {0xFF00FF00}},
        {"cyan", 1, 1, {res_color_with_alpha(0x0000FFFF, 128)}},
        {"magenta", 1, 1, {0xFFFF00FF}},
        {"nrm_def", 1, 1, {0xFF8080FF}},
    };
    for (int i = 0; i < RES_DEF_COUNT; i++) {
        g.defaults[i] = res_tex_create(RES_DEFAULT_GROUP, defs[i].name, defs[i].w, defs[i].h,
                                       RES_TEX_FORMAT_ARGB32, false);
        if (g.defaults[i])
            res_tex_set_image(g.defaults[i], 0, 0, defs[i].w, defs[i].h, defs[i].texels);
    }
}

void res_shutdown()
{
    if (!g.started) return;
    res_release_to_mark(g.own_mark);
    for (int32_t i = g.pool[RES_DEPTH].used; i >= 1; i--) res_depth_release(ResHandle(i));
    for (int32_t i = g.pool[RES_TEX].used; i >= 1; i--) res_tex_release(ResHandle(i));
    for (int32_t i = g.pool[RES_MESH].used; i >= 1; i--) res_mesh_release(ResHandle(i));
    std::free(g.ml_scratch);
    std::free(g.ml_nodes);
    for (int p = RES_POOL_COUNT - 1; p >= 0; p--) {
        std::free(g.pool[p].data.base);
        std::free(g.pool[p].names.base);
        std::free(g.pool[p].entries);
    }
    g = ResBlock{};
}

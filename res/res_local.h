// res_local: the resource manager's state record and the pool helpers, shared
// by the res*.cpp files that hold its pool families and by nothing else.
//
// Ownership: res.cpp owns the record `g` (start and stop), the name and data
// buffers, the groups and the lookups; res_tex.cpp the texture, crop and
// depth-stencil entries, the texture byte total and the texture budget; res_mesh.cpp the mesh,
// subset and mesh-bone entries, the vertex byte total and the mesh-list
// nodes; res_data.cpp the chunk-data entries; res_mstack.cpp the matrix stack.
#pragma once

#include "res/mesh_buf.h"
#include "res/res.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace res_local {

// group points into the CAT name buffer, name into the kind's name buffer (or
// the data); either is null when it did not fit.
using ResHead = ResEntryHead;

struct NameBuf {
    char* base;
    uint32_t size, cursor, high;
};

struct DataBuf {
    uint8_t* base;
    uint32_t size, cursor, high;
};

struct CatEntry {
    ResHead h;  // only name and name_hash
    uint32_t name_at;
};
struct TexEntry {
    ResHead h;
    ResTexInfo tex;
    uint8_t* texels;  // the 8-bit copy, or null
    uint32_t bytes;   // counted in the texture total
    uint32_t name_at;
    uint64_t held;  // counted in the budget of loaded textures
};
struct CropEntry {
    ResHead h;
    ResCrop crop;
    uint32_t name_at;
};
struct DepthEntry {
    ResHead h;
    ResTexInfo surf;
    uint32_t format;
    uint32_t bytes;
    uint32_t name_at;
};
struct MeshEntry {
    ResHead h;
    MeshBuffers mesh;
    uint32_t bytes;
    uint32_t name_at, subset_name_at, bone_name_at;
};
struct DataEntry {
    ResHead h;
    ResDataInfo info;
    uint32_t data_at;  // offset of the copy in the data buffer
    uint32_t name_at;
};

struct Pool {
    int32_t used;
    uint32_t capacity;
    int32_t high;
    uint8_t* entries;
    size_t entry_size;
    NameBuf names;
    DataBuf data;
};

enum DefaultTex {
    RES_DEF_TEST,
    RES_DEF_WHITE,
    RES_DEF_BLACK,
    RES_DEF_GREEN,
    RES_DEF_CYAN,
    RES_DEF_MAGENTA,
    RES_DEF_NRM,
    RES_DEF_COUNT
};

struct ResBlock {
    Pool pool[RES_POOL_COUNT];
    // mesh lists
    ResMeshListNode* ml_nodes;
    uint32_t* ml_scratch;
    uint32_t ml_capacity;
    ResMeshListNode* ml_free;
    ResMeshListNode* ml_next;  // next free node while a list is built
    ResMeshListNode* ml_last;  // last node taken
    uint32_t ml_taken;
    int32_t ml_used, ml_high;
    // byte totals
    uint32_t tex_bytes, vertex_bytes;
    // The budget of what textures loaded from images hold at once, what
    // they hold, and how many were refused for it.
    uint64_t tex_budget, tex_held;
    uint32_t tex_budget_refusals;
    ResHandle defaults[RES_DEF_COUNT];
    ResMark own_mark;
    // matrix stack
    float mstack[RES_MATRIX_STACK_DEPTH][16];
    int mdepth;
    ResFull full;  // the last registration refused for want of room
    bool started;
};

extern ResBlock g;

constexpr size_t RES_NAME_WORK = 260;  // stems and joined names

template <typename E>
E* entry(int pool, int32_t index)
{
    return reinterpret_cast<E*>(g.pool[pool].entries + size_t(index) * g.pool[pool].entry_size);
}

inline ResHead* head(int pool, int32_t index) { return entry<ResHead>(pool, index); }

// The entry of a handle, or null.
template <typename E>
E* get(int pool, ResHandle h)
{
    if (pool < 0 || pool >= RES_POOL_COUNT || !g.pool[pool].entries) return nullptr;
    int i = res_handle_index(h, g.pool[pool].used);
    return i < 0 ? nullptr : entry<E>(pool, i);
}

// ---- name and data buffers ---------------------------------------------------------------

// A copy with its NUL, made only when it ends strictly before the buffer's end.
const char* intern(NameBuf& b, const char* s);
// A 4-aligned copy that ends strictly before the buffer's end; its offset, or
// -1 when it does not fit.
int64_t copy_data(DataBuf& b, ByteSpan src);
// Keeps the pool's high-water mark up with its use.
void raise_high(Pool& p);

// Records a registration refused for want of room in the pool's entries,
// names or data (what res_full_last answers).
void note_full(int pool, ResRoom room);

// ---- registration common part ------------------------------------------------------------

struct RegStart {
    bool ok;             // go on with a new entry
    ResHandle existing;  // the entry of the same (group, name)
    const char* group;   // the interned group
};

// Interns the group, answers an existing (group, name), refuses a full pool.
RegStart reg_start(int pool, const char* group, const char* name);
void fill_head(ResHead& h, const char* group, const char* interned_name, const char* name);
bool stem_of(const char* path, std::array<char, RES_NAME_WORK>& out);

}  // namespace res_local

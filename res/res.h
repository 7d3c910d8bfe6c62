// The resource manager: fixed pools, sized once at boot from the settings
// text, of everything the engine loads (group names, textures, crops,
// depth-stencil surfaces, meshes with their subsets and bones, bone trees,
// animations, collision sets, sphere-hit sets, camera paths, vector
// animations). Every resource is registered under a group name and its own
// name, found again by that pair, and addressed by a 1-based ResHandle. Pools
// only grow at the top and shrink back to a ResMark, newest first.
//
// Chunk data (bones, animations, collisions, sphere hits, flashes) is copied
// once into its pool's data buffer and never moves; its internal offsets stay
// offsets, read through the accessors of res/chunk.h over res_*_data().
// Main thread only.
#pragma once

#include "res/chunk.h"
#include "res/mdl_decode.h"
#include "res/name.h"
#include "res/res_env.h"

#include <cstdint>
#include <string>

struct MeshBuffers;  // res/mesh_buf.h: the device-ready form of a registered mesh

using ResHandle = uint32_t;  // index + 1; 0 = none

enum ResPool : int {
    RES_CAT,
    RES_TEX,
    RES_CROP,
    RES_DEPTH,
    RES_MESH,
    RES_SUBSET,
    RES_MBONE,
    RES_BONE,
    RES_ANIME,
    RES_COLL,
    RES_SHIT,
    RES_CAM,
    RES_FLASH,
    RES_POOL_COUNT
};

struct ResMark {
    uint32_t live;
    int32_t used[RES_POOL_COUNT];
};

constexpr int RES_MATRIX_STACK_DEPTH = 64;
// Ceilings on the pool sizes of the settings text: entries per pool, and
// bytes of any one array or buffer. Larger values are cut (with a log line).
constexpr uint32_t RES_POOL_ENTRIES_MAX = 1u << 20;
constexpr uint64_t RES_BUFFER_BYTES_MAX = 256ull << 20;
constexpr uint32_t RES_TEX_FORMAT_ARGB32 = 0;
// The budget of bytes that textures loaded from images hold at once (every
// level, as made): its settings key, cut like the pool sizes, and default.
constexpr const char* RES_TEX_BUDGET_KEY = "SZ_BUFF_TEX_PIXEL";
constexpr uint64_t RES_TEX_BUDGET_DEFAULT = 256ull << 20;

// ---- start, stop -------------------------------------------------------------------

void res_boot();
void res_shutdown();
void res_on_device_lost();
void res_on_device_reset();

// ---- handles, marks ------------------------------------------------------------------

int res_handle_index(ResHandle h, int32_t count);  // h - 1, or -1
ResHandle res_index_to_handle(int32_t index);
uint32_t res_color_with_alpha(uint32_t color, uint32_t alpha);
void res_mark(ResMark& m);
void res_release_to_mark(ResMark& m);
int32_t res_pool_used(int pool);
uint32_t res_pool_capacity(int pool);

// ---- want of room ----------------------------------------------------------------------

// Which limit of a pool a registration met.
enum ResRoom : int { RES_ROOM_ENTRIES, RES_ROOM_NAMES, RES_ROOM_DATA };

// A registration refused for want of room: the pool (RES_CAT...), which of its
// limits it met, the settings key that raises that limit and its size
// (entries, or bytes). pool is -1 when none was refused.
struct ResFull {
    int pool = -1;
    ResRoom room = RES_ROOM_ENTRIES;
    const char* key = nullptr;
    uint32_t limit = 0;
};
// The last registration since the boot or res_full_clear that was refused for
// want of a pool entry, a group name's room, or a data buffer's room.
ResFull res_full_last();
void res_full_clear();
// In words for a log line: "no room in the CAT pool (100 entries);
// MAX_NR_CAT in the settings text raises it". Empty for pool -1.
std::string res_full_text(const ResFull& f);

// ---- groups --------------------------------------------------------------------------

// The interned group string (existing or new); null for a null name, a full
// pool or a full name buffer.
const char* res_cat_register(const char* name);
void res_cat_release(ResHandle h);
ResHandle res_cat_find(const char* name);
int32_t res_cat_count();
const char* res_cat_name(ResHandle h);

// ---- lookups and names (every pool but CAT) ------------------------------------------

ResHandle res_find(int pool, const char* group, const char* name);
const char* res_name(int pool, ResHandle h);
const char* res_group(int pool, ResHandle h);

// ---- textures ---------------------------------------------------------------------------

ResHandle res_tex_create(const char* group, const char* name, int w, int h, uint32_t format,
                         bool dynamic);
ResHandle res_tex_create_target(const char* group, const char* name, int w, int h, uint32_t format);
// linear is the texture manager's filter flag for scaled images. A texture
// whose header shows it would take the loaded textures past their budget is
// refused before it is decoded: 0, a `res: texture ... skipped` line, and one
// more in res_tex_budget_refusals. Releasing textures (to a mark) gives their
// bytes back to the budget.
ResHandle res_tex_load_mem(const char* group, const char* name, const uint8_t* image, uint32_t size,
                           bool mipmaps, bool linear = false);
// A file that cannot be read (missing, or refused as a data file) gives 0; one
// read but not made a texture gives 0 and a `res: texture ... skipped` line.
ResHandle res_tex_load_file(const char* group, const char* path, bool mipmaps, bool linear = false);
// What the loaded textures hold now, and how many loads the budget refused.
uint64_t res_tex_held_bytes();
uint32_t res_tex_budget_refusals();
int res_tex_recreate(ResHandle h, int w, int hgt, uint32_t format, bool dynamic);
int res_tex_set_image(ResHandle h, int x, int y, int w, int hgt, const uint32_t* argb);
// Rows in the texture's own pixel format, size bytes in all.
int res_tex_set_image_raw(ResHandle h, int x, int y, int w, int hgt, const uint8_t* src,
                          uint32_t size);
// 32-bit textures: 3-byte (blue, green, red) or 4-byte source pixels, written opaque.
int res_tex_set_image_rgb(ResHandle h, int x, int y, int w, int hgt, const uint8_t* src,
                          int src_bpp);
int res_tex_read_image(ResHandle h, int x, int y, int w, int hgt, uint32_t* argb);
uint32_t res_tex_read_texel(ResHandle h, int x, int y);
bool res_tex_set_address(ResHandle h, uint32_t u_mode, uint32_t v_mode);
// A byte per texel from a converter of ARGB (null: the alpha byte).
int res_tex_make_texel_copy(ResHandle h, uint8_t (*convert)(uint32_t argb));
uint8_t res_tex_sample(ResHandle h, float u, float v);
void res_tex_release(ResHandle h);
const ResTexInfo* res_tex_get(ResHandle h);
int32_t res_tex_count();
uint32_t res_tex_bytes();
ResHandle res_tex_test();
ResHandle res_tex_white();
ResHandle res_tex_black();
ResHandle res_tex_green();
ResHandle res_tex_cyan();
ResHandle res_tex_magenta();
ResHandle res_tex_nrm();
// Clamp addressing for names holding "_clamp".
void res_tex_apply_name_rules(ResTexInfo& t, const char* name);

// ---- crops, depth-stencil surfaces ---------------------------------------------------

struct ResCrop {
    ResHandle tex;
    float u, v, w, h;  // fractions of the texture
};

ResHandle res_crop_register(const char* group, const char* name, float u, float v, float w, float h,
                            const char* tex_name);
ResHandle res_crop_register_px(const char* group, const char* name, float x, float y, float w,
                               float h, ResHandle tex);
int res_crop_set_px(ResHandle crop, float x, float y, float w, float h, ResHandle tex);
const ResCrop* res_crop_get(ResHandle h);
void res_crop_release(ResHandle h);

ResHandle res_depth_register(const char* group, const char* name, int w, int h, uint32_t format);
const ResTexInfo* res_depth_get(ResHandle h);
// Makes the surface again at the new size; a size below 1 leaves it released.
int res_depth_resize(ResHandle h, int w, int hgt, uint32_t format);
void res_depth_release(ResHandle h);

// ---- meshes ---------------------------------------------------------------------------------

ResHandle res_mesh_register(const char* group, const char* name, MeshSource& src,
                            uint32_t mesh_flags);
ResHandle res_mesh_create_blank(const char* group, const char* name, uint32_t tris);
void res_mesh_bind_textures();
const MeshBuffers* res_mesh_get_object(ResHandle h);
uint32_t res_mesh_flags(ResHandle h);
void res_mesh_release(ResHandle h);
uint32_t res_vertex_bytes();

// ---- chunk-data kinds ------------------------------------------------------------------------

// Each copies the chunk into its pool and fills the names' hash slots; 0 on a
// bad chunk, a full pool or a full buffer.
ResHandle res_bone_register(const char* group, const char* name, ByteSpan chunk);
ResHandle res_anime_register(const char* group, const char* name, ByteSpan chunk);
ResHandle res_coll_register(const char* group, const char* name, ByteSpan chunk);
ResHandle res_shit_register(const char* group, ByteSpan chunk);
ResHandle res_caminfo_register(const char* group, const char* name, ByteSpan chunk);
ResHandle res_flash_register(const char* group, const char* name, ByteSpan chunk);
// The stored copy (empty for an invalid handle).
ByteSpan res_data(int pool, ResHandle h);
void res_data_release(int pool, ResHandle h);

uint32_t res_bone_named_count(ResHandle h);
// The matrix token met last before the named node at its level.
bool res_bone_node_matrix(ResHandle h, const char* node, float out[16]);
uint32_t res_anime_node_count(ResHandle h);
uint32_t res_anime_max_frame(ResHandle h);
const char* res_anime_node_name(ResHandle h, uint32_t i);
uint32_t res_anime_node_frame_count(ResHandle h, const char* node);
// Matrix f of the named node, clamped to its frames.
bool res_anime_node_frame(ResHandle h, const char* node, uint32_t f, float out[16]);
uint32_t res_coll_nr_tris(ResHandle h);
struct ResCollTri {
    float c[3][3];
    float normal[3];
    float centroid[3];
    float sphere[4];
};
bool res_coll_get_tri(ResHandle h, uint32_t n, ResCollTri* out);
float res_shit_radius(ResHandle h);
uint32_t res_caminfo_key_count(ResHandle h);
int res_caminfo_sample(ResHandle h, float t, uint32_t out[4]);

// ---- matrix stack ------------------------------------------------------------------------------

// 64 matrices; depth 0 to 63, the top is the matrix at the depth. Pushes past
// 63 and pops at 0 change nothing.
void res_mstack_init();
void res_mstack_push();
void res_mstack_pop();
void res_mstack_load(const float* m);    // null: identity
void res_mstack_mul(const float m[16]);  // top = m x top: m applied first, then the top
float* res_mstack_top();
float* res_mstack_below_top();  // null at depth 0
int res_mstack_depth();

// The world matrix of the named node: the stream walked with the stack
// (identity at the start, matrix tokens multiplied on, push and pop tokens
// followed); the stack is left at its depth on entry.
bool res_bone_node_world(ResHandle h, const char* node, float out[16]);
// Nodes below the named node: all depths when limit is 0, else at most
// limit levels deeper.
uint32_t res_bone_count_below(ResHandle h, const char* node, uint32_t limit);
const char* res_bone_name_below(ResHandle h, const char* node, uint32_t n, uint32_t limit);

// ---- usage report -------------------------------------------------------------------------------

constexpr int RES_STATS_LINES = 14;
constexpr int RES_STATS_LINE_STEP = 16;  // pixels between the report's lines
// Line i (0 to 13) of the usage report; false past the last line. Whoever
// shows the report prints them (disp/res_stats.h).
bool res_stats_line(int i, char* out, size_t size);

// Name dumps: each visits every entry of its pool and reports nothing.
void res_mesh_dump_names();
void res_tex_dump_names();
void res_crop_dump_names();
void res_bone_dump_names();
void res_anime_dump_names();
void res_coll_dump_names();
void res_shit_dump_names();
void res_caminfo_dump_names();
void res_flash_dump_names();
int32_t res_mesh_count_entries();

// ---- mesh lists ------------------------------------------------------------------------------

struct ResMeshListNode {
    ResHandle mesh;
    uint32_t caller_word;
    int32_t minus_one;
    float zero;
    const MeshBuffers* object;
    uint32_t spare[2];
    ResMeshListNode* next;
};

void res_mlist_init();
void res_mlist_begin();
bool res_mlist_add(const char* group, const char* mesh, const uint32_t* caller_word);
bool res_mlist_end(ResMeshListNode** out_head);
void res_mlist_free(ResMeshListNode* head);
uint32_t* res_mlist_scratch();
int32_t res_mlist_used();

// ---- entries ---------------------------------------------------------------------------------

// The four words every entry begins with (a group-name entry has only the name).
struct ResEntryHead {
    const char* group;
    NameHash group_hash;
    const char* name;
    NameHash name_hash;
};
// The head of a handle's entry, null for an invalid handle.
const ResEntryHead* res_entry_head(int pool, ResHandle h);

// What a chunk-data entry (bone tree, animation, collision set, sphere-hit
// set, camera path, vector animation) holds besides its stored copy.
struct ResDataInfo {
    ByteSpan data;             // the stored copy (the key table for a camera path)
    uint32_t named_count;      // bone tree: named nodes
    float radius;              // sphere-hit set: bounding radius
    uint32_t key_count, word;  // camera path
    float f0, f1;
    // Differs for every registration, so that a consumer keeping work derived
    // from a stored copy notices when the entry's slot holds another one.
    uint32_t serial;
};
// Null for an invalid handle or a pool without chunk data.
const ResDataInfo* res_data_info(int pool, ResHandle h);
// The address of the named node's first matrix (null without frames).
const float* res_anime_node_frames(ResHandle h, const char* node);

// ---- per-kind names of the lookups ----------------------------------------------------------

inline ResHandle res_tex_find(const char* g, const char* n) { return res_find(RES_TEX, g, n); }
inline ResHandle res_crop_find(const char* g, const char* n) { return res_find(RES_CROP, g, n); }
inline ResHandle res_depth_find(const char* g, const char* n) { return res_find(RES_DEPTH, g, n); }
inline ResHandle res_mesh_find(const char* g, const char* n) { return res_find(RES_MESH, g, n); }
inline ResHandle res_bone_find(const char* g, const char* n) { return res_find(RES_BONE, g, n); }
inline ResHandle res_anime_find(const char* g, const char* n) { return res_find(RES_ANIME, g, n); }
inline ResHandle res_coll_find(const char* g, const char* n) { return res_find(RES_COLL, g, n); }
inline ResHandle res_shit_find(const char* g, const char* n) { return res_find(RES_SHIT, g, n); }
inline ResHandle res_caminfo_find(const char* g, const char* n) { return res_find(RES_CAM, g, n); }
inline ResHandle res_flash_find(const char* g, const char* n) { return res_find(RES_FLASH, g, n); }
inline const char* res_tex_name(ResHandle h) { return res_name(RES_TEX, h); }
inline const char* res_tex_group(ResHandle h) { return res_group(RES_TEX, h); }
inline const char* res_crop_name(ResHandle h) { return res_name(RES_CROP, h); }
inline const char* res_crop_group(ResHandle h) { return res_group(RES_CROP, h); }
inline const char* res_mesh_name(ResHandle h) { return res_name(RES_MESH, h); }
inline const char* res_mesh_group(ResHandle h) { return res_group(RES_MESH, h); }
inline const char* res_bone_name(ResHandle h) { return res_name(RES_BONE, h); }
inline const char* res_anime_name(ResHandle h) { return res_name(RES_ANIME, h); }
inline const char* res_coll_name(ResHandle h) { return res_name(RES_COLL, h); }
inline const char* res_shit_name(ResHandle h) { return res_name(RES_SHIT, h); }
inline const char* res_caminfo_name(ResHandle h) { return res_name(RES_CAM, h); }
inline const char* res_flash_name(ResHandle h) { return res_name(RES_FLASH, h); }
inline int32_t res_mesh_count() { return res_pool_used(RES_MESH); }
inline int32_t res_crop_count() { return res_pool_used(RES_CROP); }
inline int32_t res_bone_count() { return res_pool_used(RES_BONE); }
inline int32_t res_anime_count() { return res_pool_used(RES_ANIME); }
inline int32_t res_coll_count() { return res_pool_used(RES_COLL); }
inline int32_t res_shit_count() { return res_pool_used(RES_SHIT); }
inline int32_t res_caminfo_count() { return res_pool_used(RES_CAM); }
inline int32_t res_flash_count() { return res_pool_used(RES_FLASH); }
inline int32_t res_depth_count() { return res_pool_used(RES_DEPTH); }
inline const char* res_depth_name(ResHandle h) { return res_name(RES_DEPTH, h); }
inline const char* res_depth_group(ResHandle h) { return res_group(RES_DEPTH, h); }
inline const char* res_bone_group(ResHandle h) { return res_group(RES_BONE, h); }
inline const char* res_anime_group(ResHandle h) { return res_group(RES_ANIME, h); }
inline const char* res_coll_group(ResHandle h) { return res_group(RES_COLL, h); }
inline const char* res_shit_group(ResHandle h) { return res_group(RES_SHIT, h); }
inline const char* res_caminfo_group(ResHandle h) { return res_group(RES_CAM, h); }
inline const char* res_flash_group(ResHandle h) { return res_group(RES_FLASH, h); }
// The kind's own record inside the entry.
inline const ResTexInfo* res_tex_get_record(ResHandle h) { return res_tex_get(h); }
inline const ResTexInfo* res_depth_get_surface(ResHandle h) { return res_depth_get(h); }
inline const ResEntryHead* res_cat_get(ResHandle h) { return res_entry_head(RES_CAT, h); }
inline const ResEntryHead* res_mesh_get(ResHandle h) { return res_entry_head(RES_MESH, h); }
inline const ResDataInfo* res_bone_get(ResHandle h) { return res_data_info(RES_BONE, h); }
inline const ResDataInfo* res_anime_get(ResHandle h) { return res_data_info(RES_ANIME, h); }
inline const ResDataInfo* res_coll_get(ResHandle h) { return res_data_info(RES_COLL, h); }
inline const ResDataInfo* res_shit_get(ResHandle h) { return res_data_info(RES_SHIT, h); }
inline const ResDataInfo* res_caminfo_get(ResHandle h) { return res_data_info(RES_CAM, h); }
inline const ResDataInfo* res_flash_get(ResHandle h) { return res_data_info(RES_FLASH, h); }
inline void res_bone_release(ResHandle h) { res_data_release(RES_BONE, h); }
inline void res_anime_release(ResHandle h) { res_data_release(RES_ANIME, h); }
inline void res_coll_release(ResHandle h) { res_data_release(RES_COLL, h); }
inline void res_shit_release(ResHandle h) { res_data_release(RES_SHIT, h); }
inline void res_caminfo_release(ResHandle h) { res_data_release(RES_CAM, h); }
inline void res_flash_release(ResHandle h) { res_data_release(RES_FLASH, h); }

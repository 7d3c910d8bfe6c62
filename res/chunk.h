// The model group file format: chunk headers, the kind table, and pure,
// bounds-checked parsing of every chunk kind over a byte span.
//
// A chunk's data is checked whole against its own size before anything in it
// is used: every offset, count, index, name, subset range and stream. A bad
// chunk answers an error code; nothing here reads past the span. Offsets stay
// offsets: the stored copy of a chunk never moves, and consumers read it
// through the typed accessors below (each of which checks again, so a caller
// holding a span can never read outside it). Main thread only.
#pragma once

#include <cstdint>
#include <span>

using ByteSpan = std::span<const uint8_t>;
using MutByteSpan = std::span<uint8_t>;

constexpr uint32_t CHUNK_HEADER_SIZE = 12;
constexpr uint32_t CHUNK_NAME_MAX = 259;  // longest name a chunk may carry

enum ChunkKind : int {
    CHUNK_MODEL,
    CHUNK_BONE,
    CHUNK_ANIME,
    CHUNK_COLL,
    CHUNK_TEX,
    CHUNK_CROP,
    CHUNK_SHIT,
    CHUNK_CAMR,
    CHUNK_FLA,
    CHUNK_KIND_COUNT
};

struct ChunkKindInfo {
    uint32_t magic;           // the four characters read little-endian
    uint32_t version;         // the version expected
    uint16_t version_error;   // loader error number of a version mismatch
    uint16_t register_error;  // loader error number of a failed registration
};

const ChunkKindInfo& chunk_kind_info(int kind);
int chunk_kind_of(uint32_t magic);  // -1 when not a known kind

struct ChunkHeader {
    uint32_t magic;
    uint32_t version;
    uint32_t size;
};

// Reads a header from the first 12 bytes; false when fewer are there.
bool chunk_header_read(ByteSpan bytes, ChunkHeader& out);

// Walking a whole group file held in memory.
enum ChunkWalk : int {
    CHUNK_WALK_END = 0,       // no bytes left: the file ends here
    CHUNK_WALK_CHUNK = 1,     // a chunk: header and data
    CHUNK_WALK_SHORT_HEADER,  // 1 to 11 bytes left
    CHUNK_WALK_SHORT_DATA,    // the data is shorter than its size
};
int chunk_file_next(ByteSpan file, uint64_t& pos, ChunkHeader& h, ByteSpan& data);

enum ChunkErr : int {
    CHUNK_OK = 0,
    CHUNK_EMPTY,       // accepted, nothing to register (bone, camera, flash)
    CHUNK_ERR_SHORT,   // smaller than its fixed part
    CHUNK_ERR_OFFSET,  // an offset or an array outside the chunk
    CHUNK_ERR_NAME,    // a name not terminated inside the chunk, or too long
    CHUNK_ERR_COUNT,   // a count that cannot be right (overflow, zero where needed)
    CHUNK_ERR_INDEX,   // an index beyond its array
    CHUNK_ERR_RANGE,   // a subset, frame or limit out of range
    CHUNK_ERR_STREAM,  // a token or command stream that does not end well
};

// ---- bounds-checked reads ---------------------------------------------------------

bool chunk_rd_fits(ByteSpan d, uint64_t off, uint64_t count, uint64_t elem);
bool chunk_rd_u8(ByteSpan d, uint64_t off, uint8_t& v);
bool chunk_rd_u16(ByteSpan d, uint64_t off, uint16_t& v);
bool chunk_rd_u32(ByteSpan d, uint64_t off, uint32_t& v);
bool chunk_rd_f32(ByteSpan d, uint64_t off, float& v);
bool chunk_rd_f32s(ByteSpan d, uint64_t off, float* v, uint32_t n);
// 0 for an offset outside the span.
uint32_t chunk_rd_u32_or0(ByteSpan d, uint64_t off);
// The NUL-terminated name at off, or null when it does not end inside the span
// or is longer than CHUNK_NAME_MAX.
const char* chunk_rd_name(ByteSpan d, uint64_t off);
bool chunk_wr_u32(MutByteSpan d, uint64_t off, uint32_t v);

// ---- "ZQT " model -----------------------------------------------------------------

enum ModelAttr : int {
    CHUNK_ATTR_POS,
    CHUNK_ATTR_NRM,
    CHUNK_ATTR_UV,
    CHUNK_ATTR_BLEND,
    CHUNK_ATTR_COL,
    CHUNK_ATTR_COUNT
};

struct ModelChunk {
    uint32_t tris;
    uint32_t name_off;
    bool has[CHUNK_ATTR_COUNT];
    uint32_t data_off[CHUNK_ATTR_COUNT];   // attribute arrays
    uint32_t index_off[CHUNK_ATTR_COUNT];  // u16 per corner
    uint32_t length[CHUNK_ATTR_COUNT];     // elements the arrays hold (largest index + 1)
    uint32_t bone_count;
    uint32_t bone_names_off;  // table of bone_count name offsets
    uint32_t bone_mats_off;   // bone_count matrices of 16 floats
    float box_min[3], box_max[3];
    float sphere[5];
    uint32_t subset_count;
};

struct ModelSubsetRec {
    uint32_t tex_name_off;  // 0: untextured
    uint32_t word;
    uint32_t first, last;  // triangles, inclusive; last < first is an empty subset
};

int chunk_parse_model(ByteSpan d, ModelChunk& out);
bool chunk_model_subset(ByteSpan d, uint32_t i, ModelSubsetRec& out);
// u16 corner index of an attribute (0 when it is absent).
uint16_t chunk_model_corner_index(ByteSpan d, const ModelChunk& m, int attr, uint32_t corner);

// ---- "BONE" token stream ---------------------------------------------------------

enum BoneToken : uint32_t {
    CHUNK_BONE_TOK_NODE = 1,
    CHUNK_BONE_TOK_MATRIX = 2,
    CHUNK_BONE_TOK_PUSH = 3,
    CHUNK_BONE_TOK_POP = 4,
    CHUNK_BONE_TOK_END = 5
};

struct BoneChunk {
    uint32_t first_name_off;  // the tree's name: the first named node
    uint32_t named_count;
};

struct BoneTok {
    uint32_t kind;
    uint32_t at;          // offset of the token
    uint32_t name_off;    // node: name offset (0 = unnamed)
    uint32_t hash_off;    // node: offset of the hash slot
    uint32_t matrix_off;  // matrix: offset of the 16 floats
};

// CHUNK_EMPTY for a chunk under 8 bytes or without a named node.
int chunk_parse_bone(ByteSpan d, BoneChunk& out);
// Reads the token at pos and moves pos past it; false at the end token, past
// the data or on an unknown token.
bool chunk_bone_next(ByteSpan d, uint32_t& pos, BoneTok& out);

// ---- "ANIM" animation --------------------------------------------------------------

struct AnimChunk {
    uint32_t node_count;
    uint32_t max_frames;
    uint32_t name_off;
    uint32_t table_off;
};

struct AnimNode {
    uint32_t name_off;
    uint32_t hash_off;
    uint32_t frame_count;  // at least 1
    uint32_t frames_off;   // frame_count matrices of 16 floats
};

int chunk_parse_anime(ByteSpan d, AnimChunk& out);
bool chunk_anim_node(ByteSpan d, uint32_t i, AnimNode& out);
// The node's matrix of frame f, clamped to its last frame.
bool chunk_anim_frame(ByteSpan d, const AnimNode& n, uint32_t f, float out[16]);

// ---- "COLL" collision set -----------------------------------------------------------

struct CollChunk {
    uint32_t name_off;
    uint32_t div[3];
    uint32_t box_count;  // div[0] * div[1] * div[2]
    float box_min[3], box_max[3];
    float sphere[4];  // centre, radius
    float origin_radius;
    uint32_t box_table_off;
    uint32_t shared_off, shared_count;
    uint32_t layer_off, layer_count;
};

struct CollBox {
    uint32_t tri_count;
    uint32_t tris_off;
    float centre[3], half[3];
    float sphere[4];
};

struct CollTri {
    float c[3][3];
    float normal[3];
    float sphere[4];
    uint32_t word;
    uint32_t face;
};

struct CollShared {
    uint32_t box_count;
    CollTri tri;
    uint32_t boxes_off;  // box_count u32 leaf-box indices
};

struct CollLayer {
    uint32_t node_count;
    uint32_t nodes_off;  // nodes packed one after another
};

struct CollNode {
    uint32_t child_count;
    float centre[3], half[3];
    float sphere[4];
    uint32_t children_off;  // child_count u32 indices into the next lower layer
    uint32_t next_off;      // where the following node starts
};

int chunk_parse_coll(ByteSpan d, CollChunk& out);
bool chunk_coll_box(ByteSpan d, const CollChunk& c, uint32_t i, CollBox& out);
bool chunk_coll_box_tri(ByteSpan d, const CollBox& b, uint32_t j, CollTri& out);
bool chunk_coll_shared(ByteSpan d, const CollChunk& c, uint32_t i, CollShared& out);
bool chunk_coll_layer(ByteSpan d, const CollChunk& c, uint32_t i, CollLayer& out);
// The node at byte offset off (start with the layer's nodes_off, go on with next_off).
bool chunk_coll_node_at(ByteSpan d, uint32_t off, CollNode& out);
uint32_t chunk_coll_u32_at(ByteSpan d, uint32_t list_off, uint32_t i);

// ---- "TEX ", "CROP", "SHIT", "CAMR" -----------------------------------------------

struct TexChunk {
    uint32_t name_off;
    uint32_t image_off;
    uint32_t image_size;
};
int chunk_parse_tex(ByteSpan d, TexChunk& out);

struct CropRec {
    uint32_t name_off, tex_name_off;
    float u, v, w, h;
};
int chunk_parse_crop(ByteSpan d, uint32_t& count);
bool chunk_crop_rec(ByteSpan d, uint32_t i, CropRec& out);

struct ShitChunk {
    uint32_t name_off;
    uint32_t table_off;
    uint32_t count;
};
struct ShitSphere {
    float radius;
    float centre[3];
};
int chunk_parse_shit(ByteSpan d, ShitChunk& out);
bool chunk_shit_sphere(ByteSpan d, const ShitChunk& s, uint32_t i, ShitSphere& out);

struct CamrChunk {
    uint32_t name_off;
    uint32_t keys_off;
    uint32_t key_count;
    uint32_t word;
    float f0, f1;
};
int chunk_parse_camr(ByteSpan d, CamrChunk& out);

// ---- "FLA " vector animation --------------------------------------------------------

enum FlaTable : int {
    CHUNK_FLA_FRAMES,
    CHUNK_FLA_IMAGES,
    CHUNK_FLA_SHAPES,
    CHUNK_FLA_SPRITES,
    CHUNK_FLA_ASSETS,
    CHUNK_FLA_TABLE_COUNT
};

struct FlaChunk {
    uint32_t name_off;
    int32_t rect[4];
    float rate;
    uint16_t count[CHUNK_FLA_TABLE_COUNT];
    uint32_t table_off[CHUNK_FLA_TABLE_COUNT];
};

struct FlaNamed {  // image and asset records
    uint16_t id;
    uint32_t name_off;
};
struct FlaShape {
    uint16_t char_id;
    uint16_t part_count;
    int32_t rect[4];
    uint32_t parts_off;
};
struct FlaPart {
    uint16_t image_id;
    uint16_t vert_count;
    uint16_t index_count;
    uint32_t verts_off;    // 20 bytes each: x, y, u, v, colour
    uint32_t indices_off;  // u16 each, below vert_count
};
struct FlaSprite {
    uint16_t id;
    uint16_t frame_count;
    uint32_t frames_off;  // frame_count u32 stream offsets
};
struct FlaCmd {
    uint8_t op;  // 0 end, 1 place/modify, 2 remove, 4 start sprite
    uint16_t length;
    uint32_t payload_off;
    uint32_t next_off;
};

int chunk_parse_fla(ByteSpan d, FlaChunk& out);
uint32_t chunk_fla_frame_stream(ByteSpan d, const FlaChunk& f, uint32_t i);  // 0 when out of range
bool chunk_fla_image(ByteSpan d, const FlaChunk& f, uint32_t i, FlaNamed& out);
bool chunk_fla_asset(ByteSpan d, const FlaChunk& f, uint32_t i, FlaNamed& out);
bool chunk_fla_shape(ByteSpan d, const FlaChunk& f, uint32_t i, FlaShape& out);
bool chunk_fla_part(ByteSpan d, const FlaShape& s, uint32_t i, FlaPart& out);
bool chunk_fla_sprite(ByteSpan d, const FlaChunk& f, uint32_t i, FlaSprite& out);
uint32_t chunk_fla_sprite_stream(ByteSpan d, const FlaSprite& s, uint32_t i);
bool chunk_fla_cmd(ByteSpan d, uint32_t off, FlaCmd& out);

// Parses a chunk of the kind: the validation every registrar runs first.
int chunk_check(int kind, ByteSpan d);
// A ChunkErr in words for a log line ("an offset or an array outside the chunk").
const char* chunk_err_text(int err);

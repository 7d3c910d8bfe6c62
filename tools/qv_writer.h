// Writer of model group files and texture lists: the data build and the tests
// use it to make every chunk kind byte-exact to the loader's format.
//
// A model group file is a plain sequence of chunks (12-byte header: magic,
// version, size; then the data). Offsets inside a chunk count from the first
// byte of that chunk's data. Everything is little-endian. The writer takes
// descriptions in plain values and computes what the format stores (indexed
// attribute arrays, bounds, sphere values, collision grids).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qvw {

using Bytes = std::vector<uint8_t>;
using Mat16 = std::array<float, 16>;

Mat16 mat_identity();

// ---- chunk byte builder -------------------------------------------------------

// Growable chunk data with 4-byte-aligned strings and patchable words.
struct ChunkBuf {
    Bytes data;
    uint32_t size() const { return uint32_t(data.size()); }
    uint32_t put_u32(uint32_t v);  // returns the offset written
    uint32_t put_f32(float v);
    uint32_t put_u16(uint16_t v);
    uint32_t put_u8(uint8_t v);
    uint32_t put_bytes(const void* p, size_t n);
    uint32_t put_zero(size_t n);
    uint32_t put_name(const std::string& s);  // NUL-terminated, padded to 4
    void align4();
    void set_u32(uint32_t off, uint32_t v);
    void set_f32(uint32_t off, float v);
    void set_u16(uint32_t off, uint16_t v);
};

enum ChunkMagic : uint32_t {
    MAGIC_MODEL = 0x2054515A,  // "ZQT "
    MAGIC_BONE = 0x454E4F42,   // "BONE"
    MAGIC_ANIME = 0x4D494E41,  // "ANIM"
    MAGIC_COLL = 0x4C4C4F43,   // "COLL"
    MAGIC_TEX = 0x20584554,    // "TEX "
    MAGIC_CROP = 0x504F5243,   // "CROP"
    MAGIC_SHIT = 0x54494853,   // "SHIT"
    MAGIC_CAMR = 0x524D4143,   // "CAMR"
    MAGIC_FLA = 0x20414C46,    // "FLA "
};

uint32_t chunk_version_for(uint32_t magic);

// Appends header + data to a file image.
void file_add_chunk(Bytes& file, uint32_t magic, uint32_t version, const Bytes& data);
void file_add_chunk(Bytes& file, uint32_t magic, const Bytes& data);  // expected version

// ---- model ("ZQT ") -----------------------------------------------------------

struct Blend {
    std::array<uint8_t, 4> bone{};
    std::array<float, 4> weight{};
};

struct ModelVertex {
    std::array<float, 3> pos{};
    std::array<float, 3> nrm{};
    std::array<float, 2> uv{};
    uint32_t color = 0xFFFFFFFF;
    Blend blend;
};

struct ModelSubset {
    std::string texture;  // empty: untextured
    uint32_t first = 0, last = 0;
    uint32_t unused = 0;
};

struct ModelBone {
    std::string name;
    Mat16 matrix = mat_identity();
};

struct ModelDesc {
    std::string name;
    bool has_normals = true, has_uvs = false, has_colors = false, has_blend = false;
    std::vector<ModelVertex> verts;
    std::vector<uint32_t> corners;     // 3 per triangle, into verts
    std::vector<ModelSubset> subsets;  // empty: one untextured subset over all
    std::vector<ModelBone> bones;
};

// Computed bounds: box (min, max) and the five sphere words (centre xyz, radius
// about the centre, radius about the origin).
struct ModelBounds {
    std::array<float, 3> min{}, max{};
    std::array<float, 5> sphere{};
};
ModelBounds model_bounds(const ModelDesc& m);

// Builds the chunk data; false (with a reason) when the description cannot be
// stored (an attribute with more than 65536 distinct values, a corner out of
// range, a subset out of range).
bool model_chunk(const ModelDesc& m, Bytes& out, std::string* why = nullptr);

// ---- bone tree ("BONE") -------------------------------------------------------

struct BoneNode {
    std::string name;
    Mat16 matrix = mat_identity();
    std::vector<BoneNode> children;
};
Bytes bone_chunk(const std::vector<BoneNode>& roots);

// ---- animation ("ANIM") -------------------------------------------------------

struct AnimNodeDesc {
    std::string name;
    std::vector<Mat16> frames;
};
struct AnimDesc {
    std::string name;
    uint32_t max_frames = 0;  // 0: the largest node frame count
    std::vector<AnimNodeDesc> nodes;
};
Bytes anime_chunk(const AnimDesc& a);

// ---- collision set ("COLL") ---------------------------------------------------

struct CollTriDesc {
    std::array<std::array<float, 3>, 3> c{};
    uint32_t face = 0;
};
struct CollDesc {
    std::string name;
    uint32_t div[3] = {1, 1, 1};  // grid divisions x, y, z
    std::vector<CollTriDesc> tris;
};
// A triangle lies in every grid box its bounds touch: inside one box it is a
// leaf triangle of that box, else a shared triangle listing its boxes. With
// more than one box, one layer with one node over every box is written.
Bytes coll_chunk(const CollDesc& c);

// ---- texture ("TEX "), crops ("CROP") -----------------------------------------

Bytes tex_chunk(const std::string& name, const Bytes& image);

struct CropDesc {
    std::string name, texture;
    float u = 0, v = 0, w = 0, h = 0;  // fractions of the texture
};
Bytes crop_chunk(const std::vector<CropDesc>& crops);

// ---- sphere-hit set ("SHIT"), camera path ("CAMR") ----------------------------

struct SphereDesc {
    float radius = 0;
    std::array<float, 3> centre{};
};
Bytes shit_chunk(const std::string& name, const std::vector<SphereDesc>& spheres);

struct CamrDesc {
    std::string name;
    uint32_t word = 0;
    float f0 = 0, f1 = 0;
    std::vector<std::array<uint32_t, 4>> keys;
};
Bytes camr_chunk(const CamrDesc& c);

// ---- vector animation ("FLA ") ------------------------------------------------

struct FlaVertex {
    float x = 0, y = 0, u = 0, v = 0;
    uint32_t color = 0xFFFFFFFF;
};
struct FlaPart {
    uint16_t image_id = 0;
    std::vector<FlaVertex> verts;
    std::vector<uint16_t> indices;
};
struct FlaShape {
    uint16_t char_id = 0;
    int32_t rect[4] = {0, 0, 0, 0};
    std::vector<FlaPart> parts;
};
struct FlaImage {
    uint16_t id = 0;
    std::string name;  // a crop name of the same group
};
struct FlaSprite {
    uint16_t id = 0;
    std::vector<Bytes> frames;  // command streams
};
struct FlaDesc {
    std::string name;
    int32_t rect[4] = {0, 0, 640, 480};
    float rate = 30.0f;
    std::vector<Bytes> frames;  // command streams, each ending with op 0
    std::vector<FlaImage> images;
    std::vector<FlaShape> shapes;
    std::vector<FlaSprite> sprites;
    std::vector<FlaImage> assets;
};
Bytes fla_chunk(const FlaDesc& f);

// Command stream helpers: place (depth, character), remove, end.
void fla_cmd_place(Bytes& s, uint16_t depth, uint16_t char_id);
// Place or modify with the optional fields: a character id (-1 none), a
// 2D matrix of six floats (null none) and a colour (null none).
void fla_cmd_place_full(Bytes& s, uint16_t depth, int char_id, const float* mat,
                        const uint32_t* colour, bool modify);
void fla_cmd_start_sprite(Bytes& s, uint16_t sprite_index);
void fla_cmd_remove(Bytes& s, uint16_t depth);
void fla_cmd_end(Bytes& s);

// ---- texture list ("tex.lst") -------------------------------------------------

struct TexLstCropDesc {
    std::string name;
    float x = 0, y = 0, w = 0, h = 0;  // texels
};
struct TexLstTexDesc {
    std::string file;
    int width = 0, height = 0;
    std::vector<TexLstCropDesc> crops;
};
struct TexLstCatDesc {
    std::string name;
    std::vector<TexLstTexDesc> textures;
};
std::string texlst_text(const std::vector<TexLstCatDesc>& cats);

// ---- images -------------------------------------------------------------------

// An RGBA PNG (8 bits per channel, stored deflate blocks) of 0xAARRGGBB texels.
Bytes png_encode(int width, int height, const std::vector<uint32_t>& argb);
// A two-colour checker of 8x8-texel squares.
Bytes png_checker(int width, int height, uint32_t a, uint32_t b);

// The width and height in a PNG's IHDR, once the whole file is known to be a
// PNG: the signature, IHDR first, every chunk inside the file with a good CRC,
// up to IEND. False with a reason otherwise.
bool png_size(const Bytes& png, uint32_t& width, uint32_t& height, std::string* why = nullptr);

}  // namespace qvw

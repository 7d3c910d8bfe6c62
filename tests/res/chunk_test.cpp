// Every chunk kind written by the data writer, parsed back and answered by the
// accessors; then the same chunks cut short and corrupted.
#include "res_fixture.h"
#include "res/chunk.h"
#include "res/chunk_local.h"

#include <algorithm>
#include <cmath>

namespace {

using qvw::Bytes;

struct Walked {
    ChunkHeader h;
    Bytes data;
};

std::vector<Walked> walk(const Bytes& file)
{
    std::vector<Walked> out;
    uint64_t pos = 0;
    ChunkHeader h;
    ByteSpan data;
    while (chunk_file_next(file, pos, h, data) == CHUNK_WALK_CHUNK)
        out.push_back({h, Bytes(data.begin(), data.end())});
    return out;
}

void set_u32(Bytes& d, uint32_t off, uint32_t v) { ASSERT_TRUE(chunk_wr_u32(d, off, v)); }

}  // namespace

TEST(ChunkRoundTrip, ModelQuadWeldsToFourVertices)
{
    const auto [d, m, src] = decoded(qvw::sample_quad());
    EXPECT_EQ(std::tuple(m.length[CHUNK_ATTR_NRM], m.box_min[0], m.box_max[1]),
              std::tuple(1u, -1.0f, 1.0f));
    EXPECT_FLOAT_EQ(m.sphere[3], std::sqrt(2.0f));  // radius about the centre
    ModelSubsetRec s;
    ASSERT_TRUE(chunk_model_subset(d, 0, s));
    EXPECT_EQ(std::tuple(s.last, src.vertex_count, src.index_count, src.index_bits),
              std::tuple(1u, 4u, 6u, 16u));
    EXPECT_EQ(src.indices, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
    ASSERT_EQ(src.subsets.size(), 1u);
    EXPECT_STREQ(src.subsets[0].slot_name[0], "quad.png");
    EXPECT_EQ(src.subsets[0].slot_count, 1u);
    EXPECT_FLOAT_EQ(src.sphere[5], 2.0f);  // the squared radius about the origin
}

TEST(ChunkRoundTrip, WeldByExactTupleOver65536VerticesWith32BitIndices)
{
    // (p1,n0), (p0,n1), (p1,n0): a sort key of (p + n) would make the first two
    // collide; only the first and third share a vertex.
    qvw::ModelDesc m;
    m.name = "w";
    const qvw::ModelVertex a{.pos = {1, 0, 0}, .nrm = {0, 0, 1}};
    const qvw::ModelVertex b{.pos = {0, 0, 0}, .nrm = {0, 1, 0}};
    m.verts = {b, a};  // position 0 / normal 0 belong to b in first-use order below
    m.corners = {1, 0, 1};
    const auto [d, mc, src] = decoded(m);
    EXPECT_EQ(std::tuple(chunk_model_corner_index(d, mc, CHUNK_ATTR_POS, 0),
                         chunk_model_corner_index(d, mc, CHUNK_ATTR_NRM, 1), src.vertex_count),
              std::tuple(0, 1, 2u));
    EXPECT_EQ(src.indices, (std::vector<uint32_t>{0, 1, 0}));
    qvw::ModelDesc many;
    many.name = "many";
    many.has_normals = true;
    // 70002 distinct (position, normal) tuples from two arrays of at most 65536 values each.
    for (uint32_t c = 0; c < 70002; c++) {
        many.verts.push_back({.pos = {float(c % 256), 0, 0}, .nrm = {float(c / 256), 0, 1}});
        many.corners.push_back(c);
    }
    const MeshSource big = decoded(many).src;
    EXPECT_EQ(std::tuple(big.vertex_count, big.index_bits, big.indices.back()),
              std::tuple(70002u, 32u, 70001u));
}

TEST(ChunkRoundTrip, SkinnedModelWithBonesAndTangents)
{
    const auto [d, m, src] = decoded(qvw::sample_skinned(), NAME_FLAG_NRM);
    // The first blend indices are the bytes 0, 1, 0, 0.
    EXPECT_EQ(std::tuple(bool(m.has[CHUNK_ATTR_BLEND]), m.bone_count, src.weights_per_vertex,
                         src.weights.size(), src.weights[4 * 3 + 1], src.blend_indices[0]),
              std::tuple(true, 2u, 4u, 16u, 0.75f, 0x00000100u));
    ASSERT_EQ(src.bones.size(), 2u);
    EXPECT_STREQ(src.bones[1].name, "arm");
    EXPECT_EQ(src.bones[1].hash, name_hash("arm"));
    EXPECT_FLOAT_EQ(src.bones[1].matrix[12], 1.0f);
    ASSERT_EQ(src.tangents.size(), 12u);
    EXPECT_FLOAT_EQ(src.tangents[0], 1.0f);  // u runs along x
    EXPECT_EQ(src.subsets.size(), 2u);
    EXPECT_EQ(src.subsets[1].word, 7u);
}

TEST(ChunkHostile, BoneStreamsWithoutNamesTooSmallOrTooDeep)
{
    BoneChunk bc;
    EXPECT_EQ(chunk_parse_bone(Bytes{5, 0, 0, 0}, bc), CHUNK_EMPTY);
    EXPECT_EQ(chunk_parse_bone(Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0}, bc),
              CHUNK_EMPTY);
    // A pop at depth 0, and a stream without its end token.
    EXPECT_EQ(chunk_parse_bone(Bytes{4, 0, 0, 0, 5, 0, 0, 0}, bc), CHUNK_ERR_STREAM);
    Bytes open = qvw::bone_chunk(qvw::sample_bones());
    for (size_t i = 0; i + 4 <= open.size(); i += 4)
        if (chunk_rd_u32_or0(open, i) == 5) set_u32(open, uint32_t(i), 9);
    EXPECT_EQ(chunk_parse_bone(open, bc), CHUNK_ERR_STREAM);
    qvw::BoneNode leaf{"n", qvw::mat_identity(), {}};
    for (int i = 0; i < 63; i++) leaf = qvw::BoneNode{"n", qvw::mat_identity(), {leaf}};
    EXPECT_EQ(chunk_parse_bone(qvw::bone_chunk({leaf}), bc), CHUNK_ERR_STREAM);
    for (int i = 0; i < 2; i++) leaf = leaf.children[0];
    EXPECT_EQ(chunk_parse_bone(qvw::bone_chunk({leaf}), bc), CHUNK_OK);
}

TEST(ChunkRoundTrip, CollisionGridAndLayers)
{
    for (uint32_t div : {1u, 2u}) {
        Bytes d = qvw::coll_chunk(qvw::sample_coll(div));
        CollChunk c;
        ASSERT_EQ(chunk_parse_coll(d, c), CHUNK_OK) << div;
        EXPECT_STREQ(chunk_rd_name(d, c.name_off), "floor");
        EXPECT_EQ(std::tuple(c.box_count, c.box_min[0], c.box_max[1]),
                  std::tuple(div * div, -1.0f, 0.5f));
        uint32_t leaf_tris = 0;
        for (uint32_t i = 0; i < c.box_count; i++) {
            CollBox b;
            ASSERT_TRUE(chunk_coll_box(d, c, i, b));
            leaf_tris += b.tri_count;
            for (uint32_t j = 0; j < b.tri_count; j++) {
                CollTri t;
                ASSERT_TRUE(chunk_coll_box_tri(d, b, j, t));
                EXPECT_FLOAT_EQ(t.normal[1], 1.0f);  // (c1 - c0) x (c2 - c0) points up
            }
        }
        // The split grid shares one triangle among its four boxes, under one layer.
        EXPECT_EQ(std::tuple(leaf_tris, c.shared_count, c.layer_count),
                  std::tuple(div == 1 ? 9u : 8u, div - 1, div - 1));
        if (div == 1) continue;
        CollShared s;
        CollLayer l;
        CollNode node;
        ASSERT_TRUE(chunk_coll_shared(d, c, 0, s) && chunk_coll_layer(d, c, 0, l));
        EXPECT_EQ(std::tuple(s.tri.face, s.box_count, chunk_coll_u32_at(d, s.boxes_off, 3)),
                  std::tuple(99u, 4u, 3u));
        ASSERT_TRUE(chunk_coll_node_at(d, l.nodes_off, node));
        EXPECT_EQ(node.child_count, 4u);
    }
}

TEST(ChunkHostile, GroupFileCutAtEveryByte)
{
    Bytes file = qvw::sample_group_file();
    std::vector<uint64_t> bounds = {0};
    for (const auto& c : walk(file))
        bounds.push_back(bounds.back() + CHUNK_HEADER_SIZE + c.data.size());
    ASSERT_EQ(bounds.back(), file.size());
    for (size_t cut = 0; cut < file.size(); cut++) {
        Bytes part(file.begin(), file.begin() + long(cut));
        uint64_t pos = 0;
        ChunkHeader h;
        ByteSpan data;
        int r;
        while ((r = chunk_file_next(part, pos, h, data)) == CHUNK_WALK_CHUNK)
            chunk_check(chunk_kind_of(h.magic), data);
        // A cut on a chunk's start ends the walk; inside a chunk it is short.
        const uint64_t start = *(std::upper_bound(bounds.begin(), bounds.end(), cut) - 1);
        EXPECT_EQ(r, cut == start                      ? CHUNK_WALK_END
                     : cut - start < CHUNK_HEADER_SIZE ? CHUNK_WALK_SHORT_HEADER
                                                       : CHUNK_WALK_SHORT_DATA)
            << cut;
    }
}

TEST(ChunkHostile, EveryKindCutShortNeverReadsPast)
{
    const std::map<int, uint32_t> fixed = {{CHUNK_MODEL, CHUNK_MODEL_FIXED_SIZE},
                                           {CHUNK_ANIME, 20},
                                           {CHUNK_COLL, CHUNK_COLL_FIXED_SIZE},
                                           {CHUNK_TEX, 12},
                                           {CHUNK_CROP, 4},
                                           {CHUNK_SHIT, 12},
                                           {CHUNK_CAMR, 24},
                                           {CHUNK_FLA, CHUNK_FLA_FIXED_SIZE},
                                           {CHUNK_BONE, 8}};
    for (const auto& c : walk(qvw::sample_group_file())) {
        const int kind = chunk_kind_of(c.h.magic);
        const uint32_t min = fixed.contains(kind) ? fixed.at(kind) : 0;
        for (size_t cut = 0; cut < c.data.size(); cut++) {
            // An exact-size copy: the sanitizer sees any read past it.
            const int r = chunk_check(kind, Bytes(c.data.begin(), c.data.begin() + long(cut)));
            if (cut < min) {
                EXPECT_NE(r, CHUNK_OK) << kind << " " << cut;
            }
        }
    }
}

TEST(ChunkHostile, ModelFieldsOutOfRange)
{
    const Bytes good = model_bytes(qvw::sample_quad());
    ModelChunk m;
    struct Patch {
        uint32_t off, value;
        int err;
    };
    const Patch patches[] = {
        {4, 9999, CHUNK_ERR_NAME},                          // name offset past the end
        {8, 0xFFFFFFF0u, CHUNK_ERR_OFFSET},                 // positions
        {28, uint32_t(good.size()) - 2, CHUNK_ERR_OFFSET},  // position indices
        {0, 0x40000000u, CHUNK_ERR_OFFSET},                 // triangle count: indices past the end
        {0, 0xFFFFFFFFu, CHUNK_ERR_OFFSET},
        {108, 0x10000000u, CHUNK_ERR_COUNT},           // subset count
        {112 + 12, 2, CHUNK_ERR_RANGE},                // subset's last triangle = T
        {112, uint32_t(good.size()), CHUNK_ERR_NAME},  // subset name past the end
        {48, 1, CHUNK_ERR_OFFSET},                     // a bone without its tables
        {8, 0, CHUNK_ERR_RANGE},                       // triangles without positions
        {112 + 8, 5, CHUNK_OK},  // a last triangle below the first: an empty subset, no error
    };
    for (const auto& p : patches) {
        Bytes d = good;
        set_u32(d, p.off, p.value);
        EXPECT_EQ(chunk_parse_model(d, m), p.err) << p.off << " " << p.value;
    }
    // An index beyond the positions array's room.
    Bytes d = good;
    ASSERT_EQ(chunk_parse_model(d, m), CHUNK_OK);
    d[m.index_off[CHUNK_ATTR_POS]] = 0xFF;
    d[m.index_off[CHUNK_ATTR_POS] + 1] = 0xFF;
    EXPECT_EQ(chunk_parse_model(d, m), CHUNK_ERR_OFFSET);
    // An unterminated name at the very end of the data.
    d = good;
    set_u32(d, 4, uint32_t(d.size()) - 1);
    d.back() = 'x';
    EXPECT_EQ(chunk_parse_model(d, m), CHUNK_ERR_NAME);
    qvw::ModelDesc longest = qvw::sample_quad();
    longest.name = std::string(CHUNK_NAME_MAX, 'n');
    EXPECT_EQ(chunk_parse_model(model_bytes(longest), m), CHUNK_OK);
    longest.name += "n";
    EXPECT_EQ(chunk_parse_model(model_bytes(longest), m), CHUNK_ERR_NAME);
}

TEST(ChunkHostile, CountsAndOffsetsOfTheOtherKinds)
{
    const Bytes an = qvw::anime_chunk(qvw::sample_anime());
    const uint32_t node = chunk_rd_u32_or0(an, 20);
    const Bytes co = qvw::coll_chunk(qvw::sample_coll(2));
    CollChunk c;
    ASSERT_EQ(chunk_parse_coll(co, c), CHUNK_OK);
    CollShared s;
    CollLayer l;
    ASSERT_TRUE(chunk_coll_shared(co, c, 0, s) && chunk_coll_layer(co, c, 0, l));
    const Bytes tex = qvw::tex_chunk("a.png", {1, 2, 3});
    const struct {
        int kind;
        Bytes chunk;
        uint32_t off, value;
        int err;
    } patches[] = {
        {CHUNK_ANIME, an, 0, 1000, CHUNK_ERR_OFFSET},
        {CHUNK_ANIME, an, node + 8, 0, CHUNK_ERR_RANGE},  // a node without frames
        {CHUNK_ANIME, an, node + 8, 0x7FFFFFFF, CHUNK_ERR_OFFSET},
        {CHUNK_COLL, co, 8, 0x10000, CHUNK_ERR_COUNT},      // 2^16 * 1 * 2 boxes
        {CHUNK_COLL, co, s.boxes_off, 4, CHUNK_ERR_INDEX},  // leaf box 4 of 4
        {CHUNK_COLL, co, l.nodes_off + CHUNK_COLL_NODE_SIZE, 4, CHUNK_ERR_INDEX},  // first child
        {CHUNK_COLL, co, c.box_table_off, 100000, CHUNK_ERR_OFFSET},  // box 0's triangles
        {CHUNK_TEX, tex, 8, 4, CHUNK_ERR_OFFSET},                     // image size
        {CHUNK_TEX, tex, 4, 0xFFFFFFFF, CHUNK_ERR_OFFSET},
        {CHUNK_CROP, qvw::crop_chunk({{"c", "t", 0, 0, 1, 1}}), 0, 0x08000000, CHUNK_ERR_COUNT},
        {CHUNK_SHIT, qvw::shit_chunk("s", qvw::sample_spheres()), 8, 3, CHUNK_ERR_OFFSET},
        {CHUNK_CAMR, qvw::camr_chunk(qvw::sample_camr()), 8, 0x10000000, CHUNK_ERR_OFFSET},
    };
    for (const auto& p : patches) {
        Bytes d = p.chunk;
        set_u32(d, p.off, p.value);
        EXPECT_EQ(chunk_check(p.kind, d), p.err) << p.kind << " " << p.off;
    }
    Bytes d = co;
    set_u32(d, 8, 0x80000000u);
    set_u32(d, 16, 0x80000000u);  // the grid's product overflows 32 bits
    EXPECT_EQ(chunk_check(CHUNK_COLL, d), CHUNK_ERR_COUNT);
}

TEST(ChunkHostile, VectorAnimationStreamsAndIndices)
{
    FlaChunk f;
    const Bytes good = qvw::fla_chunk(qvw::sample_fla());
    FlaShape s;
    FlaPart p;
    ASSERT_EQ(chunk_parse_fla(good, f), CHUNK_OK);
    ASSERT_TRUE(chunk_fla_shape(good, f, 0, s) && chunk_fla_part(good, s, 0, p));
    const uint32_t frames = f.table_off[CHUNK_FLA_FRAMES], s0 = chunk_fla_frame_stream(good, f, 0);
    Bytes d = good;
    set_u32(d, frames, 0);  // a frame without its stream
    EXPECT_EQ(chunk_parse_fla(d, f), CHUNK_ERR_STREAM);
    d = good;
    d[s0 + 2] = 0xFF;  // the place command claims 255 payload bytes
    EXPECT_EQ(chunk_parse_fla(d, f), CHUNK_ERR_STREAM);
    d = good;
    d[p.indices_off] = 4;  // index 4 of 4 vertices
    EXPECT_EQ(chunk_parse_fla(d, f), CHUNK_ERR_INDEX);
    d = good;
    chunk_wr_u32(d, 24, 0x0000FFFF);  // 65535 frames in a table of 2
    EXPECT_EQ(chunk_parse_fla(d, f), CHUNK_ERR_OFFSET);
    // A start-sprite command naming a sprite that does not exist.
    qvw::FlaDesc fd = qvw::sample_fla();
    fd.frames[1] = {4, 0, 2, 0, 9, 0, 0, 0, 0, 0};
    EXPECT_EQ(chunk_parse_fla(qvw::fla_chunk(fd), f), CHUNK_ERR_STREAM);
}

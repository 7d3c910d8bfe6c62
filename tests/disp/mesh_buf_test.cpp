// The vertex-buffer builder on hand-made sources (device buffers from the
// resource services' RAM store).
#include "disp/mesh_buf.h"
#include "res/res_env.h"

#include <gtest/gtest.h>

namespace {

MeshSource triangle_source(uint32_t verts)
{
    MeshSource s{};
    s.vertex_count = verts;
    s.positions.assign(3ull * verts, 0.0f);
    for (uint32_t v = 0; v < verts; v++) s.positions[3 * v] = float(v);
    s.index_bits = 16;
    return s;
}

struct Built {
    MeshBuffers m{};
    MeshSubset subsets[8];
    MeshBone bones[4];
    int ok;
    explicit Built(const MeshSource& s)
    {
        ok = mdl_build_vertex_buffer(m, s, subsets, 8, bones, 4, nullptr, nullptr, 5);
    }
    ~Built() { mdl_release_vertex_buffer(m); }
};

}  // namespace

TEST(MeshBuffers, PositionsOnly)
{
    res_env_set(res_env_defaults());
    MeshSource s = triangle_source(3);
    Built b(s);
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(b.m.fvf, FVF_XYZ);
    EXPECT_EQ(b.m.stride, 12u);
    EXPECT_EQ(b.m.caller_word, 5u);
    EXPECT_EQ(mdl_buffer_bytes(b.m), 36u);
}

TEST(MeshBuffers, WeightsNormalsAndOneSet)
{
    MeshSource s = triangle_source(3);
    s.weights.assign(12, 0.5f);
    s.blend_indices.assign(3, 0);
    s.weights_per_vertex = 2;
    s.normals.assign(9, 0.0f);
    s.uv0.assign(6, 0.0f);
    s.tex_sets[0] = {s.uv0.data(), 2};
    s.tex_set_count = 1;
    Built b(s);
    ASSERT_EQ(b.ok, 1);
    EXPECT_EQ(b.m.stride, 24u + 12u + 8u);
    EXPECT_EQ(b.m.fvf, 0x008u | FVF_LASTBETA_UBYTE4 | FVF_NORMAL | 0x100u);
    s.weights_per_vertex = 5;
    Built five(s);
    EXPECT_EQ(five.ok, 0);
}

TEST(MeshBuffers, SubsetsAreCompactedAndMeasured)
{
    MeshSource s = triangle_source(6);
    s.indices = {0, 1, 2, 3, 4, 5};
    s.index_count = 6;
    MeshSubsetSrc a{}, dropped{}, c{};
    a.first = 0, a.last = 0;
    dropped.first = 1, dropped.last = 0;  // last before first: dropped
    c.first = 1, c.last = 1;
    s.subsets = {a, dropped, c};
    Built b(s);
    ASSERT_EQ(b.ok, 1);
    ASSERT_EQ(b.m.subset_count, 2u);
    EXPECT_EQ(b.m.prim_count, 2u);
    EXPECT_EQ(b.m.subsets[1].start_index, 3u);
    EXPECT_EQ(b.m.subsets[1].min_vertex, 3u);
    EXPECT_EQ(b.m.subsets[1].vertex_count, 3u);
}

TEST(MeshBuffers, ElongatedFlagAndRefusals)
{
    MeshSource s = triangle_source(3);
    s.box_min[0] = 0, s.box_max[0] = 10;  // height 0, depth 0
    Built flat(s);
    EXPECT_TRUE(flat.m.elongated);
    s.box_max[1] = 5, s.box_max[2] = 5;
    Built round(s);
    EXPECT_FALSE(round.m.elongated);
    MeshSource empty{};
    Built none(empty);
    EXPECT_EQ(none.ok, 0);
    MeshSource many = triangle_source(3);
    many.subsets.resize(9);
    Built over(many);
    EXPECT_EQ(over.ok, 0);
    EXPECT_EQ(prim_vertex_count(PRIM_TRIANGLE_LIST, 4), 12u);
    EXPECT_EQ(prim_vertex_count(5, 4), 6u);
    EXPECT_EQ(prim_vertex_count(3, 4), 5u);
}

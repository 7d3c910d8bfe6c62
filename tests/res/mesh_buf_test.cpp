// The vertex-buffer builder on hand-made sources.
#include "res/mesh_buf.h"
#include "plat/gfx_draw.h"
#include "res/res_env.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

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

TEST(MeshBuffers, BufferSizeCompactedSubsetsTheElongatedFlagAndRefusals)
{
    res_env_set(res_env_defaults());
    MeshSource s = triangle_source(3);
    Built plain(s);
    ASSERT_EQ(plain.ok, 1);
    EXPECT_EQ(mdl_buffer_bytes(plain.m), 36u);
    s.weights.assign(15, 0.5f);
    s.blend_indices.assign(3, 0);
    s.weights_per_vertex = 5;  // four at most
    EXPECT_EQ(Built(s).ok, 0);
    MeshSource subs = triangle_source(6);
    subs.indices = {0, 1, 2, 3, 4, 5};
    subs.index_count = 6;
    MeshSubsetSrc a{}, dropped{}, c{};
    a.first = 0, a.last = 0;
    dropped.first = 1, dropped.last = 0;  // last before first: dropped
    c.first = 1, c.last = 1;
    subs.subsets = {a, dropped, c};
    Built compacted(subs);
    ASSERT_EQ(compacted.ok, 1);
    ASSERT_EQ(compacted.m.subset_count, 2u);
    EXPECT_EQ(compacted.m.prim_count, 2u);
    const MeshSubset& second = compacted.m.subsets[1];
    EXPECT_EQ(std::tuple(second.start_index, second.min_vertex, second.vertex_count),
              std::tuple(3u, 3u, 3u));
    MeshSource box = triangle_source(3);
    box.box_min[0] = 0, box.box_max[0] = 10;  // height 0, depth 0
    EXPECT_TRUE(Built(box).m.elongated);
    box.box_max[1] = 5, box.box_max[2] = 5;
    EXPECT_FALSE(Built(box).m.elongated);
    EXPECT_EQ(Built(MeshSource{}).ok, 0);
    MeshSource many = triangle_source(3);
    many.subsets.resize(9);
    EXPECT_EQ(Built(many).ok, 0);
    EXPECT_EQ((std::array{prim_vertex_count(GFX_PT_TRIANGLELIST, 4), prim_vertex_count(5, 4),
                          prim_vertex_count(3, 4)}),
              (std::array<uint32_t, 3>{12, 6, 5}));
}

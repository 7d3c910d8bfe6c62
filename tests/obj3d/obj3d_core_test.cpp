// The shared core without a device: the pass overrides, the sphere and box
// helpers, and the record sorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "math/vm_mat.h"
#include "math/vm_view.h"
#include "disp/obj.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_draw.h"

namespace {

TEST(OverrideTest, OnlyOneIsAPassAndThePassEndClearsEverything)
{
    obj3d_set_pass_a(2);  // not a pass: only 1 is
    obj3d_set_pass_b(1);
    obj3d_set_w17_w18(5, 6);
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    EXPECT_FALSE(pv.pass_a);
    EXPECT_TRUE(pv.pass_b);
    obj3d_scene_end();
    const Obj3dState& s = obj3d_state();
    for (int32_t v : {s.cull_ovr, s.fog_ovr, s.alpha_ref_ovr, s.w12, s.blend_ovr, s.tex_limit,
                      s.pass_a, s.pass_b, s.w17})
        EXPECT_EQ(v, -1);
    EXPECT_EQ(s.w18, 0);
}

// A unit cube's frustum: x, y, z in [-1, 1] as six unit planes.
const FrustumPlanes OBJ3D_CORE_UNIT_BOX = {
    {{0, 0, 1, 1}, {0, 0, -1, 1}, {-1, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}}};

TEST(CullTest, TouchingFromOutsideIsVisibleAndTheMarginWidensBothTests)
{
    const Vec3 c = {3, 0, 0};
    EXPECT_TRUE(sphere_in_frustum(&OBJ3D_CORE_UNIT_BOX, &c, 2.0f));  // distance -2 equals -radius
    EXPECT_FALSE(sphere_in_frustum(&OBJ3D_CORE_UNIT_BOX, &c, 1.999f));
    MeshBounds b = {};
    b.centre = {0.5f, 0, 0};
    b.radius = 1.0f;
    b.origin_radius = 1.5f;
    Mat44 m;
    vm_mat_identity(&m);
    m.m[12] = 3.0f;  // the origin 2 outside, the centre 2.5
    EXPECT_FALSE(sphere_in_frustum_xf(&OBJ3D_CORE_UNIT_BOX, &m, &b, 0.0f));
    EXPECT_TRUE(sphere_in_frustum_xf(&OBJ3D_CORE_UNIT_BOX, &m, &b, OBJ3D_PASS_A_MARGIN));
}

TEST(BoxTest, ATurnedBoxSpansItsTurnedCorners)
{
    const Box3 b = {{0, 0, 0}, {1, 2, 3}};
    Mat44 m;
    vm_mat_identity(&m);
    vm_mat_rotate_z(&m, &m, 3.14159265f);  // (x, y) -> (-x, -y)
    Box3 t;
    box_transform(&t, &b, &m);
    EXPECT_NEAR(t.lo.x, -1, 1e-3);
    EXPECT_NEAR(t.lo.y, -2, 1e-3);
    EXPECT_NEAR(t.hi.x, 0, 1e-3);
    EXPECT_NEAR(t.hi.z, 3, 1e-3);
}

class SortTest : public ::testing::Test {
protected:
    std::vector<DrawObj> recs;
    std::vector<DrawObj*> ptrs;
    void Fill(const std::vector<float>& keys)
    {
        recs.assign(keys.size(), DrawObj{});
        ptrs.clear();
        for (size_t i = 0; i < keys.size(); ++i) {
            recs[i].depth = keys[i];
            recs[i].flags = uint32_t(i);  // arrival index
            ptrs.push_back(&recs[i]);
        }
    }
};

TEST_F(SortTest, AscendingAndDescendingOverManySizesAndEqualKeysLeaveThePinnedOrder)
{
    std::mt19937 rng(7);
    for (int n : {0, 1, 2, 3, 10, 11, 12, 50, 257, 4096, 8192}) {
        std::vector<float> keys(static_cast<size_t>(n));
        for (float& k : keys) k = float(rng() % 37);  // many equal keys
        Fill(keys);
        sort_by_key_asc(ptrs.data(), n);
        for (int i = 1; i < n; ++i) ASSERT_LE(ptrs[i - 1]->depth, ptrs[i]->depth) << n;
        sort_by_key_desc(ptrs.data(), n);
        for (int i = 1; i < n; ++i) ASSERT_GE(ptrs[i - 1]->depth, ptrs[i]->depth) << n;
        std::vector<uint32_t> seen;  // still a permutation of the records
        for (DrawObj* p : ptrs) seen.push_back(p->flags);
        std::sort(seen.begin(), seen.end());
        for (int i = 0; i < n; ++i) ASSERT_EQ(seen[size_t(i)], uint32_t(i));
    }
    // The sort is no stable one, and the order it leaves among equal keys is the
    // draw order of equally far objects: forty records on three keys, both
    // directions, pinned as the sort gives them.
    rng.seed(11);
    std::vector<float> keys(40);
    for (float& k : keys) k = float(rng() % 3);
    const struct {
        void (*sort)(DrawObj**, int);
        std::vector<uint32_t> pinned;  // arrival indices
    } cases[] = {
        {sort_by_key_asc,
         {24, 20, 17, 15, 14, 32, 11, 7,  0,  1,  2,  38, 5,  36, 31, 37, 30, 33, 27, 26,
          34, 25, 35, 23, 8,  10, 13, 18, 21, 19, 16, 29, 12, 28, 9,  22, 6,  4,  3,  39}},
        {sort_by_key_desc,
         {28, 12, 29, 9,  16, 6,  4, 3,  22, 39, 23, 25, 26, 21, 27, 30, 31, 33, 34, 35,
          37, 8,  10, 13, 18, 19, 0, 38, 1,  36, 2,  5,  7,  32, 20, 11, 14, 15, 17, 24}},
    };
    for (const auto& c : cases) {
        Fill(keys);
        c.sort(ptrs.data(), int(ptrs.size()));
        std::vector<uint32_t> arrival;
        for (DrawObj* p : ptrs) arrival.push_back(p->flags);
        EXPECT_EQ(arrival, c.pinned);
    }
}

}  // namespace

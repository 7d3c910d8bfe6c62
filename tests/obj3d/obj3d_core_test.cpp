// The shared core without a device: the draw-parameter word, materials,
// overrides, sphere and box helpers, and the record sorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "math/vm_mat.h"
#include "math/vm_view.h"
#include "obj2d/obj.h"
#include "obj3d/obj3d.h"
#include "obj3d/obj3d_draw.h"

namespace {

TEST(DrawParamTest, FieldsAreMaskedAndTheDefaultMaterialIsExact)
{
    DrawParam p = kDrawParamDefault;
    p = draw_param_put(p, kRsBlendShift, kRsBlendBits, 0xFF);  // 5 bits
    EXPECT_EQ(rstate_field(p, kRsBlendShift, kRsBlendBits), 31u);
    EXPECT_EQ(rstate_field(p, kRsCullShift, kRsCullBits), 0u);  // neighbour untouched
    p = draw_param_put(p, kDpZWriteBit, 1, 2);                  // 2 masks to 0
    EXPECT_EQ(draw_param_bit(p, kDpZWriteBit), 0u);
    EXPECT_EQ(draw_param_bit(p, kDpFogBit), 1u);
    // The material's default flag follows every word exactly.
    ObjMaterial m = kObjMaterialDefault;
    EXPECT_TRUE(material_is_default(&m));
    m.w5 = 1.0000001f;
    EXPECT_FALSE(material_is_default(&m));
    material_set(&m, 0x00FFFFFF, 0xFFFFFFFF, 0, 0, 0.0f, 1.0f);
    EXPECT_TRUE(material_is_default(&m));
    m.diffuse = 0xFFFFFFFE;
    EXPECT_FALSE(material_is_default(&m));
    m.diffuse = 0xFFFFFFFF;
    m.power = -0.0f;  // equal to 0.0 as a float
    EXPECT_TRUE(material_is_default(&m));
}

TEST(OverrideTest, ZeroIsAnOverrideEverythingClearsAtPassEndAndOverridesWinInTheKey)
{
    obj3d_set_cull_ovr(0);
    obj3d_set_fog_ovr(0);
    obj3d_set_alpha_ref_ovr(3);
    obj3d_set_blend_ovr(2);
    obj3d_set_tex_limit(1);
    obj3d_set_pass_a(2);  // not a pass: only 1 is
    obj3d_set_w17_w18(5, 6);
    Obj3dPassView pv;
    obj3d_pass_view(&pv);
    EXPECT_EQ(pv.cull_ovr, 0);
    EXPECT_EQ(pv.fog_ovr, 0);
    EXPECT_FALSE(pv.pass_a);
    obj3d_set_pass_b(1);
    obj3d_pass_view(&pv);
    EXPECT_TRUE(pv.pass_b);
    obj3d_scene_end();
    const Obj3dState& s = obj3d_state();
    for (int32_t v : {s.cull_ovr, s.fog_ovr, s.alpha_ref_ovr, s.w12, s.blend_ovr, s.tex_limit,
                      s.pass_a, s.pass_b, s.w17})
        EXPECT_EQ(v, -1);
    EXPECT_EQ(s.w18, 0);
    EXPECT_EQ(obj3d_set_cull_ovr(-1), &s);
    // The draw key takes overrides over the parameter.
    obj3d_pass_view(&pv);
    const DrawParam dp = kDrawParamDefault;
    RenderStateKey k = obj3d_draw_key(pv, dp, false);
    EXPECT_EQ(rstate_field(k, kRsCullShift, kRsCullBits), 0u);
    EXPECT_TRUE(k & kRsLighting);
    EXPECT_TRUE(k & kRsFog);
    pv.cull_ovr = 2;
    pv.fog_ovr = 0;
    pv.blend_ovr = 0;
    k = obj3d_draw_key(pv, dp, true);  // a mesh with colours: unlit
    EXPECT_EQ(rstate_field(k, kRsCullShift, kRsCullBits), 2u);
    EXPECT_FALSE(k & kRsFog);
    EXPECT_EQ(rstate_field(k, kRsBlendShift, kRsBlendBits), 0u);
    EXPECT_FALSE(k & kRsLighting);
}

// A unit cube's frustum: x, y, z in [-1, 1] as six unit planes.
const FrustumPlanes kUnitBox = {
    {{0, 0, 1, 1}, {0, 0, -1, 1}, {-1, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}}};

TEST(CullTest, TouchingFromOutsideIsVisibleAndScaleNeverEnlargesTheRadius)
{
    const FrustumPlanes& f = kUnitBox;
    Vec3 c = {3, 0, 0};
    EXPECT_TRUE(sphere_in_frustum(&f, &c, 2.0f));  // distance -2 equals -radius
    EXPECT_FALSE(sphere_in_frustum(&f, &c, 1.999f));
    c = {0, 0, 0};
    EXPECT_TRUE(sphere_in_frustum(&f, &c, 0.0f));
    MeshBounds b = {};
    b.centre = {0.5f, 0, 0};
    b.radius = 1.0f;
    b.origin_radius = 1.5f;
    Mat44 m;
    vm_mat_identity(&m);
    const Vec3 s = {10, 10, 10};
    vm_mat_scale(&m, &m, &s);
    m.m[12] = 3.0f;  // the centre goes to (8, 0, 0)
    // The origin passes (distance -2 against radius 1.5 + margin 1); the
    // transformed centre is far outside: a scaled object partly inside is culled.
    EXPECT_FALSE(sphere_in_frustum_xf(&f, &m, &b, 1.0f));
    EXPECT_TRUE(sphere_in_frustum_xf(&f, nullptr, &b, 0.0f));
    // The margin widens both tests.
    vm_mat_identity(&m);
    m.m[12] = 3.0f;
    EXPECT_FALSE(sphere_in_frustum_xf(&f, &m, &b, 0.0f));
    EXPECT_TRUE(sphere_in_frustum_xf(&f, &m, &b, kPassAMargin));
}

TEST(BoxTest, CornersTransformedBoundsAndInvalidMeshes)
{
    const Box3 b = {{0, 0, 0}, {1, 2, 3}};
    Vec3 c[8];
    box_corners(c, &b);
    const Vec3 want[8] = {{0, 2, 0}, {1, 2, 0}, {0, 0, 0}, {1, 0, 0},
                          {0, 2, 3}, {1, 2, 3}, {0, 0, 3}, {1, 0, 3}};
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(c[i].x == want[i].x && c[i].y == want[i].y && c[i].z == want[i].z) << i;
    Mat44 m;
    vm_mat_identity(&m);
    vm_mat_rotate_z(&m, &m, 3.14159265f);  // (x, y) -> (-x, -y)
    Box3 t;
    box_transform(&t, &b, &m);
    EXPECT_NEAR(t.lo.x, -1, 1e-3);
    EXPECT_NEAR(t.lo.y, -2, 1e-3);
    EXPECT_NEAR(t.hi.x, 0, 1e-3);
    EXPECT_NEAR(t.hi.z, 3, 1e-3);
    Box3 u = {{5, 5, 5}, {6, 6, 6}};
    box_union(&u, &b);
    EXPECT_EQ(u.lo.x, 0);
    EXPECT_EQ(u.hi.x, 6);
    MeshBounds mb = {};  // bounds of an invalid handle are refused
    EXPECT_EQ(mesh_bounds(0, &mb), 0);
    EXPECT_EQ(mesh_bounds(123456, &mb), 0);
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

TEST_F(SortTest, AscendingAndDescendingOverManySizesAndDuplicates)
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
}

}  // namespace

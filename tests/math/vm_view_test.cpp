// View maths: frustum planes and corners, projection parameters, light fit.
#include <array>

#include "vm_test_util.h"

namespace {

const ProjParams VM_VIEW_PARAMS = {-0.4f, 0.4f, -0.3f, 0.3f, 0.5f, 100.0f};

Mat44 aimed(Vec3 eye, Vec3 target, const Vec3* up = nullptr)
{
    Mat44 m;
    return *vm_mat_aim_at(&m, &eye, &target, up, 0);
}

// Every point lands in the light's clip volume [-1, 1] x [-1, 1] x [0, 1] (NaN fails).
void expect_fitted(const Mat44& proj, const Mat44& view, const Vec3* pts, int n)
{
    const Mat44 vp = mat_mul(proj, view);
    for (int i = 0; i < n; ++i) {
        Vec3 c;
        vm_mat_transform_point_divw(&c, &vp, &pts[i]);
        EXPECT_TRUE(all_near(Vec2{c.x, c.y}, {0, 0}, 1.001f) && c.z >= -1e-3f && c.z <= 1.001f)
            << i;
    }
}

}  // namespace

// A camera at (10, 2, -5) looking along +X: the frustum's corners lie on its
// side and far planes, which are unit.
TEST(Frustum, PlanesOfAKnownCamera)
{
    const Mat44 cam = aimed({10, 2, -5}, {20, 2, -5});
    Mat44 view, proj;
    vm_mat_inverse(&view, &cam);
    viewmath_perspective_from6(&proj, &VM_VIEW_PARAMS);
    const Mat44 vp = mat_mul(proj, view);  // view first, then projection
    FrustumPlanes f;
    viewmath_frustum_planes(&f, &vp);
    for (const Plane& p : f.p) EXPECT_NEAR(p.a * p.a + p.b * p.b + p.c * p.c, 1.0f, 1e-5f);
    Vec3 corners[8];
    viewmath_frustum_corners(corners, &cam, &VM_VIEW_PARAMS);
    // Corner order: near TL, TR, BL, BR, then far.
    EXPECT_TRUE(all_near(std::array{corners[0].x, corners[4].x}, {10.5f, 110.0f}, 1e-3f));
    const int on_side[6][4] = {{-1},         {4, 5, 6, 7}, {1, 3, 5, 7},
                               {0, 2, 4, 6}, {2, 3, 6, 7}, {0, 1, 4, 5}};
    for (int side = 1; side < 6; ++side)
        for (int k : on_side[side])
            EXPECT_NEAR(vm_plane_dot_point(&f.p[side], &corners[k]), 0.0f, 2e-3f)
                << side << " " << k;
}

TEST(ProjParams, FromMatrixInvertsThePerspectiveScaleKeepsNearAndFarAndMinimumScreenSize)
{
    const ProjParams in = {-0.3f, 0.5f, -0.2f, 0.4f, 0.5f, 200.0f};
    Mat44 m;
    ProjParams out;
    viewmath_perspective_from6(&m, &in);
    vm_proj_params_from_matrix(&out, &m);
    out.zfar = in.zfar;
    EXPECT_TRUE(all_near(out, in, 1e-4f));
    ProjParams p, s;
    vm_proj_params_from_fov(&p, 0.9f, 1.25f, 0.5f, 0.5f, 0.7f, 70.0f);
    vm_proj_params_scale(&s, &p, 1.0f, 1.0f, 0.0f, 1e-6f);
    EXPECT_TRUE(all_near(std::array{s.znear, s.zfar}, {0.7f, 70.0f}, 0));
    vm_proj_params_scale(&s, &p, 2.0f, 1.0f, 3.0f, 0.0f);
    EXPECT_NEAR(s.top, std::tan(0.9f) * 3.0f, 1e-4f);
    vm_proj_params_scale_angles(&s, &p, 1, 1, 1, 1, 0, 0);
    EXPECT_TRUE(all_near(s, p, 1e-5f));
    const ProjParams wide = {-1, 1, -0.75f, 0.75f, 1, 100};
    // At depth 10 the view is 20 units wide on an 800-pixel screen.
    EXPECT_EQ(vm_proj_min_size_at_depth(&wide, 10, 1.0f, 800, 20), 1.0f);  // shown at 40 pixels
    const Mat44 id = mat_identity();
    const Vec3 pt = {3, 3, 10};
    EXPECT_FLOAT_EQ(vm_proj_min_world_size(&wide, &id, &pt, 0.1f, 800, 20), 0.5f);
}

TEST(LightFit, FitsTheViewVolumeAndTheBox)
{
    const Mat44 cam = aimed({0, 5, -10}, {0, 0, 0});
    const ProjParams p = {-0.4f, 0.4f, -0.3f, 0.3f, 1.0f, 30.0f};
    // The box reaches far past the far plane: its corners count.
    const Vec3 light = {0.3f, -1.0f, 0.2f}, lo = {-3, 0, -3}, hi = {3, 2, 60};
    Mat44 proj, view;
    viewmath_light_fit(&proj, &view, &light, nullptr, &cam, &p, nullptr, nullptr);
    Vec3 pts[16], unit;
    viewmath_frustum_corners(pts, &cam, &p);
    expect_fitted(proj, view, pts, 8);
    viewmath_light_fit(&proj, &view, &light, nullptr, &cam, &p, &lo, &hi);
    viewmath_box_corners(pts + 8, &lo, &hi);
    for (int i = 0; i < 8; ++i)  // as the frustum: top left, top right, bottom ..., low z first
        expect_vec3_near(pts[8 + i],
                         {i & 1 ? hi.x : lo.x, i & 2 ? lo.y : hi.y, i & 4 ? hi.z : lo.z}, 0);
    expect_fitted(proj, view, pts, 16);
    // The light view looks along the light.
    expect_vec3_near({view.m[2], view.m[6], view.m[10]}, *vm_vec3_normalize(&unit, &light), 1e-5f);
}

// Top-down camera, overhead light: the up vector used to be 0, the matrices NaN.
TEST(LightFit, LightParallelToTheView)
{
    const Vec3 north = {0, 0, 1}, light = {0, -1, 0};
    const Mat44 cam = aimed({0, 20, 0}, {0, 0, 0}, &north);
    const ProjParams p = {-0.5f, 0.5f, -0.5f, 0.5f, 1.0f, 25.0f};
    Mat44 proj, view;
    viewmath_light_fit(&proj, &view, &light, nullptr, &cam, &p, nullptr, nullptr);
    EXPECT_TRUE(all_finite(proj) && all_finite(view));
    Vec3 pts[8];
    viewmath_frustum_corners(pts, &cam, &p);
    expect_fitted(proj, view, pts, 8);
}

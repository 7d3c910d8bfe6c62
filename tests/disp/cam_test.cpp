// Cameras: modes, projections, cull planes, rays, derived sets and what reaches the device; display
// parameters, movie records and the debug camera.
#include "view_fixture.h"

#include <bit>
#include <limits>
#include <numbers>

#include "svc/key.h"
#include "disp/dbgcam.h"
#include "disp/movie.h"
#include "disp/movie_local.h"
#include "math/vm_view.h"
#include "plat/input.h"
#include "plat/window.h"

namespace {

constexpr float CAM_TABLE_TOL = 2e-4f;  // table-built rotations
const Mat44 CAM_ID = VM_MAT_IDENTITY;

class CamTest : public ViewTest {};

// Camera at (0, 0, 5) looking down -Z with +Y up: its x axis is world -X. This half turn about Y
// with that offset is its own inverse: both the placement and the view transform.
const Mat44 CAM_HAND_CAM = {{-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 5, 1}};

// Left-handed off-centre perspective, clip depth 0..1.
Mat44 hand_perspective(float l, float r, float b, float t, float n, float f)
{
    return Mat44{{2 * n / (r - l), 0, 0, 0,                              //
                  0, 2 * n / (t - b), 0, 0,                              //
                  (l + r) / (l - r), (t + b) / (b - t), f / (f - n), 1,  //
                  0, 0, n * f / (n - f), 0}};
}

Mat44 times(const Mat44& first, const Mat44& then)
{
    Mat44 out;
    vm_mat_mul(&out, &then, &first);
    return out;
}

TEST_F(CamTest, PositionAndAnglesModeMatchesHandBuiltAndAnUnknownModeGivesIdentity)
{
    // The default look-at camera's matrix field is its placement.
    expect_mat_near(*cam_get_matrix(0), CAM_HAND_CAM, CAM_TABLE_TOL);
    const Vec3 pos = {0, 0, 5}, angles = {0, std::numbers::pi_v<float>, 0};
    cam_set_mode(0, CAM_MODE_POS_ANGLES);
    cam_set_pos_rot(0, &pos, &angles);
    expect_mat_near(*cam_get_view_mtx(0), CAM_HAND_CAM, CAM_TABLE_TOL);
    // The table's error grows with the distance of 5 in the translation.
    expect_mat_near(*cam_get_world_mtx(0), CAM_HAND_CAM, 5 * CAM_TABLE_TOL);
    // Mode 0 keeps the given angles; the matrix field is the placement.
    expect_vec3_near(*cam_get_rot(0), angles, 0.0f);
    expect_mat_near(*cam_get_matrix(0), *cam_get_view_mtx(0), 0.0f);
    cam_set_mode(0, 9);
    expect_mat_near(*cam_get_view_mtx(0), CAM_ID, 0.0f);
    expect_mat_near(*cam_get_world_mtx(0), CAM_ID, 0.0f);
    expect_vec3_near(*cam_get_pos(0), Vec3{0, 0, 0}, 0.0f);
}

TEST_F(CamTest, CullFarIsClampedOnlyBySomeSettersAndTheCullPlanesUseIt)
{
    std::vector<float> seen;
    cam_set_cull_far(0, 500.0f), seen.push_back(cam_get_cull_far(0));
    cam_set_far(0, 50.0f), seen.push_back(cam_get_cull_far(0));
    cam_set_near_far(0, 0.5f, 40.0f, 80.0f), seen.push_back(cam_get_cull_far(0));
    cam_set_cull_far(0, 20.0f), seen.push_back(cam_get_cull_far(0));
    EXPECT_EQ(seen, (std::vector<float>{100, 100, 40, 20}));
    // With far 100 and cull far 60 a point 75 in front is inside the drawing frustum and outside
    // the culling one; world +X is on the camera's left.
    cam_set_near_far(0, 0.1f, 100.0f, 60.0f);
    const auto side = [](const FrustumPlanes* f, int which, Vec3 p) {
        return vm_plane_dot_point(&f->p[which], &p);
    };
    const FrustumPlanes *draw = cam_get_planes(0), *cull = cam_get_frustum(0);
    const Vec3 p75 = {0, 0, -75}, right = {30, 0, -35};
    EXPECT_EQ((std::array{side(draw, VM_FRUSTUM_FAR, p75) > 0, side(cull, VM_FRUSTUM_FAR, p75) > 0,
                          side(cull, VM_FRUSTUM_NEAR, {0, 0, 6}) > 0,
                          side(cull, VM_FRUSTUM_LEFT, right) > 0,
                          side(cull, VM_FRUSTUM_RIGHT, right) > 0}),
              (std::array{true, false, false, false, true}));
    EXPECT_NEAR(side(cull, VM_FRUSTUM_FAR, {0, 0, -35}), 20.0f, 1e-2f);
}

TEST_F(CamTest, ProjectionOfPointsWithTheSquareEdgesInsideAndOneBehindOnItsOwnSide)
{
    float x = 9, y = 9;
    const Vec3 origin = {0, 0, 0}, left = {1, 0.5f, 0}, behind = {0, 0, 7}, far_out = {40, 0, 0};
    EXPECT_EQ(cam_project(0, &x, &y, &origin), CAM_INSIDE);
    expect_vec3_near(Vec3{x, y, 0}, Vec3{0, 0, 0}, 1e-6f);
    EXPECT_EQ(cam_project_to_screen(0, &x, &y, &origin), CAM_INSIDE);
    expect_vec3_near(Vec3{x, y, 0}, Vec3{400, 300, 0}, 1e-3f);
    cam_project(0, &x, &y, &left);  // world +X shows on the left, +Y up
    EXPECT_TRUE(x < 0.0f && y > 0.0f) << x << "," << y;
    EXPECT_EQ(cam_project(0, &x, &y, &behind), CAM_BEHIND);
    EXPECT_EQ(cam_project(0, &x, &y, &far_out), CAM_OUTSIDE);
    // With identity view and projection the edges of the clip square count as inside.
    cam_set_mode(0, CAM_MODE_CAM_TO_WORLD);
    cam_set_matrix(0, &CAM_ID);
    cam_set_proj_custom(0, 1);
    cam_set_proj_matrix(0, &CAM_ID);
    const Vec3 corner = {1, -1, 0}, past = {1.0001f, 0, 0};
    EXPECT_EQ(cam_project(0, &x, &y, &corner), CAM_INSIDE);
    EXPECT_EQ(std::pair(x, y), std::pair(1.0f, -1.0f));
    EXPECT_EQ(cam_project(0, &x, &y, &past), CAM_OUTSIDE);
    const Vec3 top = {0, 1, 0}, over = {0, 1.0001f, 0}, under = {0, -1.0001f, 0};
    EXPECT_EQ((std::array{cam_project(0, &x, &y, &top), cam_project(0, &x, &y, &over),
                          cam_project(0, &x, &y, &under)}),
              (std::array{CAM_INSIDE, CAM_OUTSIDE, CAM_OUTSIDE}));
    // Identity view; the projection copies z into w, so a point at negative
    // z lies behind. Dividing by w itself would mirror it through the centre.
    const Mat44 w_is_z = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0}};
    cam_set_proj_matrix(0, &w_is_z);
    const Vec3 ahead = {0.5f, -0.25f, 2}, back = {0.5f, -0.25f, -2};
    EXPECT_EQ(cam_project(0, &x, &y, &ahead), CAM_INSIDE);
    EXPECT_EQ(std::pair(x, y), std::pair(0.25f, -0.125f));
    EXPECT_EQ(cam_project(0, &x, &y, &back), CAM_BEHIND);
    EXPECT_EQ(std::pair(x, y), std::pair(0.25f, -0.125f));
}

TEST_F(CamTest, RaysThroughTheViewAndAnEmptyViewportKeepsMatricesFinite)
{
    Vec3 dir, dir2;
    EXPECT_EQ(std::pair(cam_pixel_to_ray(0, &dir, 400, 300), cam_ndc_to_ray(0, &dir2, 0, 0)),
              std::pair(CAM_INSIDE, CAM_INSIDE));
    expect_vec3_near(dir, Vec3{0, 0, -1}, 1e-5f);
    expect_vec3_near(dir2, Vec3{0, 0, -1}, 1e-5f);
    // The top left corner: up and toward world +X (the camera's left).
    EXPECT_EQ(cam_pixel_to_ray(0, &dir, 0.0f, 0.0f), CAM_INSIDE);
    EXPECT_TRUE(dir.x > 0.0f && dir.y > 0.0f);
    EXPECT_NEAR(vm_vec3_length_cut(&dir), 1.0f, 1e-5f);
    const ProjParams* p = cam_get_proj_params(0);
    EXPECT_EQ(cam_uv_to_ray(0, p, &dir, 1.0f, 0.5f), CAM_INSIDE);
    Vec3 outside = {0, 0, 0};
    EXPECT_EQ(cam_uv_to_ray(0, p, &outside, 1.2f, 0.5f), CAM_OUTSIDE);
    // Written anyway: 1.4 half-widths right of the centre (world -X); tan(pi / 8) is sqrt 2 - 1.
    const float side = 1.4f * 4 / 3 * (std::sqrt(2.0f) - 1), len = std::hypot(side, 1.0f);
    expect_vec3_near(outside, Vec3{-side / len, 0, -1 / len}, 1e-4f);
    Vec3 point, to_point;
    cam_ndc_to_near_point(0, &point, &to_point, 0.0f, 0.0f);
    expect_vec3_near(point, Vec3{0, 0, 4.9f}, 1e-5f);
    expect_vec3_near(to_point, Vec3{0, 0, -1}, 1e-5f);
    cam_ndc_to_near_point(0, nullptr, nullptr, 1.0f, 1.0f);
    // An empty viewport height must not turn the matrices into NaN.
    cam_set_viewport(0, 0, 0, 640, 0);
    EXPECT_EQ(cam_get_aspect(0), 640.0f);
    for (float v : cam_get_viewproj_mtx(0)->m) ASSERT_TRUE(std::isfinite(v));
    cam_set_viewport(0, 0, 0, 0, 0);  // nor an empty width
    EXPECT_EQ(cam_get_aspect(0), 1.0f);
    EXPECT_EQ(cam_pixel_to_ray(0, &dir, 1.0f, 1.0f), CAM_OUTSIDE);
    cam_set_viewport_ex(0, 5, 6, 0, 0, 0.0f);
    int32_t x, y, w, h;
    cam_get_viewport(0, &x, &y, &w, &h);
    EXPECT_EQ((std::array{x, y, w, h}), (std::array{5, 6, 1, 1}));
    EXPECT_EQ(cam_get_aspect(0), 1.0f);
    cam_set_viewport_ex(0, 0, 0, 300, 100, std::numeric_limits<float>::infinity());
    EXPECT_EQ(cam_get_aspect(0), 3.0f);
    cam_set_viewport_ex(0, 0, 0, 300, 100, 1.25f);  // a given aspect is kept
    EXPECT_EQ(cam_get_aspect(0), 1.25f);
}

TEST_F(CamTest, ShadowSliceLightAndMirrorSets)
{
    subview_set_enable(0, 1, 1);
    subview_set_near(0, 1, 2.0f);
    subview_set_far(0, 1, 20.0f);
    cam_update_all();
    const XformSet& S = *cam_get_xform_set(0);
    const XformSet& D = *cam_get_xform_set(cam_slice_set_index(0, 1));
    const XformSet& E = *cam_get_xform_set(cam_shadow_set_index(0, 1));
    EXPECT_EQ(std::pair(D.params.znear, D.params.zfar), std::pair(2.0f, 20.0f));
    EXPECT_EQ(subview_get_near(0, 0), 0.1f);  // the scene default
    expect_mat_near(D.world_to_cam, S.world_to_cam, 0.0f);
    expect_mat_near(D.cull_view_proj, D.view_proj, 0.0f);
    const float t = 2.0f * std::tan(std::numbers::pi_v<float> / 8.0f), r = t * 4.0f / 3.0f;
    expect_mat_near(D.proj, hand_perspective(-r, r, -t, t, 2.0f, 20.0f), 1e-3f);
    expect_mat_near(times(E.world_to_cam, E.cam_to_world), CAM_ID, 1e-4f);
    EXPECT_EQ(std::memcmp(&E.planes, &D.planes, sizeof E.planes), 0);
    EXPECT_EQ(std::memcmp(&E.params, &D.params, sizeof E.params), 0);
    // Slice 0 stays unbuilt.
    const XformSet& D0 = *cam_get_xform_set(cam_slice_set_index(0, 0));
    EXPECT_EQ(D0.params.zfar, 0.0f);
    // Without a bounds query the light is fitted around the slice's frustum: as if asked with the
    // box of its corners.
    const Mat44 fitted = E.proj;
    static Vec3 lo, hi;
    Vec3 c[8];
    viewmath_frustum_corners(c, &D.cam_to_world, &D.params);
    lo = hi = c[0];
    for (const Vec3& p : c)
        lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)},
        hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
    cam_set_bounds_query([](Vec3* mn, Vec3* mx, const XformSet*) { return *mn = lo, *mx = hi, 1; });
    cam_update_all();
    expect_mat_near(E.proj, fitted, 1e-5f);
    // The mirror set reflects, then views as the screen's set does.
    const Vec3 point = {0, -1, 0};
    mirror_set_plane(0, &point, nullptr);
    cam_update_all();
    Mat44 reflect;
    vm_mat_reflect(&reflect, mirror_get_plane(0));
    const XformSet& M = *cam_get_xform_set(cam_sub2_set_index(0));
    expect_mat_near(M.world_to_cam, times(reflect, S.world_to_cam), 1e-6f);
    // A point above the mirror is seen where its image below it would be.
    const Vec3 above = {0, 1, 0}, image = {0, -3, 0};
    Vec3 a, b;
    vm_mat_transform_point(&a, &M.world_to_cam, &above);
    vm_mat_transform_point(&b, &S.world_to_cam, &image);
    expect_vec3_near(a, b, 1e-5f);
    expect_mat_near(M.cull_view_proj, M.view_proj, 0.0f);
    EXPECT_EQ(std::memcmp(&M.cull_planes, &M.planes, sizeof M.planes), 0);
    expect_vec3_near(*mirror_get_normal(0), Vec3{0, 1, 0}, 0.0f);
}

TEST_F(CamTest, ARebuildClearsTheMarkAndPreviousMatricesAreKeptCopies)
{
    cam_update_all();
    EXPECT_EQ(disp_work().cam[0].changed, 0u);
    cam_keep_prev_matrices();
    const Mat44 old_vp = *cam_get_viewproj_mtx(0);
    const Vec3 eye = {4, 0, 0}, target = {0, 0, 0};
    cam_set_look_at(0, &eye, &target, nullptr);
    cam_update_all();
    expect_mat_near(*cam_get_prev_viewproj_mtx(0), old_vp, 0.0f);
    EXPECT_TRUE(vm_mat_differs(cam_get_prev_viewproj_mtx(0), cam_get_viewproj_mtx(0), 1e-3f));
    cam_keep_prev_matrices();
    expect_mat_near(*cam_get_prev_view_mtx(0), *cam_get_view_mtx(0), 0.0f);
}

TEST_F(CamTest, DeviceGetsTheSetsTransformsTheScreensLightAndFogStates)
{
    cam_update_all();
    cam_apply_xform_set(0);
    ASSERT_EQ(dev().transforms.size(), 2u);
    EXPECT_EQ(std::pair(dev().transforms[0].first, dev().transforms[1].first),
              std::pair(DISP_DEV_TS_PROJECTION, DISP_DEV_TS_VIEW));
    expect_mat_near(dev().transforms[0].second, *cam_get_proj_mtx(0), 0.0f);
    expect_mat_near(dev().transforms[1].second, *cam_get_world_mtx(0), 0.0f);
    cam_apply_xform_set(99);
    EXPECT_EQ(dev().transforms.size(), 2u);
    env_set_color0(0, 0xFF336699);
    env_set_color2(0, 0xFFFF8000);
    disp_fade_frame();
    env_apply_light(0);
    ASSERT_EQ(dev().lights.size(), 1u);
    const DispDevLight& l = dev().lights[0];
    EXPECT_EQ((std::array{l.diffuse.r, l.diffuse.g, l.ambient.b, l.specular.a}),
              (std::array{1.0f, 128.0f / 255.0f, 153.0f / 255.0f, 1.0f}));
    expect_vec3_near(l.direction, env_get_block(0)->light_dir, 0.0f);
    EXPECT_EQ(dev().light_enables, std::vector<int>{1});
    fog_set_start(0, 5.0f);
    fog_set_end(0, 80.0f);
    fog_set_color(0, 0x80112233);
    fog_apply(0);
    const auto sent = [this](DispDevRs rs) { return dev().states.at(rs); };
    EXPECT_EQ((std::array{sent(DISP_DEV_RS_FOGCOLOR), sent(DISP_DEV_RS_FOGTABLEMODE),
                          sent(DISP_DEV_RS_FOGVERTEXMODE), sent(DISP_DEV_RS_RANGEFOGENABLE)}),
              (std::array<uint32_t, 4>{0x80112233u, DISP_DEV_FOG_LINEAR, DISP_DEV_FOG_NONE, 0}));
    EXPECT_EQ(std::pair(std::bit_cast<float>(sent(DISP_DEV_RS_FOGSTART)),
                        std::bit_cast<float>(sent(DISP_DEV_RS_FOGEND))),
              std::pair(5.0f, 80.0f));
    // Equal distances would divide by zero in the linear fog factor.
    const auto range = [](float start, float end) {
        fog_set_start(0, start), fog_set_end(0, end);
        fog_get_range(0, &start, &end);
        return std::pair(start, end);
    };
    for (float d : {0.0f, 50.0f, -3.0f, 1e7f}) {
        const auto [start, end] = range(d, d);
        EXPECT_TRUE(start == d && end > start && std::isfinite(1.0f / (end - start))) << d;
    }
    EXPECT_EQ(range(std::numeric_limits<float>::quiet_NaN(), 10.0f), std::pair(0.0f, 10.0f));
}

// A screen or slice index outside 0..1 is a caller's fault: caught in debug builds; otherwise it
// falls on screen 0 and never past the pair.
TEST_F(CamTest, BadIndicesNeverReachPastThePairsOrTheSets)
{
    EXPECT_DEBUG_DEATH(cam_set_fov(2, 0.5f), "screen index");
    EXPECT_DEBUG_DEATH(subview_set_near(0, 5, 3.0f), "slice index");
    EXPECT_DEBUG_DEATH(fog_set_end(-1, 7.0f), "screen index");
#ifdef NDEBUG
    EXPECT_EQ(cam_get_fov(0), 0.5f);
    EXPECT_EQ(subview_get_near(0, 0), 3.0f);
    EXPECT_EQ(fog_get_end(0), 7.0f);
#endif
    EXPECT_EQ(cam_get_fov(1), std::numbers::pi_v<float> / 4.0f);
    // Set indices outside the thirteen are refused.
    EXPECT_EQ(std::tuple(cam_get_xform_set(13), cam_get_xform_set(-1)),
              std::tuple(nullptr, nullptr));
    cam_select_xform_set(cam_shadow_set_index(1, 1));
    cam_select_xform_set(40);
    EXPECT_EQ(cam_get_selected_xform_set(), cam_get_xform_set(10));
}

class DispParamTest : public ViewTest {
protected:
    void screen(int32_t sw, int32_t sh, int32_t rw, int32_t rh, int32_t flag)
    {
        const RenderSizes sizes = {0, 0, rw, rh, flag};
        disp_param_init(nullptr, 0, sw, sh, 32, &sizes);
    }
    std::pair<int32_t, int32_t> to_render(int32_t x, int32_t y)
    {
        int32_t rx = -999, ry = -999;
        disp_window_to_render(&rx, &ry, x, y);
        return {rx, ry};
    }
    std::pair<float, float> normalized(int32_t x, int32_t y)
    {
        float nx = 9, ny = 9;
        disp_window_to_normalized(&nx, &ny, x, y);
        return {nx, ny};
    }
};

using XY = std::pair<int32_t, int32_t>;

TEST_F(DispParamTest, HeadTakesScreenSizeForMissingOrZeroSizesAndModeRequestsGoToTheDevice)
{
    const RenderSizes sizes = {0, 480, 1024, 0, 2};
    const auto head = [] {
        return std::array{disp_get_render3d_w(), disp_get_render3d_h(),
                          disp_get_render_w(),   disp_get_render_h(),
                          disp_get_screen_w(),   disp_work().head.orientation};
    };
    disp_param_init(nullptr, 0, 800, 600, 32, &sizes);
    EXPECT_EQ(head(), (std::array{800, 480, 1024, 600, 800, 2}));
    disp_param_init(nullptr, 0, 640, 480, 32, nullptr);
    EXPECT_EQ(head(), (std::array{640, 480, 640, 480, 640, 0}));
    disp_request_mode(0, 720, 1);
    EXPECT_EQ(dev().mode_requests, (std::vector<std::array<int, 3>>{{0, 720, 1}}));
}

// A larger render area scales by the axis that overflows more; a smaller one keeps pixels about the
// centre; a swapped orientation uses the turned window. The flag comes from the settings text
// unchecked; outside the table it is taken as 0.
TEST_F(DispParamTest, WindowToRenderScalesAndTurnsAndEmptySizesGiveFiniteResults)
{
    const struct {
        int32_t sw, sh, rw, rh, flag, orientation;
        XY in, out;
    } cases[] = {
        {800, 600, 1600, 1200, 0, 0, {500, 300}, {1000, 600}},  // dx -800 not above -600: width 2
        {800, 600, 1000, 1200, 0, 0, {500, 300}, {700, 600}},   // dx -200 above dy -600: height 2
        {800, 600, 800, 900, 0, 0, {403, 301}, {404, 451}},     // 1.5: 4.5 and 1.5 truncated
        {800, 600, 800, 900, 0, 0, {397, 299}, {396, 449}},     // toward zero on both sides
        {1024, 768, 640, 480, 0, 0, {512, 384}, {320, 240}},
        {1024, 768, 640, 480, 0, 0, {0, 0}, {-192, -144}},
        {600, 800, 800, 600, 3, 3, {300, 100}, {700, 300}},
        {600, 800, 800, 600, 5, 5, {300, 100}, {100, 300}},
        {800, 600, 800, 600, 6, 0, {410, 290}, {410, 290}},
        {800, 600, 800, 600, -1, 0, {410, 290}, {410, 290}},
        {800, 600, 800, 600, 1000, 0, {410, 290}, {410, 290}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rw) + "x" + std::to_string(c.rh) + " " +
                     std::to_string(c.flag));
        screen(c.sw, c.sh, c.rw, c.rh, c.flag);
        EXPECT_EQ(disp_work().head.orientation, c.orientation);
        EXPECT_EQ(to_render(c.in.first, c.in.second), c.out);
    }
    // The same size keeps the centre; corners map to the ends of the normalized range.
    screen(800, 600, 800, 600, 0);
    EXPECT_EQ(to_render(400, 300), XY(400, 300));
    EXPECT_EQ(normalized(400, 300), std::pair(0.0f, 0.0f));
    EXPECT_EQ(normalized(0, 0), std::pair(-1.0f, 1.0f));
    EXPECT_EQ(normalized(0, 600).second, -1.0f);
    float ny = 9;
    // Null outputs are skipped.
    disp_window_to_render(nullptr, nullptr, 1, 1);
    disp_window_to_normalized(nullptr, &ny, 400, 150);
    EXPECT_FLOAT_EQ(ny, 0.5f);
    // An empty window or render area must not divide by zero.
    screen(0, 0, 640, 480, 0);
    EXPECT_EQ(to_render(10, 10), XY(330, 250));
    disp_param_init(nullptr, 0, 0, 0, 32, nullptr);
    EXPECT_EQ(normalized(5, 5), std::pair(0.0f, 0.0f));
}

TEST(Movie, RecordsStartFreeInOrderAndOpenStopOnlyTouchTheFlags)
{
    movie_init();
    const MovieBlock& b = movie_block();
    const auto lists_as_started = [&] {
        return !b.active && b.free_list == &b.rec[0] && b.rec[0].next == &b.rec[1] &&
               !b.rec[1].next && movie_get_count() == 0;
    };
    EXPECT_TRUE(lists_as_started());
    EXPECT_STREQ(movie_get_data_path(), ".\\data\\movie\\");
    MovieRec* r = const_cast<MovieRec*>(&b.rec[0]);
    EXPECT_FALSE(movie_open(r, nullptr) || movie_open(nullptr, "a.mpg"));
    EXPECT_EQ(movie_open(r, "a.mpg"), 1);
    EXPECT_EQ(r->flags, MOVIE_PLAYING);
    movie_stop(r);
    EXPECT_TRUE(r->flags == 0u && movie_query(r) == 0);
    // Freeing a record not in use, or releasing group 0, leaves the lists as they were.
    movie_free(r), movie_free(nullptr), movie_release_group(0), movie_release_group(7);
    movie_frame_early(), movie_frame_late();
    EXPECT_TRUE(lists_as_started());
    movie_reset(), movie_term();
}

class DbgCamTest : public ViewTest {
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        plat_key_clear(), key_init();
        const Vec3 pos = {1, 2, 3}, rot = {0.5f, 1.0f, 0};
        cam_set_mode(0, 0), cam_set_pos_rot(0, &pos, &rot);
    }
    // Key messages as the window sends them: modifiers carry their generic code and side.
    static void keys(std::initializer_list<int> held, bool down)
    {
        for (int vk : held) {
            const PlatMsg m{nullptr, down ? PLAT_WM_KEYDOWN : PLAT_WM_KEYUP,
                            uintptr_t(vk == 0xA0   ? 0x10
                                      : vk == 0xA2 ? 0x11
                                                   : vk),
                            0, uint32_t(vk)};
            plat_dispatch_message(&m);
        }
        key_update();
    }
    void frame(std::initializer_list<int> h) { keys(h, true), dbgcam_update(&cam), keys(h, false); }
    DbgCam cam{};
};

TEST_F(DbgCamTest, CtrlAndShiftTogetherGiveTheFastMoveAndTheNormalTurn)
{
    frame({0x30});
    frame({0xA2, 0xA0, 0x26});  // left Ctrl, left Shift, up arrow
    EXPECT_FLOAT_EQ(cam.move_step * 10 + cam.turn_step, 10.05235988f);
    EXPECT_NEAR(cam.pos.y, 3.0f, 1e-5f);
    frame({0xA2});
    EXPECT_FLOAT_EQ(cam.move_step, 0.05f);
    EXPECT_FLOAT_EQ(cam.turn_step, 0.05235988f * 0.5f);
}

TEST_F(DbgCamTest, ForwardMovesAlongTheViewAndTurnsWrapIntoOneTurnEvenFromHostileAngles)
{
    const Vec3 pos = {0, 0, 0}, rot = {0, 6.25f, 0};
    cam_set_pos_rot(0, &pos, &rot), frame({0x30});
    frame({0x27});  // right arrow: past a whole turn
    EXPECT_NEAR(cam.angles.y, 0.0192f, 1e-4f);
    const Vec3 before = cam.pos;
    frame({'W'});  // with a yaw of about 0.0192 the forward step is almost all +z
    EXPECT_NEAR(cam.pos.z - before.z, 0.1f, 1e-3f);
    EXPECT_NEAR(cam.pos.x - before.x, 0.1f * std::sin(0.0192f), 1e-3f);
    EXPECT_NEAR(cam.pos.y, before.y, 1e-6f);
    cam_set_mode(0, 1);  // screen 0 is held in mode 0 while the debug camera runs
    frame({});
    EXPECT_EQ(cam_get_mode(0), 0u);
    // The wrap itself, also of angles no key could reach.
    EXPECT_NEAR(dbgcam_wrap_angle(6.25f + 0.05235988f), 0.0192f, 1e-4f);
    EXPECT_NEAR(dbgcam_wrap_angle(-0.5f), 6.2831855f - 0.5f, 1e-6f);
    EXPECT_EQ(dbgcam_wrap_angle(1.0f), 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {inf, -inf, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_EQ(dbgcam_wrap_angle(bad), 0.0f);
    for (float huge : {3e38f, -3e38f, 1e7f})
        EXPECT_TRUE(dbgcam_wrap_angle(huge) >= 0 && dbgcam_wrap_angle(huge) < 6.2831855f) << huge;
}

}  // namespace

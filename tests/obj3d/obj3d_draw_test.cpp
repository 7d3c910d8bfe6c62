// The 3D pass on the offscreen device: lighting, fog, levels of detail,
// frustum culling, draw order, the patch tool's projection, and the mended
// faults of the pass.
#include "obj3d_fixture.h"
#include "app/txt_settings.h"
#include "shader/shader_fixture.h"

namespace {

using namespace o3t;

class DrawTest : public Obj3dScene {};

TEST_F(DrawTest, LitCubeIsBrighterOnTheSideFacingTheLight)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    ASSERT_NE(cube, 0u);
    // The light travels toward +x: the cube's left face (seen turned by 45
    // degrees about y) faces it, the right face turns away.
    const Vec3 dir = {1, 0, 0};
    env_set_light_dir(0, &dir);
    env_set_color2(0, 0xFFFFFFFF);
    env_set_color0(0, 0xFF202020);
    Mat44 m = at(0, 0, 5);
    vm_mat_rotate_y(&m, &m, 0.7853982f);
    DrawObj* o = mdlobj_create(0, &m, cube, 81);
    ASSERT_NE(o, nullptr);
    Render();
    const uint32_t left = Pixel(kW / 2 - 4, kH / 2), right = Pixel(kW / 2 + 4, kH / 2);
    EXPECT_GT(Luma(left), Luma(right) + 150) << std::hex << left << " " << right;
    EXPECT_GT(Luma(right), 0);  // ambient still lights the far side
    // Unlit, both sides are the same.
    mdlobj_set_lighting(o, 0);
    Render();
    EXPECT_NEAR(Luma(Pixel(kW / 2 - 4, kH / 2)), Luma(Pixel(kW / 2 + 4, kH / 2)), 6);
}

TEST_F(DrawTest, FogDarkensWithDistance)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    fog_set_enable(0, 1);
    fog_set_start(0, 5.0f);
    fog_set_end(0, 40.0f);
    fog_set_color(0, 0xFF000000);
    // Two unlit white cubes, one near at the left, one far at the right, of
    // the same size on screen.
    Mat44 near_m = at(-1.5f, 0, 6);
    Mat44 far_m = at(-1.5f * 5, 0, 30);
    const Vec3 big = {5, 5, 5};
    vm_mat_scale(&far_m, &far_m, &big);
    far_m.m[12] = 7.5f;
    DrawObj* a = mdlobj_create(0, &near_m, cube, 81);
    DrawObj* b = mdlobj_create(0, &far_m, cube, 81);
    mdlobj_set_lighting(a, 0);
    mdlobj_set_lighting(b, 0);
    Render();
    const int near_l = Luma(Pixel(kW / 2 - 10, kH / 2)), far_l = Luma(Pixel(kW / 2 + 10, kH / 2));
    EXPECT_GT(near_l, far_l + 100) << near_l << " " << far_l;
    EXPECT_GT(far_l, 0);
    // Fog off in the object: the far cube is as bright as the near one.
    mdlobj_set_fog(a, 0);
    mdlobj_set_fog(b, 0);
    Render();
    EXPECT_NEAR(Luma(Pixel(kW / 2 - 10, kH / 2)), Luma(Pixel(kW / 2 + 10, kH / 2)), 6);
}

TEST_F(DrawTest, LevelsOfDetailSwitchAtTheirSquaredDistances)
{
    const ResHandle near_mesh = make_cube("near", 1.0f, 0xFFFF0000, true);
    const ResHandle far_mesh = make_cube("far", 1.0f, 0xFF0000FF, true);
    Mat44 m = at(0, 0, 5);  // squared distance 25
    DrawObj* o = mdlobj_create(0, &m, near_mesh, 81);
    mdlobj_set_lods(o, far_mesh, 100.0f, near_mesh, 0.0f);
    ModelObj* w = mdlobj_work(o);
    EXPECT_EQ(w->lods[0].mesh, near_mesh);  // stored near first
    Render();
    EXPECT_EQ(w->chosen, near_mesh);
    const uint32_t px = Pixel(kW / 2, kH / 2);
    EXPECT_GT((px >> 16) & 0xFF, 200u);  // red: vertex colours, drawn unlit
    w->world.m[14] = 10.0f;              // exactly 100: the far level
    Render();
    EXPECT_EQ(w->chosen, far_mesh);
    EXPECT_GT(Pixel(kW / 2, kH / 2) & 0xFF, 200u);
    w->world.m[14] = 9.99f;
    Render();
    EXPECT_EQ(w->chosen, near_mesh);
    // Levels that start at 100 draw nothing nearer than 10 units, and an
    // object with frustum culling on and no level is skipped before culling.
    mdlobj_set_lods(o, far_mesh, 100.0f, 0, 0.0f);
    Render();
    EXPECT_EQ(w->chosen, 0u);
    EXPECT_EQ(obj3d_sort_count(), 0);
    EXPECT_EQ(Luma(Pixel(kW / 2, kH / 2)), 0);
}

TEST_F(DrawTest, FrustumCullingDropsWhatIsOutside)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    Mat44 in = at(0, 0, 10), behind = at(0, 0, -10), aside = at(100, 0, 10), edge = at(8.3f, 0, 10);
    DrawObj* a = mdlobj_create(0, &in, cube, 81);
    DrawObj* b = mdlobj_create(0, &behind, cube, 81);
    DrawObj* c = mdlobj_create(0, &aside, cube, 81);
    DrawObj* d = mdlobj_create(0, &edge, cube, 81);  // its sphere reaches inside
    Render();
    std::vector<DrawObj*> drawn(obj3d_sort_array(), obj3d_sort_array() + obj3d_sort_count());
    auto has = [&](DrawObj* o) { return std::find(drawn.begin(), drawn.end(), o) != drawn.end(); };
    EXPECT_TRUE(has(a));
    EXPECT_FALSE(has(b));
    EXPECT_FALSE(has(c));
    EXPECT_TRUE(has(d));
    EXPECT_EQ(mdlobj_is_culled(b, 0, nullptr, 1), 1);
    EXPECT_EQ(mdlobj_is_culled(a, 0, nullptr, 1), 0);
    // With culling off the object behind is handed to the device all the same.
    mdlobj_set_frustum_cull(b, 0);
    Render();
    drawn.assign(obj3d_sort_array(), obj3d_sort_array() + obj3d_sort_count());
    EXPECT_TRUE(has(b));
    // Pass A culls with a margin of 2 and draws only pass-A objects.
    mdlobj_set_pass_a(a, 1);
    obj3d_set_pass_a(1);
    Render();
    EXPECT_EQ(obj3d_get_pass_a(), -1);  // reset at the pass end
}

TEST_F(DrawTest, TransparentObjectsDrawFarToNearAfterTheOpaqueOnes)
{
    const ResHandle cube = make_cube("cube", 0.5f);
    std::vector<DrawObj*> sorted, opaque, back;
    for (float z : {10.0f, 30.0f, 20.0f, 15.0f}) {
        Mat44 m = at(0, 0, z);
        DrawObj* o = mdlobj_create(0, &m, cube, 81);
        mdlobj_set_depth_sort(o, 1);
        mdlobj_set_blend(o, 2);
        sorted.push_back(o);
    }
    for (float z : {12.0f, 25.0f}) {
        Mat44 m = at(0, 0, z);
        opaque.push_back(mdlobj_create(0, &m, cube, 81));
    }
    for (float z : {5.0f, 40.0f}) {
        Mat44 m = at(0, 0, z);
        DrawObj* o = mdlobj_create(0, &m, cube, 81);
        mdlobj_set_zwrite(o, 0);
        back.push_back(o);
    }
    Render();
    ASSERT_EQ(obj3d_sort_count(), 8);
    DrawObj* const* order = obj3d_sort_array();
    // Opaque first (grouped by state), then the depth-sorted ones farthest
    // first, then the no-z-write ones in the reverse of the order the draw
    // list handed them over.
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(order[i] == opaque[0] || order[i] == opaque[1]);
    const float want[4] = {30, 20, 15, 10};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mdlobj_matrix(order[2 + i])->m[14], want[i]) << i;
    const DrawObj* first_back = order[6];
    const DrawObj* second_back = order[7];
    EXPECT_NE(first_back, second_back);
    // The draw list gives a priority list newest first; the back group
    // reverses that: the oldest is drawn first.
    EXPECT_EQ(first_back, back[0]);
    EXPECT_EQ(second_back, back[1]);
}

TEST_F(DrawTest, PatchToolProjectionShowsTheFrontFaces)
{
    // Screen space with y downwards, a model scaled by 30 and turned by pi
    // about z at depth 5000, cull index 1, as the patch tool sets them up.
    Mat44 ortho;
    vm_mat_ortho_offcenter(&ortho, -kW / 2.0f, kW / 2.0f, kH / 2.0f, -kH / 2.0f, 0.1f, 10000.0f);
    cam_set_proj_custom(0, 1);
    cam_set_proj_matrix(0, &ortho);
    const Vec3 Y = {0, 1, 0};
    // Front face red toward the viewer, back face blue away from it.
    const ResHandle mesh = make_mesh("twoface",
                                     {{{0, 0, -0.5f}, {0, 0, -1}, Y, 0.5f, 0xFFFF0000},
                                      {{0, 0, 0.5f}, {0, 0, 1}, Y, 0.5f, 0xFF0000FF}},
                                     true);
    Mat44 m;
    vm_mat_identity(&m);
    const Vec3 s30 = {30, 30, 30};
    vm_mat_scale(&m, &m, &s30);
    vm_mat_rotate_z(&m, &m, 3.1415927f);
    m.m[14] = 5000.0f;
    DrawObj* o = mdlobj_create(0, &m, mesh, 81);
    mdlobj_set_cull(o, 1);
    mdlobj_set_frustum_cull(o, 0);
    Render();
    const uint32_t px = Pixel(kW / 2, kH / 2);
    EXPECT_GT((px >> 16) & 0xFF, 200u) << std::hex << px;
    EXPECT_LT(px & 0xFF, 40u) << std::hex << px;
    // The projection mirrors the picture, so the default cull index would
    // drop the front and show the back.
    mdlobj_set_cull(o, 0);
    Render();
    EXPECT_GT(Pixel(kW / 2, kH / 2) & 0xFF, 200u);
    // The same faces with the default cull index under the perspective
    // camera: the red front again.
    cam_set_proj_custom(0, 0);
    Mat44 p = at(0, 0, 3);
    DrawObj* q = mdlobj_create(0, &p, mesh, 81);
    obj_free(o);
    (void)q;
    Render();
    const uint32_t px2 = Pixel(kW / 2, kH / 2);
    EXPECT_GT((px2 >> 16) & 0xFF, 200u) << std::hex << px2;
}

TEST_F(DrawTest, OneFrameObjectsLiveForOneFrame)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    Mat44 m = at(0, 0, 5);
    ASSERT_NE(mdlobj_create_1f(0, &m, cube, 81), nullptr);
    EXPECT_EQ(obj_live_count(), 1);
    Render();
    EXPECT_EQ(obj3d_sort_count(), 1);
    EXPECT_EQ(obj_live_count(), 0);
    Render();
    EXPECT_EQ(obj_draw_list_count(), 0);
}

TEST_F(DrawTest, BillboardKeepsTheCameraRotationInTheObject)
{
    const ResHandle cube = make_cube("cube", 1.0f, 0xFFFFFFFF, false, 2);
    const ResHandle tex = res_tex_create("test", "t", 4, 4, RES_TEX_FORMAT_ARGB32, false);
    Mat44 m = at(0, 0, 5);
    vm_mat_rotate_y(&m, &m, 1.0f);
    DrawObj* o = mdlobj_create(0, &m, cube, 81);
    mdlobj_set_billboard(o, 1);
    mdlobj_set_override_tex(o, tex);
    const Vec3 angles = {0, 0.5f, 0}, pos = {0, 0, 0};
    cam_set_pos_rot(0, &pos, &angles);
    obj3d_set_tex_limit(1);  // the two-slot subset binds only stage 0
    Render();
    const Mat44& w = *mdlobj_matrix(o);
    const Mat44& cam = cam_get_xform_set(0)->cam_to_world;
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(w.m[i], cam.m[i]) << i;
    EXPECT_EQ(w.m[14], 5.0f);
    EXPECT_EQ(obj3d_state().tex_limit, -1);
}

// The same lit cube through the shader files the program ships: the pass
// hands the set-up what the shaders read (world, material, light).
class ShippedShaderDrawTest : public Obj3dScene {
protected:
    void SetUp() override
    {
        Obj3dScene::SetUp();
        if (HasFatalFailure()) return;
        use_shader_folder(tmp_, shipped_shader_dir());
        shader_init();
    }
    void TearDown() override
    {
        shader_term();
        txt_settings_term();
        Obj3dScene::TearDown();
    }
    TempDir tmp_;
};

TEST_F(ShippedShaderDrawTest, LitCubeIsBrighterOnTheSideFacingTheLight)
{
    ASSERT_TRUE(shader_get_record(0)->stage[SH_STAGE_PIXEL].shader);
    ASSERT_TRUE(shader_get_record(3)->stage[SH_STAGE_VERTEX].shader);
    const ResHandle cube = make_cube("cube", 1.0f);
    const Vec3 dir = {1, 0, 0};
    env_set_light_dir(0, &dir);
    env_set_color2(0, 0xFFFFFFFF);
    env_set_color0(0, 0xFF202020);
    env_set_color1(0, 0xFF202020);
    Mat44 m = at(0, 0, 5);
    vm_mat_rotate_y(&m, &m, 0.7853982f);
    DrawObj* o = mdlobj_create(0, &m, cube, 81);
    // Set 0 (its pixel shader over the fixed vertex stage), then set 3
    // (phong: both stages shaded).
    for (int set : {0, 3}) {
        mdlobj_set_shader_set(o, set);
        Render();
        const uint32_t left = Pixel(kW / 2 - 4, kH / 2), right = Pixel(kW / 2 + 4, kH / 2);
        EXPECT_GT(Luma(left), Luma(right) + 150) << set << std::hex << " " << left << " " << right;
    }
    EXPECT_GT(shader_bind_count(), 0u);
}

// --- mended faults ------------------------------------------------------------------------

TEST_F(DrawTest, PassStartLeavesNoStaleLightingInTheStateCache)
{
    disp_set_rstate_key_fvf(rstate_key_make(0, 1, 0, 0, 0, kAlphaRefOff, 3, 0, 1), 0x112);
    ASSERT_EQ(disp_rstate_lighting(), 0u);
    obj3d_scene_begin(0, 0, 0);  // sets LIGHTING on the device directly
    EXPECT_EQ(disp_rstate_lighting(), 0xFFFFFFFFu);
    disp_set_rstate_key_fvf(rstate_key_make(0, 1, 0, 0, 0, kAlphaRefOff, 3, 0, 1), 0x112);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_LIGHTING), 0u);
    obj3d_scene_end();
}

TEST_F(DrawTest, PointFilteringSurvivesTheBaseFilterOfTheNextRun)
{
    const ResHandle cube = make_cube("cube", 1.0f, 0xFFFFFFFF, false, 1);
    const ResHandle tex = res_tex_create("test", "t", 4, 4, RES_TEX_FORMAT_ARGB32, false);
    ASSERT_NE(tex, 0u);
    ASSERT_NE(disp_tex_lookup(tex), nullptr);
    // Two runs in one pass (priorities 81 and 80): the second run sets
    // LINEAR on sampler 0 before its object, which asks for POINT again.
    for (int prio : {81, 80}) {
        Mat44 m = at(prio == 81 ? -2.0f : 2.0f, 0, 6);
        DrawObj* o = mdlobj_create(0, &m, cube, prio);
        mdlobj_set_override_tex(o, tex);
        mdlobj_set_tex_filter(o, 0);
    }
    Render();
    EXPECT_EQ(gfx_get_sampler_state(0, GFX_SAMP_MAGFILTER), uint32_t(GFX_TEXF_POINT));
    EXPECT_EQ(gfx_get_sampler_state(0, GFX_SAMP_MINFILTER), uint32_t(GFX_TEXF_POINT));
}

TEST_F(DrawTest, AtMostFourPointLightsReachTheShaderSetUp)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    for (int i = 0; i < 6; ++i) {
        const Vec3 p = {float(i) * 0.1f, 0, 5};
        ASSERT_NE(plight_create(0, &p, 10.0f, 0xFFFFFFFF, 1.0f), nullptr);
    }
    Mat44 m = at(0, 0, 5);
    DrawObj* o = mdlobj_create(0, &m, cube, 81);
    ASSERT_TRUE(draw_param_bit(mdlobj_get_draw_param(o), kDpPointLightsBit));
    Render();
    EXPECT_EQ(shader_get_point_light_count(), 4);
}

TEST_F(DrawTest, StaleMeshHandleIsSkippedWithoutCrash)
{
    Mat44 m = at(0, 0, 5);
    DrawObj* o = mdlobj_create(0, &m, 999, 81);  // names no mesh
    ASSERT_NE(o, nullptr);
    Render();
    EXPECT_EQ(obj3d_sort_count(), 0);
    mdlobj_set_frustum_cull(o, 0);
    Render();  // handed to mesh_draw, which finds no mesh and draws nothing
    EXPECT_EQ(obj3d_sort_count(), 1);
    EXPECT_EQ(Luma(Pixel(kW / 2, kH / 2)), 0);
}

}  // namespace

// The 3D pass on the offscreen device: fog, frustum culling, draw order,
// billboards, lighting through the shipped shaders, the patch tool's
// projection through the whole display frame, and the mended faults of the pass.
#include "app/disp_main.h"
#include "obj3d_fixture.h"
#include "shader/shader_fixture.h"

namespace {

using namespace o3t;

class DrawTest : public Obj3dScene {
protected:
    // A cube at z 5 turned by 45 degrees about y, lit along +x: its left face
    // on screen faces the light, the right one turns away.
    static DrawObj* LitCube()
    {
        const Vec3 dir = {1, 0, 0};
        env_set_light_dir(0, &dir);
        env_set_color2(0, 0xFFFFFFFF);
        env_set_color0(0, 0xFF202020);
        Mat44 m = at(0, 0, 5);
        vm_mat_rotate_y(&m, &m, 0.7853982f);
        return mdlobj_create(0, &m, make_cube("cube", 1.0f), 81);
    }
    static DrawObj* Model(ResHandle mesh, float x, float y, float z, int prio = 81)
    {
        const Mat44 m = at(x, y, z);
        return mdlobj_create(0, &m, mesh, prio);
    }
    static uint32_t Red(uint32_t c) { return (c >> 16) & 0xFF; }
    static int LeftOverRight()
    {
        return Luma(Pixel(OBJ3D_FIXTURE_W / 2 - 4, OBJ3D_FIXTURE_H / 2)) -
               Luma(Pixel(OBJ3D_FIXTURE_W / 2 + 4, OBJ3D_FIXTURE_H / 2));
    }
};

// The patch tool's screen space: y downwards, so cull index 1 keeps the front faces.
void use_screen_space(int w, int h)
{
    Mat44 ortho;
    vm_mat_ortho_offcenter(&ortho, -w / 2.0f, w / 2.0f, h / 2.0f, -h / 2.0f, 0.1f, 10000.0f);
    cam_set_proj_custom(0, 1);
    cam_set_proj_matrix(0, &ortho);
}

// The patch tool's model matrix: scaled by 30, turned by pi about z, at (x, y, z).
Mat44 patch_matrix(float x, float y, float z)
{
    Mat44 m;
    vm_mat_identity(&m);
    const Vec3 s30 = {30, 30, 30};
    vm_mat_scale(&m, &m, &s30);
    vm_mat_rotate_z(&m, &m, 3.1415927f);
    m.m[12] = x, m.m[13] = y, m.m[14] = z;
    return m;
}

// Front face red toward the viewer, back face blue away from it.
ResHandle two_face_mesh()
{
    const Vec3 Y = {0, 1, 0};
    return make_mesh("twoface",
                     {{{0, 0, -0.5f}, {0, 0, -1}, Y, 0.5f, 0xFFFF0000},
                      {{0, 0, 0.5f}, {0, 0, 1}, Y, 0.5f, 0xFF0000FF}},
                     true);
}

TEST_F(DrawTest, FogDarkensWithDistance)
{
    fog_set_enable(0, 1);
    fog_set_start(0, 5.0f);
    fog_set_end(0, 40.0f);
    fog_set_color(0, 0xFF000000);
    // Two unlit white cubes of the same size on screen: near at the left, far at the right.
    const ResHandle cube = make_cube("cube", 1.0f);
    Mat44 far_m = at(-1.5f * 5, 0, 30);
    const Vec3 big = {5, 5, 5};
    vm_mat_scale(&far_m, &far_m, &big);
    far_m.m[12] = 7.5f;
    DrawObj* a = Model(cube, -1.5f, 0, 6);
    DrawObj* b = mdlobj_create(0, &far_m, cube, 81);
    for (DrawObj* o : {a, b}) mdlobj_set_lighting(o, 0);
    Render();
    const int near_l = Luma(Pixel(OBJ3D_FIXTURE_W / 2 - 10, OBJ3D_FIXTURE_H / 2)),
              far_l = Luma(Pixel(OBJ3D_FIXTURE_W / 2 + 10, OBJ3D_FIXTURE_H / 2));
    EXPECT_GT(near_l, far_l + 100) << near_l << " " << far_l;
    EXPECT_GT(far_l, 0);
    // Fog off in the object: the far cube is as bright as the near one.
    for (DrawObj* o : {a, b}) mdlobj_set_fog(o, 0);
    Render();
    EXPECT_NEAR(Luma(Pixel(OBJ3D_FIXTURE_W / 2 - 10, OBJ3D_FIXTURE_H / 2)),
                Luma(Pixel(OBJ3D_FIXTURE_W / 2 + 10, OBJ3D_FIXTURE_H / 2)), 6);
}

TEST_F(DrawTest, FrustumCullingDropsWhatIsOutside)
{
    const ResHandle cube = make_cube("cube", 1.0f);
    DrawObj* a = Model(cube, 0, 0, 10);
    DrawObj* b = Model(cube, 0, 0, -10);  // behind
    DrawObj* c = Model(cube, 100, 0, 10);
    DrawObj* d = Model(cube, 8.3f, 0, 10);  // its sphere reaches inside
    auto drawn = [](DrawObj* o) {
        DrawObj* const* end = obj3d_sort_array() + obj3d_sort_count();
        return std::find(obj3d_sort_array(), end, o) != end;
    };
    Render();
    EXPECT_TRUE(drawn(a) && drawn(d));
    EXPECT_FALSE(drawn(b) || drawn(c));
    // With culling off the object behind is handed to the device all the same.
    mdlobj_set_frustum_cull(b, 0);
    Render();
    EXPECT_TRUE(drawn(b));
}

TEST_F(DrawTest, TransparentObjectsDrawFarToNearAfterTheOpaqueOnes)
{
    const ResHandle cube = make_cube("cube", 0.5f);
    std::vector<DrawObj*> opaque, back;
    for (float z : {10.0f, 30.0f, 20.0f, 15.0f}) {
        DrawObj* o = Model(cube, 0, 0, z);
        mdlobj_set_depth_sort(o, 1);
        mdlobj_set_blend(o, 2);
    }
    for (float z : {12.0f, 25.0f}) opaque.push_back(Model(cube, 0, 0, z));
    for (float z : {5.0f, 40.0f}) {
        back.push_back(Model(cube, 0, 0, z));
        mdlobj_set_zwrite(back.back(), 0);
    }
    Render();
    ASSERT_EQ(obj3d_sort_count(), 8);
    DrawObj* const* order = obj3d_sort_array();
    // Opaque first, then the depth-sorted ones farthest first, then the
    // no-z-write ones oldest first (the draw list hands them newest first).
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(order[i] == opaque[0] || order[i] == opaque[1]);
    const float want[4] = {30, 20, 15, 10};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mdlobj_matrix(order[2 + i])->m[14], want[i]) << i;
    EXPECT_EQ(std::pair(order[6], order[7]), std::pair(back[0], back[1]));
}

TEST_F(DrawTest, BillboardKeepsTheCameraRotationInTheObject)
{
    Mat44 m = at(0, 0, 5);
    vm_mat_rotate_y(&m, &m, 1.0f);
    DrawObj* o = mdlobj_create(0, &m, make_cube("cube", 1.0f), 81);
    mdlobj_set_billboard(o, 1);
    const Vec3 angles = {0, 0.5f, 0}, pos = {0, 0, 0};
    cam_set_pos_rot(0, &pos, &angles);
    Render();
    const Mat44& w = *mdlobj_matrix(o);
    const Mat44& cam = cam_get_xform_set(0)->cam_to_world;
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(w.m[i], cam.m[i]) << i;
    EXPECT_EQ(w.m[14], 5.0f);
}

// The lit cube through the shader files the program ships: the pass hands
// the set-up what the shaders read (world, material, light).
class ShippedShaderDrawTest : public DrawTest {
protected:
    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        use_shader_folder(tmp_, shipped_shader_dir());
        shader_init_in(tmp_);
    }
    void TearDown() override
    {
        shader_term();
        txt_settings_term();
        DrawTest::TearDown();
    }
    TempDir tmp_;
};

TEST_F(ShippedShaderDrawTest, LitCubeIsBrighterOnTheSideFacingTheLight)
{
    ASSERT_TRUE(shader_get_record(0)->stage[SHADER_STAGE_PIXEL].shader);
    ASSERT_TRUE(shader_get_record(3)->stage[SHADER_STAGE_VERTEX].shader);
    DrawObj* o = LitCube();
    env_set_color1(0, 0xFF202020);
    // Set 0 (its pixel shader over the fixed vertex stage), then set 3 (both stages).
    for (int set : {0, 3}) {
        mdlobj_set_shader_set(o, set);
        Render();
        EXPECT_GT(LeftOverRight(), 150) << set;
    }
    EXPECT_GT(shader_bind_count(), 0u);
}

// The model object through the whole display frame as the patch tool sets it
// up: a persistent patch at priority 81 in the first 3D band and a one-frame
// preview at 28 in the second.
class FrameTest : public DrawTest {
protected:
    static constexpr int OBJ3D_DRAW_FW = 160, OBJ3D_DRAW_FH = 120;
    void SetUp() override
    {
        window_ = gfx_test_window_create(OBJ3D_DRAW_FW, OBJ3D_DRAW_FH);
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(disp_boot(window_, 0, OBJ3D_DRAW_FW, OBJ3D_DRAW_FH, 32, nullptr), 1);
        cam_set_enable(0, 1);
        cam_set_enable(1, 0);
        cam_set_viewport(0, 0, 0, OBJ3D_DRAW_FW, OBJ3D_DRAW_FH);
        cam_set_mode(0, CAM_MODE_POS_ANGLES);
        const Vec3 zero = {0, 0, 0};
        cam_set_pos_rot(0, &zero, &zero);
        cam_set_near_far(0, 0.1f, 10000.0f, 10000.0f);
        use_screen_space(OBJ3D_DRAW_FW, OBJ3D_DRAW_FH);
        fog_set_enable(0, 0);
    }
    void TearDown() override
    {
        cam_set_proj_custom(0, 0);  // the camera outlives the display
        disp_shutdown();
        gfx_test_window_destroy(window_);
    }
};

TEST_F(FrameTest, PatchAndPreviewShowTheirFrontFacesInTheirBands)
{
    const ResHandle mesh = two_face_mesh();
    const Mat44 pm = patch_matrix(-40, 0, 5000), vm = patch_matrix(40, 0, 2500);
    DrawObj* patch = mdlobj_create(0, &pm, mesh, 81);
    ASSERT_NE(patch, nullptr);
    mdlobj_set_cull(patch, 1);
    mdlobj_set_frustum_cull(patch, 0);
    DrawObj* preview = mdlobj_create_1f(0, &vm, mesh, 28);
    mdlobj_set_cull(preview, 1);
    mdlobj_set_lighting(preview, 0);
    disp_update(nullptr);
    // x = -40 in screen space is 40 pixels left of the centre.
    const uint32_t p = Pixel(OBJ3D_DRAW_FW / 2 - 40, OBJ3D_DRAW_FH / 2),
                   q = Pixel(OBJ3D_DRAW_FW / 2 + 40, OBJ3D_DRAW_FH / 2);
    EXPECT_GT(Red(p), 200u) << std::hex << p;
    EXPECT_LT(p & 0xFF, 40u) << std::hex << p;
    EXPECT_GT(Red(q), 200u) << std::hex << q;
    EXPECT_EQ(Luma(Pixel(OBJ3D_DRAW_FW / 2, OBJ3D_DRAW_FH / 2)), 0);  // nothing between them
    // The preview lived for one frame; the patch stays.
    EXPECT_EQ(obj_live_count(), 1);
    disp_update(nullptr);
    EXPECT_EQ(Luma(Pixel(OBJ3D_DRAW_FW / 2 + 40, OBJ3D_DRAW_FH / 2)), 0);
    EXPECT_GT(Red(Pixel(OBJ3D_DRAW_FW / 2 - 40, OBJ3D_DRAW_FH / 2)), 200u);
}

TEST_F(DrawTest, PassStartLeavesNoStaleLightingAndPointFilteringSurvivesTheNextBaseFilter)
{
    disp_set_rstate_key_fvf(rstate_key_make(0, 1, 0, 0, 0, DISP_ALPHA_REF_OFF, 3, 0, 1), 0x112);
    ASSERT_EQ(disp_rstate_lighting(), 0u);
    obj3d_scene_begin(0, 0, 0);  // sets LIGHTING on the device directly
    EXPECT_EQ(disp_rstate_lighting(), 0xFFFFFFFFu);
    disp_set_rstate_key_fvf(rstate_key_make(0, 1, 0, 0, 0, DISP_ALPHA_REF_OFF, 3, 0, 1), 0x112);
    EXPECT_EQ(gfx_get_render_state(GFX_RS_LIGHTING), 0u);
    obj3d_scene_end();
    const ResHandle cube = make_cube("cube", 1.0f, 0xFFFFFFFF, false, 1);
    const ResHandle tex = res_tex_create("test", "t", 4, 4, RES_TEX_FORMAT_ARGB32, false);
    ASSERT_NE(disp_tex_lookup(tex), nullptr);
    // Two runs in one pass (priorities 81 and 80): the second run sets
    // LINEAR on sampler 0 before its object, which asks for POINT again.
    for (int prio : {81, 80}) {
        DrawObj* o = Model(cube, prio == 81 ? -2.0f : 2.0f, 0, 6, prio);
        mdlobj_set_override_tex(o, tex);
        mdlobj_set_tex_filter(o, 0);
    }
    Render();
    EXPECT_EQ(gfx_get_sampler_state(0, GFX_SAMP_MAGFILTER), uint32_t(GFX_TEXF_POINT));
    EXPECT_EQ(gfx_get_sampler_state(0, GFX_SAMP_MINFILTER), uint32_t(GFX_TEXF_POINT));
}

TEST_F(DrawTest, AtMostFourPointLightsReachTheShaderSetUp)
{
    for (int i = 0; i < 6; ++i) {
        const Vec3 p = {float(i) * 0.1f, 0, 5};
        ASSERT_NE(plight_create(0, &p, 10.0f, 0xFFFFFFFF, 1.0f), nullptr);
    }
    DrawObj* o = Model(make_cube("cube", 1.0f), 0, 0, 5);
    ASSERT_TRUE(obj3d_dp_bit(mdlobj_get_draw_param(o), OBJ3D_DP_POINT_LIGHTS_BIT));
    Render();
    EXPECT_EQ(shader_get_point_light_count(), 4);
}

TEST_F(DrawTest, StaleMeshHandleIsSkippedWithoutCrash)
{
    DrawObj* o = Model(999, 0, 0, 5);  // names no mesh
    ASSERT_NE(o, nullptr);
    Render();
    EXPECT_EQ(obj3d_sort_count(), 0);
    mdlobj_set_frustum_cull(o, 0);
    Render();  // handed to mesh_draw, which finds no mesh and draws nothing
    EXPECT_EQ(obj3d_sort_count(), 1);
    EXPECT_EQ(Luma(Pixel(OBJ3D_FIXTURE_W / 2, OBJ3D_FIXTURE_H / 2)), 0);
}

}  // namespace

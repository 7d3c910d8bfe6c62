// The model object through the whole display frame, set up as the patch
// tool does: screen space with y downwards, a persistent patch at priority
// 81 in the first 3D band and a one-frame preview at 28 in the second.
#include <gtest/gtest.h>

#include "disp/disp_main.h"
#include "obj3d_scene.h"

namespace {

using namespace o3t;

constexpr int kFW = 160, kFH = 120;

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = gfx_test_window_create(kFW, kFH);
        ASSERT_NE(window_, nullptr);
        ASSERT_EQ(disp_boot(window_, 0, kFW, kFH, 32, nullptr), 1);
        cam_set_enable(0, 1);
        cam_set_enable(1, 0);
        cam_set_viewport(0, 0, 0, kFW, kFH);
        cam_set_mode(0, CAM_MODE_POS_ANGLES);
        const Vec3 zero = {0, 0, 0};
        cam_set_pos_rot(0, &zero, &zero);
        cam_set_near_far(0, 0.1f, 10000.0f, 10000.0f);
        cam_set_fov(0, 1.2217306f);
        Mat44 ortho;
        vm_mat_ortho_offcenter(&ortho, -kFW / 2.0f, kFW / 2.0f, kFH / 2.0f, -kFH / 2.0f, 0.1f,
                               10000.0f);
        cam_set_proj_custom(0, 1);
        cam_set_proj_matrix(0, &ortho);
        fog_set_enable(0, 0);
        // Front red toward the viewer, back blue.
        const Vec3 Y = {0, 1, 0};
        mesh_ = make_mesh("twoface",
                          {{{0, 0, -0.5f}, {0, 0, -1}, Y, 0.5f, 0xFFFF0000},
                           {{0, 0, 0.5f}, {0, 0, 1}, Y, 0.5f, 0xFF0000FF}},
                          true);
        ASSERT_NE(mesh_, 0u);
    }
    void TearDown() override
    {
        disp_shutdown();
        gfx_test_window_destroy(window_);
    }
    // The patch tool's model matrix: scaled by 30, turned by pi about z, at
    // (x, y, z) in screen space.
    static Mat44 patch_matrix(float x, float y, float z)
    {
        Mat44 m;
        vm_mat_identity(&m);
        const Vec3 s30 = {30, 30, 30};
        vm_mat_scale(&m, &m, &s30);
        vm_mat_rotate_z(&m, &m, 3.1415927f);
        m.m[12] = x, m.m[13] = y, m.m[14] = z;
        return m;
    }
    static uint32_t pixel(int x, int y)
    {
        uint8_t p[4] = {};
        gfx_read_pixels(x, y, 1, 1, p, 4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }
    void* window_ = nullptr;
    ResHandle mesh_ = 0;
};

TEST_F(FrameTest, PatchAndPreviewShowTheirFrontFacesInTheirBands)
{
    const Mat44 pm = patch_matrix(-40, 0, 5000);
    DrawObj* patch = mdlobj_create(0, &pm, mesh_, 81);
    ASSERT_NE(patch, nullptr);
    mdlobj_set_cull(patch, 1);
    mdlobj_set_frustum_cull(patch, 0);
    const Mat44 vm = patch_matrix(40, 0, 2500);
    DrawObj* preview = mdlobj_create_1f(0, &vm, mesh_, 28);
    mdlobj_set_cull(preview, 1);
    mdlobj_set_lighting(preview, 0);
    disp_update(nullptr);
    // x = -40 in screen space is 40 pixels left of the centre.
    const uint32_t p = pixel(kFW / 2 - 40, kFH / 2), q = pixel(kFW / 2 + 40, kFH / 2);
    EXPECT_GT((p >> 16) & 0xFF, 200u) << std::hex << p;
    EXPECT_LT(p & 0xFF, 40u) << std::hex << p;
    EXPECT_GT((q >> 16) & 0xFF, 200u) << std::hex << q;
    EXPECT_EQ(pixel(kFW / 2, kFH / 2), 0u);  // nothing between them
    // The preview lived for one frame; the patch stays.
    EXPECT_EQ(obj_live_count(), 1);
    disp_update(nullptr);
    EXPECT_EQ(pixel(kFW / 2 + 40, kFH / 2), 0u);
    EXPECT_GT((pixel(kFW / 2 - 40, kFH / 2) >> 16) & 0xFF, 200u);
}

}  // namespace

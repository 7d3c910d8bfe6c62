// The obj3d test fixture: the scene of obj3d_scene.h on a 64 x 48 window,
// one frame of screen 0's first 3D pass, and pixel reads.
#pragma once

#include <gtest/gtest.h>

#include "obj3d_scene.h"
#include "plat/byte_order.h"

namespace o3t {

constexpr int OBJ3D_FIXTURE_W = 64;
constexpr int OBJ3D_FIXTURE_H = 48;

class Obj3dScene : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = scene_boot(OBJ3D_FIXTURE_W, OBJ3D_FIXTURE_H);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { scene_shutdown(window_); }

    // One frame: screen 0's first 3D pass over priorities 72 to 83.
    void Render(uint32_t clear = 0xFF000000)
    {
        disp_fade_frame();
        cam_update_all();
        plight_frame();
        obj_build_draw_list();
        plight_cull();
        ASSERT_TRUE(gfx_ok(gfx_begin_scene()));
        disp_set_viewport(0, 0, OBJ3D_FIXTURE_W, OBJ3D_FIXTURE_H);
        gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, clear, 1.0f, 0);
        obj3d_scene_begin(0, 0, 0);
        obj_draw_range(72, 83);
        obj3d_scene_end();
        gfx_end_scene();
        obj_free_dead();
        plight_release_1f();
    }

    static uint32_t Pixel(int x, int y)
    {
        uint8_t p[4] = {};
        gfx_read_pixels(x, y, 1, 1, p, 4);
        return plat_le_get32(p);
    }
    static int Luma(uint32_t c)
    {
        return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
    }

    void* window_ = nullptr;
};

}  // namespace o3t

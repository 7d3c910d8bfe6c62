// Shared fixture of the drawing-device tests: one hidden GL window and one
// device per test program; every test starts from a reset device.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <vector>

#include "plat/gfx.h"
#include "plat/gfx_draw.h"
#include "plat/gfx_shader.h"
#include "plat/gfx_tex.h"

constexpr int kW = 64, kH = 48;

// One vertex of the pre-transformed, coloured, textured layout (FVF 0x144).
struct TlVertex {
    float x, y, z, rhw;
    uint32_t color;
    float u, v;
};
constexpr uint32_t kTlFvf = GFX_FVF_XYZRHW | GFX_FVF_DIFFUSE | (1u << GFX_FVF_TEXCOUNT_SHIFT);

class GfxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        window_ = gfx_test_window_create(kW, kH);
        ASSERT_NE(window_, nullptr);
        GfxPresentParams pp{kW, kH, GFX_FMT_D24S8, 0, 0, 1};
        ASSERT_EQ(gfx_device_create(window_, &pp), 1);
    }
    static void TearDownTestSuite()
    {
        gfx_device_destroy();
        gfx_test_window_destroy(window_);
        window_ = nullptr;
    }
    void SetUp() override
    {
        GfxPresentParams pp{kW, kH, GFX_FMT_D24S8, 0, 0, 1};
        ASSERT_EQ(gfx_reset(&pp), GFX_OK);
        ASSERT_EQ(gfx_clear(GFX_CLEAR_TARGET | GFX_CLEAR_ZBUFFER | GFX_CLEAR_STENCIL, 0xFF000000u,
                            1.0f, 0),
                  GFX_OK);
    }

    // Pixel (x, y) of the colour target as 0xAARRGGBB.
    static uint32_t pixel(int x, int y)
    {
        uint8_t p[4] = {};
        EXPECT_EQ(gfx_read_pixels(x, y, 1, 1, p, 4), GFX_OK);
        return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    // Each channel within `tol` of the expected colour.
    static bool near(uint32_t got, uint32_t want, int tol = 2)
    {
        for (int s = 0; s < 32; s += 8) {
            int a = static_cast<int>((got >> s) & 0xFF), b = static_cast<int>((want >> s) & 0xFF);
            if (std::abs(a - b) > tol) return false;
        }
        return true;
    }
    // Every listed pixel near `want`.
    static void expect_pixels(uint32_t want, std::initializer_list<std::pair<int, int>> at,
                              int tol = 2)
    {
        for (auto [x, y] : at)
            EXPECT_TRUE(near(pixel(x, y), want, tol))
                << "at " << x << "," << y << std::hex << " got " << pixel(x, y);
    }
    // An axis-aligned pre-transformed quad covering pixels [x0, x1) x [y0, y1).
    static void quad(float x0, float y0, float x1, float y1, uint32_t color, float z = 0.0f)
    {
        TlVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, z, 1, color, 0, 0},
                         {x1 - 0.5f, y0 - 0.5f, z, 1, color, 1, 0},
                         {x0 - 0.5f, y1 - 0.5f, z, 1, color, 0, 1},
                         {x1 - 0.5f, y1 - 0.5f, z, 1, color, 1, 1}};
        ASSERT_EQ(gfx_set_fvf(kTlFvf), GFX_OK);
        ASSERT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)), GFX_OK);
    }
    // A quad over the whole viewport in clip space (XYZ | DIFFUSE, z 0.5).
    static void clip_quad(uint32_t color)
    {
        struct V {
            float x, y, z;
            uint32_t c;
        };
        const V v[4] = {
            {-1, 1, 0.5f, color}, {1, 1, 0.5f, color}, {-1, -1, 0.5f, color}, {1, -1, 0.5f, color}};
        ASSERT_EQ(gfx_set_fvf(GFX_FVF_XYZ | GFX_FVF_DIFFUSE), GFX_OK);
        ASSERT_EQ(gfx_draw_primitive_up(GFX_PT_TRIANGLESTRIP, 2, v, sizeof(V)), GFX_OK);
    }
    static void* window_;
};
inline void* GfxTest::window_ = nullptr;

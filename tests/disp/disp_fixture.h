// A booted display device on a hidden test window, for the device tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "disp/d3d9.h"
#include "disp/tex.h"
#include "plat/byte_order.h"
#include "plat/gfx.h"
#include "plat/gfx_tex.h"

constexpr int DISP_FIXTURE_TEST_WIDTH = 64;
constexpr int DISP_FIXTURE_TEST_HEIGHT = 48;

inline void no_sleep(int) {}

class DispDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        window_ = gfx_test_window_create(DISP_FIXTURE_TEST_WIDTH, DISP_FIXTURE_TEST_HEIGHT);
        ASSERT_NE(window_, nullptr);
        DispLinks links;
        links.sleep_ms = no_sleep;
        disp_set_links(links);
        D3d9BootDesc desc;
        desc.window = window_;
        desc.width = DISP_FIXTURE_TEST_WIDTH;
        desc.height = DISP_FIXTURE_TEST_HEIGHT;
        Configure(desc);
        ASSERT_EQ(d3d9_boot(&desc), 1);
    }
    void TearDown() override
    {
        d3d9_shutdown();
        disp_set_links(DispLinks{});
        gfx_test_window_destroy(window_);
    }
    virtual void Configure(D3d9BootDesc&) {}

    // Pixel (x, y) of the colour target as 0xAARRGGBB.
    static uint32_t Pixel(int x, int y)
    {
        uint8_t p[4] = {};
        gfx_read_pixels(x, y, 1, 1, p, 4);
        return plat_le_get32(p);
    }
    // The device's values of the render states `which`, in that order.
    static std::vector<uint32_t> RenderStates(std::initializer_list<GfxRs> which)
    {
        std::vector<uint32_t> out;
        for (GfxRs s : which) out.push_back(gfx_get_render_state(s));
        return out;
    }
    // Colours equal within a small tolerance per channel.
    static bool Near(uint32_t a, uint32_t b, int tol = 3)
    {
        for (int s = 0; s < 32; s += 8) {
            int d = int((a >> s) & 0xFF) - int((b >> s) & 0xFF);
            if (d > tol || d < -tol) return false;
        }
        return true;
    }

    void* window_ = nullptr;
};
